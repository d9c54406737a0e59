#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/AnthropicProvider.hpp"
#include "core/Conversation.hpp"
#include "core/ModelBridge.hpp"
#include "core/OpenAIProvider.hpp"

using nlohmann::json;

namespace {

json SampleTools()
{
    return json::array({{{"name", "create_wall"},
                         {"description", "Creates a wall"},
                         {"input_schema", {{"type", "object"}, {"properties", {{"length", {{"type", "number"}}}}}}}}});
}

// user: text + png + pdf; assistant: text + tool call; user: result + follow-up text.
std::vector<HistoryMessage> SampleHistory()
{
    Conversation conversation;
    conversation.AppendUser({ContentBlock::Text("Draw this"), ContentBlock::Image("image/png", "UE5H"),
                             ContentBlock::Document("application/pdf", "JVBE")});
    conversation.AppendAssistant(
        {ContentBlock::Text("On it."), ContentBlock::ToolUse("call_1", "create_wall", {{"length", 4}})});
    conversation.AppendUser({ContentBlock::ToolResult("call_1", R"({"success":true})")});
    conversation.AppendUser({ContentBlock::Text("Thanks")});
    return conversation.Messages();
}

}  // namespace

// ---- Neutral history -----------------------------------------------------------------------

TEST(Conversation, UserTurnsJoinSoRolesAlternate)
{
    Conversation conversation;
    conversation.AppendUser({ContentBlock::Text("a")});
    conversation.AppendUser({ContentBlock::Text("b")});
    conversation.AppendAssistant({});
    conversation.AppendUser({});
    ASSERT_EQ(conversation.Size(), 1u);
    EXPECT_EQ(conversation.Messages()[0].blocks.size(), 2u);
    conversation.AppendAssistant({ContentBlock::Text("c")});
    conversation.AppendUser({ContentBlock::Text("d")});
    EXPECT_EQ(conversation.Size(), 3u);
    conversation.Clear();
    EXPECT_EQ(conversation.Size(), 0u);
}

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

TEST(AnthropicProvider, RendersHistoryToolsAndLimits)
{
    AnthropicProvider provider;
    const json request = provider.RenderRequest(SampleHistory(), "SYSTEM", SampleTools(), "claude-x", 4096);

    EXPECT_EQ(request.at("model"), "claude-x");
    EXPECT_EQ(request.at("max_tokens"), 4096);
    EXPECT_EQ(request.at("system"), "SYSTEM");
    EXPECT_EQ(request.at("tools"), SampleTools());
    const json expected = json::parse(R"([
      {"role":"user","content":[
        {"type":"text","text":"Draw this"},
        {"type":"image","source":{"type":"base64","media_type":"image/png","data":"UE5H"}},
        {"type":"document","source":{"type":"base64","media_type":"application/pdf","data":"JVBE"}}]},
      {"role":"assistant","content":[
        {"type":"text","text":"On it."},
        {"type":"tool_use","id":"call_1","name":"create_wall","input":{"length":4}}]},
      {"role":"user","content":[
        {"type":"tool_result","tool_use_id":"call_1","content":"{\"success\":true}"},
        {"type":"text","text":"Thanks"}]}])");
    EXPECT_EQ(request.at("messages"), expected);

    const auto headers = provider.Headers("KEY");
    EXPECT_EQ(headers.at("x-api-key"), "KEY");
    EXPECT_EQ(headers.at("content-type"), "application/json");
    EXPECT_EQ(headers.count("anthropic-version"), 1u);
}

TEST(AnthropicProvider, RendersEdgeBlocksSafely)
{
    AnthropicProvider provider;
    Conversation conversation;
    conversation.AppendUser({ContentBlock::Image("image/tiff", "SUkq"), ContentBlock::Document("", "JVBE")});
    conversation.AppendAssistant({ContentBlock::ToolUse("t", "x", json::array({1, 2}))});
    const json request = provider.RenderRequest(conversation.Messages(), "S", json::array(), "m", 10);

    EXPECT_FALSE(request.contains("tools"));
    const json& user = request.at("messages")[0].at("content");
    EXPECT_EQ(user[0].at("type"), "text");  // an image type the service cannot read is described
    EXPECT_NE(user[0].at("text").get<std::string>().find("image/tiff"), std::string::npos);
    EXPECT_EQ(user[1].at("source").at("media_type"), "application/pdf");
    EXPECT_EQ(request.at("messages")[1].at("content")[0].at("input"), json::object());
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

TEST(OpenAIProvider, RendersHistoryToolsAndLimits)
{
    OpenAIProvider provider;
    const json request = provider.RenderRequest(SampleHistory(), "SYSTEM", SampleTools(), "gpt-x", 4096);

    EXPECT_EQ(request.at("model"), "gpt-x");
    EXPECT_EQ(request.at("max_completion_tokens"), 4096);
    EXPECT_EQ(request.at("tools"), json::parse(R"([{"type":"function","function":{
        "name":"create_wall","description":"Creates a wall",
        "parameters":{"type":"object","properties":{"length":{"type":"number"}}}}}])"));

    const json& messages = request.at("messages");
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0], json({{"role", "system"}, {"content", "SYSTEM"}}));
    const json& user = messages[1].at("content");
    ASSERT_EQ(user.size(), 3u);
    EXPECT_EQ(user[0], json({{"type", "text"}, {"text", "Draw this"}}));
    EXPECT_EQ(user[1], json({{"type", "image_url"}, {"image_url", {{"url", "data:image/png;base64,UE5H"}}}}));
    EXPECT_EQ(user[2].at("type"), "file");
    EXPECT_EQ(user[2].at("file").at("file_data"), "data:application/pdf;base64,JVBE");
    EXPECT_EQ(user[2].at("file").at("filename"), "attachment-1.pdf");

    EXPECT_EQ(messages[2].at("role"), "assistant");
    EXPECT_EQ(messages[2].at("content"), "On it.");
    const json& call = messages[2].at("tool_calls")[0];
    EXPECT_EQ(call.at("id"), "call_1");
    EXPECT_EQ(call.at("type"), "function");
    EXPECT_EQ(call.at("function").at("name"), "create_wall");
    EXPECT_EQ(json::parse(call.at("function").at("arguments").get<std::string>()), json({{"length", 4}}));

    // Tool results come first as their own messages, then the rest of the user's turn.
    EXPECT_EQ(messages[3], json({{"role", "tool"}, {"tool_call_id", "call_1"}, {"content", R"({"success":true})"}}));
    EXPECT_EQ(messages[4], json({{"role", "user"}, {"content", "Thanks"}}));

    const auto headers = provider.Headers("KEY");
    EXPECT_EQ(headers.at("Authorization"), "Bearer KEY");
    EXPECT_EQ(headers.count("x-api-key"), 0u);
}

TEST(OpenAIProvider, AssistantWithOnlyToolCallsHasNullContent)
{
    OpenAIProvider provider;
    Conversation conversation;
    conversation.AppendUser({ContentBlock::Text("go")});
    conversation.AppendAssistant({ContentBlock::ToolUse("c1", "a", json::object()),
                                  ContentBlock::ToolUse("c2", "b", {{"k", "v"}})});
    conversation.AppendUser({ContentBlock::ToolResult("c1", "r1"), ContentBlock::ToolResult("c2", "r2")});
    const json messages = provider.RenderRequest(conversation.Messages(), "S", json::array(), "m", 1).at("messages");

    ASSERT_EQ(messages.size(), 5u);
    EXPECT_TRUE(messages[2].at("content").is_null());
    EXPECT_EQ(messages[2].at("tool_calls").size(), 2u);
    EXPECT_EQ(messages[3].at("tool_call_id"), "c1");
    EXPECT_EQ(messages[4].at("tool_call_id"), "c2");
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

TEST(ServiceErrorMessage, ReadsBothShapesAndNothingElse)
{
    EXPECT_EQ(ServiceErrorMessage(R"({"error":{"message":"bad key"}})"), "bad key");
    EXPECT_EQ(ServiceErrorMessage(R"({"error":"plain"})"), "plain");
    EXPECT_EQ(ServiceErrorMessage(R"({"error":{"code":5}})"), "");
    EXPECT_EQ(ServiceErrorMessage("<html>502</html>"), "");
    EXPECT_EQ(ServiceErrorMessage("[]"), "");
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

TEST(ModelBridgeRules, AttachmentExtensionFromMediaType)
{
    EXPECT_EQ(ModelBridge::ExtensionForMediaType("application/pdf"), "pdf");
    EXPECT_EQ(ModelBridge::ExtensionForMediaType("image/jpeg"), "jpg");
    EXPECT_EQ(ModelBridge::ExtensionForMediaType("image/tiff"), "tiff");
    EXPECT_EQ(ModelBridge::ExtensionForMediaType("image/png"), "png");
    EXPECT_EQ(ModelBridge::ExtensionForMediaType("image/webp"), "png");
    EXPECT_EQ(ModelBridge::ExtensionForMediaType(""), "png");
}
