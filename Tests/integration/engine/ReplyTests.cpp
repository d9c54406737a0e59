// What the model and the page learn from a reply beyond its text: a failed tool call is sent
// back to Anthropic marked as an error, and a reply stopped by the output limit is marked as cut.
#include "EngineFixture.hpp"

TEST_F(EngineTest, FailedToolResultsReachAnthropicMarkedAsErrorsWithTheirContentUnchanged)
{
    AddTool("works", [](const json&) { return ToolResult::Ok("guid-1", "Made"); });
    AddTool("breaks", [](const json&) { return ToolResult::Fail("No such story: 9"); });
    server.Script(AnthropicReply(
        "", {{"a", "works", json::object()}, {"b", "breaks", json::object()}, {"c", "missing_tool", json::object()}}));
    server.Script(AnthropicReply("done"));
    ASSERT_TRUE(Send("go"));

    const json results = server.Requests().at(1).body["messages"].at(2)["content"];
    ASSERT_EQ(results.size(), 3u) << results.dump();
    const json made =
        json{{"type", "tool_result"}, {"tool_use_id", "a"}, {"content", ToolResult::Ok("guid-1", "Made").toJson()}};
    EXPECT_EQ(results[0], made) << "a successful result carries no error mark";
    EXPECT_EQ(results[1], (json{{"type", "tool_result"},
                                {"tool_use_id", "b"},
                                {"content", ToolResult::Fail("No such story: 9").toJson()},
                                {"is_error", true}}));
    EXPECT_EQ(results[2]["is_error"], true) << results[2].dump();
}

TEST_F(EngineTest, AReplyCutByTheOutputLimitIsMarkedAfterItsText)
{
    struct Case {
        const char* name;
        const char* model;
        json reply;
        bool cut;
    };
    json openaiCut = OpenAIReply("The walls are");
    openaiCut["choices"][0]["finish_reason"] = "length";
    json anthropicCut = AnthropicReply("The walls are");
    anthropicCut["stop_reason"] = "max_tokens";
    const std::vector<Case> cases = {
        {"Anthropic at the limit", "claude-test-model", anthropicCut, true},
        {"OpenAI at the limit", "gpt-4o", openaiCut, true},
        {"Anthropic finished", "claude-test-model", AnthropicReply("The walls are done."), false},
    };
    for (const Case& c : cases) {
        texts.clear();
        bridge->SetModel(c.model);
        server.Script(c.reply);
        ASSERT_TRUE(Send("describe")) << c.name;
        ASSERT_EQ(texts.size(), c.cut ? 2u : 1u) << c.name;
        EXPECT_EQ(texts[0].rfind(kWarning, 0), std::string::npos) << c.name;
        if (c.cut) {
            EXPECT_EQ(texts[1], std::string(kWarning) + "The reply above was cut short: it reached the limit of " +
                                    std::to_string(ModelBridge::kMaxOutputTokens) +
                                    " output tokens. Ask the assistant to continue.")
                << c.name;
        }
    }
}
