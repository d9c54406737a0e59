#include "EngineFixture.hpp"

using Clock = std::chrono::steady_clock;

static const auto kPrompt = std::chrono::seconds(10);  // well below the client's 120 s request timeout

TEST_F(EngineTest, ShutdownDuringAStalledRequestReturnsPromptlyAndDropsEverything)
{
    server.Script(AnthropicReply("too late"), 200, true);
    bridge->SendMessage("one");
    bridge->SendMessage("two");
    ASSERT_TRUE(server.WaitForRequests(1));

    const auto start = Clock::now();
    bridge->Shutdown();
    EXPECT_LT(Clock::now() - start, kPrompt);
    EXPECT_FALSE(bridge->IsBusy());
    bridge->Shutdown();  // a second call is harmless
    bridge->SendMessage("ignored");
    server.Release();
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(events.empty()) << "a report reached the palette after shut-down";
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(EngineTest, ShutdownWhileAToolWaitsForTheMainThreadNeverRunsIt)
{
    bool ran = false;
    AddTool("late_tool", [&](const json&) {
        ran = true;
        return ToolResult::Ok("", "");
    });
    server.Script(AnthropicReply("Calling.", {{"t1", "late_tool", json::object()}}));
    bridge->SendMessage("use the tool");

    ASSERT_TRUE(WaitForPostedToolCall());
    const auto start = Clock::now();
    bridge->Shutdown();
    EXPECT_LT(Clock::now() - start, kPrompt);
    bridge.reset();  // the registry is gone now
    MainQueue::DrainUntilIdle();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(events.empty());
}
