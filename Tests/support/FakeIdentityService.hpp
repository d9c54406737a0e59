#pragma once

// A standard identity service as the sign-in tests need it: the fake product service's
// recording, scriptable server with the five sign-in endpoints scripted as a well-behaved
// service answers them (discovery, device authorization, token, UserInfo, revocation). Each
// test changes the one reply it is about: a slow_down, an expired code, a 5xx, a stall, a
// discovery document that names another origin. Told to (Rotate), it keeps books instead, as a
// service that rotates refresh tokens and ends a sign-in whose refresh token comes twice.

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "FakeProductService.hpp"

class FakeIdentityService {
public:
    using Reply = FakeProductService::Reply;
    using Request = FakeProductService::Request;

    static constexpr const char* kDiscovery = "GET /.well-known/openid-configuration";
    static constexpr const char* kDevice = "POST /device/auth";
    static constexpr const char* kToken = "POST /token";
    static constexpr const char* kUserInfo = "GET /me";
    static constexpr const char* kRevocation = "POST /token/revocation";
    static constexpr const char* kUserCode = "WDJB-MJHT";

    // Discovery names the endpoints on this server; the device authorization gives a code
    // that lives 600 s and may be polled every second; the token endpoint says
    // authorization_pending; UserInfo and revocation answer 401 and 200.
    FakeIdentityService();
    ~FakeIdentityService();
    FakeIdentityService(const FakeIdentityService&) = delete;
    FakeIdentityService& operator=(const FakeIdentityService&) = delete;

    std::string BaseUrl() const { return server_.BaseUrl(); }

    // Discovery naming every endpoint under endpointBase (another origin, for instance), or,
    // with only set to one of its keys (such as "userinfo_endpoint"), that endpoint alone.
    void ScriptDiscovery(const std::string& endpointBase, const std::string& only = "");
    void Script(const std::string& route, std::vector<Reply> replies) { server_.Script(route, std::move(replies)); }
    void Script(const std::string& route, const Reply& reply) { server_.Script(route, reply); }
    void Release() { server_.Release(); }

    static Reply Json(const nlohmann::json& body, int status = 200);
    // {"error": code} with 400, as the token endpoint refuses.
    static Reply TokenError(const std::string& code);
    static Reply Tokens(const std::string& access, const std::string& refresh = "");
    static Reply Email(const std::string& email);

    // From now on a service that rotates refresh tokens, as many do, instead of the scripts of
    // the token, UserInfo and revocation endpoints. The sign-in (access, refresh) is live; a
    // live refresh token is renewed once into the next "rotated-access-secret-N" and
    // "rotated-refresh-secret-N", and is used up by it; presented again (a reuse), the whole
    // sign-in it belongs to is revoked and the renewal refused; a confirmed device code signs in
    // anew. UserInfo takes live access tokens that have not expired; revoking a refresh token
    // revokes its whole sign-in, an access token itself.
    void Rotate(const std::string& access, const std::string& refresh);
    // Every access token handed out so far expires (UserInfo answers 401), as an hour does.
    void ExpireAccessTokens();
    // The service ends the sign-in token belongs to (its user changed the password, say).
    void EndSignIn(const std::string& token);
    // Renewals are carried out (or refused) at once but answered only at this time (held:
    // never, until the next call); each answer waits for the latest time set.
    void AnswerRenewalsAt(std::chrono::steady_clock::time_point when);
    void HoldRenewals() { AnswerRenewalsAt(std::chrono::steady_clock::time_point::max()); }
    // Refresh tokens presented after they were used up.
    int Reuses() const;
    // Whether token is live (neither used up, revoked nor expired).
    bool Live(const std::string& token) const;

    std::vector<Request> Requests() const { return server_.Requests(); }
    std::size_t Count(const std::string& route) const { return server_.Count(route); }
    // The form fields of a form-encoded request, decoded.
    static std::multimap<std::string, std::string> Form(const Request& request);

private:
    struct Rotation;
    // Shared with the handlers, which may still run on the server's threads as this goes.
    std::shared_ptr<Rotation> rotation_;
    FakeProductService server_;
};
