// Shutting the engine down mid-turn: it returns while the turn is still waiting (on the
// service or on the main thread), and nothing of the turn runs or reports afterwards.
#include "EngineFixture.hpp"

TEST_F(EngineTest, ShutdownDuringAStalledRequestReturnsAtOnceAndDropsEverything)
{
    // Only an abort ends the request before the server lets go of its reply, after the shutdown.
    Quillmere::SetHttpTimeoutOverrideForTesting(kNoTimeout);
    server.Script(AnthropicReply("too late"), 200, true);
    bridge->SendMessage("one");
    bridge->SendMessage("two");
    ASSERT_TRUE(server.WaitForRequests(1));

    bridge->Shutdown();
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
    bridge->Shutdown();  // the worker waits for this (main) thread: a join would never return
    bridge.reset();      // the registry is gone now
    MainQueue::DrainUntilIdle();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(events.empty());
}
