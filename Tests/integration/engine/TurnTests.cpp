#include "EngineFixture.hpp"

using nlohmann::json;
using FakeReplies::Call;

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::ptrdiff_t IndexOf(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) - list.begin();
}

}  // namespace

TEST_F(EngineTest, TextTurnShowsReplyBetweenBusyOnAndOff)
{
    anthropic.ScriptJson(FakeReplies::AnthropicText("Hello from the model"));
    bridge->SendMessage("Hi there");
    ASSERT_TRUE(WaitForTurns(1));

    EXPECT_EQ(events, (std::vector<std::string>{"busy:on", "text:Hello from the model", "busy:off"}));
    ASSERT_EQ(anthropic.RequestCount(), 1u);
    const auto request = anthropic.Requests()[0];
    EXPECT_EQ(request.path, "/v1/messages");
    EXPECT_EQ(request.headers.at("x-api-key"), kAnthropicKey);
    EXPECT_FALSE(request.headers.at("anthropic-version").empty());
    EXPECT_EQ(request.json.at("model"), "claude-test-model");
    EXPECT_EQ(request.json.at("max_tokens"), 4096);
    EXPECT_TRUE(request.json.at("system").is_string());
    EXPECT_EQ(request.json.at("messages"),
              json::parse(R"([{"role":"user","content":[{"type":"text","text":"Hi there"}]}])"));
    EXPECT_FALSE(bridge->IsBusy());
    EXPECT_EQ(openai.RequestCount(), 0u);
}

TEST_F(EngineTest, ToolTurnRunsOnMainThreadAndSendsExactResultBack)
{
    bool ranOnMain = false;
    json seenInput;
    ToolResult made = ToolResult::Ok("0A1B-GUID", "wall made");
    AddTool("probe_wall", [&](const json& input) {
        ranOnMain = MainQueue::IsMainThread();
        seenInput = input;
        DispatchAsyncMain([this] { Note("posted-by-handler"); });
        return made;
    });
    anthropic.ScriptJson(FakeReplies::AnthropicTools("Making it.", {{"toolu_7", "probe_wall", {{"length", 3.5}}}}));
    anthropic.ScriptJson(FakeReplies::AnthropicText("Done."));

    bridge->SendMessage("Make a wall");
    ASSERT_TRUE(WaitForTurns(1));

    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(seenInput, json({{"length", 3.5}}));
    const std::string report = "tool:probe_wall:ok:wall made";
    EXPECT_EQ(events, (std::vector<std::string>{"busy:on", "text:Making it.", "posted-by-handler", report,
                                                "text:Done.", "busy:off"}));

    ASSERT_EQ(anthropic.RequestCount(), 2u);
    const auto second = anthropic.Requests()[1];
    const json& messages = second.json.at("messages");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1].at("role"), "assistant");
    EXPECT_EQ(messages[1].at("content")[1].at("type"), "tool_use");
    EXPECT_EQ(messages[1].at("content")[1].at("id"), "toolu_7");
    const json& result = messages[2].at("content")[0];
    EXPECT_EQ(result.at("type"), "tool_result");
    EXPECT_EQ(result.at("tool_use_id"), "toolu_7");
    EXPECT_EQ(result.at("content"), made.toJson());
    // The registry's catalogue travels with every request.
    bool listed = false;
    for (const json& tool : second.json.at("tools")) {
        listed = listed || (tool.at("name") == "probe_wall" && tool.contains("input_schema"));
    }
    EXPECT_TRUE(listed);
}

TEST_F(EngineTest, TwoToolCallsRunInOrderAndBothResultsReturnTogether)
{
    std::vector<std::string> order;
    AddTool("first_tool", [&](const json&) { order.push_back("first"); return ToolResult::Ok("", "one"); });
    AddTool("second_tool", [&](const json&) {
        order.push_back("second");
        return ToolResult::Fail("second went wrong");
    });
    anthropic.ScriptJson(FakeReplies::AnthropicTools("\n\n", {{"a1", "first_tool", json::object()},
                                                              {"a2", "second_tool", json::object()}}));
    anthropic.ScriptJson(FakeReplies::AnthropicText("ok"));

    bridge->SendMessage("Do both");
    ASSERT_TRUE(WaitForTurns(1));

    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(texts, (std::vector<std::string>{"ok"}));
    // The blank text is neither shown nor sent back, where the service would refuse it.
    const json asked = anthropic.Requests()[1].json.at("messages")[1].at("content");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].at("type"), "tool_use");
    EXPECT_LT(IndexOf(events, "tool:first_tool:ok:one"), IndexOf(events, "tool:second_tool:failed:second went wrong"));
    const json results = LastMessage(anthropic.Requests()[1]).at("content");
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].at("tool_use_id"), "a1");
    EXPECT_EQ(results[1].at("tool_use_id"), "a2");
    EXPECT_EQ(results[1].at("content"), ToolResult::Fail("second went wrong").toJson());
}

TEST_F(EngineTest, ExceptionsLeavingAToolBecomeFailedResults)
{
    AddTool("throws_int", [](const json&) -> ToolResult { throw 42; });
    AddTool("throws_empty", [](const json&) -> ToolResult { throw std::runtime_error(""); });
    anthropic.ScriptJson(FakeReplies::AnthropicTools("", {{"x1", "throws_int", json::object()},
                                                          {"x2", "throws_empty", json::object()},
                                                          {"x3", "no_such_tool", json::object()}}));
    anthropic.ScriptJson(FakeReplies::AnthropicText("recovered"));

    bridge->SendMessage("Break things");
    ASSERT_TRUE(WaitForTurns(1));

    const json results = LastMessage(anthropic.Requests()[1]).at("content");
    ASSERT_EQ(results.size(), 3u);
    const std::string unknown = ToolResult::Fail("Unknown error").toJson();
    EXPECT_EQ(results[0].at("content"), unknown);
    EXPECT_EQ(results[1].at("content"), unknown);
    EXPECT_EQ(results[2].at("content"), ToolResult::Fail("Unknown tool: no_such_tool").toJson());
    EXPECT_TRUE(Contains(events, "tool:throws_int:failed:Unknown error"));
    EXPECT_TRUE(Contains(texts, "recovered"));
}

TEST_F(EngineTest, ResultTextThatIsNotUtf8StillReportsTheSuccess)
{
    AddTool("name_reader", [](const json&) { return ToolResult::Ok("G-2", "Layer \xFF\xFE renamed"); });
    anthropic.ScriptJson(FakeReplies::AnthropicTools("", {{"u1", "name_reader", json::object()}}));
    anthropic.ScriptJson(FakeReplies::AnthropicText("ok"));

    bridge->SendMessage("rename");
    ASSERT_TRUE(WaitForTurns(1));

    ASSERT_EQ(anthropic.RequestCount(), 2u);
    const json results = LastMessage(anthropic.Requests()[1]).at("content");
    const json sent = json::parse(results[0].at("content").get<std::string>());
    EXPECT_EQ(sent.at("success"), true);
    EXPECT_EQ(sent.at("element_guid"), "G-2");
    EXPECT_EQ(sent.at("message").get<std::string>().rfind("Layer ", 0), 0u);
    EXPECT_EQ(events[1].rfind("tool:name_reader:ok:Layer ", 0), 0u) << events[1];
    EXPECT_TRUE(Contains(texts, "ok"));
}

TEST_F(EngineTest, IterationsStopAtTwenty)
{
    int runs = 0;
    AddTool("again", [&](const json&) { ++runs; return ToolResult::Ok("", "again"); });
    anthropic.SetFallback({200, FakeReplies::AnthropicTools("", {{"loop", "again", json::object()}}).dump(), false});

    bridge->SendMessage("Loop forever");
    ASSERT_TRUE(WaitForTurns(1));

    EXPECT_EQ(anthropic.RequestCount(), static_cast<std::size_t>(ModelBridge::kMaxIterations));
    EXPECT_EQ(runs, ModelBridge::kMaxIterations);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back().rfind("\xE2\x9A\xA0 ", 0), 0u) << texts.back();
    EXPECT_EQ(events.back(), "busy:off");

    // The conversation is still well formed: the next message joins the last tool results.
    anthropic.ScriptJson(FakeReplies::AnthropicText("resumed"));
    bridge->SendMessage("continue");
    ASSERT_TRUE(WaitForTurns(2));
    const json last = LastMessage(anthropic.Requests().back());
    EXPECT_EQ(last.at("role"), "user");
    EXPECT_EQ(last.at("content").front().at("type"), "tool_result");
    EXPECT_EQ(last.at("content").back(), json({{"type", "text"}, {"text", "continue"}}));
}

TEST_F(EngineTest, ClearingTheHistoryStartsAFreshConversation)
{
    anthropic.ScriptJson(FakeReplies::AnthropicText("first answer"));
    anthropic.ScriptJson(FakeReplies::AnthropicText("second answer"));
    anthropic.ScriptJson(FakeReplies::AnthropicText("third answer"));

    bridge->SendMessage("one");
    ASSERT_TRUE(WaitForTurns(1));
    bridge->SendMessage("two");
    ASSERT_TRUE(WaitForTurns(2));
    EXPECT_EQ(anthropic.Requests()[1].json.at("messages").size(), 3u);

    bridge->ClearHistory();
    bridge->SendMessage("three");
    ASSERT_TRUE(WaitForTurns(3));
    EXPECT_EQ(anthropic.Requests()[2].json.at("messages"),
              json::parse(R"([{"role":"user","content":[{"type":"text","text":"three"}]}])"));
}

TEST_F(EngineTest, InvalidUtf8InTheMessageIsReplacedNotFatal)
{
    anthropic.ScriptJson(FakeReplies::AnthropicText("fine"));
    bridge->SendMessage("caf\xC3 and \xFF");
    ASSERT_TRUE(WaitForTurns(1));
    ASSERT_EQ(anthropic.RequestCount(), 1u);
    const auto request = anthropic.Requests()[0];
    ASSERT_FALSE(request.json.is_discarded()) << request.body;
    const std::string sent = request.json.at("messages")[0].at("content")[0].at("text");
    EXPECT_EQ(sent.rfind("caf", 0), 0u);
    EXPECT_EQ(texts, (std::vector<std::string>{"fine"}));
}

TEST_F(EngineTest, EmptyMessagesStartNoTurn)
{
    bridge->SendMessage("   \n ");
    bridge->SendMessageWithAttachments(json::array({{{"type", "text"}, {"text", ""}}}));
    anthropic.ScriptJson(FakeReplies::AnthropicText("real"));
    bridge->SendMessage("real question");
    ASSERT_TRUE(WaitForTurns(1));
    EXPECT_EQ(anthropic.RequestCount(), 1u);
    EXPECT_EQ(turnsEnded, 1);
}

TEST_F(EngineTest, MessagesQueuedDuringATurnRunAfterIt)
{
    anthropic.Script({200, FakeReplies::AnthropicText("answer one").dump(), true});
    anthropic.ScriptJson(FakeReplies::AnthropicText("answer two"));
    bridge->SendMessage("one");
    ASSERT_TRUE(anthropic.WaitForRequests(1));
    bridge->SendMessage("two");
    EXPECT_TRUE(bridge->IsBusy());
    anthropic.Release();
    ASSERT_TRUE(WaitForTurns(2));
    EXPECT_EQ(texts, (std::vector<std::string>{"answer one", "answer two"}));
    EXPECT_EQ(events, (std::vector<std::string>{"busy:on", "text:answer one", "busy:off", "busy:on",
                                                "text:answer two", "busy:off"}));
}
