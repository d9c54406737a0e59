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
