#include <chrono>

#include "EngineFixture.hpp"

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

// Well below the client's 120 s request timeout: the point is not to wait for it.
const auto kPrompt = std::chrono::seconds(10);

}  // namespace

TEST_F(EngineTest, ShutdownDuringAStalledRequestReturnsPromptlyAndReportsNothing)
{
    anthropic.Script({200, FakeReplies::AnthropicText("too late").dump(), true});
    bridge->SendMessage("anyone there?");
    ASSERT_TRUE(anthropic.WaitForRequests(1));

    const auto start = Clock::now();
    bridge->Shutdown();
    EXPECT_LT(Clock::now() - start, kPrompt);

    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(events.empty()) << "a report reached the palette after shut-down";
    bridge->Shutdown();  // a second call is harmless
    bridge->SendMessage("ignored");
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(anthropic.RequestCount(), 1u);
}

TEST_F(EngineTest, ShutdownWhileAToolWaitsForTheMainThreadNeverRunsIt)
{
    bool ran = false;
    AddTool("late_tool", [&](const json&) { ran = true; return ToolResult::Ok("", ""); });
    anthropic.ScriptJson(FakeReplies::AnthropicTools("", {{"t1", "late_tool", json::object()}}));
    bridge->SendMessage("use the tool");

    // The main thread stays away until the worker has handed it the tool call
    // (after the busy flag and the reply's report).
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (MainQueue::PendingCount() < 2 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(MainQueue::PendingCount(), 2u);

    const auto start = Clock::now();
    bridge->Shutdown();
    EXPECT_LT(Clock::now() - start, kPrompt);
    bridge.reset();  // the registry is gone now

    MainQueue::DrainUntilIdle();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(events.empty());
}

TEST_F(EngineTest, ShutdownWithQueuedMessagesDropsThem)
{
    anthropic.Script({200, FakeReplies::AnthropicText("first").dump(), true});
    bridge->SendMessage("one");
    bridge->SendMessage("two");
    bridge->SendMessage("three");
    ASSERT_TRUE(anthropic.WaitForRequests(1));
    bridge->Shutdown();
    anthropic.Release();
    EXPECT_EQ(anthropic.RequestCount(), 1u);
    EXPECT_FALSE(bridge->IsBusy());
}
