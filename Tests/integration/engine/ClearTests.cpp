// Clearing a conversation while it is busy: nothing of the old conversation may come back,
// neither on the page nor in what the model reads next.
#include <algorithm>

#include "EngineFixture.hpp"

namespace {

bool Has(const Events& events, const std::string& event)
{
    return std::find(events.begin(), events.end(), event) != events.end();
}

}  // namespace

TEST_F(EngineTest, ClearingDuringAStalledRequestAbortsItDropsTheQueueAndStartsAfresh)
{
    // Only an abort ends the request before the server lets go of its reply, at the end.
    Quillmere::SetHttpTimeoutOverrideForTesting(kNoTimeout);
    server.Script(AnthropicReply("too late"), 200, true);
    server.Script(AnthropicReply("fresh answer"));
    bridge->SendMessage("one");
    bridge->SendMessage("two");  // queued behind the stalled turn
    ASSERT_TRUE(server.WaitForRequests(1));
    ASSERT_TRUE(MainQueue::PumpUntil([&] { return Has(events, "busy:on"); }, std::chrono::seconds(10)));

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

TEST_F(EngineTest, ClearingWhileAToolWaitsForTheMainThreadNeverRunsItOrReportsIt)
{
    int runs = 0;
    AddTool("queued_tool", [&](const json&) {
        ++runs;
        return ToolResult::Ok("", "made");
    });
    server.Script(AnthropicReply("Calling.", {{"t1", "queued_tool", json::object()}}));
    server.Script(AnthropicReply("after the clearing"));
    bridge->SendMessage("use the tool");

    ASSERT_TRUE(WaitForPostedToolCall());
    bridge->ClearHistory();
    EXPECT_FALSE(bridge->IsBusy());
    ASSERT_TRUE(WaitForTurns(1));
    EXPECT_EQ(events, (Events{"busy:off"})) << "a report of the cleared turn reached the palette";

    ASSERT_TRUE(Send("again"));
    EXPECT_EQ(runs, 0);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    ASSERT_EQ(requests[1].body["messages"].size(), 1u) << requests[1].body["messages"].dump();
    EXPECT_EQ(texts, (Events{"after the clearing"}));
}
