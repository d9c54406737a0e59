// Signing in from the palette against a fake standard identity service: the code confirmed in
// the browser, the replies a real service rarely gives on demand (slow_down, a declined or
// expired code, 5xx, unreadable or huge replies, a stall, a discovery document naming another
// origin), and cancelling, closing and quitting whatever sign-in work is under way.
#include "SignInTest.hpp"

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
    bool unreachable = false;       // the service's address answers nothing
    int attempts = 1;               // sign-ins in turn, each ending so
    const char* address = nullptr;  // the service's address instead of the fake's
    int maxPolls = -1;              // the token requests it may make; -1: any number
};
void PrintTo(const FailedSignIn& c, std::ostream* out) { *out << c.name; }

// The service starts sessions whose code lives expiresIn seconds, polled every interval;
// changes replaces members of the reply.
void CodeLasting(FakeIdentityService& s, int expiresIn, int interval, const json& changes = json::object())
{
    json session{{"device_code", "device-code-secret-0123456789"},
                 {"user_code", "ABCD"},
                 {"verification_uri", s.BaseUrl() + "/device"},
                 {"expires_in", expiresIn},
                 {"interval", interval}};
    session.update(changes);
    s.Script(FakeIdentityService::kDevice, FakeIdentityService::Json(session));
}

const char* const kUnreadableReply = "the sign-in service's reply could not be read";

// A sign-in page on the fake service, bytes long in all.
std::string PageOfBytes(const FakeIdentityService& s, std::size_t bytes)
{
    const std::string page = s.BaseUrl() + "/device?pad=";
    return page + std::string(bytes - page.size(), 'p');
}

// The token endpoint grants a usable Bearer token, with changes to its reply (null: left out).
void Granting(FakeIdentityService& s, const json& changes)
{
    json reply{{"access_token", "access-token-granted-0123"}, {"token_type", "Bearer"}};
    reply.update(changes);
    for (const auto& change : changes.items())
        if (change.value().is_null()) reply.erase(change.key());
    s.Script(FakeIdentityService::kToken, Reply{200, reply.dump()});
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
    c.script(idp, elsewhere.BaseUrl());
    std::optional<ScopedEnv> closed;
    if (c.unreachable) closed.emplace("QUILLMERE_SERVICE_URL", FakeProductService::ClosedBaseUrl());
    if (c.address) closed.emplace("QUILLMERE_SERVICE_URL", std::string(c.address));
    WriteSettingsFile(R"({"model":"claude-kept"})");
    const std::size_t secrets = RegisteredSecretCount();
    ChatPalette palette;
    for (int attempt = 1; attempt <= c.attempts; ++attempt) {
        ASSERT_TRUE(Call(palette, "signIn").GetBool());
        ASSERT_TRUE(WaitFor([&] { return Errors(palette).size() == std::size_t(attempt); }));
    }
    ASSERT_TRUE(WaitForState(palette, "signed_out"));
    const auto errors = Errors(palette);
    ASSERT_EQ(errors.size(), std::size_t(c.attempts));
    for (const std::string& error : errors) EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    // What the service handed out and sign-in refused or dropped holds no place in the redaction.
    EXPECT_TRUE(WaitFor([&] { return RegisteredSecretCount() == secrets; })) << RegisteredSecretCount();
    if (c.address) {
        EXPECT_TRUE(idp.Requests().empty());
    }
    EXPECT_NE(LogText().find(c.mentions), std::string::npos) << "the failure is not in the log";
    const json stored = StoredSettings();
    EXPECT_EQ(stored.value("model", ""), "claude-kept");
    EXPECT_EQ(stored.value("access_token", ""), "");
    EXPECT_TRUE(elsewhere.Requests().empty()) << "a request went to another origin";
    if (c.maxPolls >= 0) {
        EXPECT_LE(idp.Count(FakeIdentityService::kToken), static_cast<std::size_t>(c.maxPolls));
    }
    ExpectNoTokenShown(palette);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FailedSignInTest,
    ::testing::Values(
        // clang-format off
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
                     "The sign-in code expired before it was confirmed.", false, 1, nullptr, 1},
        FailedSignIn{"CodeExpiredAfterAPendingPoll",
                     [](FakeIdentityService& s, const std::string&) {
                         s.Script(FakeIdentityService::kToken,
                                  {FakeIdentityService::TokenError("authorization_pending"),
                                   FakeIdentityService::TokenError("expired_token")});
                     },
                     "The sign-in code expired before it was confirmed.", false, 1, nullptr, 2},
        FailedSignIn{"LifetimePassedWhilePending",
                     [](FakeIdentityService& s, const std::string&) { CodeLasting(s, 3, 1); },
                     "The sign-in code expired before it was confirmed.", false, 1, nullptr, 2},
        FailedSignIn{"IntervalLongerThanTheCodesLife",
                     [](FakeIdentityService& s, const std::string&) { CodeLasting(s, 3, 86400); },
                     "The sign-in code expired before it was confirmed.", false, 1, nullptr, 0},
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
            [](FakeIdentityService& s, const std::string&) {
                // The stall alone has a short deadline: large replies take their time on a busy machine.
                Quillmere::SetHttpTimeoutOverrideForTesting(1000);
                s.Script(FakeIdentityService::kToken, StalledPoll());
            },
            "Sign-in failed: The request timed out."},
        FailedSignIn{"Unreachable", [](FakeIdentityService&, const std::string&) {},
                     "Sign-in failed: the sign-in service could not be reached", true},
        FailedSignIn{"PlainHttpToAnotherComputer", [](FakeIdentityService&, const std::string&) {},
                     "Sign-in failed: the sign-in service's address \"http://example.invalid:1\" is not an https "
                     "address", false, 1, "http://example.invalid:1"},
        // Every value the service hands out is checked before it is kept, registered or shown.
        FailedSignIn{"HugeTokenEightTimes", [](FakeIdentityService& s, const std::string&) {
                         Granting(s, {{"access_token", std::string(std::size_t(3.9 * (1 << 20)), 't')}}); },
                     "Sign-in failed: the sign-in service's reply could not be read", false, 8},
        FailedSignIn{"TokenWithASpace", [](FakeIdentityService& s, const std::string&) {
                         Granting(s, {{"access_token", "token with a space"}}); }, kUnreadableReply},
        FailedSignIn{"RefreshTokenLongerThanTheRedactionTakes", [](FakeIdentityService& s, const std::string&) {
                         Granting(s, {{"refresh_token", std::string(kMaxSecretBytes + 1, 'r')}}); }, kUnreadableReply},
        FailedSignIn{"TokenTypeNotBearer", [](FakeIdentityService& s, const std::string&) {
                         Granting(s, {{"token_type", "mac"}}); }, kUnreadableReply},
        FailedSignIn{"TokenTypeMissing", [](FakeIdentityService& s, const std::string&) {
                         Granting(s, {{"token_type", nullptr}}); }, kUnreadableReply},
        FailedSignIn{"DeviceCodeWithALineBreak", [](FakeIdentityService& s, const std::string&) {
                         CodeLasting(s, 600, 1, {{"device_code", "device-code\nsecret"}}); }, kUnreadableReply},
        FailedSignIn{"UserCodeOver64Bytes", [](FakeIdentityService& s, const std::string&) {
                         CodeLasting(s, 600, 1, {{"user_code", std::string(65, 'W')}}); }, kUnreadableReply},
        FailedSignIn{"VerificationPageNotHttp", [](FakeIdentityService& s, const std::string&) {
                         CodeLasting(s, 600, 1, {{"verification_uri", "javascript:alert(1)"}}); }, kUnreadableReply},
        FailedSignIn{"VerificationPageOver2048Bytes", [](FakeIdentityService& s, const std::string&) {
                         CodeLasting(s, 600, 1, {{"verification_uri", PageOfBytes(s, 2049)}}); }, kUnreadableReply},
        FailedSignIn{"CompletePageOver2048Bytes", [](FakeIdentityService& s, const std::string&) {
                         CodeLasting(s, 600, 1, {{"verification_uri_complete", PageOfBytes(s, 2049)}}); },
                     kUnreadableReply},
        FailedSignIn{"PagesOf2048BytesTaken", [](FakeIdentityService& s, const std::string&) {
                         CodeLasting(s, 600, 1, {{"verification_uri", PageOfBytes(s, 2048)},
                                                 {"verification_uri_complete", PageOfBytes(s, 2048)}});
                         s.Script(FakeIdentityService::kToken, FakeIdentityService::TokenError("access_denied")); },
                     "Sign-in was declined on the sign-in page."},
        FailedSignIn{"VerificationPageCarryingTheDeviceCode", [](FakeIdentityService& s, const std::string&) {
                         CodeLasting(s, 600, 1, {{"verification_uri",
                                                  s.BaseUrl() + "/device?code=device-code-secret-0123456789"}}); },
                     kUnreadableReply},
        // A complete page carrying the device code is not opened: the plain page is.
        FailedSignIn{"CompletePageCarryingTheDeviceCode", [](FakeIdentityService& s, const std::string&) {
                         CodeLasting(s, 600, 1, {{"verification_uri_complete",
                                                  s.BaseUrl() + "/device?code=device-code-secret-0123456789"}});
                         s.Script(FakeIdentityService::kToken, FakeIdentityService::TokenError("access_denied")); },
                     "Sign-in was declined on the sign-in page."},
        FailedSignIn{"CodeLifetimeNotPositive", [](FakeIdentityService& s, const std::string&) {
                         CodeLasting(s, 0, 1); }, kUnreadableReply},
        FailedSignIn{"UserCodeEchoingTheDeviceCode", [](FakeIdentityService& s, const std::string&) {
                         const std::string code = "device-code-secret-0123456789";
                         CodeLasting(s, 600, 1, {{"user_code", code},
                                                 {"verification_uri_complete", s.BaseUrl() + "/device?user_code=" + code}});
                         s.Script(FakeIdentityService::kToken, FakeIdentityService::TokenError("access_denied")); },
                     "Sign-in was declined on the sign-in page."}),
    // clang-format on
    [](const ::testing::TestParamInfo<FailedSignIn>& info) { return std::string(info.param.name); });

namespace {

// Work that only cancelling ends, every request of it stalling for longer than any test runs.
enum class Work {
    Poll,               // a sign-in's poll
    Pause,              // a sign-in's pause between polls
    CheckBehindEngine,  // a stored sign-in's check waiting for the renewal the engine's worker runs
    EngineBehindCheck,  // the engine's worker waiting for the renewal the check runs
    SignOut,            // a sign-out's revocation
    EMail,              // a sign-in granted its tokens, reading the account's e-mail
};
// Cancel, Close, Quit: the sign-in or the palette; SignOut, NewChat: only what waits for the other's
// renewal, whose own requests are cancelled.
enum class Ending { Cancel, Close, Quit, SignOut, NewChat };
struct InFlight {
    const char* name;
    Work work;
    Ending ending;
    std::chrono::milliseconds within;  // how long ending it may take
    std::string error;                 // the error the page is shown before the palette goes
};
void PrintTo(const InFlight& c, std::ostream* out) { *out << c.name; }

}  // namespace

class InFlightTest : public SignInTest, public ::testing::WithParamInterface<InFlight> {
protected:
    // Starts the work and returns once it is under way.
    void Start(Work work, ChatPalette& palette)
    {
        switch (work) {
        case Work::Poll:
            ASSERT_TRUE(Call(palette, "signIn").GetBool());
            ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
            MainQueue::DrainUntilIdle();
            EXPECT_EQ(LastState(palette), "waiting");
            break;
        case Work::Pause:
            ASSERT_TRUE(Call(palette, "signIn").GetBool());
            ASSERT_TRUE(WaitForState(palette, "waiting"));
            break;
        case Work::CheckBehindEngine:
        case Work::EngineBehindCheck: {
            const auto send = [&] { ASSERT_TRUE(Call(palette, "sendMessage", {JS::Value("hello")}).GetBool()); };
            const auto check = [&] { Call(palette, "checkAuth"); };
            work == Work::CheckBehindEngine ? send() : check();  // renews first, against a stalled service
            ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
            work == Work::CheckBehindEngine ? check() : send();
            ASSERT_TRUE(WaitFor([&] { return RenewalWaits(); }));
            break;
        }
        case Work::SignOut:
            ASSERT_TRUE(Call(palette, "signOut").GetBool());
            ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kRevocation) == 1; }));
            break;
        case Work::EMail:
            ASSERT_TRUE(Call(palette, "signIn").GetBool());
            ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kUserInfo) == 1; }));
            break;
        }
    }
};

// Ending the work takes at most a second or two, whatever it waits for; cancelling lets a new
// sign-in start, a sign-out or a new chat frees whoever waited for the other's renewal, and
// nothing reaches a closed palette.
TEST_P(InFlightTest, CancellingClosingOrQuittingStopsAPollInFlight)
{
    const InFlight& c = GetParam();
    if (c.work == Work::CheckBehindEngine || c.work == Work::EngineBehindCheck) {
        StoreSignIn(kAccess, kRefresh);
        idp.Script(kProxy, FakeIdentityService::Json({{"error", {{"message", "expired"}}}}, 401));
        idp.Script(FakeIdentityService::kToken, Stalled(FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh)));
    } else if (c.work == Work::SignOut) {
        StoreSignIn(kAccess, kRefresh);
        idp.Script(FakeIdentityService::kRevocation, Stalled(FakeIdentityService::Json({})));
    } else if (c.work == Work::EMail) {
        idp.Script(FakeIdentityService::kToken, FakeIdentityService::Tokens(kAccess, kRefresh));
        idp.Script(FakeIdentityService::kUserInfo, Stalled(FakeIdentityService::Email("ada@example.invalid")));
    } else if (c.work == Work::Poll) {
        idp.Script(FakeIdentityService::kToken, StalledPoll());
    } else {
        CodeLasting(idp, 86400, 86400);
    }
    std::optional<ChatPalette> palette(std::in_place);
    ASSERT_NO_FATAL_FAILURE(Start(c.work, *palette));
    MainQueue::DrainUntilIdle();
    const auto began = std::chrono::steady_clock::now();
    if (c.ending == Ending::Cancel) {
        const std::size_t sessions = idp.Count(FakeIdentityService::kDevice);
        ASSERT_TRUE(Call(*palette, "cancelSignIn").GetBool());
        EXPECT_EQ(LastState(*palette), "signed_out") << "the page is told at once";
        // A new sign-in can start only once the cancelled one has ended.
        ASSERT_TRUE(Call(*palette, "signIn").GetBool());
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kDevice) == sessions + 1; }));
        EXPECT_TRUE(Errors(*palette).empty()) << "a cancel is no failure";
    } else if (c.ending == Ending::SignOut) {
        ASSERT_TRUE(Call(*palette, "signOut").GetBool());
        // Revoked now, not once the renewal it waited for has ended.
        ASSERT_TRUE(WaitFor([&] { return Revoked().size() == 2 && LastState(*palette) == "signed_out"; }));
        EXPECT_EQ(Revoked(), (std::vector<std::string>{kRefresh, kAccess}));
        EXPECT_TRUE(Errors(*palette).empty());
    } else if (c.ending == Ending::NewChat) {
        // The engine is free for the new chat's first message.
        Call(*palette, "clearHistory");
        ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value("a new chat")}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return idp.Count(kProxy) == 2; }));
    } else {
        if (c.ending == Ending::Quit) Quillmere::AbortAllHttpRequests(true);  // the host's quit notice
        if (!c.error.empty()) {
            ASSERT_TRUE(WaitFor([&] { return !Errors(*palette).empty(); }));
            EXPECT_EQ(Errors(*palette), std::vector<std::string>{c.error});
        }
        palette.reset();  // the add-on unloads
    }
    EXPECT_LT(std::chrono::steady_clock::now() - began, c.within);
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(PaletteHost::Palettes().empty(), !palette);
    if (c.work == Work::EMail) {
        EXPECT_EQ(Revoked(), (std::vector<std::string>{kRefresh, kAccess})) << "granted, not kept: revoked";
        EXPECT_EQ(ReadFile(SettingsPath()).find(kAccess), std::string::npos) << "kept after all";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Work, InFlightTest,
    ::testing::Values(
        // clang-format off
        InFlight{"CancelMidPoll", Work::Poll, Ending::Cancel, std::chrono::seconds(2), ""},
        InFlight{"CancelMidPause", Work::Pause, Ending::Cancel, std::chrono::seconds(1), ""},
        InFlight{"CloseMidPoll", Work::Poll, Ending::Close, std::chrono::seconds(2), ""},
        InFlight{"CloseMidPause", Work::Pause, Ending::Close, std::chrono::seconds(2), ""},
        InFlight{"QuitMidPause", Work::Pause, Ending::Quit, std::chrono::seconds(2), ""},
        InFlight{"QuitMidPoll", Work::Poll, Ending::Quit, std::chrono::seconds(2),
                 "Sign-in failed: The request was cancelled."},
        InFlight{"CloseWhileTheCheckWaitsForTheEnginesRenewal", Work::CheckBehindEngine, Ending::Close,
                 std::chrono::seconds(2), ""},
        InFlight{"QuitWhileTheCheckWaitsForTheEnginesRenewal", Work::CheckBehindEngine, Ending::Quit,
                 std::chrono::seconds(2), ""},
        InFlight{"CloseWhileTheEngineWaitsForTheChecksRenewal", Work::EngineBehindCheck, Ending::Close,
                 std::chrono::seconds(2), ""},
        InFlight{"QuitWhileTheEngineWaitsForTheChecksRenewal", Work::EngineBehindCheck, Ending::Quit,
                 std::chrono::seconds(2), ""},
        InFlight{"CloseMidSignOut", Work::SignOut, Ending::Close, std::chrono::seconds(2), ""},
        InFlight{"SignOutWhileTheCheckWaitsForTheEnginesRenewal", Work::CheckBehindEngine, Ending::SignOut,
                 std::chrono::seconds(2), ""},
        InFlight{"NewChatWhileTheEngineWaitsForTheChecksRenewal", Work::EngineBehindCheck, Ending::NewChat,
                 std::chrono::seconds(2), ""},
        InFlight{"CancelWhileReadingTheEMail", Work::EMail, Ending::Cancel, std::chrono::seconds(2), ""},
        InFlight{"CloseWhileReadingTheEMail", Work::EMail, Ending::Close, std::chrono::seconds(2), ""}),
    // clang-format on
    [](const ::testing::TestParamInfo<InFlight>& info) { return std::string(info.param.name); });

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
