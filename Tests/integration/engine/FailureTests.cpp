#include "EngineFixture.hpp"

namespace {

const int kRefused = -1;  // nothing listens on the port
const int kStalled = -2;  // the server never answers; the client's timeout is shortened
const int kNoKey = -3;    // no key is set for the service

struct FailureCase {
    const char* name;
    bool openai;
    int status;
    std::string body, mentions;
};
void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

std::string ErrorBody(const std::string& message)
{
    return json{{"type", "error"}, {"error", {{"type", "some_error"}, {"message", message}}}}.dump();
}

// A tool input nested far deeper than any stack can copy: written as text, since building it
// as a value and writing that out would recurse just the same.
const std::string kDeep = R"({"points":)" + std::string(200000, '[') + std::string(200000, ']') + "}";

}  // namespace

class FailureTest : public EngineTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, EndsTheTurnWithAWarningAndKeepsTheHistoryUsable)
{
    const FailureCase& c = GetParam();
    const std::string key = c.openai ? kOpenAIKey : kAnthropicKey;
    bridge->SetModel(c.openai ? "gpt-4o" : "claude-test-model");
    if (c.status == kNoKey) {
        bridge->SetApiKeys(c.openai ? kAnthropicKey : "", c.openai ? "" : kOpenAIKey);
    } else if (c.status == kRefused) {
        const std::string closed = FakeModelServer().Url();  // the server is gone with the statement
        bridge->SetBaseUrls(closed, closed);
    } else {
        Quillmere::SetHttpTimeoutOverrideForTesting(c.status == kStalled ? 300 : 0);
        server.Script(c.body, c.status == kStalled ? 200 : c.status, c.status == kStalled);
    }
    std::vector<std::string> unsent;
    bridge->SetUnsentCallback([&](const std::vector<ContentBlock>& message, ModelBridge::GivenBack) {
        for (const ContentBlock& block : message) unsent.push_back(block.text);
    });
    ASSERT_TRUE(Send("first try"));
    EXPECT_EQ(unsent, std::vector<std::string>{"first try"}) << "the message is not given back";

    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind(kWarning, 0), 0u) << texts[0];
    EXPECT_NE(texts[0].find(c.mentions), std::string::npos) << texts[0];
    EXPECT_EQ(texts[0].find(key), std::string::npos) << "the key leaked: " << texts[0];
    EXPECT_EQ(events.front(), "busy:on");
    EXPECT_EQ(events.back(), "busy:off");
    EXPECT_FALSE(bridge->IsBusy());
    EXPECT_EQ(server.Requests().size(), c.status == kRefused || c.status == kNoKey ? 0u : 1u);
    const std::string log = LogText();
    EXPECT_NE(log.find(c.mentions), std::string::npos) << "the failure is not in the debug log: " << log;
    EXPECT_EQ(log.find(key), std::string::npos) << "the key leaked into the debug log";

    // The next message works and goes alone: the failed one was taken out of the history.
    Quillmere::SetHttpTimeoutOverrideForTesting(0);
    bridge->SetBaseUrls(server.Url(), server.Url());
    bridge->SetApiKeys(kAnthropicKey, kOpenAIKey);
    server.Script(c.openai ? OpenAIReply("back again") : AnthropicReply("back again"));
    ASSERT_TRUE(Send("second try"));
    EXPECT_EQ(texts.back(), "back again");
    const json messages = server.Requests().back().body["messages"];
    EXPECT_EQ(messages.dump().find(key), std::string::npos) << "the key entered the history";
    ASSERT_EQ(messages.size(), c.openai ? 2u : 1u);
    EXPECT_EQ(messages.back()["content"].dump().find("first try"), std::string::npos) << messages.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FailureTest,
    ::testing::Values(FailureCase{"Unauthorized", false, 401,
                                  ErrorBody(std::string("bad x-api-key ") + EngineTest::kAnthropicKey), "401"},
                      FailureCase{"NotJson", false, 200, "<html>gateway hiccup</html>", "not JSON"},
                      FailureCase{"ConnectionRefused", false, kRefused, "", "Could not reach Anthropic"},
                      FailureCase{"Stalled", false, kStalled, "{}",
                                  "The request to Anthropic timed out: it was sent, but no answer came"},
                      FailureCase{"DeeplyNestedToolInput", false, 200,
                                  R"({"content":[{"type":"tool_use","id":"t1","name":"probe","input":)" + kDeep + "}]}",
                                  "Unexpected reply from Anthropic: the reply is nested too deeply to be read"},
                      FailureCase{"OpenAIDeeplyNestedArguments", true, 200,
                                  OpenAIReply("", {{"c1", "probe", json(kDeep)}}).dump(),
                                  "Unexpected reply from OpenAI: the reply is nested too deeply to be read"},
                      FailureCase{"NoKey", false, kNoKey, "", "No Anthropic API key is set and you are not signed in"},
                      FailureCase{"OpenAIServerError", true, 503,
                                  ErrorBody(std::string("down for ") + EngineTest::kOpenAIKey), "503"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });
