#include <atomic>
#include <stdexcept>
#include <thread>

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

// Runs work through DispatchSyncMain on a second thread while this one drains; returns the error text.
std::string SyncFromWorker(const std::function<void()>& work)
{
    std::string error = "(none)";
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        try {
            DispatchSyncMain(work);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        returned = true;
    });
    EXPECT_TRUE(MainQueue::PumpUntil([&] { return returned.load(); }, std::chrono::seconds(20)));
    worker.join();
    return error;
}

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

TEST_F(MainQueueTest, SyncWorkRunsOnTheMainThreadAndItsFailureReachesTheCaller)
{
    std::vector<std::string> order;
    bool ranOnMain = false;
    DispatchAsyncMain([&] { order.push_back("posted"); });
    EXPECT_EQ(SyncFromWorker([&] {
                  ranOnMain = MainQueue::IsMainThread();
                  order.push_back("sync");
              }),
              "(none)");
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(order, (std::vector<std::string>{"posted", "sync"}));
    EXPECT_EQ(SyncFromWorker([] { throw std::logic_error("tool failed"); }), "tool failed");
    EXPECT_EQ(SyncFromWorker([] { throw 7; }), "Unknown error");
}
