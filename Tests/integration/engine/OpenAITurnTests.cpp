#include "EngineFixture.hpp"

using nlohmann::json;

TEST_F(EngineTest, OpenAIModelNamesGoToOpenAIWithBearerKey)
{
    bridge->SetModel("gpt-4o-mini");
    openai.ScriptJson(FakeReplies::OpenAIText("Hi from the other service"));
    bridge->SendMessage("Hello");
    ASSERT_TRUE(WaitForTurns(1));

    EXPECT_EQ(texts, (std::vector<std::string>{"Hi from the other service"}));
    EXPECT_EQ(anthropic.RequestCount(), 0u);
    ASSERT_EQ(openai.RequestCount(), 1u);
    const auto request = openai.Requests()[0];
    EXPECT_EQ(request.path, "/v1/chat/completions");
    EXPECT_EQ(request.headers.at("Authorization"), std::string("Bearer ") + kOpenAIKey);
    EXPECT_EQ(request.headers.count("x-api-key"), 0u);
    EXPECT_EQ(request.json.at("model"), "gpt-4o-mini");
    EXPECT_EQ(request.json.at("max_completion_tokens"), 4096);
    const json& messages = request.json.at("messages");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].at("role"), "system");
    EXPECT_EQ(messages[1], json({{"role", "user"}, {"content", "Hello"}}));
}

TEST_F(EngineTest, OpenAIToolTurnSendsToolMessageWithCallId)
{
    bridge->SetModel("o3-mini");
    ToolResult made = ToolResult::Ok("GUID-9", "");
    json seen;
    AddTool("probe_slab", [&](const json& input) { seen = input; return made; });
    openai.ScriptJson(FakeReplies::OpenAITools("", {{"call_abc", "probe_slab", {{"story", 2}}}}));
    openai.ScriptJson(FakeReplies::OpenAIText("Slab placed."));

    bridge->SendMessage("Slab on story 2");
    ASSERT_TRUE(WaitForTurns(1));

    EXPECT_EQ(seen, json({{"story", 2}}));
    EXPECT_EQ(events, (std::vector<std::string>{"busy:on", "tool:probe_slab:ok:GUID-9", "text:Slab placed.",
                                                "busy:off"}));
    const json messages = openai.Requests()[1].json.at("messages");
    ASSERT_EQ(messages.size(), 4u);
    const json& assistant = messages[2];
    EXPECT_EQ(assistant.at("role"), "assistant");
    EXPECT_TRUE(assistant.at("content").is_null());
    EXPECT_EQ(assistant.at("tool_calls")[0].at("id"), "call_abc");
    EXPECT_EQ(json::parse(assistant.at("tool_calls")[0].at("function").at("arguments").get<std::string>()),
              json({{"story", 2}}));
    EXPECT_EQ(messages[3], json({{"role", "tool"}, {"tool_call_id", "call_abc"}, {"content", made.toJson()}}));
    bool listed = false;
    const json tools = openai.Requests()[0].json.at("tools");
    for (const json& tool : tools) {
        listed = listed || (tool.at("type") == "function" && tool.at("function").at("name") == "probe_slab" &&
                            tool.at("function").contains("parameters"));
    }
    EXPECT_TRUE(listed);
}

TEST_F(EngineTest, OpenAIArgumentsThatAreNotJsonFailWithoutRunningTheTool)
{
    bridge->SetModel("gpt-4.1");
    bool ran = false;
    AddTool("probe_tool", [&](const json&) { ran = true; return ToolResult::Ok("", "x"); });
    json reply = FakeReplies::OpenAITools("", {{"call_1", "probe_tool", json::object()}});
    reply["choices"][0]["message"]["tool_calls"][0]["function"]["arguments"] = "{\"story\": 2";
    openai.ScriptJson(reply);
    openai.ScriptJson(FakeReplies::OpenAIText("sorry"));

    bridge->SendMessage("go");
    ASSERT_TRUE(WaitForTurns(1));

    EXPECT_FALSE(ran);
    const json toolMessage = openai.Requests()[1].json.at("messages").back();
    EXPECT_EQ(toolMessage.at("role"), "tool");
    const json content = json::parse(toolMessage.at("content").get<std::string>());
    EXPECT_EQ(content.at("success"), false);
    EXPECT_FALSE(content.at("error").get<std::string>().empty());
}

TEST_F(EngineTest, ConversationCarriesOverWhenTheModelChangesProvider)
{
    AddTool("probe_tool", [](const json&) { return ToolResult::Ok("G-1", "made"); });
    anthropic.ScriptJson(FakeReplies::AnthropicTools("Working.", {{"toolu_1", "probe_tool", {{"n", 1}}}}));
    anthropic.ScriptJson(FakeReplies::AnthropicText("First done."));
    bridge->SendMessage("first");
    ASSERT_TRUE(WaitForTurns(1));

    bridge->SetModel("gpt-4o");
    openai.ScriptJson(FakeReplies::OpenAIText("Second done."));
    bridge->SendMessage("second");
    ASSERT_TRUE(WaitForTurns(2));

    ASSERT_EQ(openai.RequestCount(), 1u);
    const json messages = openai.Requests()[0].json.at("messages");
    std::vector<std::string> roles;
    for (const json& message : messages) {
        roles.push_back(message.at("role"));
    }
    EXPECT_EQ(roles, (std::vector<std::string>{"system", "user", "assistant", "tool", "assistant", "user"}));
    EXPECT_EQ(messages[2].at("content"), "Working.");
    EXPECT_EQ(messages[2].at("tool_calls")[0].at("id"), "toolu_1");
    EXPECT_EQ(messages[3].at("tool_call_id"), "toolu_1");
    EXPECT_EQ(messages[3].at("content"), ToolResult::Ok("G-1", "made").toJson());
    EXPECT_EQ(messages[5].at("content"), "second");
}
