// Prompt caching as rendered and read by the providers: where the Anthropic cache marks go
// (and that nothing else in the request moves), and the token counts read from replies.

#include <gtest/gtest.h>

#include "engine/AnthropicProvider.hpp"
#include "engine/OpenAIProvider.hpp"

using nlohmann::json;

namespace {

const json kMark{{"type", "ephemeral"}};

json Catalogue(int count)
{
    json tools = json::array();
    for (int i = 0; i < count; ++i) {
        tools.push_back({{"name", "tool_" + std::to_string(i)},
                         {"description", "Tool number " + std::to_string(i)},
                         {"input_schema", {{"type", "object"}, {"properties", json::object()}}}});
    }
    return tools;
}

// Every place a cache mark sits, as a JSON pointer, and the request with the marks taken off.
std::vector<std::string> MarkPlaces(const json& node, const std::string& at = "")
{
    std::vector<std::string> places;
    if (node.is_object()) {
        for (auto it = node.begin(); it != node.end(); ++it) {
            if (it.key() == "cache_control") {
                places.push_back(at);
            } else {
                const auto inner = MarkPlaces(it.value(), at + "/" + it.key());
                places.insert(places.end(), inner.begin(), inner.end());
            }
        }
    } else if (node.is_array()) {
        for (std::size_t i = 0; i < node.size(); ++i) {
            const auto inner = MarkPlaces(node[i], at + "/" + std::to_string(i));
            places.insert(places.end(), inner.begin(), inner.end());
        }
    }
    return places;
}

json Unmarked(json request)
{
    for (const std::string& place : MarkPlaces(request)) {
        request[json::json_pointer(place)].erase("cache_control");
    }
    return request;
}

}  // namespace

TEST(PromptCache, AnthropicMarksSystemLastToolAndLastBlockOnlyAndChangeNothingElse)
{
    Conversation toolTurn;
    toolTurn.AppendUser({ContentBlock::Text("Make two walls"), ContentBlock::Image("image/png", "UE5H")});
    toolTurn.AppendAssistant({ContentBlock::Text("On it."), ContentBlock::ToolUse("a", "tool_0", {{"length", 4}}),
                              ContentBlock::ToolUse("b", "tool_1", json::object())});
    toolTurn.AppendUser({ContentBlock::ToolResult("a", R"({"success":true})"),
                         ContentBlock::ToolResult("b", R"({"success":false,"error":"no"})")});
    Conversation unreadableImage;
    unreadableImage.AppendUser({ContentBlock::Text("See"), ContentBlock::Image("image/tiff", "SUkq")});

    struct Case {
        const char* what;
        const Conversation* conversation;
        std::string system;
        int tools;
        std::vector<std::string> places;
    };
    const std::vector<Case> cases = {
        {"tool results end the history", &toolTurn, "S", 3, {"/messages/2/content/1", "/system/0", "/tools/2"}},
        {"a described image ends the history",
         &unreadableImage,
         "S",
         2,
         {"/messages/0/content/1", "/system/0", "/tools/1"}},
        {"no tools registered", &toolTurn, "S", 0, {"/messages/2/content/1", "/system/0"}},
        {"no system prompt", &toolTurn, "", 1, {"/messages/2/content/1", "/tools/0"}},
    };
    const AnthropicProvider provider;
    for (const Case& c : cases) {
        const json tools = Catalogue(c.tools);
        const json request = provider.RenderRequest(c.conversation->Messages(), c.system, tools, "m", 64);
        EXPECT_EQ(MarkPlaces(request), c.places) << c.what;
        for (const std::string& place : c.places) {
            EXPECT_EQ(request[json::json_pointer(place)]["cache_control"], kMark) << c.what << " " << place;
        }

        // Without the marks it is the request as it was before caching: the system prompt as
        // plain text, the catalogue as given, every block as rendered.
        const json plain = Unmarked(request);
        const json system = c.system.empty() ? json("") : json::array({{{"type", "text"}, {"text", c.system}}});
        EXPECT_EQ(plain["system"], system) << c.what;
        EXPECT_EQ(plain.contains("tools") ? plain["tools"] : json::array(), tools) << c.what;
        EXPECT_EQ(plain["messages"].size(), c.conversation->Size()) << c.what;
        EXPECT_EQ(plain.size(), c.tools > 0 ? 5u : 4u) << c.what;
    }
}

TEST(PromptCache, UsageIsReadFromRepliesThatCarryItAndMissingWhenTheyDoNot)
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
