// The providers read replies: text, tool calls, arguments, token counts and replies they cannot
// read; the conversation answers every open tool call once; the warnings about the services
// never show a key and cut a long service text without breaking a UTF-8 character.
#include "QuillmereTest.hpp"
#include "core/DebugLog.hpp"
#include "core/OutsideText.hpp"
#include "engine/AnthropicProvider.hpp"
#include "engine/ModelBridge.hpp"
#include "engine/OpenAIProvider.hpp"
#include "engine/ServiceErrors.hpp"
#include "engine/SystemPrompt.hpp"

// Host calls made off the main thread are checked at the end of each test.
class Providers : public QuillmereTest {};

using nlohmann::json;

TEST_F(Providers, ConversationOpenToolCallsGetAResultOnce)
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
    EXPECT_EQ(results[1].toolId + ":" + results[1].text, "b:not completed");
    EXPECT_EQ(results[2].toolId + ":" + results[2].text, "c:not completed");
    conversation.AppendAssistant({ContentBlock::Text("all done")});
    conversation.CloseOpenToolCalls("x");
    EXPECT_EQ(conversation.Size(), 4u);
}

TEST_F(Providers, AnthropicParsesTextToolCallsAndStopReason)
{
    const ModelReply reply = AnthropicProvider().ParseReply(R"({"content":[
        {"type":"thinking","thinking":"hmm"}, {"type":"text","text":"First"}, {"type":"text","text":""},
        {"type":"tool_use","id":"tu_1","name":"create_wall","input":{"length":2.5}},
        {"type":"tool_use","id":"tu_2","name":"list_layers","input":"not an object"},
        {"type":"text","text":"Second"}], "stop_reason":"tool_use"})");
    EXPECT_EQ(reply.texts, (std::vector<std::string>{"First", "Second"}));
    EXPECT_EQ(reply.stopReason, "tool_use");
    ASSERT_EQ(reply.toolCalls.size(), 2u);
    EXPECT_EQ(reply.toolCalls[0].id, "tu_1");
    EXPECT_EQ(reply.toolCalls[0].name, "create_wall");
    EXPECT_EQ(reply.toolCalls[0].input, json({{"length", 2.5}}));
    EXPECT_TRUE(reply.toolCalls[0].argumentError.empty());
    EXPECT_FALSE(reply.toolCalls[1].argumentError.empty());
    // Text and tool calls go back into the history in the order the model gave them.
    std::vector<BlockKind> kinds;
    for (const ContentBlock& block : reply.assistantBlocks) kinds.push_back(block.kind);
    EXPECT_EQ(kinds,
              (std::vector<BlockKind>{BlockKind::Text, BlockKind::ToolUse, BlockKind::ToolUse, BlockKind::Text}));
}

TEST_F(Providers, OpenAIParsesTextToolCallsArgumentsAndRefusals)
{
    OpenAIProvider provider;
    const ModelReply reply = provider.ParseReply(R"({"choices":[{"index":0,"finish_reason":"tool_calls",
      "message":{"role":"assistant","content":"Let me look.","tool_calls":[
        {"id":"c1","type":"function","function":{"name":"create_wall","arguments":"{\"length\":3}"}},
        {"id":"c2","type":"function","function":{"name":"create_wall","arguments":""}},
        {"id":"c3","type":"function","function":{"name":"create_wall","arguments":"{\"length\":"}},
        {"id":"c4","type":"function","function":{"name":"create_wall","arguments":"[1]"}}]}}]})");
    EXPECT_EQ(reply.texts, (std::vector<std::string>{"Let me look."}));
    EXPECT_EQ(reply.stopReason, "tool_calls");
    ASSERT_EQ(reply.toolCalls.size(), 4u);
    EXPECT_EQ(reply.toolCalls[0].input, json({{"length", 3}}));
    EXPECT_TRUE(reply.toolCalls[1].argumentError.empty());
    EXPECT_EQ(reply.toolCalls[1].input, json::object());
    EXPECT_FALSE(reply.toolCalls[2].argumentError.empty());
    EXPECT_FALSE(reply.toolCalls[3].argumentError.empty());
    EXPECT_EQ(reply.assistantBlocks.size(), 5u);

    const ModelReply refusal = provider.ParseReply(
        R"({"choices":[{"message":{"content":null,"refusal":"I can't help with that."},"finish_reason":"stop"}]})");
    EXPECT_EQ(refusal.texts, (std::vector<std::string>{"I can't help with that."}));
    EXPECT_TRUE(refusal.toolCalls.empty());
}

TEST_F(Providers, BothRefuseRepliesTheyCannotRead)
{
    const AnthropicProvider anthropic;
    const OpenAIProvider openai;
    const std::vector<std::tuple<const ModelProvider*, std::string, std::string>> cases = {
        {&anthropic, "", "not JSON"},
        {&anthropic, "{}", "content"},
        {&anthropic, R"({"content":[{"type":"tool_use","id":"a","input":{}}]})", "name"},
        {&anthropic, R"({"type":"error","error":{"type":"overloaded_error","message":"Overloaded"}})", "Overloaded"},
        {&anthropic, R"({"error":"gateway says no"})", "gateway says no"},
        {&openai, "{}", "choices"},
        {&openai, R"({"choices":[{"message":{"content":"x","tool_calls":{}}}]})", "tool_calls"},
        {&openai, R"({"choices":[{"message":{"tool_calls":[{"function":{"name":"n","arguments":"{}"}}]}}]})", "id"},
        {&openai, R"({"choices":[{"message":{"tool_calls":[{"id":"a","function":{"name":"n","arguments":{}}}]}}]})",
         "arguments"},
        {&openai, R"({"error":{"message":"The server had an error"}})", "The server had an error"},
    };
    for (const auto& [provider, body, mention] : cases) {
        try {
            provider->ParseReply(body);
            ADD_FAILURE() << "accepted: " << body;
        } catch (const ReplyFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(mention), std::string::npos) << body << " -> " << e.what();
        }
    }
}

TEST_F(Providers, UsageIsReadFromRepliesThatCarryItAndMissingWhenTheyDoNot)
{
    const std::string anthropicContent = R"("content":[{"type":"text","text":"ok"}],"stop_reason":"end_turn")";
    const std::string openaiChoices = R"("choices":[{"message":{"content":"ok"},"finish_reason":"stop"}])";
    const AnthropicProvider anthropic;
    const OpenAIProvider openai;
    struct Case {
        const ModelProvider* provider;
        std::string body;
        std::string logLine;
    };
    const std::vector<Case> cases = {
        {&anthropic,
         "{" + anthropicContent +
             R"(,"usage":{"input_tokens":21,"cache_creation_input_tokens":9800,"cache_read_input_tokens":0,"output_tokens":7}})",
         "Anthropic usage: input_tokens 21, cache_creation_input_tokens 9800, cache_read_input_tokens 0, output_tokens "
         "7"},
        {&anthropic,
         "{" + anthropicContent + R"(,"usage":{"output_tokens":3,"cache_read_input_tokens":10021,"input_tokens":40}})",
         "Anthropic usage: input_tokens 40, cache_read_input_tokens 10021, output_tokens 3"},
        {&anthropic, "{" + anthropicContent + "}", "Anthropic usage: not reported"},
        {&anthropic,
         "{" + anthropicContent + R"(,"usage":{"input_tokens":"12","cache_read_input_tokens":-4,"output_tokens":2.5}})",
         "Anthropic usage: not reported"},
        {&openai,
         "{" + openaiChoices +
             R"(,"usage":{"prompt_tokens":10500,"completion_tokens":12,"prompt_tokens_details":{"cached_tokens":10240}}})",
         "OpenAI usage: prompt_tokens 10500, cached_tokens 10240, completion_tokens 12"},
        {&openai, "{" + openaiChoices + R"(,"usage":{"prompt_tokens":900,"prompt_tokens_details":null}})",
         "OpenAI usage: prompt_tokens 900"},
        {&openai, "{" + openaiChoices + "}", "OpenAI usage: not reported"},
    };
    for (const Case& c : cases) {
        const ModelReply reply = c.provider->ParseReply(c.body);
        EXPECT_EQ(reply.texts, std::vector<std::string>{"ok"}) << c.body;  // usage never disturbs the reply
        EXPECT_EQ(UsageLogLine(c.provider->DisplayName(), reply.usage), c.logLine) << c.body;
    }
    const ModelReply read = anthropic.ParseReply(cases[1].body);
    EXPECT_EQ(read.usage.Count("cache_read_input_tokens"), 10021);
    EXPECT_EQ(read.usage.Count("cache_creation_input_tokens"), -1);
}

static const std::string kKey = "sk-test-0123456789abcdef";

// One row per text the chat may show: the sanitised service text and every warning.
TEST_F(Providers, ServiceTextLosesTheKeyStaysShortAndWarningsSayWhatToDo)
{
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    const std::string mark = kWarningMark;
    const std::string body = R"({"error":{"message":"slow down, )" + kKey + R"("}})";
    DebugLogRedact(kKey);  // as the engine registers its keys
    const auto failure = [](int status, const std::string& body) {
        Quillmere::HttpResponse response;
        response.statusCode = status;
        response.body = body;
        return response;
    };
    const auto echo = [&](const std::string& spelled) {
        return HttpFailureWarning("OpenAI", 400, R"({"error":{"message":"bad key )" + spelled + R"("}})", kKey);
    };
    const std::string badKey = mark + "OpenAI request failed (HTTP 400): bad key [redacted]";
    struct Case {
        const char* name;
        std::string shown, expected;
    };
    const std::vector<Case> cases = {
        {"key everywhere", SanitiseServiceText("bad key " + kKey + " (" + kKey + ")", kKey), "bad key [key] ([key])"},
        {"no key set", SanitiseServiceText("no key set", ""), "no key set"},
        {"300 bytes kept", SanitiseServiceText(std::string(300, 'a'), kKey), std::string(300, 'a')},
        {"301 bytes cut", SanitiseServiceText(std::string(301, 'a'), kKey), std::string(300, 'a') + "..."},
        {"character across the cut", SanitiseServiceText(std::string(299, 'a') + euro + "tail", kKey),
         std::string(299, 'a') + "..."},
        {"character ending at the cut", SanitiseServiceText(std::string(297, 'a') + euro + "tail", kKey),
         std::string(297, 'a') + euro + "..."},
        {"refused key", HttpFailureWarning("Anthropic", 401, body, kKey),
         mark + "Anthropic did not accept the API key (HTTP 401). Check the key in Settings."},
        {"rate limit", HttpFailureWarning("OpenAI", 429, body, kKey),
         mark + "OpenAI is limiting requests (HTTP 429): slow down, [key]. Wait a moment and try again."},
        {"no explanation", HttpFailureWarning("Anthropic", 500, "<html>", kKey),
         mark + "Anthropic request failed (HTTP 500)"},
        {"transport error", UnreachableWarning("OpenAI", "refused for " + kKey, kKey),
         mark + "Could not reach OpenAI: refused for [key]"},
        {"proxy refusing the account", ProxyRefusedWarning("OpenAI through the chat proxy", body, kKey),
         mark + "OpenAI through the chat proxy refused the request for your account (HTTP 403): slow down, [key]"},
        // The key as a server may spell it when it echoes it.
        {"hex", echo("73:6B:2D:74:65:73:74:2D:30:31:32:33:34:35:36:37:38:39:61:62:63:64:65:66"), badKey},
        {"base64 wrapped in lines", echo(R"(c2stdGVzdC0wMTIz\r\nNDU2Nzg5YWJjZGVm)"), badKey},
        {"HTML character references", echo("&#115;&#107;&#45;&#116;est-0123456789abcdef"), badKey},
        // A failed request's body is quoted as it came, a JSON one whole, its echo of the key redacted.
        {"storage error body",
         QuoteFailure(failure(400, R"({"statusCode":"400","error":"InvalidKey","message":"no such object",)"
                                   R"("echo":")" +
                                       kKey + R"("})")),
         R"({"statusCode":"400","error":"InvalidKey","message":"no such object","echo":"[redacted]"})"},
        {"model error body", QuoteFailure(failure(400, R"({"error":{"message":"too long","type":"x"}})")),
         R"({"error":{"message":"too long","type":"x"}})"},
        {"error text", QuoteFailure(failure(404, R"({"error":"not_found"})")), R"({"error":"not_found"})"},
        {"body not JSON", QuoteFailure(failure(502, "<html>bad gateway</html>")), "<html>bad gateway</html>"},
        {"a long JSON body, cut", QuoteFailure(failure(500, R"({"message":")" + std::string(400, 'x') + R"("})")),
         R"({"message":")" + std::string(288, 'x') + "..."},
    };
    for (const Case& c : cases) EXPECT_EQ(c.shown, c.expected) << c.name;
}

TEST(SystemPrompt, TellsTheModelWhatItWouldOtherwiseLearnFromFailures)
{
    for (const char* wording : {"metres", "radians", "Edit > Undo", "not found"})
        EXPECT_NE(SystemPrompt().find(wording), std::string::npos) << wording;
}
