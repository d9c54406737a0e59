#pragma once

// The palette's sign-in fixture: a fake standard identity service named by the environment,
// protocol seconds of 5 ms, and readers of what the page was told (states, errors) and of what
// the settings keep; every test also checks that no token reached the page or the log.
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include <nlohmann/json.hpp>

#include "FakeIdentityService.hpp"
#include "HostTestingWorkspace.hpp"
#include "ShellTest.hpp"
#include "TempFolder.hpp"
#include "core/DebugLog.hpp"
#include "core/HttpClient.hpp"
#include "core/OutsideText.hpp"

using nlohmann::json;
using Reply = FakeIdentityService::Reply;

inline constexpr const char* kAccess = "access-token-secret-A1b2C3d4E5";
inline constexpr const char* kRefresh = "refresh-token-secret-F6g7H8i9J0";
inline constexpr const char* kRenewedAccess = "access-token-renewed-K1l2M3n4";
inline constexpr const char* kRenewedRefresh = "refresh-token-renewed-O5p6Q7r8";

inline constexpr const char* kProxy = "POST /v1/messages";
// The chat proxy refusing the token it was sent.
inline Reply ProxyRefusal() { return FakeIdentityService::Json({{"error", {{"message", "expired"}}}}, 401); }

// A reply given later than anything would wait for it: a request still waiting for it was not
// cancelled.
inline Reply Stalled(Reply reply)
{
    reply.delay = std::chrono::minutes(10);
    return reply;
}
// A reply given once the test releases it (FakeIdentityService::Release), held replies in turn.
inline Reply Held(Reply reply)
{
    reply.held = true;
    return reply;
}
inline Reply StalledPoll() { return Stalled(FakeIdentityService::TokenError("authorization_pending")); }

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
        // The product service's own header is none of the identity provider's or the proxy's.
        for (const auto& request : idp.Requests()) EXPECT_EQ(request.Header("X-Quillmere-Dev"), "") << request.Route();
        SignInManager::SetSecondForTesting(std::chrono::milliseconds(0));
        Quillmere::SetHttpTimeoutOverrideForTesting(0);
        Quillmere::AbortAllHttpRequests(false);
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
    // Waits without running the main queue: what the palette is told meanwhile stays on its way.
    static bool WaitUnpumped(const std::function<bool()>& done)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    }
    // Someone waits for the renewal another has under way.
    bool RenewalWaits() const { return LogText().find("waiting for the renewal under way") != std::string::npos; }
    // The tokens the service was asked to revoke, in order.
    std::vector<std::string> Revoked() const
    {
        std::vector<std::string> tokens;
        for (const auto& request : idp.Requests())
            if (request.Route() == FakeIdentityService::kRevocation)
                tokens.push_back(FakeIdentityService::Form(request).find("token")->second);
        return tokens;
    }
    // The tokens the chat proxy was sent, in order.
    std::vector<std::string> Bearers() const
    {
        std::vector<std::string> tokens;
        for (const auto& request : idp.Requests())
            if (request.Route() == kProxy) tokens.push_back(request.Header("Authorization").substr(7));
        return tokens;
    }
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
        for (const std::string& url : HostTesting::OpenedUrls()) shown += url + "\n";
        EXPECT_EQ(shown.find("device-code-secret"), std::string::npos) << "the page or the browser got the device code";
        EXPECT_EQ(LogText().find("device-code-secret"), std::string::npos);
    }

    FakeIdentityService idp;
    ScopedEnv serviceUrl{"QUILLMERE_SERVICE_URL", idp.BaseUrl()};
};
