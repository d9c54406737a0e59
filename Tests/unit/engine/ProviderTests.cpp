#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/AnthropicProvider.hpp"
#include "core/Conversation.hpp"
#include "core/ModelBridge.hpp"
#include "core/OpenAIProvider.hpp"

using nlohmann::json;

// ---- Neutral history -----------------------------------------------------------------------

TEST(Conversation, OpenToolCallsGetAResultOnce)
{
    Conversation conversation;
    conversation.CloseOpenToolCalls("none");  // nothing asked yet
    conversation.AppendUser({ContentBlock::Text("go")});
    conversation.AppendAssistant({ContentBlock::Text("ok"), ContentBlock::ToolUse("a", "t", json::object()),
                                  ContentBlock::ToolUse("b", "t", json::object()),
                                  ContentBlock::ToolUse("c", "t", json::object())});
    conversation.AppendUser({ContentBlock::ToolResult("a", "done")});

    conversation.CloseOpenToolCalls("not completed");
    conversation.CloseOpenToolCalls("again");
    ASSERT_EQ(conversation.Size(), 3u);
    const auto& results = conversation.Messages()[2].blocks;
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].text, "done");
    EXPECT_EQ(results[1].toolId, "b");
    EXPECT_EQ(results[1].text, "not completed");
    EXPECT_EQ(results[2].toolId, "c");

    conversation.AppendAssistant({ContentBlock::Text("all done")});
    conversation.CloseOpenToolCalls("x");
    EXPECT_EQ(conversation.Size(), 4u);
}

// ---- Anthropic -----------------------------------------------------------------------------

TEST(AnthropicProvider, RendersAttachmentsItCannotSendAsTheServiceAccepts)
{
    AnthropicProvider provider;
    Conversation conversation;
    conversation.AppendUser({ContentBlock::Image("image/tiff", "SUkq"), ContentBlock::Document("", "JVBE")});
    const json user = provider.RenderRequest(conversation.Messages(), "S", json::array(), "m", 10)
                          .at("messages")[0]
                          .at("content");
    EXPECT_EQ(user[0].at("type"), "text");  // an image type the service cannot read is described
    EXPECT_NE(user[0].at("text").get<std::string>().find("image/tiff"), std::string::npos);
    EXPECT_EQ(user[1].at("source").at("media_type"), "application/pdf");
}

TEST(AnthropicProvider, ParsesTextToolCallsAndStopReason)
{
    AnthropicProvider provider;
    const ModelReply reply = provider.ParseReply(R"({"content":[
        {"type":"thinking","thinking":"hmm"},
        {"type":"text","text":"First"},
        {"type":"text","text":""},
        {"type":"tool_use","id":"tu_1","name":"create_wall","input":{"length":2.5}},
        {"type":"tool_use","id":"tu_2","name":"list_layers","input":"not an object"},
        {"type":"text","text":"Second"}],
      "stop_reason":"tool_use"})");

    EXPECT_EQ(reply.texts, (std::vector<std::string>{"First", "Second"}));
    EXPECT_EQ(reply.stopReason, "tool_use");
    ASSERT_EQ(reply.toolCalls.size(), 2u);
    EXPECT_EQ(reply.toolCalls[0].id, "tu_1");
    EXPECT_EQ(reply.toolCalls[0].name, "create_wall");
    EXPECT_EQ(reply.toolCalls[0].input, json({{"length", 2.5}}));
    EXPECT_TRUE(reply.toolCalls[0].argumentError.empty());
    EXPECT_FALSE(reply.toolCalls[1].argumentError.empty());
    // Text and tool calls go back into the history in the order the model gave them.
    ASSERT_EQ(reply.assistantBlocks.size(), 4u);
    EXPECT_EQ(reply.assistantBlocks[0].kind, BlockKind::Text);
    EXPECT_EQ(reply.assistantBlocks[1].kind, BlockKind::ToolUse);
    EXPECT_EQ(reply.assistantBlocks[3].text, "Second");
}

TEST(AnthropicProvider, RefusesRepliesItCannotRead)
{
    AnthropicProvider provider;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "not JSON"},
        {"<html>", "not JSON"},
        {"[1,2]", "not a JSON object"},
        {"{}", "content"},
        {R"({"content":{}})", "content"},
        {R"({"content":[1]})", "not an object"},
        {R"({"content":[{"text":"x"}]})", "type"},
        {R"({"content":[{"type":"text","text":5}]})", "text"},
        {R"({"content":[{"type":"tool_use","id":"a","input":{}}]})", "name"},
        {R"({"type":"error","error":{"type":"overloaded_error","message":"Overloaded"}})", "Overloaded"},
        {R"({"error":"gateway says no"})", "gateway says no"},
    };
    for (const auto& [body, mention] : cases) {
        try {
            provider.ParseReply(body);
            ADD_FAILURE() << "accepted: " << body;
        } catch (const ReplyFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(mention), std::string::npos) << body << " -> " << e.what();
        }
    }
}

// ---- OpenAI --------------------------------------------------------------------------------

TEST(OpenAIProvider, RendersAttachmentsAndSplitsToolResultsFromTheUserTurn)
{
    Conversation conversation;
    conversation.AppendUser({ContentBlock::Text("Draw this"), ContentBlock::Image("image/png", "UE5H"),
                             ContentBlock::Document("application/pdf", "JVBE")});
    conversation.AppendAssistant({ContentBlock::ToolUse("call_1", "create_wall", {{"length", 4}})});
    conversation.AppendUser({ContentBlock::ToolResult("call_1", R"({"success":true})")});
    conversation.AppendUser({ContentBlock::Text("Thanks")});
    const json messages =
        OpenAIProvider().RenderRequest(conversation.Messages(), "SYSTEM", json::array(), "gpt-x", 4096).at("messages");

    ASSERT_EQ(messages.size(), 5u);
    const json& user = messages[1].at("content");
    ASSERT_EQ(user.size(), 3u);
    EXPECT_EQ(user[0], json({{"type", "text"}, {"text", "Draw this"}}));
    EXPECT_EQ(user[1], json({{"type", "image_url"}, {"image_url", {{"url", "data:image/png;base64,UE5H"}}}}));
    EXPECT_EQ(user[2], json({{"type", "file"},
                             {"file", {{"filename", "attachment-1.pdf"}, {"file_data", "data:application/pdf;base64,JVBE"}}}}));
    // Tool results come first as their own messages, then the rest of the user's turn.
    EXPECT_EQ(messages[3], json({{"role", "tool"}, {"tool_call_id", "call_1"}, {"content", R"({"success":true})"}}));
    EXPECT_EQ(messages[4], json({{"role", "user"}, {"content", "Thanks"}}));
}

TEST(OpenAIProvider, ParsesTextToolCallsAndArguments)
{
    OpenAIProvider provider;
    const ModelReply reply = provider.ParseReply(R"({"choices":[{"index":0,"finish_reason":"tool_calls",
      "message":{"role":"assistant","content":"Let me look.","tool_calls":[
        {"id":"c1","type":"function","function":{"name":"get_project_info","arguments":"{}"}},
        {"id":"c2","type":"function","function":{"name":"create_wall","arguments":"{\"length\":3}"}},
        {"id":"c3","type":"function","function":{"name":"create_wall","arguments":""}},
        {"id":"c4","type":"function","function":{"name":"create_wall","arguments":"{\"length\":"}},
        {"id":"c5","type":"function","function":{"name":"create_wall","arguments":"[1]"}}]}}]})");

    EXPECT_EQ(reply.texts, (std::vector<std::string>{"Let me look."}));
    EXPECT_EQ(reply.stopReason, "tool_calls");
    ASSERT_EQ(reply.toolCalls.size(), 5u);
    EXPECT_EQ(reply.toolCalls[1].input, json({{"length", 3}}));
    EXPECT_TRUE(reply.toolCalls[2].argumentError.empty());
    EXPECT_EQ(reply.toolCalls[2].input, json::object());
    EXPECT_FALSE(reply.toolCalls[3].argumentError.empty());
    EXPECT_FALSE(reply.toolCalls[4].argumentError.empty());
    EXPECT_EQ(reply.assistantBlocks.size(), 6u);
}

TEST(OpenAIProvider, RefusalIsShownAsText)
{
    OpenAIProvider provider;
    const ModelReply reply = provider.ParseReply(
        R"({"choices":[{"message":{"role":"assistant","content":null,"refusal":"I can't help with that."},"finish_reason":"stop"}]})");
    EXPECT_EQ(reply.texts, (std::vector<std::string>{"I can't help with that."}));
    EXPECT_TRUE(reply.toolCalls.empty());
}

TEST(OpenAIProvider, RefusesRepliesItCannotRead)
{
    OpenAIProvider provider;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"nope", "not JSON"},
        {"{}", "choices"},
        {R"({"choices":[]})", "choices"},
        {R"({"choices":[{}]})", "message"},
        {R"({"choices":[{"message":{"content":7}}]})", "content"},
        {R"({"choices":[{"message":{"content":"x","tool_calls":{}}}]})", "tool_calls"},
        {R"({"choices":[{"message":{"tool_calls":[{"id":"a"}]}}]})", "function"},
        {R"({"choices":[{"message":{"tool_calls":[{"function":{"name":"n","arguments":"{}"}}]}}]})", "id"},
        {R"({"choices":[{"message":{"tool_calls":[{"id":"a","function":{"name":"n","arguments":{}}}]}}]})",
         "arguments"},
        {R"({"error":{"message":"The server had an error"}})", "The server had an error"},
    };
    for (const auto& [body, mention] : cases) {
        try {
            provider.ParseReply(body);
            ADD_FAILURE() << "accepted: " << body;
        } catch (const ReplyFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(mention), std::string::npos) << body << " -> " << e.what();
        }
    }
}

// ---- Choosing the provider and naming attachments ------------------------------------------

TEST(ModelBridgeRules, ProviderFollowsTheModelName)
{
    const std::vector<std::pair<std::string, ProviderKind>> cases = {
        {"gpt-4o", ProviderKind::OpenAI},          {"GPT-4.1-mini", ProviderKind::OpenAI},
        {"chatgpt-4o-latest", ProviderKind::OpenAI}, {"ft:gpt-4o:org:x", ProviderKind::OpenAI},
        {"o1", ProviderKind::OpenAI},              {"o3-mini", ProviderKind::OpenAI},
        {"o4-mini", ProviderKind::OpenAI},         {"claude-sonnet-4-20250514", ProviderKind::Anthropic},
        {"claude-3-5-haiku-latest", ProviderKind::Anthropic}, {"opus", ProviderKind::Anthropic},
        {"o", ProviderKind::Anthropic},            {"gpt", ProviderKind::Anthropic},
    };
    for (const auto& [model, kind] : cases) {
        EXPECT_EQ(ModelBridge::ProviderForModel(model, "openai"), kind) << model;
    }
    EXPECT_EQ(ModelBridge::ProviderForModel("", "openai"), ProviderKind::OpenAI);
    EXPECT_EQ(ModelBridge::ProviderForModel("", "OpenAI"), ProviderKind::OpenAI);
    EXPECT_EQ(ModelBridge::ProviderForModel("", "anthropic"), ProviderKind::Anthropic);
    EXPECT_EQ(ModelBridge::ProviderForModel("", ""), ProviderKind::Anthropic);
}
