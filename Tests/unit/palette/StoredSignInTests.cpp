// A stored sign-in: checked at start and silently renewed when it can be, and signing out,
// which forgets it here and revokes its tokens at the service.
#include "SignInTest.hpp"

namespace {

struct StoredCheck {
    const char* name;
    bool withRefresh;
    std::vector<Reply> userInfo;
    std::vector<Reply> token;
    std::string state;                   // where the page ends
    std::string access, refresh, email;  // what the settings hold afterwards
    std::string error;                   // the one error shown, or "" for none
    // What the settings hold at start (the refresh token only withRefresh), and the state the
    // page is answered at once.
    std::string storedAccess = kAccess, storedRefresh = kRefresh;
    std::string answered = "checking";
};
void PrintTo(const StoredCheck& c, std::ostream* out) { *out << c.name; }

// The one text for a sign-in that ended, the chat's own.
const char* const kExpired = "\xE2\x9A\xA0 Your sign-in has expired: sign in again in Settings";

}  // namespace

class StoredSignInTest : public SignInTest, public ::testing::WithParamInterface<StoredCheck> {};

TEST_P(StoredSignInTest, IsCheckedAtStartAndRenewedWhenItCanBe)
{
    const StoredCheck& c = GetParam();
    StoreSignIn(c.storedAccess, c.withRefresh ? c.storedRefresh : "");
    idp.Script(FakeIdentityService::kUserInfo, c.userInfo);
    if (!c.token.empty()) idp.Script(FakeIdentityService::kToken, c.token);
    const json reply{{"role", "assistant"},
                     {"content", json::array({{{"type", "text"}, {"text", "hello back"}}})},
                     {"stop_reason", "end_turn"}};
    idp.Script(kProxy, FakeIdentityService::Json(reply));
    ChatPalette palette;
    // A message before the check goes with the stored token, when the sign-in is one to use.
    Call(palette, "sendMessage", {JS::Value("hello")});
    ASSERT_TRUE(WaitFor([&] { return !palette.GetBridge().IsBusy(); }));
    std::vector<std::string> bearers;
    for (const auto& request : idp.Requests())
        if (request.Route() == kProxy) bearers.push_back(request.Header("Authorization"));
    EXPECT_EQ(bearers, c.answered == "checking" ? std::vector<std::string>{std::string("Bearer ") + c.storedAccess}
                                                : std::vector<std::string>());
    // The page is answered at once; the check follows.
    EXPECT_EQ(json::parse(Call(palette, "checkAuth").GetString()), json({{"state", c.answered}}));
    // An ended sign-in's state is reported as it ends, its message a moment later.
    ASSERT_TRUE(
        WaitFor([&] { return LastState(palette) != "checking" && (c.error.empty() || !Errors(palette).empty()); }));
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
                    "signed_out", "", "", "", kExpired},
        StoredCheck{"RefreshTokenRefused", true, {FakeIdentityService::Json({}, 401)},
                    {FakeIdentityService::TokenError("invalid_grant")},
                    "signed_out", "", "", "", kExpired},
        StoredCheck{"RenewedWithoutANewRefreshTokenKeepsTheOldOne", true,
                    {FakeIdentityService::Json({}, 401), FakeIdentityService::Email("new@x.invalid")},
                    {FakeIdentityService::Tokens(kRenewedAccess)},
                    "signed_in", kRenewedAccess, kRefresh, "new@x.invalid", ""},
        StoredCheck{"UserInfoEchoingTheToken", true, {FakeIdentityService::Email(kAccess)}, {},
                    "signed_in", kAccess, kRefresh, "[redacted]", ""},
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
                    "Could not check the sign-in: The server answered HTTP 302 with a redirect to "},
        // Earlier versions kept tokens longer than the redaction takes: never sent, ended.
        StoredCheck{"AccessTokenTheRedactionCannotTake", true, {FakeIdentityService::Email("new@x.invalid")},
                    {FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh)},
                    "signed_out", "", "", "", kExpired, std::string(kMaxSecretBytes + 1, 'a'), kRefresh,
                    "signed_out"},
        StoredCheck{"RefreshTokenTheRedactionCannotTake", true, {FakeIdentityService::Email("new@x.invalid")},
                    {FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh)},
                    "signed_out", "", "", "", kExpired, kAccess, std::string(kMaxSecretBytes + 1, 'r'),
                    "signed_out"}),
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
    EXPECT_EQ(Revoked(), (std::vector<std::string>{kRefresh, kAccess, kRefresh, kAccess}))
        << "the access token is revoked though the service refused the refresh token";
    ExpectNoTokenShown(palette);
}

namespace {

// What could not be saved, and which later write saves it.
enum class Change { SignOut, SignIn, Renewal };
enum class Retry { SettingsWrite, Quit };
struct NotSaved {
    const char* name;
    Change change;
    Retry retry;
    std::string notice;  // what Settings say, before the cause
};
void PrintTo(const NotSaved& c, std::ostream* out) { *out << c.name; }

}  // namespace

class NotSavedTest : public SignInTest, public ::testing::WithParamInterface<NotSaved> {};

// Settings say what was not saved and why until a later write saves it, and the sign-out still
// revokes both tokens, so that the ones left on disk are dead.
TEST_P(NotSavedTest, IsShownInSettingsAndSavedByTheNextWriteOfTheSettings)
{
    const NotSaved& c = GetParam();
    if (c.change == Change::SignIn)
        WriteSettingsFile("{}");
    else
        StoreSignIn(kAccess, kRefresh, "ada@example.invalid");
    idp.Script(FakeIdentityService::kToken, FakeIdentityService::Tokens(kRenewedAccess, kRenewedRefresh));
    std::vector<Reply> userInfo{FakeIdentityService::Email("ada@example.invalid")};
    if (c.change == Change::Renewal) userInfo.insert(userInfo.begin(), FakeIdentityService::Json({}, 401));
    idp.Script(FakeIdentityService::kUserInfo, userInfo);
    std::optional<ChatPalette> palette(std::in_place);
    // A file where the settings' folder belongs: no write gets through, as root neither.
    const fs::path folder = SettingsPath().parent_path(), aside = folder.string() + "~";
    fs::rename(folder, aside);
    std::ofstream(folder) << "not a folder";
    Call(*palette, c.change == Change::SignOut ? "signOut" : c.change == Change::SignIn ? "signIn" : "checkAuth");
    const std::string ends = c.change == Change::SignOut ? "signed_out" : "signed_in";
    const bool settled = WaitFor([&] {
        return LastState(*palette) == ends && !States(*palette).back().value("not_saved", "").empty() &&
               (c.change != Change::SignOut || Revoked().size() == 2);
    });
    const std::string notice = States(*palette).back().value("not_saved", "");
    const json answered = json::parse(Call(*palette, "checkAuth").GetString());
    fs::remove(folder), fs::rename(aside, folder);
    ASSERT_TRUE(settled) << "not_saved: " << notice;
    EXPECT_EQ(notice, c.notice + "cannot write beside " + SettingsPath().string() + ": Not a directory");
    EXPECT_EQ(answered.value("not_saved", ""), notice) << "a page that reloads is told too";
    EXPECT_EQ(StoredSettings().value("access_token", ""), c.change == Change::SignIn ? "" : kAccess);
    const std::vector<std::string> revoked{kRefresh, kAccess};
    EXPECT_EQ(Revoked(), c.change == Change::SignOut ? revoked : std::vector<std::string>());

    if (c.retry == Retry::SettingsWrite) {
        ASSERT_TRUE(Call(*palette, "saveSettings", {JS::Value(R"({"provider":"anthropic","model":"m"})")}).GetBool());
        EXPECT_FALSE(States(*palette).back().contains("not_saved")) << "saved: the notice goes";
    } else {
        palette.reset();  // quitting
    }
    EXPECT_EQ(StoredSettings().value("access_token", "x"), c.change == Change::SignOut ? "" : kRenewedAccess);
    EXPECT_EQ(StoredSettings().value("refresh_token", "x"), c.change == Change::SignOut ? "" : kRenewedRefresh);
    if (palette) ExpectNoTokenShown(*palette);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, NotSavedTest,
    ::testing::Values(
        // clang-format off
        NotSaved{"SignOutSavedByTheNextSettingsWrite", Change::SignOut, Retry::SettingsWrite,
                 "\xE2\x9A\xA0 Sign-out not saved: "},
        NotSaved{"SignOutSavedAtQuit", Change::SignOut, Retry::Quit, "\xE2\x9A\xA0 Sign-out not saved: "},
        NotSaved{"SignInSavedAtQuit", Change::SignIn, Retry::Quit, "\xE2\x9A\xA0 Sign-in not saved: "},
        NotSaved{"RenewalSavedByTheNextSettingsWrite", Change::Renewal, Retry::SettingsWrite,
                 "\xE2\x9A\xA0 Sign-in not saved: "}),
    // clang-format on
    [](const ::testing::TestParamInfo<NotSaved>& info) { return std::string(info.param.name); });

namespace {

inline constexpr const char* kRotatedAccess = "rotated-access-secret-1";
inline constexpr const char* kRotatedRefresh = "rotated-refresh-secret-1";

// What two copies of the add-on on one home meet, against a service that rotates refresh tokens
// and ends the whole sign-in when one is used twice.
enum class Meet {
    RenewedByTheOther,             // A renews; then the proxy refuses B's token
    RenewingAtOnce,                // B's renewal comes while A's is at the service
    SignedOutByTheOther,           // A signs out; then the proxy refuses B's token
    SignedOutDuringTheRenewal,     // B signs out while A's renewal is at the service
    SettingsSavedByTheOlderCopy,   // A renews; B, which holds the older sign-in, saves its settings and quits
    SignedInByTheOther,            // both start signed out; A signs in; B's page asks for the state
    RefusedWhileTheOtherSignedIn,  // the service ended the sign-in; B signs in anew as A's renewal is refused
};
struct TwoCopies {
    const char* name;
    Meet meet;
    std::size_t refreshes;        // token requests (renewals, a confirmed code)
    std::string access, refresh;  // what settings.json holds once both have quit
    std::string nextStart;        // the state the next start's check ends in
};
void PrintTo(const TwoCopies& c, std::ostream* out) { *out << c.name; }

Reply ProxyAnswer()
{
    return FakeIdentityService::Json({{"role", "assistant"},
                                      {"content", json::array({{{"type", "text"}, {"text", "answered"}}})},
                                      {"stop_reason", "end_turn"}});
}

}  // namespace

class TwoCopiesTest : public SignInTest, public ::testing::WithParamInterface<TwoCopies> {
protected:
    void Send(ChatPalette& palette)
    {
        ASSERT_TRUE(Call(palette, "sendMessage", {JS::Value("hello")}).GetBool());
        ASSERT_TRUE(WaitFor([&] { return !palette.GetBridge().IsBusy(); }));
        MainQueue::DrainUntilIdle();
    }
};

// Each copy takes the sign-in the other saved when it is newer, no write puts an older sign-in
// over a newer one, and no refresh token is used twice: the next start finds the sign-in both
// left.
TEST_P(TwoCopiesTest, ShareOneSignInWithoutUsingARefreshTokenTwice)
{
    const TwoCopies& c = GetParam();
    if (c.meet == Meet::SignedInByTheOther)
        WriteSettingsFile("{}");
    else
        StoreSignIn(kAccess, kRefresh, "ada@example.invalid");
    idp.Rotate(kAccess, kRefresh);
    std::optional<ChatPalette> a(std::in_place), b(std::in_place);
    const auto renewBy = [&](ChatPalette& palette) {
        idp.ExpireAccessTokens();
        Call(palette, "checkAuth");
    };
    const auto checked = [&](ChatPalette& palette) {
        return WaitFor([&] { return LastState(palette) == "signed_in" || LastState(palette) == "signed_out"; });
    };
    switch (c.meet) {
    case Meet::RenewedByTheOther:
        renewBy(*a);
        ASSERT_TRUE(checked(*a));
        idp.Script(kProxy, {ProxyRefusal(), ProxyAnswer()});
        ASSERT_NO_FATAL_FAILURE(Send(*b));
        EXPECT_EQ(Bearers(), (std::vector<std::string>{kAccess, kRotatedAccess})) << "B took what A renewed";
        break;
    case Meet::RenewingAtOnce:
        idp.HoldRenewals();
        renewBy(*a);
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
        Call(*b, "checkAuth");
        ASSERT_TRUE(
            WaitFor([&] { return LogText().find("waiting for the renewal another copy") != std::string::npos; }));
        idp.AnswerRenewalsAt(std::chrono::steady_clock::now());
        ASSERT_TRUE(checked(*a));
        ASSERT_TRUE(checked(*b));
        EXPECT_EQ(LastState(*b), "signed_in");
        break;
    case Meet::SignedOutByTheOther:
        ASSERT_TRUE(Call(*a, "signOut").GetBool());
        ASSERT_TRUE(WaitForState(*a, "signed_out"));
        idp.Script(kProxy, ProxyRefusal());
        ASSERT_NO_FATAL_FAILURE(Send(*b));
        EXPECT_EQ(LastState(*b), "signed_out");
        EXPECT_EQ(Revoked(), (std::vector<std::string>{kRefresh, kAccess})) << "revoked once, by the copy signing out";
        for (const std::string& script : Scripts(*b))
            EXPECT_EQ(script.find("expired"), std::string::npos) << "a sign-out is no expiry: " << script;
        break;
    case Meet::SignedOutDuringTheRenewal:
        idp.HoldRenewals();
        renewBy(*a);
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
        ASSERT_TRUE(Call(*b, "signOut").GetBool());
        ASSERT_TRUE(WaitForState(*b, "signed_out"));
        idp.AnswerRenewalsAt(std::chrono::steady_clock::now());
        ASSERT_TRUE(WaitFor([&] { return Revoked().size() == 4; }));
        ASSERT_TRUE(checked(*a));
        EXPECT_EQ(LastState(*a), "signed_out");
        EXPECT_EQ(Revoked(), (std::vector<std::string>{kRefresh, kAccess, kRotatedRefresh, kRotatedAccess}))
            << "what the renewal brought after the sign-out is revoked";
        EXPECT_TRUE(Errors(*a).empty());
        break;
    case Meet::SettingsSavedByTheOlderCopy:
        renewBy(*a);
        ASSERT_TRUE(checked(*a));
        ASSERT_TRUE(Call(*b, "saveSettings", {JS::Value(R"({"provider":"anthropic","model":"m"})")}).GetBool());
        EXPECT_EQ(StoredSettings().value("model", ""), "m");
        EXPECT_EQ(StoredSettings().value("access_token", ""), kRotatedAccess);
        break;
    case Meet::RefusedWhileTheOtherSignedIn:
        idp.EndSignIn(kRefresh);
        idp.HoldRenewals();
        Call(*a, "checkAuth");
        ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
        ASSERT_TRUE(Call(*b, "signOut").GetBool());
        ASSERT_TRUE(WaitForState(*b, "signed_out"));
        ASSERT_TRUE(Call(*b, "signIn").GetBool());
        ASSERT_TRUE(WaitForState(*b, "signed_in"));
        idp.AnswerRenewalsAt(std::chrono::steady_clock::now());
        ASSERT_TRUE(checked(*a));
        EXPECT_EQ(LastState(*a), "signed_in") << "A took B's sign-in rather than end it";
        EXPECT_TRUE(Errors(*a).empty());
        break;
    case Meet::SignedInByTheOther:
        ASSERT_TRUE(Call(*a, "signIn").GetBool());
        ASSERT_TRUE(WaitForState(*a, "signed_in"));
        EXPECT_EQ(json::parse(Call(*b, "checkAuth").GetString()), json({{"state", "checking"}}));
        ASSERT_TRUE(checked(*b));
        EXPECT_EQ(States(*b).back(), json({{"state", "signed_in"}, {"email", "ada@example.invalid"}}));
        break;
    }
    ExpectNoTokenShown(*a);
    ExpectNoTokenShown(*b);
    b.reset();
    a.reset();
    EXPECT_EQ(idp.Count(FakeIdentityService::kToken), c.refreshes);
    EXPECT_EQ(StoredSettings().value("access_token", "x"), c.access);
    EXPECT_EQ(StoredSettings().value("refresh_token", "x"), c.refresh);

    ChatPalette next;
    Call(next, "checkAuth");
    ASSERT_TRUE(WaitFor([&] { return LastState(next) != "checking"; }));
    EXPECT_EQ(json::parse(next.GetSignIn().StateJson()).value("state", ""), c.nextStart);
    EXPECT_TRUE(Errors(next).empty());
    EXPECT_EQ(idp.Reuses(), 0) << "a refresh token was used twice";
    EXPECT_EQ(idp.Count(FakeIdentityService::kToken), c.refreshes) << "the next start renewed";
}

INSTANTIATE_TEST_SUITE_P(
    Meetings, TwoCopiesTest,
    ::testing::Values(
        // clang-format off
        TwoCopies{"RenewedByTheOther", Meet::RenewedByTheOther, 1, kRotatedAccess, kRotatedRefresh, "signed_in"},
        TwoCopies{"RenewingAtOnce", Meet::RenewingAtOnce, 1, kRotatedAccess, kRotatedRefresh, "signed_in"},
        TwoCopies{"SignedOutByTheOther", Meet::SignedOutByTheOther, 0, "", "", "signed_out"},
        TwoCopies{"SignedOutDuringTheRenewal", Meet::SignedOutDuringTheRenewal, 1, "", "", "signed_out"},
        TwoCopies{"SettingsSavedByTheOlderCopy", Meet::SettingsSavedByTheOlderCopy, 1, kRotatedAccess,
                  kRotatedRefresh, "signed_in"},
        TwoCopies{"SignedInByTheOther", Meet::SignedInByTheOther, 1, kRotatedAccess, kRotatedRefresh, "signed_in"},
        TwoCopies{"RefusedWhileTheOtherSignedIn", Meet::RefusedWhileTheOtherSignedIn, 2, kRotatedAccess,
                  kRotatedRefresh, "signed_in"}),
    // clang-format on
    [](const ::testing::TestParamInfo<TwoCopies>& info) { return std::string(info.param.name); });

namespace {

struct QuitDuringRenewal {
    const char* name;
    bool byTheEngine;             // the engine's renewal of a token the proxy refused, else the check's
    std::optional<int> answerMs;  // the service answers this long after quitting began; never when empty
};
void PrintTo(const QuitDuringRenewal& c, std::ostream* out) { *out << c.name; }

}  // namespace

class QuitDuringRenewalTest : public SignInTest, public ::testing::WithParamInterface<QuitDuringRenewal> {};

// A renewal the service carried out and answers just after quitting began is kept: the next
// start is signed in without renewing with a used refresh token. Quitting takes under 2 s.
TEST_P(QuitDuringRenewalTest, KeepsTheRotatedTokensAnsweredAsQuittingBegins)
{
    const QuitDuringRenewal& c = GetParam();
    StoreSignIn(kAccess, kRefresh, "ada@example.invalid");
    idp.Rotate(kAccess, kRefresh);
    idp.ExpireAccessTokens();
    idp.HoldRenewals();
    idp.Script(kProxy, ProxyRefusal());
    std::optional<ChatPalette> palette(std::in_place);
    if (c.byTheEngine)
        ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value("hello")}).GetBool());
    else
        Call(*palette, "checkAuth");
    ASSERT_TRUE(WaitFor([&] { return idp.Count(FakeIdentityService::kToken) == 1; }));
    const auto began = std::chrono::steady_clock::now();
    Quillmere::AbortAllHttpRequests(true);  // the host's quit notice
    if (c.answerMs) idp.AnswerRenewalsAt(began + std::chrono::milliseconds(*c.answerMs));
    palette.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2));
    Quillmere::AbortAllHttpRequests(false);
    const bool answered = c.answerMs.has_value();
    EXPECT_EQ(StoredSettings().value("access_token", ""), answered ? kRotatedAccess : kAccess);
    EXPECT_EQ(StoredSettings().value("refresh_token", ""), answered ? kRotatedRefresh : kRefresh);
    if (!answered) return;  // carried out and never answered: lost with its answer

    ChatPalette next;
    Call(next, "checkAuth");
    ASSERT_TRUE(WaitFor([&] { return LastState(next) != "checking"; }));
    EXPECT_EQ(LastState(next), "signed_in");
    EXPECT_TRUE(Errors(next).empty());
    EXPECT_EQ(idp.Count(FakeIdentityService::kToken), 1u);
    EXPECT_EQ(idp.Reuses(), 0);
    ExpectNoTokenShown(next);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, QuitDuringRenewalTest,
    ::testing::Values(
        // clang-format off
        QuitDuringRenewal{"CheckAnswered1msAfter", false, 1},
        QuitDuringRenewal{"CheckAnswered30msAfter", false, 30},
        QuitDuringRenewal{"CheckAnswered59msAfter", false, 59},
        QuitDuringRenewal{"CheckAnswered300msAfter", false, 300},
        QuitDuringRenewal{"EngineAnswered1msAfter", true, 1},
        QuitDuringRenewal{"EngineAnswered59msAfter", true, 59},
        QuitDuringRenewal{"EngineAnswered300msAfter", true, 300},
        QuitDuringRenewal{"CheckNeverAnswered", false, std::nullopt},
        QuitDuringRenewal{"EngineNeverAnswered", true, std::nullopt}),
    // clang-format on
    [](const ::testing::TestParamInfo<QuitDuringRenewal>& info) { return std::string(info.param.name); });

// The parameter: whether the service took the revocation at the sign-out.
class UnsavedSignOutTest : public SignInTest, public ::testing::WithParamInterface<bool> {};

// A sign-out no write could save until past quitting is finished at the next start, which says
// so rather than sign in again or call the sign-in expired, and revokes its tokens once more.
TEST_P(UnsavedSignOutTest, IsSaidAndFinishedAtTheNextStart)
{
    const bool revoked = GetParam();
    StoreSignIn(kAccess, kRefresh, "ada@example.invalid");
    if (!revoked) idp.Script(FakeIdentityService::kRevocation, FakeIdentityService::Json({{"error", "down"}}, 503));
    idp.Script(FakeIdentityService::kToken, FakeIdentityService::TokenError("invalid_grant"));
    std::optional<ChatPalette> palette(std::in_place);
    // A file where the settings' folder belongs, until the palette is gone.
    const fs::path folder = SettingsPath().parent_path(), aside = folder.string() + "~";
    fs::rename(folder, aside);
    std::ofstream(folder) << "not a folder";
    ASSERT_TRUE(Call(*palette, "signOut").GetBool());
    const bool settled = WaitFor([&] { return LastState(*palette) == "signed_out" && Revoked().size() == 2; });
    palette.reset();
    fs::remove(folder), fs::rename(aside, folder);
    ASSERT_TRUE(settled);
    ASSERT_EQ(StoredSettings().value("access_token", ""), kAccess) << "saved after all";
    idp.Script(FakeIdentityService::kRevocation, FakeIdentityService::Json(json::object()));

    const std::string notice =
        "\xE2\x9A\xA0 You signed out last time, but the sign-out could not be saved then: you are signed out now.";
    {
        ChatPalette next;
        EXPECT_EQ(json::parse(Call(next, "checkAuth").GetString()), json({{"state", "signed_out"}}));
        MainQueue::DrainUntilIdle();
        EXPECT_EQ(Errors(next), std::vector<std::string>{notice});
        EXPECT_TRUE(WaitFor([&] { return Revoked().size() == 4; })) << "revoked again";
        EXPECT_EQ(StoredSettings().value("access_token", "x"), "");
        EXPECT_EQ(StoredSettings().value("refresh_token", "x"), "");
        EXPECT_EQ(idp.Count(FakeIdentityService::kUserInfo) + idp.Count(FakeIdentityService::kToken), 0u)
            << "the signed-out sign-in was checked";
        ExpectNoTokenShown(next);
    }
    ChatPalette later;
    Call(later, "checkAuth");
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(Errors(later).empty()) << "said once";
}

INSTANTIATE_TEST_SUITE_P(Revocations, UnsavedSignOutTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "RevokedThen" : "NotRevokedThen");
                         });
