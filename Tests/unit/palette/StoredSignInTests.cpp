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
};
void PrintTo(const StoredCheck& c, std::ostream* out) { *out << c.name; }

// The one text for a sign-in that ended, the chat's own.
const char* const kExpired = "\xE2\x9A\xA0 Your sign-in has expired: sign in again in Settings";

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
                    "signed_out", "", "", "", kExpired},
        StoredCheck{"RefreshTokenRefused", true, {FakeIdentityService::Json({}, 401)},
                    {FakeIdentityService::TokenError("invalid_grant")},
                    "signed_out", "", "", "", kExpired},
        StoredCheck{"RenewedWithoutANewRefreshTokenKeepsTheOldOne", true,
                    {FakeIdentityService::Json({}, 401), FakeIdentityService::Email("new@x.invalid")},
                    {FakeIdentityService::Tokens(kRenewedAccess)},
                    "signed_in", kRenewedAccess, kRefresh, "new@x.invalid", ""},
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
    EXPECT_EQ(Revoked(), (std::vector<std::string>{kRefresh, kAccess, kRefresh, kAccess}))
        << "the access token is revoked though the service refused the refresh token";
    ExpectNoTokenShown(palette);
}
