// The chat proxy: with no key for the chosen provider (one for the other does not count) and a
// sign-in, each service's request goes to the proxy as it would go to the service, with the
// access token as a bearer token and no key header; a key for it wins over the proxy; a refused
// token is renewed once, else the message goes back with the sign-in warning, and no token
// reaches the chat or the log.

#include <algorithm>
#include <cctype>

#include "EngineFixture.hpp"

namespace {

const char* const kToken = "access-token-proxy-0123456789";
const char* const kRenewed = "access-token-renewed-9876543210";
const char* const kExpired = "\xE2\x9A\xA0 Your sign-in has expired: sign in again in Settings";
const char* const kNoAccess = "\xE2\x9A\xA0 No Anthropic API key is set and you are not signed in. Add a key or sign "
                              "in in Settings to use this model.";
// The sign-in service's failure, echoing the token, as the renewal reports it; and the warning
// that names it with the token taken out.
const std::string kRenewalFailure = std::string("HTTP 503 (busy; Bearer ") + kToken + ")";
const char* const kNotRenewed =
    "\xE2\x9A\xA0 The chat proxy did not accept your sign-in, and the sign-in service could "
    "not renew it just now: HTTP 503 (busy; Bearer [key]). Try again in a moment.";

// The value of a header in any spelling of its name; "" when absent.
std::string HeaderValue(const FakeModelServer::Request& request, std::string name)
{
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    };
    for (const auto& header : request.headers)
        if (lower(header.first) == lower(name)) return header.second;
    return "";
}

struct Variant {
    const char* name;
    bool openai;
    const char* path;
};
void PrintTo(const Variant& v, std::ostream* out) { *out << v.name; }

}  // namespace

class ProxyTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        // The services themselves are out of reach: only the proxy answers.
        const std::string closed = FakeModelServer().Url();  // the server is gone with the statement
        bridge->SetBaseUrls(closed, closed);
        bridge->SetApiKeys("", "");
        bridge->SetProxyUrl(server.Url() + "/");
        bridge->SetAccessToken(kToken);
    }
    void UseModel(bool openai) { bridge->SetModel(openai ? "gpt-4o" : "claude-test-model"); }
    void ScriptReply(bool openai, const std::string& text)
    {
        server.Script(openai ? OpenAIReply(text) : AnthropicReply(text));
    }
};

class ProxyVariantTest : public ProxyTest, public ::testing::WithParamInterface<Variant> {};

TEST_P(ProxyVariantTest, CarriesTheDirectRequestWithTheBearerTokenAndNoKey)
{
    const Variant& v = GetParam();
    UseModel(v.openai);
    bridge->SetApiKeys(v.openai ? kAnthropicKey : "", v.openai ? "" : kOpenAIKey);  // the other provider's key
    // A reply echoing the token shows it hidden, and the history sent next holds it hidden too;
    // words that only look like a key's surroundings stay.
    ScriptReply(v.openai, std::string("Bearer tokens through the proxy with ") + kToken);
    ASSERT_TRUE(Send("hello"));
    EXPECT_EQ(texts, Events{"Bearer tokens through the proxy with [redacted]"});
    ASSERT_EQ(server.Requests().size(), 1u);
    const FakeModelServer::Request proxied = server.Requests()[0];
    EXPECT_EQ(proxied.path, v.path);
    EXPECT_EQ(HeaderValue(proxied, "Authorization"), std::string("Bearer ") + kToken);
    EXPECT_EQ(HeaderValue(proxied, "x-api-key"), "");
    EXPECT_EQ(HeaderValue(proxied, "anthropic-version"), v.openai ? "" : "2023-06-01");

    // The same conversation sent directly: the same bytes (cache marks and all) to the same
    // path, and with a key for the chosen provider set the key wins though the sign-in is still
    // there.
    bridge->ClearHistory();
    bridge->SetBaseUrls(server.Url(), server.Url());
    bridge->SetApiKeys(kAnthropicKey, kOpenAIKey);
    ScriptReply(v.openai, std::string("directly with ") + (v.openai ? kOpenAIKey : kAnthropicKey));
    ASSERT_TRUE(Send("hello"));
    ASSERT_EQ(server.Requests().size(), 2u);
    const FakeModelServer::Request direct = server.Requests()[1];
    EXPECT_EQ(texts.back(), "directly with [redacted]");
    ScriptReply(v.openai, "again");
    ASSERT_TRUE(Send("again"));
    EXPECT_NE(server.Requests().back().raw.find("directly with [redacted]"), std::string::npos);
    EXPECT_EQ(direct.raw, proxied.raw);
    EXPECT_EQ(direct.path, v.path);
    EXPECT_EQ(HeaderValue(direct, "Authorization"), v.openai ? std::string("Bearer ") + kOpenAIKey : "");
    EXPECT_EQ(HeaderValue(direct, "x-api-key"), v.openai ? "" : kAnthropicKey);
    EXPECT_EQ(LogText().find(kToken), std::string::npos) << "the token reached the log";
}

INSTANTIATE_TEST_SUITE_P(Services, ProxyVariantTest,
                         ::testing::Values(Variant{"Anthropic", false, "/v1/messages"},
                                           Variant{"OpenAI", true, "/v1/chat/completions"}),
                         [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

namespace {

enum class Renewal { None, Gone, Renewed, NotNow, SignedOut };

struct Refusal {
    const char* name;
    Renewal renewal;
    std::vector<int> statuses;         // the proxy's answers in turn
    std::vector<std::string> bearers;  // the tokens sent, in turn
    bool answered;                     // the message went through in the end
    const char* next;                  // the token the next message goes with; none once signed out
};
void PrintTo(const Refusal& r, std::ostream* out) { *out << r.name; }

}  // namespace

class ProxyRefusalTest : public ProxyTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ProxyRefusalTest, RenewsOnceElseGivesTheMessageBackWithTheSignInWarning)
{
    const Refusal& r = GetParam();
    std::vector<std::string> renewalsAsked, endings;
    if (r.renewal != Renewal::None)
        bridge->SetTokenRenewal(
            [&, renewal = r.renewal](const std::string& refused) {
                using Outcome = RenewedToken::Outcome;
                renewalsAsked.push_back(refused);
                if (renewal == Renewal::Renewed) return RenewedToken{Outcome::Renewed, kRenewed};
                if (renewal == Renewal::NotNow) return RenewedToken{Outcome::NotNow, "", kRenewalFailure};
                return RenewedToken{renewal == Renewal::SignedOut ? Outcome::SignedOut : Outcome::Ended};
            },
            [&](const std::string& refused) {
                endings.push_back(refused);
                return true;
            });
    for (int status : r.statuses) {
        if (status == 200)
            ScriptReply(false, "answered");
        else  // a proxy that echoes what it refused
            server.Script(json{{"error", {{"message", std::string("bad token Bearer ") + kToken}}}}, status);
    }
    std::vector<std::string> unsent;
    bridge->SetUnsentCallback([&](const std::vector<ContentBlock>& message, ModelBridge::GivenBack) {
        for (const ContentBlock& block : message) unsent.push_back(block.text);
    });
    ASSERT_TRUE(Send("keep me"));

    std::vector<std::string> bearers;
    for (const auto& request : server.Requests()) bearers.push_back(HeaderValue(request, "Authorization"));
    std::vector<std::string> expected;
    for (const std::string& token : r.bearers) expected.push_back("Bearer " + token);
    EXPECT_EQ(bearers, expected);
    EXPECT_EQ(renewalsAsked,
              r.renewal == Renewal::None ? std::vector<std::string>{} : std::vector<std::string>{kToken});
    EXPECT_EQ(texts, r.answered                        ? Events{"answered"}
                     : r.renewal == Renewal::NotNow    ? Events{kNotRenewed}
                     : r.renewal == Renewal::SignedOut ? Events{kNoAccess}
                                                       : Events{kExpired});
    EXPECT_EQ(unsent, r.answered ? std::vector<std::string>{} : std::vector<std::string>{"keep me"});
    // The sign-in is told it is over only when a renewed token was refused as well.
    EXPECT_EQ(endings, r.renewal == Renewal::Renewed && !r.answered ? std::vector<std::string>{kRenewed}
                                                                    : std::vector<std::string>{});
    for (const std::string& token : {std::string(kToken), std::string(kRenewed)})
        EXPECT_EQ(LogText().find(token), std::string::npos) << "a token reached the log";

    // The next message: with the renewed token, or, once the sign-in is gone, a request for a
    // key or a sign-in; the message given back never went into the history.
    ScriptReply(false, "next");
    ASSERT_TRUE(Send("next one"));
    if (r.next != nullptr) {
        EXPECT_EQ(HeaderValue(server.Requests().back(), "Authorization"), std::string("Bearer ") + r.next);
        EXPECT_EQ(texts.back(), "next");
    } else {
        EXPECT_EQ(texts.back(), kNoAccess);
    }
    if (r.answered) {
        EXPECT_EQ(server.Requests().back().body["messages"].size(), 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ProxyRefusalTest,
    ::testing::Values(Refusal{"NoRefreshToken", Renewal::None, {401}, {kToken}, false, nullptr},
                      Refusal{"RefreshRefused", Renewal::Gone, {401}, {kToken}, false, nullptr},
                      Refusal{"Renewed", Renewal::Renewed, {401, 200}, {kToken, kRenewed}, true, kRenewed},
                      Refusal{
                          "RenewedAndRefusedAgain", Renewal::Renewed, {401, 401}, {kToken, kRenewed}, false, nullptr},
                      // The sign-in service could not be asked: the sign-in and its token stay.
                      Refusal{"NotRenewedNow", Renewal::NotNow, {401}, {kToken}, false, kToken},
                      // The user signed out meanwhile: nothing failed that needs saying but that.
                      Refusal{"SignedOutMeanwhile", Renewal::SignedOut, {401}, {kToken}, false, nullptr}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });
