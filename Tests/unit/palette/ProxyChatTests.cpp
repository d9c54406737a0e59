// Chat without a key goes through the product's chat proxy with the sign-in's token: the
// request each provider's proxy gets, a refused token renewed once, and a sign-in that ends
// everywhere, or stays with the message given back, when the renewal cannot be had.
#include "SignInTest.hpp"

#include "core/DebugLog.hpp"

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
    const char* proxyUrl = nullptr;  // the proxy's address instead of the fake's
};
void PrintTo(const ChatRefusal& c, std::ostream* out) { *out << c.name; }

const char* const kExpiredWarning = "Your sign-in has expired: sign in again in Settings";
const char* const kNotRenewedWarning =
    "The chat proxy did not accept your sign-in, and the sign-in service could not renew it just now: ";

}  // namespace

class ChatRefusalTest : public SignInTest, public ::testing::WithParamInterface<ChatRefusal> {};

// A sign-in the service ended is over everywhere; one that could not be renewed now stays for
// the next message; either way the message comes back unsent with its text.
TEST_P(ChatRefusalTest, EndsTheSignInEverywhereOrKeepsItWhenTheServiceCannotBeAsked)
{
    const ChatRefusal& c = GetParam();
    std::optional<ScopedEnv> closed;
    if (c.unreachable) closed.emplace("QUILLMERE_SERVICE_URL", FakeProductService::ClosedBaseUrl());
    const std::string proxy = c.proxyUrl ? c.proxyUrl : idp.BaseUrl();
    WriteSettingsFile(json{
        {"access_token", kAccess},
        {"refresh_token", c.withRefresh ? kRefresh : ""},
        {"user_email", "ada@example.invalid"},
        {"proxy_url",
         proxy}}.dump());
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
    EXPECT_EQ(idp.Count("POST /v1/messages"), c.proxy.size()) << "the proxy is asked once per answer scripted";
    if (c.proxyUrl) {
        EXPECT_TRUE(idp.Requests().empty());
    }
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
                        "the sign-in service could not be reached: "},
        // Refused before the token is sent anywhere.
        ChatRefusal{"PlainHttpToAnotherComputer", {}, nullptr, false, "signed_in", kAccess,
                    "The chat proxy's address \"http://example.invalid:1\" is not an https address: a token sent "
                    "there could be read on the way, so nothing was sent (plain http is taken only for this "
                    "computer: localhost, 127.x.x.x or ::1). Set an https address in the settings, or a key for "
                    "the model.", true, "http://example.invalid:1"}),
    // clang-format on
    [](const ::testing::TestParamInfo<ChatRefusal>& info) { return std::string(info.param.name); });

namespace {

// Renewals meeting other work: another renewal, a sign-out, the palette closing, or each other
// over a long session.
enum class Meeting {
    CheckAndFirstMessage,
    SignOutDuringTheEnginesRenewal,
    CloseAsTheRenewalIsReported,
    CloseAfterARenewal,            // to tokens no other row holds
    Series,                        // each renewal brings a new refresh token
    SeriesKeepingItsRefreshToken,  // the service hands back none: the one held is kept
    // The renewal keeps the refresh token, and the proxy's answer echoes it.
    KeptRefreshTokenEchoed,
    SignOutDuringARenewalKeepingItsRefreshToken,
    SignOutWhileTheEngineWaitsForTheChecksRenewal,
    // The check renews while the proxy is asked with the token the engine renewed, and refuses it.
    CheckRenewsWhileTheProxyRefusesTheRenewedToken,
    // A sign-in started while what a renewal brought after a sign-out waits for its revocation,
    // or is being revoked.
    SignInWhileTheRenewedTokensWaitForRevocation,
    SignInDuringTheRevocationOfTheRenewedTokens,
};
struct Renewals {
    const char* name;
    Meeting meeting;
    std::size_t refreshes;             // token requests made
    std::string access, refresh;       // what the settings hold afterwards
    std::vector<std::string> revoked;  // tokens revoked at the service, in order
    std::string warning;               // the chat's one warning, "" for none
};
void PrintTo(const Renewals& c, std::ostream* out) { *out << c.name; }

const int kSeries = 20;
const int kUnique = kSeries + 1;  // numbers tokens no other row holds, and so none registered before
const char* const kNoKeyWarning = "\xE2\x9A\xA0 No Anthropic API key is set and you are not signed in. Add a key or "
                                  "sign in in Settings to use this model.";
std::string Numbered(const char* token, int i) { return std::string(token) + "-" + std::to_string(i); }

}  // namespace

class RenewalsTest : public SignInTest, public ::testing::WithParamInterface<Renewals> {};

// One refresh request for renewals at once, a renewal nobody keeps revoked, a renewal reported
// as the palette closes saved, and the secrets the log holds bounded however often it renews.
TEST_P(RenewalsTest, KeepOneSignInWhateverMeetsThem)
{
    const Renewals& c = GetParam();
    StoreSignIn(kAccess, kRefresh, "ada@example.invalid");
    Reply renewal = FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh);
    renewal.delay = std::chrono::milliseconds(300);  // long enough for the other to come in meanwhile
    idp.Script(FakeIdentityService::kToken, renewal);
    idp.Script(FakeIdentityService::kUserInfo,
               {FakeIdentityService::Json({}, 401), FakeIdentityService::Email("ada@example.invalid")});
    idp.Script(kProxy, {ProxyRefusal(), FakeIdentityService::Json(AssistantReply("answered"))});
    const std::size_t unopened = RegisteredSecretCount();
    std::optional<ChatPalette> palette(std::in_place);
    const std::size_t registered = RegisteredSecretCount();
    const auto send = [&](const char* text) {
        ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value(text)}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return !palette->GetBridge().IsBusy(); }));
    };
    switch (c.meeting) {
    case Meeting::CheckAndFirstMessage:
        // The check's renewal is answered only once the message has gone, however busy the machine.
        renewal.beforeAnswering = [this] { WaitUnpumped([this] { return idp.Count(kProxy) > 0; }); };
        idp.Script(FakeIdentityService::kToken, renewal);
        Call(*palette, "checkAuth");
        send("hello");
        ASSERT_TRUE(WaitForState(*palette, "signed_in"));
        EXPECT_EQ(Bearers(), (std::vector<std::string>{kAccess, kRenewedAccess}));
        break;
    case Meeting::SignOutDuringTheEnginesRenewal:
        ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value("hello")}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
        ASSERT_TRUE(Call(*palette, "signOut").GetBool());
        ASSERT_TRUE(WaitFor([&] { return !palette->GetBridge().IsBusy() && Revoked().size() == 4; }));
        ASSERT_TRUE(WaitForState(*palette, "signed_out"));
        // Forgotten once each revocation has been answered, a moment after the service took it.
        EXPECT_TRUE(WaitFor([&] { return RegisteredSecretCount() == registered - 2; })) << "revoked, and forgotten";
        break;
    case Meeting::CloseAsTheRenewalIsReported:
        idp.Script(kProxy, {ProxyRefusal(), Stalled(FakeIdentityService::Json(AssistantReply("late")))});
        ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value("hello")}).GetBool());
        // Renewed and sent again: the renewal's report waits on the main queue as the palette goes.
        ASSERT_TRUE(WaitUnpumped([&] { return idp.Count(kProxy) == 2; }));
        palette.reset();
        break;
    case Meeting::CloseAfterARenewal:
        idp.Script(FakeIdentityService::kToken,
                   FakeIdentityService::Tokens(Numbered(kRenewedAccess, kUnique), Numbered(kRenewedRefresh, kUnique)));
        send("hello");
        palette.reset();
        break;
    case Meeting::KeptRefreshTokenEchoed: {
        idp.Script(FakeIdentityService::kToken, FakeIdentityService::Tokens(kRenewedAccess));
        idp.Script(kProxy,
                   {ProxyRefusal(), FakeIdentityService::Json(AssistantReply(std::string("echo ") + kRefresh))});
        send("hello");
        MainQueue::DrainUntilIdle();
        const auto scripts = Scripts(*palette);
        EXPECT_EQ(std::count(scripts.begin(), scripts.end(), "QuillmereUI.addAssistantMessage('echo [redacted]')"), 1);
        break;
    }
    case Meeting::SignOutDuringARenewalKeepingItsRefreshToken:
        idp.Script(FakeIdentityService::kToken, Held(FakeIdentityService::Tokens(kRenewedAccess)));
        ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value("hello")}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
        ASSERT_TRUE(Call(*palette, "signOut").GetBool());
        ASSERT_TRUE(WaitFor([&] { return Revoked().size() == 2; }));
        idp.Release();
        ASSERT_TRUE(WaitFor([&] { return !palette->GetBridge().IsBusy() && Revoked().size() >= 3; }));
        ASSERT_TRUE(WaitForState(*palette, "signed_out"));
        EXPECT_TRUE(WaitFor([&] { return RegisteredSecretCount() == registered - 2; })) << "revoked, and forgotten";
        break;
    case Meeting::SignOutWhileTheEngineWaitsForTheChecksRenewal:
        idp.Script(FakeIdentityService::kToken, Stalled(FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh)));
        Call(*palette, "checkAuth");
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
        ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value("hello")}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return RenewalWaits(); }));
        ASSERT_TRUE(Call(*palette, "signOut").GetBool());
        ASSERT_TRUE(WaitFor([&] { return !palette->GetBridge().IsBusy() && Revoked().size() == 2; }));
        ASSERT_TRUE(WaitForState(*palette, "signed_out"));
        break;
    case Meeting::CheckRenewsWhileTheProxyRefusesTheRenewedToken:
        idp.Script(FakeIdentityService::kToken,
                   {FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh),
                    FakeIdentityService::Tokens(Numbered(kRenewedAccess, 2), Numbered(kRenewedRefresh, 2))});
        idp.Script(kProxy, {ProxyRefusal(), Held(ProxyRefusal())});
        ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value("hello")}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return idp.Count(kProxy) == 2; }));
        Call(*palette, "checkAuth");
        ASSERT_TRUE(WaitFor(
            [&] { return idp.Count(FakeIdentityService::kUserInfo) == 2 && LastState(*palette) == "signed_in"; }));
        idp.Release();
        ASSERT_TRUE(WaitFor([&] { return !palette->GetBridge().IsBusy(); }));
        EXPECT_EQ(Bearers(), (std::vector<std::string>{kAccess, kRenewedAccess}));
        EXPECT_EQ(json::parse(palette->GetSignIn().StateJson()).value("state", ""), "signed_in");
        break;
    case Meeting::SignInWhileTheRenewedTokensWaitForRevocation:
    case Meeting::SignInDuringTheRevocationOfTheRenewedTokens: {
        // The sign-out's first revocation is held, or the first of the renewed tokens'.
        const bool queued = c.meeting == Meeting::SignInWhileTheRenewedTokensWaitForRevocation;
        const Reply revoked = FakeIdentityService::Json(json::object());
        idp.Script(FakeIdentityService::kToken, Held(FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh)));
        idp.Script(FakeIdentityService::kRevocation,
                   queued ? std::vector<Reply>{Held(revoked), revoked}
                          : std::vector<Reply>{revoked, revoked, Held(revoked), revoked});
        ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value("hello")}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
        ASSERT_TRUE(Call(*palette, "signOut").GetBool());
        ASSERT_TRUE(WaitFor([&] { return Revoked().size() == (queued ? 1u : 2u); }));
        idp.Release();  // the renewal's answer: what it brought is nobody's
        ASSERT_TRUE(WaitFor([&] { return !palette->GetBridge().IsBusy() && Revoked().size() == (queued ? 1u : 3u); }));
        ASSERT_TRUE(Call(*palette, "signIn").GetBool());
        idp.Release();  // the revocation held
        // The new sign-in starts once every revocation asked for before it has been made.
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kDevice) == 1; }));
        ASSERT_TRUE(WaitForState(*palette, "waiting"));
        break;
    }
    case Meeting::Series:
    case Meeting::SeriesKeepingItsRefreshToken:
        const bool rotating = c.meeting == Meeting::Series;
        std::vector<Reply> proxy, tokens;
        for (int i = 1; i <= kSeries; ++i) {
            proxy.insert(proxy.end(), {ProxyRefusal(), FakeIdentityService::Json(AssistantReply("answered"))});
            tokens.push_back(
                rotating ? FakeIdentityService::Tokens(Numbered(kRenewedAccess, i), Numbered(kRenewedRefresh, i))
                         : FakeIdentityService::Tokens(Numbered(kRenewedAccess, i)));
        }
        idp.Script(kProxy, proxy);
        idp.Script(FakeIdentityService::kToken, tokens);
        for (int i = 1; i <= kSeries; ++i) ASSERT_NO_FATAL_FAILURE(send("again"));
        MainQueue::DrainUntilIdle();
        EXPECT_EQ(StoredSettings().value("refresh_token", ""),
                  rotating ? Numbered(kRenewedRefresh, kSeries) : kRefresh);
        EXPECT_LE(RegisteredSecretCount(), registered);
        ASSERT_TRUE(Call(*palette, "signOut").GetBool());
        ASSERT_TRUE(WaitFor([&] { return Revoked().size() == 2; }));
        ASSERT_TRUE(WaitForState(*palette, "signed_out"));
        EXPECT_TRUE(WaitFor([&] { return RegisteredSecretCount() == registered - 2; }));
        break;
    }
    EXPECT_EQ(idp.Count(FakeIdentityService::kToken), c.refreshes);
    EXPECT_EQ(StoredSettings().value("access_token", "x"), c.access);
    EXPECT_EQ(StoredSettings().value("refresh_token", "x"), c.refresh);
    EXPECT_EQ(Revoked(), c.revoked);
    if (!palette) {
        EXPECT_EQ(RegisteredSecretCount(), unopened) << "a closed palette's tokens stay registered";
        return;
    }
    EXPECT_LE(RegisteredSecretCount(), registered) << "a token replaced or signed out is forgotten";
    MainQueue::DrainUntilIdle();
    std::vector<std::string> warnings;
    for (const std::string& script : Scripts(*palette))
        if (auto text = CallArgument(script, "addAssistantMessage"); text && text->rfind("\xE2\x9A\xA0", 0) == 0)
            warnings.push_back(*text);
    EXPECT_EQ(warnings, c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning});
    ExpectNoTokenShown(*palette);
}

INSTANTIATE_TEST_SUITE_P(
    Meetings, RenewalsTest,
    ::testing::Values(
        // clang-format off
        Renewals{"CheckAndFirstMessageRenewingAtOnce", Meeting::CheckAndFirstMessage, 1,
                 kRenewedAccess, kRenewedRefresh, {}, ""},
        // The user asked for it: nothing about a renewal, and what the renewal brought is revoked.
        Renewals{"SignOutDuringTheEnginesRenewal", Meeting::SignOutDuringTheEnginesRenewal, 1, "", "",
                 {kRefresh, kAccess, kRenewedRefresh, kRenewedAccess}, kNoKeyWarning},
        Renewals{"RenewalReportedAsThePaletteClosesIsSaved", Meeting::CloseAsTheRenewalIsReported, 1,
                 kRenewedAccess, kRenewedRefresh, {}, ""},
        Renewals{"ManyRenewalsHoldABoundedListOfSecrets", Meeting::Series, kSeries, "", "",
                 {Numbered(kRenewedRefresh, kSeries), Numbered(kRenewedAccess, kSeries)}, ""},
        Renewals{"ManyRenewalsKeepingTheRefreshTokenForgetItAtSignOut", Meeting::SeriesKeepingItsRefreshToken,
                 kSeries, "", "", {kRefresh, Numbered(kRenewedAccess, kSeries)}, ""},
        Renewals{"ClosingAfterARenewalLetsGoOfItsTokens", Meeting::CloseAfterARenewal, 1,
                 Numbered(kRenewedAccess, kUnique), Numbered(kRenewedRefresh, kUnique), {}, ""},
        Renewals{"ARefreshTokenKeptByTheRenewalStaysHidden", Meeting::KeptRefreshTokenEchoed, 1,
                 kRenewedAccess, kRefresh, {}, ""},
        // The sign-out revoked the refresh token the renewal kept: only the new access token is left.
        Renewals{"SignOutDuringARenewalKeepingItsRefreshToken", Meeting::SignOutDuringARenewalKeepingItsRefreshToken,
                 1, "", "", {kRefresh, kAccess, kRenewedAccess}, kNoKeyWarning},
        Renewals{"SignOutWhileTheEngineWaitsForTheChecksRenewal", Meeting::SignOutWhileTheEngineWaitsForTheChecksRenewal,
                 1, "", "", {kRefresh, kAccess}, kNoKeyWarning},
        // The refused token's sign-in is over, but the sign-in has moved on from it: the user is
        // not told to sign in again.
        Renewals{"ProxyRefusingTheRenewedTokenAfterTheCheckRenewedAgainKeepsTheSignIn",
                 Meeting::CheckRenewsWhileTheProxyRefusesTheRenewedToken, 2, Numbered(kRenewedAccess, 2),
                 Numbered(kRenewedRefresh, 2), {},
                 "\xE2\x9A\xA0 The chat proxy did not accept your sign-in, which has been renewed since. Send the "
                 "message again."},
        Renewals{"SignInWhileTheRenewedTokensWaitForRevocation", Meeting::SignInWhileTheRenewedTokensWaitForRevocation,
                 1, "", "", {kRefresh, kAccess, kRenewedRefresh, kRenewedAccess}, kNoKeyWarning},
        Renewals{"SignInDuringTheRevocationOfTheRenewedTokens", Meeting::SignInDuringTheRevocationOfTheRenewedTokens,
                 1, "", "", {kRefresh, kAccess, kRenewedRefresh, kRenewedAccess}, kNoKeyWarning}),
    // clang-format on
    [](const ::testing::TestParamInfo<Renewals>& info) { return std::string(info.param.name); });
