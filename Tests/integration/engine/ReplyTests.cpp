// A reply stopped by the output limit is marked as cut after its text.
#include "EngineFixture.hpp"

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
