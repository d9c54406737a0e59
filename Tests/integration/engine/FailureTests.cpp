#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "EngineFixture.hpp"
#include "core/HttpClient.hpp"

using nlohmann::json;

namespace {

const char* const kWarning = "\xE2\x9A\xA0 ";

// A port on 127.0.0.1 that nothing listens on.
int ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

enum class Service { Anthropic, OpenAI };

struct FailureCase {
    const char* name;
    Service service;
    int status;              // 0: the reply is a transport failure (see below)
    std::string body;
    bool refuse = false;     // point the engine at a closed port
    bool stall = false;      // the server never answers; the client's timeout is shortened
    std::string mentions;    // text the warning must contain
};

void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string ErrorBody(const std::string& message)
{
    return json{{"type", "error"}, {"error", {{"type", "some_error"}, {"message", message}}}}.dump();
}

}  // namespace

class FailureTest : public EngineTest, public ::testing::WithParamInterface<FailureCase> {
protected:
    void TearDown() override
    {
        Quillmere::SetHttpTimeoutOverrideForTesting(0);
        EngineTest::TearDown();
    }
};

TEST_P(FailureTest, EndsTheTurnWithAWarningAndKeepsTheHistoryUsable)
{
    const FailureCase& c = GetParam();
    const bool viaOpenAI = c.service == Service::OpenAI;
    FakeModelServer& server = viaOpenAI ? openai : anthropic;
    const std::string key = viaOpenAI ? kOpenAIKey : kAnthropicKey;
    bridge->SetModel(viaOpenAI ? "gpt-4o" : "claude-test-model");
    if (c.refuse) {
        const std::string dead = "http://127.0.0.1:" + std::to_string(ClosedPort());
        bridge->SetBaseUrls(dead, dead);
    } else {
        if (c.stall) {
            Quillmere::SetHttpTimeoutOverrideForTesting(300);
        }
        server.Script({c.status, c.body, c.stall});
    }

    bridge->SendMessage("first try");
    ASSERT_TRUE(WaitForTurns(1));

    ASSERT_EQ(texts.size(), 1u);
    const std::string& warning = texts[0];
    EXPECT_EQ(warning.rfind(kWarning, 0), 0u) << warning;
    EXPECT_NE(warning.find(c.mentions), std::string::npos) << warning;
    EXPECT_EQ(warning.find(key), std::string::npos) << "the key leaked: " << warning;
    EXPECT_EQ(events.front(), "busy:on");
    EXPECT_EQ(events.back(), "busy:off");
    EXPECT_FALSE(bridge->IsBusy());
    const std::string log = DebugLogText();
    EXPECT_NE(log.find(c.mentions), std::string::npos) << "the failure is not in the debug log: " << log;
    EXPECT_EQ(log.find(key), std::string::npos) << "the key leaked into the debug log";

    // The next message works and carries the failed one with it, roles still alternating.
    Quillmere::SetHttpTimeoutOverrideForTesting(0);
    bridge->SetBaseUrls(anthropic.BaseUrl(), openai.BaseUrl());
    if (viaOpenAI) {
        server.ScriptJson(FakeReplies::OpenAIText("back again"));
    } else {
        server.ScriptJson(FakeReplies::AnthropicText("back again"));
    }
    bridge->SendMessage("second try");
    ASSERT_TRUE(WaitForTurns(2));
    EXPECT_EQ(texts.back(), "back again");
    const json messages = server.Requests().back().json.at("messages");
    if (viaOpenAI) {
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[1].at("content"), "first try\n\nsecond try");
    } else {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].at("content").size(), 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FailureTest,
    ::testing::Values(
        FailureCase{"Unauthorized", Service::Anthropic, 401, ErrorBody(std::string("invalid x-api-key ") + EngineTest::kAnthropicKey), false, false, "401"},
        FailureCase{"RateLimited", Service::Anthropic, 429, ErrorBody(std::string("slow down, key ") + EngineTest::kAnthropicKey), false, false, "429"},
        FailureCase{"ServerError", Service::Anthropic, 500, ErrorBody("Overloaded"), false, false, "Overloaded"},
        FailureCase{"NotJson", Service::Anthropic, 200, "<html>gateway hiccup</html>", false, false, "not JSON"},
        FailureCase{"WrongShape", Service::Anthropic, 200, R"({"content":"just a string"})", false, false, "content"},
        FailureCase{"ConnectionRefused", Service::Anthropic, 0, "", true, false, "Could not reach Anthropic"},
        FailureCase{"Stalled", Service::Anthropic, 200, "{}", false, true, "Could not reach Anthropic"},
        FailureCase{"OpenAIServerError", Service::OpenAI, 503, ErrorBody(std::string("down for key ") + EngineTest::kOpenAIKey), false, false, "503"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(EngineTest, MissingKeyAsksForOneInSettingsWithoutARequest)
{
    bridge->SetApiKeys("", kOpenAIKey);
    bridge->SendMessage("hello");
    ASSERT_TRUE(WaitForTurns(1));
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind(kWarning, 0), 0u);
    EXPECT_NE(texts[0].find("Anthropic"), std::string::npos);
    EXPECT_NE(texts[0].find("Settings"), std::string::npos);

    bridge->SetModel("gpt-4o");
    bridge->SetOpenAIApiKey("");
    bridge->SendMessage("hello again");
    ASSERT_TRUE(WaitForTurns(2));
    EXPECT_NE(texts.back().find("OpenAI"), std::string::npos);
    EXPECT_EQ(anthropic.RequestCount() + openai.RequestCount(), 0u);

    // Adding the key is enough; the earlier messages are still in the conversation.
    bridge->SetOpenAIApiKey(kOpenAIKey);
    openai.ScriptJson(FakeReplies::OpenAIText("now it works"));
    bridge->SendMessage("third");
    ASSERT_TRUE(WaitForTurns(3));
    EXPECT_EQ(texts.back(), "now it works");
    EXPECT_EQ(openai.Requests()[0].json.at("messages")[1].at("content"), "hello\n\nhello again\n\nthird");
}

TEST_F(EngineTest, AMessageTheServiceRefusesIsNotSentAgain)
{
    anthropic.ScriptJson(FakeReplies::AnthropicText("first answer"));
    bridge->SendMessage("hello");
    ASSERT_TRUE(WaitForTurns(1));

    anthropic.Script({413, ErrorBody("request too large"), false});
    const json block = {{"type", "document"},
                        {"source", {{"type", "base64"}, {"media_type", "application/pdf"}, {"data", "JVBERi0x"}}}};
    bridge->SendMessageWithAttachments(json::array({{{"type", "text"}, {"text", "huge plan"}}, block}));
    ASSERT_TRUE(WaitForTurns(2));
    EXPECT_EQ(texts.back().rfind(kWarning, 0), 0u);
    EXPECT_NE(texts.back().find("not kept"), std::string::npos) << texts.back();

    anthropic.ScriptJson(FakeReplies::AnthropicText("second answer"));
    bridge->SendMessage("smaller one");
    ASSERT_TRUE(WaitForTurns(3));
    EXPECT_EQ(anthropic.Requests().back().json.at("messages"), json::parse(R"([
        {"role":"user","content":[{"type":"text","text":"hello"}]},
        {"role":"assistant","content":[{"type":"text","text":"first answer"}]},
        {"role":"user","content":[{"type":"text","text":"smaller one"}]}])"));
}
