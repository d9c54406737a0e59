#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "MainQueue.hpp"

namespace {

class MainQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MainQueue::SetMainThread();
        MainQueue::DiscardPending();
    }
    void TearDown() override { MainQueue::DiscardPending(); }
};

}  // namespace

TEST_F(MainQueueTest, PostedWorkWaitsForTheDrainAndRunsInOrder)
{
    std::vector<int> order;
    DispatchAsyncMain([&] { order.push_back(1); });
    DispatchAsyncMain([&] {
        order.push_back(2);
        DispatchAsyncMain([&] { order.push_back(4); });  // posted while draining: after 3
    });
    DispatchAsyncMain([&] { order.push_back(3); });
    EXPECT_TRUE(order.empty()) << "posting from the main thread must not run inline";
    EXPECT_EQ(MainQueue::PendingCount(), 3u);

    EXPECT_EQ(MainQueue::DrainUntilIdle(), 4u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(MainQueue::PendingCount(), 0u);
    EXPECT_EQ(MainQueue::DrainUntilIdle(), 0u);
}

TEST_F(MainQueueTest, ExceptionsOfAnyTypeStayInsideTheQueue)
{
    int after = 0;
    DispatchAsyncMain([] { throw std::runtime_error("boom"); });
    DispatchAsyncMain([] { throw 42; });
    DispatchAsyncMain([&] { ++after; });
    DispatchAsyncMain(std::function<void()>());  // empty work is ignored, not a bad_function_call
    EXPECT_NO_THROW(MainQueue::DrainUntilIdle());
    EXPECT_EQ(after, 1);
}

TEST_F(MainQueueTest, SyncWorkFromAnotherThreadRunsOnTheMainThreadBehindEarlierPosts)
{
    std::vector<std::string> order;
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> returned{false};
    DispatchAsyncMain([&] { order.push_back("posted"); });
    std::thread worker([&] {
        DispatchSyncMain([&] {
            ranOnMain = MainQueue::IsMainThread();
            order.push_back("sync");
        });
        returned = true;
    });
    EXPECT_TRUE(MainQueue::PumpUntil([&] { return returned.load(); }, std::chrono::seconds(20)));
    worker.join();
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(order, (std::vector<std::string>{"posted", "sync"}));
}

TEST_F(MainQueueTest, SyncWorkOnTheMainThreadRunsInline)
{
    bool ran = false;
    DispatchSyncMain([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(MainQueue::PendingCount(), 0u);
}

TEST_F(MainQueueTest, SyncExceptionReturnsToTheCallerNotTheMainLoop)
{
    std::string firstError;
    std::string secondError;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        try {
            DispatchSyncMain([] { throw std::logic_error("tool failed"); });
        } catch (const std::runtime_error& e) {
            firstError = e.what();
        }
        try {
            DispatchSyncMain([] { throw 7; });
        } catch (const std::runtime_error& e) {
            secondError = e.what();
        }
        returned = true;
    });
    EXPECT_NO_THROW(MainQueue::PumpUntil([&] { return returned.load(); }, std::chrono::seconds(20)));
    worker.join();
    EXPECT_EQ(firstError, "tool failed");
    EXPECT_EQ(secondError, "Unknown error");

    // Run inline on the main thread, the failure reaches the caller in the same form.
    try {
        DispatchSyncMain([] { throw 7; });
        ADD_FAILURE() << "the failure was lost";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unknown error");
    } catch (...) {
        ADD_FAILURE() << "an exception of another type escaped";
    }
}

TEST_F(MainQueueTest, MainThreadCanBeHandedToAPumpThread)
{
    EXPECT_TRUE(MainQueue::IsMainThread());
    std::atomic<bool> pumpIsMain{false};
    std::atomic<bool> testIsMain{true};
    std::atomic<bool> stop{false};
    std::atomic<bool> handedOver{false};
    std::thread pump([&] {
        MainQueue::SetMainThread();
        handedOver = true;
        while (!stop) {
            MainQueue::RunFor(std::chrono::milliseconds(5));
        }
    });
    while (!handedOver) {
        std::this_thread::yield();
    }
    DispatchSyncMain([&] { pumpIsMain = MainQueue::IsMainThread(); });  // waits for the pump
    testIsMain = MainQueue::IsMainThread();
    stop = true;
    pump.join();
    MainQueue::SetMainThread();
    EXPECT_TRUE(pumpIsMain);
    EXPECT_FALSE(testIsMain);
}
