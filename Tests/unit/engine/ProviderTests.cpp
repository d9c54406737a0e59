// The providers read replies: text, tool calls, arguments and replies they cannot read; the
// conversation answers every open tool call once.
#include "QuillmereTest.hpp"
#include "engine/AnthropicProvider.hpp"
#include "engine/ModelBridge.hpp"
#include "engine/OpenAIProvider.hpp"
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

TEST(SystemPrompt, TellsTheModelWhatItWouldOtherwiseLearnFromFailures)
{
    for (const char* wording : {"metres", "radians", "Edit > Undo", "not found"})
        EXPECT_NE(SystemPrompt().find(wording), std::string::npos) << wording;
}
