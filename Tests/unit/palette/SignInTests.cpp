// Signing in from the palette against a fake standard identity service: the code confirmed in
// the browser, the replies a real service rarely gives on demand (slow_down, a declined or
// expired code, 5xx, unreadable or huge replies, a stall, a discovery document naming another
// origin), cancelling and closing mid-poll, the check and silent renewal of a stored sign-in,
// and sign-out; no token ever reaches the page or the log.
#include <chrono>
#include <functional>
#include <optional>

#include <nlohmann/json.hpp>

#include "FakeIdentityService.hpp"
#include "HostTestingWorkspace.hpp"
#include "ShellTest.hpp"
#include "TempFolder.hpp"
#include "core/HttpClient.hpp"
#include "core/OutsideText.hpp"

using nlohmann::json;
using Reply = FakeIdentityService::Reply;

namespace {

const char* const kAccess = "access-token-secret-A1b2C3d4E5";
const char* const kRefresh = "refresh-token-secret-F6g7H8i9J0";
const char* const kRenewedAccess = "access-token-renewed-K1l2M3n4";
const char* const kRenewedRefresh = "refresh-token-renewed-O5p6Q7r8";

// A poll answered later than the sign-in would ever wait: a request still waiting for it was
// not cancelled, and the test runs into its time limit.
Reply StalledPoll()
{
    Reply reply = FakeIdentityService::TokenError("authorization_pending");
    reply.delay = std::chrono::minutes(10);
    return reply;
}

}  // namespace

class SignInTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        SignInManager::SetSecondForTesting(std::chrono::milliseconds(5));
        HostTesting::ClearOpenedUrls();
    }
    void TearDown() override
    {
        SignInManager::SetSecondForTesting(std::chrono::milliseconds(0));
        Quillmere::SetHttpTimeoutOverrideForTesting(0);
        ShellTest::TearDown();
    }

    std::vector<json> States(ChatPalette& palette)
    {
        std::vector<json> states;
        for (const std::string& script : Scripts(palette))
            if (auto state = CallArgument(script, "setAuthState")) states.push_back(json::parse(*state));
        return states;
    }
    std::vector<std::string> Errors(ChatPalette& palette)
    {
        std::vector<std::string> errors;
        for (const std::string& script : Scripts(palette))
            if (auto error = CallArgument(script, "setAuthError")) errors.push_back(*error);
        return errors;
    }
    std::string LastState(ChatPalette& palette)
    {
        const auto states = States(palette);
        return states.empty() ? "" : states.back().value("state", "");
    }
    // Runs the main queue until the page was last told state.
    bool WaitForState(ChatPalette& palette, const std::string& state)
    {
        return MainQueue::PumpUntil([&] { return LastState(palette) == state; }, std::chrono::seconds(20));
    }
    bool WaitFor(const std::function<bool()>& done) { return MainQueue::PumpUntil(done, std::chrono::seconds(20)); }
    json StoredSettings() { return json::parse(ReadFile(SettingsPath()), nullptr, false); }
    void StoreSignIn(const std::string& access, const std::string& refresh, const std::string& email = "old@x.invalid")
    {
        WriteSettingsFile(json{{"access_token", access}, {"refresh_token", refresh}, {"user_email", email}}.dump());
    }
    // No token in what the page was sent, in the log, or in a file beside the settings.
    void ExpectNoTokenShown(ChatPalette& palette)
    {
        std::string shown;
        for (const std::string& script : Scripts(palette)) shown += script + "\n";
        shown += Call(palette, "getSettings").GetString() + Call(palette, "checkAuth").GetString();
        for (const char* token : {kAccess, kRefresh, kRenewedAccess, kRenewedRefresh}) {
            EXPECT_EQ(shown.find(token), std::string::npos) << "the page received a token";
            EXPECT_EQ(LogText().find(token), std::string::npos) << "a token reached the log";
        }
        EXPECT_EQ(LogText().find("device-code-secret"), std::string::npos);
    }

    FakeIdentityService idp;
    ScopedEnv serviceUrl{"QUILLMERE_SERVICE_URL", idp.BaseUrl()};
};

TEST_F(SignInTest, ACodeConfirmedInTheBrowserSignsInAndIsKeptWithoutShowingItsTokens)
{
    idp.Script(FakeIdentityService::kToken,
               {FakeIdentityService::TokenError("authorization_pending"), FakeIdentityService::TokenError("slow_down"),
                FakeIdentityService::TokenError("authorization_pending"),
                FakeIdentityService::Tokens(kAccess, kRefresh)});
    idp.Script(FakeIdentityService::kUserInfo, FakeIdentityService::Email("ada@example.invalid"));
    ChatPalette palette;
    EXPECT_EQ(json::parse(Call(palette, "checkAuth").GetString()), json({{"state", "signed_out"}}));
    ASSERT_TRUE(Call(palette, "signIn").GetBool());
    ASSERT_TRUE(WaitForState(palette, "signed_in"));

    // The page saw the code while it waited, and the host opened the page that carries it.
    const std::string complete = idp.BaseUrl() + "/device?user_code=" + FakeIdentityService::kUserCode;
    const std::vector<json> states = States(palette);
    const json waiting{{"state", "waiting"},
                       {"user_code", FakeIdentityService::kUserCode},
                       {"verification_uri", idp.BaseUrl() + "/device"},
                       {"verification_uri_complete", complete}};
    EXPECT_NE(std::find(states.begin(), states.end(), waiting), states.end());
    EXPECT_EQ(states.back(), json({{"state", "signed_in"}, {"email", "ada@example.invalid"}}));
    EXPECT_EQ(HostTesting::OpenedUrls(), std::vector<std::string>{complete});
    EXPECT_TRUE(Errors(palette).empty());

    // The requests as the standards word them; slow_down went on polling.
    const auto requests = idp.Requests();
    std::vector<std::multimap<std::string, std::string>> polls;
    for (const auto& request : requests) {
        if (request.Route() == FakeIdentityService::kDevice) {
            EXPECT_EQ(FakeIdentityService::Form(request),
                      (std::multimap<std::string, std::string>{{"client_id", "quillmere"},
                                                               {"scope", "openid email offline_access"}}));
        }
        if (request.Route() == FakeIdentityService::kToken) polls.push_back(FakeIdentityService::Form(request));
        if (request.Route() == FakeIdentityService::kUserInfo) {
            EXPECT_EQ(request.Header("Authorization"), std::string("Bearer ") + kAccess);
        }
    }
    ASSERT_EQ(polls.size(), 4u);
    EXPECT_NE(LogText().find("slower polling: now every 6 s"), std::string::npos) << "slow_down adds 5 s";
    for (const auto& poll : polls)
        EXPECT_EQ(poll, (std::multimap<std::string, std::string>{
                            {"client_id", "quillmere"},
                            {"device_code", "device-code-secret-0123456789"},
                            {"grant_type", "urn:ietf:params:oauth:grant-type:device_code"}}));

    // Kept for the next run, private, and in the engine.
    const json stored = StoredSettings();
    EXPECT_EQ(stored.value("access_token", ""), kAccess);
    EXPECT_EQ(stored.value("refresh_token", ""), kRefresh);
    EXPECT_EQ(stored.value("user_email", ""), "ada@example.invalid");
    EXPECT_EQ(fs::status(SettingsPath()).permissions() & (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);
    EXPECT_FALSE(Call(palette, "signIn").GetBool()) << "signed in already";
    ExpectNoTokenShown(palette);
}

TEST_F(SignInTest, AnotherClientIdIsTakenFromTheEnvironment)
{
    ScopedEnv clientId("QUILLMERE_CLIENT_ID", std::string("acme-desktop"));
    ChatPalette palette;
    ASSERT_TRUE(Call(palette, "signIn").GetBool());
    ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) > 0; }));
    for (const auto& request : idp.Requests())
        if (request.method == "POST") {
            EXPECT_EQ(FakeIdentityService::Form(request).find("client_id")->second, "acme-desktop");
        }
}

namespace {

struct FailedSignIn {
    const char* name;
    // The service's replies; elsewhere is the base address of another server.
    std::function<void(FakeIdentityService&, const std::string& elsewhere)> script;
    std::string mentions;
    bool unreachable = false;  // the service's address answers nothing
};
void PrintTo(const FailedSignIn& c, std::ostream* out) { *out << c.name; }

// The service starts sessions whose code lives expiresIn seconds, polled every interval.
void CodeLasting(FakeIdentityService& s, int expiresIn, int interval)
{
    s.Script(FakeIdentityService::kDevice, FakeIdentityService::Json({{"device_code", "device-code-secret-0123456789"},
                                                                      {"user_code", "ABCD"},
                                                                      {"verification_uri", s.BaseUrl() + "/device"},
                                                                      {"expires_in", expiresIn},
                                                                      {"interval", interval}}));
}

}  // namespace

TEST_F(SignInTest, PollsNoMoreOftenThanTheServiceAsks)
{
    // Long enough a second that a poll one second early cannot pass for two.
    const std::chrono::milliseconds second(100);
    SignInManager::SetSecondForTesting(second);
    CodeLasting(idp, 600, 2);
    idp.Script(FakeIdentityService::kToken,
               {FakeIdentityService::TokenError("authorization_pending"),
                FakeIdentityService::TokenError("authorization_pending"), FakeIdentityService::Tokens(kAccess)});
    ChatPalette palette;
    ASSERT_TRUE(Call(palette, "signIn").GetBool());
    ASSERT_TRUE(WaitForState(palette, "signed_in"));
    std::vector<std::chrono::steady_clock::time_point> asked;  // the session, then each poll
    for (const auto& request : idp.Requests())
        if (request.Route() == FakeIdentityService::kDevice || request.Route() == FakeIdentityService::kToken)
            asked.push_back(request.received);
    ASSERT_EQ(asked.size(), 4u);
    for (std::size_t i = 1; i < asked.size(); ++i) EXPECT_GE(asked[i] - asked[i - 1], 2 * second) << "poll " << i;
}

class FailedSignInTest : public SignInTest, public ::testing::WithParamInterface<FailedSignIn> {};

// Each ends the wait with a clear message, the page signed out, and nothing stored.
TEST_P(FailedSignInTest, EndsWithAClearMessageAndStoresNothing)
{
    const FailedSignIn& c = GetParam();
    FakeProductService elsewhere;
    Quillmere::SetHttpTimeoutOverrideForTesting(400);
    c.script(idp, elsewhere.BaseUrl());
    std::optional<ScopedEnv> closed;
    if (c.unreachable) closed.emplace("QUILLMERE_SERVICE_URL", FakeProductService::ClosedBaseUrl());
    WriteSettingsFile(R"({"model":"claude-kept"})");
    ChatPalette palette;
    ASSERT_TRUE(Call(palette, "signIn").GetBool());
    ASSERT_TRUE(WaitFor([&] { return !Errors(palette).empty(); }));
    ASSERT_TRUE(WaitForState(palette, "signed_out"));
    const auto errors = Errors(palette);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(c.mentions), std::string::npos) << errors[0];
    EXPECT_NE(LogText().find(c.mentions), std::string::npos) << "the failure is not in the log";
    const json stored = StoredSettings();
    EXPECT_EQ(stored.value("model", ""), "claude-kept");
    EXPECT_EQ(stored.value("access_token", ""), "");
    EXPECT_TRUE(elsewhere.Requests().empty()) << "a request went to another origin";
    ExpectNoTokenShown(palette);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FailedSignInTest,
    ::testing::Values(
        FailedSignIn{"Declined",
                     [](FakeIdentityService& s, const std::string&) {
                         s.Script(FakeIdentityService::kToken,
                                  {FakeIdentityService::TokenError("authorization_pending"),
                                   FakeIdentityService::TokenError("access_denied")});
                     },
                     "Sign-in was declined on the sign-in page."},
        FailedSignIn{"CodeExpired",
                     [](FakeIdentityService& s, const std::string&) {
                         s.Script(FakeIdentityService::kToken, FakeIdentityService::TokenError("expired_token"));
                     },
                     "The sign-in code expired before it was confirmed."},
        FailedSignIn{"LifetimePassedWhilePending",
                     [](FakeIdentityService& s, const std::string&) { CodeLasting(s, 3, 1); },
                     "The sign-in code expired before it was confirmed."},
        FailedSignIn{"IntervalLongerThanTheCodesLife",
                     [](FakeIdentityService& s, const std::string&) { CodeLasting(s, 3, 86400); },
                     "The sign-in code expired before it was confirmed."},
        FailedSignIn{
            "ServerErrorStartingTheSession",
            [](FakeIdentityService& s, const std::string&) {
                s.Script(FakeIdentityService::kDevice, FakeIdentityService::Json({{"error", "server_error"}}, 503));
            },
            "Sign-in failed: the sign-in service did not start a sign-in: HTTP 503 (server_error)"},
        FailedSignIn{"ServerErrorWhilePolling",
                     [](FakeIdentityService& s, const std::string&) {
                         s.Script(FakeIdentityService::kToken, FakeIdentityService::Json({{"error", "oops"}}, 502));
                     },
                     "Sign-in failed: HTTP 502"},
        FailedSignIn{"MalformedSession",
                     [](FakeIdentityService& s, const std::string&) {
                         s.Script(FakeIdentityService::kDevice, Reply{200, "{\"device_code\": \"x\", "});
                     },
                     "the sign-in service's reply could not be read"},
        FailedSignIn{"TokenNestedTooDeeply",
                     [](FakeIdentityService& s, const std::string&) {
                         s.Script(FakeIdentityService::kToken,
                                  Reply{200, R"({"access_token":"a-b-c-d-e-f","x":)" + std::string(5000, '[') +
                                                 std::string(5000, ']') + "}"});
                     },
                     "the sign-in service's reply could not be read"},
        FailedSignIn{"HugeDiscovery",
                     [](FakeIdentityService& s, const std::string&) {
                         s.Script(FakeIdentityService::kDiscovery,
                                  Reply{200, "{\"pad\":\"" + std::string(5u << 20, 'x') + "\"}"});
                     },
                     "bytes and was not read"},
        FailedSignIn{"DiscoveryNamesAnotherOrigin",
                     [](FakeIdentityService& s, const std::string& elsewhere) { s.ScriptDiscovery(elsewhere); },
                     "names an endpoint on another address"},
        FailedSignIn{"DiscoveryMovesOnlyUserInfo",
                     [](FakeIdentityService& s, const std::string& elsewhere) {
                         s.ScriptDiscovery(elsewhere, "userinfo_endpoint");
                     },
                     "names an endpoint on another address"},
        FailedSignIn{"DiscoveryMovesOnlyRevocation",
                     [](FakeIdentityService& s, const std::string& elsewhere) {
                         s.ScriptDiscovery(elsewhere, "revocation_endpoint");
                     },
                     "names an endpoint on another address"},
        FailedSignIn{"DiscoveryOnAnotherPortOfTheSameHost",
                     [](FakeIdentityService& s, const std::string&) { s.ScriptDiscovery("http://127.0.0.1:1"); },
                     "names an endpoint on another address"},
        FailedSignIn{
            "PollThatStalls",
            [](FakeIdentityService& s, const std::string&) { s.Script(FakeIdentityService::kToken, StalledPoll()); },
            "Sign-in failed: The request timed out."},
        FailedSignIn{"Unreachable", [](FakeIdentityService&, const std::string&) {},
                     "Sign-in failed: the sign-in service could not be reached", true}),
    [](const ::testing::TestParamInfo<FailedSignIn>& info) { return std::string(info.param.name); });

TEST_F(SignInTest, CancellingClosingOrQuittingStopsAPollInFlight)
{
    // Every poll stalls: only cancelling the request in flight lets the sign-in end.
    idp.Script(FakeIdentityService::kToken, StalledPoll());
    {
        ChatPalette palette;
        ASSERT_TRUE(Call(palette, "signIn").GetBool());
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
        MainQueue::DrainUntilIdle();
        EXPECT_EQ(LastState(palette), "waiting");
        ASSERT_TRUE(Call(palette, "cancelSignIn").GetBool());
        EXPECT_EQ(LastState(palette), "signed_out") << "the page is told at once";
        // A new sign-in can start only once the cancelled one has ended.
        ASSERT_TRUE(Call(palette, "signIn").GetBool());
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 2; }));
        EXPECT_EQ(idp.Count(FakeIdentityService::kDevice), 2u);
        EXPECT_TRUE(Errors(palette).empty()) << "a cancel is no failure";
    }  // closed mid-poll: returns, and nothing reaches the page afterwards
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(PaletteHost::Palettes().empty());

    ChatPalette palette;
    ASSERT_TRUE(Call(palette, "signIn").GetBool());
    ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 3; }));
    Quillmere::AbortAllHttpRequests(true);  // the host's quit notice
    ASSERT_TRUE(WaitFor([&] { return !Errors(palette).empty(); }));
    Quillmere::AbortAllHttpRequests(false);
    EXPECT_EQ(Errors(palette)[0], "Sign-in failed: The request was cancelled.");
    EXPECT_TRUE(WaitForState(palette, "signed_out"));
}

TEST_F(SignInTest, ASecondSignInReplacesTheFirstAndSigningOutEndsTheWait)
{
    const auto session = [&](const std::string& name) {
        return FakeIdentityService::Json({{"device_code", "device-code-secret-" + name},
                                          {"user_code", name},
                                          {"verification_uri", idp.BaseUrl() + "/device"},
                                          {"expires_in", 600},
                                          {"interval", 1}});
    };
    idp.Script(FakeIdentityService::kDevice, {session("first"), session("second")});
    ChatPalette palette;
    ASSERT_TRUE(Call(palette, "signIn").GetBool());
    ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) > 0; }));
    ASSERT_TRUE(Call(palette, "signIn").GetBool());
    ASSERT_TRUE(WaitFor([&] { return States(palette).back().value("user_code", "") == "second"; }));
    const std::size_t before = idp.Requests().size();
    ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) >= 3; }));
    const auto requests = idp.Requests();
    for (std::size_t i = before; i < requests.size(); ++i)
        EXPECT_EQ(FakeIdentityService::Form(requests[i]).find("device_code")->second, "device-code-secret-second")
            << "the first sign-in went on polling";

    ASSERT_TRUE(Call(palette, "signOut").GetBool());
    EXPECT_EQ(LastState(palette), "signed_out");
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(LastState(palette), "signed_out") << "the cancelled wait reported after all";
    EXPECT_EQ(idp.Count(FakeIdentityService::kRevocation), 0u) << "nothing to revoke";
    EXPECT_TRUE(Errors(palette).empty());
}

namespace {

struct StoredCheck {
    const char* name;
    bool withRefresh;
    std::vector<Reply> userInfo;
    std::vector<Reply> token;
    std::string state;                   // where the page ends
    std::string access, refresh, email;  // what the settings hold afterwards
    std::string error;                   // the one error shown, or "" for none
};
void PrintTo(const StoredCheck& c, std::ostream* out) { *out << c.name; }

}  // namespace

class StoredSignInTest : public SignInTest, public ::testing::WithParamInterface<StoredCheck> {};

TEST_P(StoredSignInTest, IsCheckedAtStartAndRenewedWhenItCanBe)
{
    const StoredCheck& c = GetParam();
    StoreSignIn(kAccess, c.withRefresh ? kRefresh : "");
    idp.Script(FakeIdentityService::kUserInfo, c.userInfo);
    if (!c.token.empty()) idp.Script(FakeIdentityService::kToken, c.token);
    ChatPalette palette;
    // The page is answered at once; the check follows.
    EXPECT_EQ(json::parse(Call(palette, "checkAuth").GetString()), json({{"state", "checking"}}));
    ASSERT_TRUE(WaitFor([&] { return LastState(palette) != "checking"; }));
    EXPECT_EQ(LastState(palette), c.state);
    const json stored = StoredSettings();
    EXPECT_EQ(stored.value("access_token", ""), c.access);
    EXPECT_EQ(stored.value("refresh_token", ""), c.refresh);
    EXPECT_EQ(stored.value("user_email", ""), c.email);
    if (c.state == "signed_in") {
        EXPECT_EQ(States(palette).back(), json({{"state", "signed_in"}, {"email", c.email}}));
    }
    const auto errors = Errors(palette);
    EXPECT_EQ(errors.empty() ? "" : errors[0].substr(0, c.error.size()), c.error);
    for (const std::string& error : errors)
        EXPECT_LT(error.size(), kMaxQuotedBytes + 200) << "the service's words reached the page at length";
    for (const auto& request : idp.Requests())
        if (request.Route() == FakeIdentityService::kToken) {
            EXPECT_EQ(FakeIdentityService::Form(request),
                      (std::multimap<std::string, std::string>{
                          {"client_id", "quillmere"}, {"grant_type", "refresh_token"}, {"refresh_token", kRefresh}}));
        }
    ExpectNoTokenShown(palette);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, StoredSignInTest,
    ::testing::Values(
        // clang-format off
        StoredCheck{"Valid", true, {FakeIdentityService::Email("new@x.invalid")}, {},
                    "signed_in", kAccess, kRefresh, "new@x.invalid", ""},
        StoredCheck{"ExpiredAndRenewed", true,
                    {FakeIdentityService::Json({}, 401), FakeIdentityService::Email("new@x.invalid")},
                    {FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh)},
                    "signed_in", kRenewedAccess, kRenewedRefresh, "new@x.invalid", ""},
        StoredCheck{"ExpiredWithoutRefreshToken", false, {FakeIdentityService::Json({}, 401)}, {},
                    "signed_out", "", "", "", "Your sign-in has expired"},
        StoredCheck{"RefreshTokenRefused", true, {FakeIdentityService::Json({}, 401)},
                    {FakeIdentityService::TokenError("invalid_grant")},
                    "signed_out", "", "", "", "Your sign-in has expired"},
        StoredCheck{"ServiceDownKeepsTheSignIn", true, {FakeIdentityService::Json({{"error", "down"}}, 500)}, {},
                    "signed_in", kAccess, kRefresh, "old@x.invalid", "Could not check the sign-in: HTTP 500"},
        StoredCheck{"UnreadableUserInfoKeepsTheSignIn", true, {Reply{200, "<html>"}}, {},
                    "signed_in", kAccess, kRefresh, "old@x.invalid",
                    "Could not check the sign-in: the sign-in service's reply could not be read"},
        StoredCheck{"RenewalUnreadableKeepsTheSignIn", true, {FakeIdentityService::Json({}, 401)},
                    {Reply{200, R"({"access_token":"with space","token_type":"Bearer"})"}},
                    "signed_in", kAccess, kRefresh, "old@x.invalid",
                    "Could not check the sign-in: the sign-in service's reply could not be read"},
        // A service that echoes the token in its words, at length or as a redirect's host.
        StoredCheck{"ErrorEchoingTheToken", true,
                    {FakeIdentityService::Json({{"error", "server_error"},
                                                {"error_description", std::string("bad token ") + kAccess + " " +
                                                                          std::string(4000, 'x')}}, 500)}, {},
                    "signed_in", kAccess, kRefresh, "old@x.invalid",
                    "Could not check the sign-in: HTTP 500 (server_error: bad token "},
        StoredCheck{"RedirectNamingTheToken", true,
                    {Reply{302, "", "text/plain", {}, std::string("http://") + kAccess + ".invalid/"}}, {},
                    "signed_in", kAccess, kRefresh, "old@x.invalid",
                    "Could not check the sign-in: The server answered HTTP 302 with a redirect to "}),
    // clang-format on
    [](const ::testing::TestParamInfo<StoredCheck>& info) { return std::string(info.param.name); });

TEST_F(SignInTest, SigningOutRevokesBothTokensAndForgetsThemEvenWhenTheServiceIsDown)
{
    StoreSignIn(kAccess, kRefresh, "ada@example.invalid");
    {
        ChatPalette palette;
        EXPECT_EQ(json::parse(palette.GetSignIn().StateJson()),
                  json({{"state", "signed_in"}, {"email", "ada@example.invalid"}}));
        ASSERT_TRUE(Call(palette, "signOut").GetBool());
        // Forgotten at once, before the service has been told.
        EXPECT_EQ(StoredSettings().value("access_token", "x"), "");
        EXPECT_EQ(StoredSettings().value("refresh_token", "x"), "");
        ASSERT_TRUE(WaitForState(palette, "signed_out"));
        std::vector<std::multimap<std::string, std::string>> revoked;
        for (const auto& request : idp.Requests())
            if (request.Route() == FakeIdentityService::kRevocation)
                revoked.push_back(FakeIdentityService::Form(request));
        const std::vector<std::multimap<std::string, std::string>> expected{
            {{"client_id", "quillmere"}, {"token", kRefresh}, {"token_type_hint", "refresh_token"}},
            {{"client_id", "quillmere"}, {"token", kAccess}, {"token_type_hint", "access_token"}}};
        EXPECT_EQ(revoked, expected);
        EXPECT_TRUE(Errors(palette).empty());
        ExpectNoTokenShown(palette);
    }
    StoreSignIn(kAccess, kRefresh);
    idp.Script(FakeIdentityService::kRevocation, FakeIdentityService::Json({{"error", "down"}}, 503));
    ChatPalette palette;
    ASSERT_TRUE(Call(palette, "signOut").GetBool());
    ASSERT_TRUE(WaitForState(palette, "signed_out"));
    EXPECT_EQ(StoredSettings().value("access_token", "x"), "");
    ASSERT_EQ(Errors(palette).size(), 1u);
    EXPECT_EQ(Errors(palette)[0], "Signed out here, but the sign-in service could not be told: HTTP 503 (down)");
    ExpectNoTokenShown(palette);
}

namespace {

json AssistantReply(const std::string& text)
{
    return {{"role", "assistant"},
            {"content", json::array({{{"type", "text"}, {"text", text}}})},
            {"stop_reason", "end_turn"}};
}

}  // namespace

// With no key, chat goes to the service's own proxy; a refused token is renewed through the
// sign-in (kept for the next run), and a sign-in that cannot be renewed ends on the page.
TEST_F(SignInTest, ChatWithoutAKeyGoesThroughTheProxyAndARefusedTokenIsRenewedOrSignedOut)
{
    const char* const kProxy = "POST /v1/messages";
    StoreSignIn(kAccess, kRefresh, "ada@example.invalid");
    idp.Script(kProxy, {FakeIdentityService::Json({{"error", {{"message", "expired"}}}}, 401),
                        FakeIdentityService::Json(AssistantReply("through the proxy"))});
    idp.Script(FakeIdentityService::kToken, FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh));
    {
        ChatPalette palette;
        ASSERT_TRUE(Call(palette, "sendMessage", {JS::Value("hello")}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return !palette.GetBridge().IsBusy(); }));
        MainQueue::DrainUntilIdle();
        std::vector<std::string> bearers;
        for (const auto& request : idp.Requests())
            if (request.Route() == kProxy) bearers.push_back(request.Header("Authorization"));
        EXPECT_EQ(bearers, (std::vector<std::string>{std::string("Bearer ") + kAccess,
                                                     std::string("Bearer ") + kRenewedAccess}));
        const auto scripts = Scripts(palette);
        EXPECT_EQ(std::count(scripts.begin(), scripts.end(), "QuillmereUI.addAssistantMessage('through the proxy')"),
                  1);
        EXPECT_EQ(StoredSettings().value("access_token", ""), kRenewedAccess);
        EXPECT_EQ(StoredSettings().value("refresh_token", ""), kRenewedRefresh);
        ExpectNoTokenShown(palette);
    }

    // Refused while the service cannot renew the token: the sign-in holds and says so, and the
    // next message goes with the same token.
    idp.Script(kProxy, {FakeIdentityService::Json({{"error", {{"message", "expired"}}}}, 401),
                        FakeIdentityService::Json(AssistantReply("through after all"))});
    idp.Script(FakeIdentityService::kToken, FakeIdentityService::Json({{"error", "temporarily_unavailable"}}, 503));
    {
        ChatPalette palette;
        ASSERT_TRUE(Call(palette, "sendMessage", {JS::Value("not now")}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return !palette.GetBridge().IsBusy(); }));
        MainQueue::DrainUntilIdle();
        const auto scripts = Scripts(palette);
        EXPECT_NE(std::find(scripts.begin(), scripts.end(),
                            "QuillmereUI.addAssistantMessage('\xE2\x9A\xA0 The chat proxy did not accept your sign-in, "
                            "and the sign-in service could not renew it just now: HTTP 503 "
                            "(temporarily_unavailable). Try again in a moment.')"),
                  scripts.end());
        EXPECT_NE(LastState(palette), "signed_out");
        ASSERT_TRUE(Call(palette, "sendMessage", {JS::Value("and now")}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return !palette.GetBridge().IsBusy(); }));
        MainQueue::DrainUntilIdle();
        const auto later = Scripts(palette);
        EXPECT_NE(std::find(later.begin(), later.end(), "QuillmereUI.addAssistantMessage('through after all')"),
                  later.end());
        EXPECT_EQ(idp.Requests().back().Header("Authorization"), std::string("Bearer ") + kRenewedAccess);
        EXPECT_EQ(StoredSettings().value("access_token", ""), kRenewedAccess);
    }

    // Refused again, and the service no longer takes the refresh token: signed out.
    idp.Script(kProxy, FakeIdentityService::Json({{"error", {{"message", "expired"}}}}, 401));
    idp.Script(FakeIdentityService::kToken, FakeIdentityService::TokenError("invalid_grant"));
    ChatPalette palette;
    ASSERT_TRUE(Call(palette, "sendMessage", {JS::Value("hello again")}).GetBool());
    ASSERT_TRUE(WaitForState(palette, "signed_out"));
    ASSERT_TRUE(WaitFor([&] { return !palette.GetBridge().IsBusy(); }));
    MainQueue::DrainUntilIdle();
    const auto scripts = Scripts(palette);
    const auto warning = std::find(scripts.begin(), scripts.end(),
                                   "QuillmereUI.addAssistantMessage('\xE2\x9A\xA0 Your sign-in has expired: sign in "
                                   "again in Settings')");
    EXPECT_NE(warning, scripts.end());
    EXPECT_NE(std::find_if(scripts.begin(), scripts.end(),
                           [](const std::string& s) {
                               return s.rfind("QuillmereUI.messageNotSent(", 0) == 0 &&
                                      s.find("hello again") != std::string::npos;
                           }),
              scripts.end());
    EXPECT_EQ(StoredSettings().value("access_token", "x"), "");
    EXPECT_EQ(StoredSettings().value("refresh_token", "x"), "");
    ExpectNoTokenShown(palette);
}

namespace {

struct ChatRefusal {
    const char* name;
    std::vector<Reply> proxy;  // the proxy's answers in turn
    std::function<void(FakeIdentityService&)> renewal;
    bool unreachable;     // the sign-in service's address answers nothing (the proxy does)
    std::string state;    // where the page ends
    std::string access;   // what the settings hold afterwards
    std::string warning;  // what the chat says, after its "⚠ "
    bool withRefresh = true;
};
void PrintTo(const ChatRefusal& c, std::ostream* out) { *out << c.name; }

const char* const kExpiredWarning = "Your sign-in has expired: sign in again in Settings";
const char* const kNotRenewedWarning =
    "The chat proxy did not accept your sign-in, and the sign-in service could not renew it just now: ";

Reply ProxyRefusal() { return FakeIdentityService::Json({{"error", {{"message", "expired"}}}}, 401); }

}  // namespace

class ChatRefusalTest : public SignInTest, public ::testing::WithParamInterface<ChatRefusal> {};

// A sign-in the service ended is over everywhere; one that could not be renewed now stays for
// the next message; either way the message comes back unsent with its text.
TEST_P(ChatRefusalTest, EndsTheSignInEverywhereOrKeepsItWhenTheServiceCannotBeAsked)
{
    const ChatRefusal& c = GetParam();
    std::optional<ScopedEnv> closed;
    if (c.unreachable) closed.emplace("QUILLMERE_SERVICE_URL", FakeProductService::ClosedBaseUrl());
    WriteSettingsFile(json{
        {"access_token", kAccess},
        {"refresh_token", c.withRefresh ? kRefresh : ""},
        {"user_email", "ada@example.invalid"},
        {"proxy_url",
         idp.BaseUrl()}}.dump());
    idp.Script("POST /v1/messages", c.proxy);
    if (c.renewal) c.renewal(idp);
    ChatPalette palette;
    ASSERT_TRUE(Call(palette, "sendMessage", {JS::Value("keep this text")}).GetBool());
    ASSERT_TRUE(WaitFor([&] { return !palette.GetBridge().IsBusy(); }));
    MainQueue::DrainUntilIdle();
    const auto scripts = Scripts(palette);
    std::vector<std::string> warnings, unsent;
    for (const std::string& script : scripts) {
        if (auto text = CallArgument(script, "addAssistantMessage")) warnings.push_back(*text);
        if (script.rfind("QuillmereUI.messageNotSent(", 0) == 0) unsent.push_back(script);
    }
    ASSERT_EQ(warnings.size(), 1u);
    // An unreachable service's cause is the transport's own words: only its start is known.
    const std::string expected = "\xE2\x9A\xA0 " + c.warning;
    EXPECT_EQ(c.unreachable ? warnings[0].substr(0, expected.size()) : warnings[0], expected);
    ASSERT_EQ(unsent.size(), 1u);
    EXPECT_NE(unsent[0].find("keep this text"), std::string::npos);
    // A sign-in kept is not announced again: the page keeps the state it was given at start.
    EXPECT_EQ(json::parse(palette.GetSignIn().StateJson()).value("state", ""), c.state);
    EXPECT_EQ(LastState(palette), c.state == "signed_in" ? "" : c.state);
    EXPECT_EQ(StoredSettings().value("access_token", "x"), c.access);
    EXPECT_EQ(StoredSettings().value("refresh_token", "x"), c.access.empty() ? "" : kRefresh);
    ExpectNoTokenShown(palette);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ChatRefusalTest,
    ::testing::Values(
        // clang-format off
        ChatRefusal{"NoRefreshToken", {ProxyRefusal()}, nullptr,
                    false, "signed_out", "", kExpiredWarning, false},
        ChatRefusal{"RenewalRefused", {ProxyRefusal()},
                    [](FakeIdentityService& s) {
                        s.Script(FakeIdentityService::kToken, FakeIdentityService::TokenError("invalid_grant"));
                    },
                    false, "signed_out", "", kExpiredWarning},
        ChatRefusal{"RenewedTokenRefusedAgain", {ProxyRefusal(), ProxyRefusal()},
                    [](FakeIdentityService& s) {
                        s.Script(FakeIdentityService::kToken,
                                 FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh));
                    },
                    false, "signed_out", "", kExpiredWarning},
        ChatRefusal{"ServiceErring", {ProxyRefusal()},
                    [](FakeIdentityService& s) {
                        s.Script(FakeIdentityService::kToken, FakeIdentityService::Json({{"error", "busy"}}, 503));
                    },
                    false, "signed_in", kAccess, std::string(kNotRenewedWarning) +
                        "HTTP 503 (busy). Try again in a moment."},
        ChatRefusal{"ReplyUnreadable", {ProxyRefusal()},
                    [](FakeIdentityService& s) { s.Script(FakeIdentityService::kToken, Reply{200, "<html>"}); },
                    false, "signed_in", kAccess, std::string(kNotRenewedWarning) +
                        "the sign-in service's reply could not be read. Try again in a moment."},
        ChatRefusal{"DiscoveryFailing", {ProxyRefusal()},
                    [](FakeIdentityService& s) {
                        s.Script(FakeIdentityService::kDiscovery, FakeIdentityService::Json({}, 500));
                    },
                    false, "signed_in", kAccess, std::string(kNotRenewedWarning) +
                        "the sign-in service could not be reached: HTTP 500. Try again in a moment."},
        ChatRefusal{"ServiceUnreachable", {ProxyRefusal()}, nullptr,
                    true, "signed_in", kAccess, std::string(kNotRenewedWarning) +
                        "the sign-in service could not be reached: "}),
    // clang-format on
    [](const ::testing::TestParamInfo<ChatRefusal>& info) { return std::string(info.param.name); });
