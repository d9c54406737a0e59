// The main queue the engine and the palette post to: work runs in order when drained, work
// posted while draining runs after, failures stay inside, and empty work is never queued.

#include <stdexcept>

#include <gtest/gtest.h>

#include "MainQueue.hpp"
#include "QuillmereTest.hpp"

namespace {

// Work a test leaves queued on purpose is dropped, not run after it.
class MainQueueTest : public QuillmereTest {
protected:
    void TearDown() override
    {
        MainQueue::DiscardPending();
        QuillmereTest::TearDown();
    }
};

}  // namespace

TEST_F(MainQueueTest, PostedWorkRunsInOrderOnDrainAndExceptionsStayInside)
{
    std::vector<int> order;
    DispatchAsyncMain([&] { order.push_back(1); });
    DispatchAsyncMain([&] {
        order.push_back(2);
        DispatchAsyncMain([&] { order.push_back(4); });  // posted while draining: after 3
    });
    DispatchAsyncMain([] { throw std::runtime_error("boom"); });
    DispatchAsyncMain([] { throw 42; });
    DispatchAsyncMain(std::function<void()>());  // empty work is ignored, not a bad_function_call
    DispatchAsyncMain([&] { order.push_back(3); });
    EXPECT_TRUE(order.empty()) << "posting from the main thread must not run inline";
    EXPECT_EQ(MainQueue::PendingCount(), 5u);
    std::size_t ran = 0;
    EXPECT_NO_THROW(ran = MainQueue::DrainUntilIdle());
    EXPECT_EQ(ran, 6u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(MainQueue::PendingCount(), 0u);
}
