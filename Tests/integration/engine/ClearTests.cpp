// Clearing the conversation or shutting the engine down mid-turn, while the request stalls or
// while a tool waits for the main thread: nothing of the old turn runs, reaches the page or
// comes back in what the model reads next; the host quitting mid-request blames no service and
// gives back a question no reply came for, and a shut-down engine holds the turn as far as it went.
#include "EngineFixture.hpp"
#include "engine/HistoryJson.hpp"
#include "engine/ServiceErrors.hpp"

class StopTest : public EngineTest {
protected:
    // "one" is taken by the service and stalls (only an abort ends it before Release); "two" queues behind it.
    void StallOneAndQueueTwo()
    {
        Quillmere::SetHttpTimeoutOverrideForTesting(kNoTimeout);
        server.Script(AnthropicReply("too late"), 200, true);
        bridge->SendMessage("one");
        bridge->SendMessage("two");
        ASSERT_TRUE(server.WaitForRequests(1));
    }
    // The model asks for a tool; the worker has posted the call and waits for this (main) thread.
    void PostToolCall()
    {
        AddTool("waiting_tool", [&](const json&) { return ++runs, ToolResult::Ok("", "made"); });
        server.Script(AnthropicReply("Calling.", {{"t1", "waiting_tool", json::object()}}));
        bridge->SendMessage("use the tool");
        ASSERT_TRUE(WaitForPostedToolCall());
    }
    int runs = 0;
};

TEST_F(StopTest, ClearingDuringAStalledRequestAbortsItDropsTheQueueAndStartsAfresh)
{
    StallOneAndQueueTwo();
    server.Script(AnthropicReply("fresh answer"));
    ASSERT_TRUE(MainQueue::PumpUntil([&] { return !events.empty(); }, std::chrono::seconds(10)));

    bridge->ClearHistory();
    EXPECT_FALSE(bridge->IsBusy()) << "busy must end with the clearing, not with the aborted request";
    bridge->SendMessage("fresh");  // sent before the worker has even noticed the clearing

    ASSERT_TRUE(WaitForTurns(2)) << "the stalled request was not aborted";
    server.Release();  // the stalled reply arrives only now, long after nobody wants it
    MainQueue::DrainUntilIdle();

    EXPECT_EQ(events, (Events{"busy:on", "busy:off", "busy:on", "text:fresh answer", "busy:off"}));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u) << "the queued message was sent after all";
    EXPECT_EQ(requests[1].body["messages"],
              json::array({{{"role", "user"}, {"content", json::array({{{"type", "text"}, {"text", "fresh"}}})}}}));
    EXPECT_FALSE(bridge->IsBusy());
}

TEST_F(StopTest, ClearingWhileAToolWaitsForTheMainThreadNeverRunsItOrReportsIt)
{
    PostToolCall();
    bridge->ClearHistory();
    EXPECT_FALSE(bridge->IsBusy());
    ASSERT_TRUE(WaitForTurns(1));
    EXPECT_EQ(events, (Events{"busy:off"})) << "a report of the cleared turn reached the palette";

    server.Script(AnthropicReply("after the clearing"));
    ASSERT_TRUE(Send("again"));
    EXPECT_EQ(runs, 0);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    ASSERT_EQ(requests[1].body["messages"].size(), 1u) << requests[1].body["messages"].dump();
    EXPECT_EQ(texts, (Events{"after the clearing"}));
}

TEST_F(StopTest, ShutdownDuringAStalledRequestReturnsAtOnceAndDropsEverything)
{
    StallOneAndQueueTwo();
    bridge->Shutdown();
    EXPECT_FALSE(bridge->IsBusy());
    bridge->Shutdown();  // a second call is harmless
    bridge->SendMessage("ignored");
    server.Release();
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(events.empty()) << "a report reached the palette after shut-down";
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(StopTest, ShutdownWhileAToolWaitsForTheMainThreadNeverRunsIt)
{
    PostToolCall();
    bridge->Shutdown();  // the worker waits for this (main) thread: a join would never return
    bridge.reset();      // the registry is gone now
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(events.empty());
}

TEST_F(StopTest, TheHostQuittingDuringARequestBlamesNoServiceAndGivesBackAQuestionNoReplyCameFor)
{
    // A question asked in vain goes back to the user (the palette words the stop), out of what
    // the model reads; one answered in part stays, and the engine says where it stopped.
    const struct {
        bool repliedFirst;
        Events texts;
        int givenBack;  // as not answered
        std::size_t kept;
    } rows[] = {{true, {StoppedPartWayWarning()}, 0, 3}, {false, {}, 1, 0}};
    AddTool("quick_tool", [](const json&) { return ToolResult::Ok("", "done"); });
    Quillmere::SetHttpTimeoutOverrideForTesting(kNoTimeout);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.repliedFirst ? "a tool's reply first" : "no reply");
        bridge->ClearHistory();
        texts.clear();
        std::vector<HistoryMessage> kept;
        int givenBack = 0;
        bridge->SetHistoryCallback([&](const std::vector<HistoryMessage>& history) { kept = history; });
        bridge->SetUnsentCallback([&](const std::vector<ContentBlock>&, ModelBridge::GivenBack why) {
            givenBack += why == ModelBridge::GivenBack::NotAnswered;
        });
        if (row.repliedFirst) server.Script(AnthropicReply("", {{"q1", "quick_tool", json::object()}}));
        server.Script(AnthropicReply("too late"), 200, true);  // released only as the server goes
        const std::size_t requests = server.Requests().size() + (row.repliedFirst ? 2 : 1);
        const int turns = turnsEnded + 1;
        bridge->SendMessage("Where does the stair go?");
        // The tool runs on this (main) thread while the stalled request is awaited.
        ASSERT_TRUE(
            MainQueue::PumpUntil([&] { return server.Requests().size() >= requests; }, std::chrono::seconds(20)));
        Quillmere::AbortAllHttpRequests(true);  // as the host's quit notice does
        const bool ended = WaitForTurns(turns);
        Quillmere::AbortAllHttpRequests(false);
        ASSERT_TRUE(ended);
        MainQueue::DrainUntilIdle();
        EXPECT_EQ(texts, row.texts);
        EXPECT_EQ(givenBack, row.givenBack);
        EXPECT_EQ(kept.size(), row.kept);
    }
    // Sent again, the question given back reaches the model once.
    server.Script(AnthropicReply("Up to the attic."));
    ASSERT_TRUE(Send("Where does the stair go?"));
    EXPECT_EQ(server.Requests().back().body["messages"],
              json::array({{{"role", "user"},
                            {"content", json::array({{{"type", "text"}, {"text", "Where does the stair go?"}}})}}}));
}

// Shut down part way through a turn, the engine holds the turn as far as it went, every call the
// model made answered: what a palette that closes then keeps, its reports being dropped.
class StopMidTurnTest : public StopTest, public testing::WithParamInterface<bool> {};

TEST_P(StopMidTurnTest, TheHistoryAtTheStopHoldsTheQuestionEachCallAndItsResult)
{
    const bool toolRan = GetParam();
    Quillmere::SetHttpTimeoutOverrideForTesting(kNoTimeout);
    if (toolRan) {
        AddTool("waiting_tool", [&](const json&) { return ++runs, ToolResult::Ok("", "made"); });
        server.Script(AnthropicReply("Calling.", {{"t1", "waiting_tool", json::object()}}));
        server.Script(AnthropicReply("too late"), 200, true);
        bridge->SendMessage("use the tool");
        ASSERT_TRUE(MainQueue::PumpUntil([&] { return server.Requests().size() >= 2; }, std::chrono::seconds(20)));
    } else {
        PostToolCall();
    }
    EXPECT_TRUE(bridge->HistoryAtStop().empty()) << "read while the worker runs";
    bridge->Shutdown();
    const std::vector<HistoryMessage> history = bridge->HistoryAtStop();
    EXPECT_EQ(runs, toolRan ? 1 : 0);
    const std::string result =
        toolRan ? ToolResult::Ok("", "made").toJson() : ToolResult::Fail("The call was not completed.").toJson();
    const std::vector<HistoryMessage> expected = {
        {Role::User, {ContentBlock::Text("use the tool")}},
        {Role::Assistant,
         {ContentBlock::Text("Calling."), ContentBlock::ToolUse("t1", "waiting_tool", json::object())}},
        {Role::User, {ContentBlock::ToolResult("t1", result, !toolRan)}}};
    EXPECT_EQ(HistoryToJson(history), HistoryToJson(expected));
}

INSTANTIATE_TEST_SUITE_P(Stop, StopMidTurnTest, testing::Bool(), [](const testing::TestParamInfo<bool>& info) {
    return info.param ? std::string("AfterTheToolRan") : std::string("WhileTheToolWaits");
});
