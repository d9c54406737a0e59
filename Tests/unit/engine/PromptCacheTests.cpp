// Prompt-cache token counts as the providers read them from replies.

#include "QuillmereTest.hpp"
#include "engine/AnthropicProvider.hpp"
#include "engine/OpenAIProvider.hpp"

using nlohmann::json;

class PromptCacheTest : public QuillmereTest {};

TEST_F(PromptCacheTest, UsageIsReadFromRepliesThatCarryItAndMissingWhenTheyDoNot)
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
