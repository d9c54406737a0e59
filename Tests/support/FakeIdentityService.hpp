#pragma once

// A standard identity service as the sign-in tests need it: the fake product service's
// recording, scriptable server with the five sign-in endpoints scripted as a well-behaved
// service answers them (discovery, device authorization, token, UserInfo, revocation). Each
// test changes the one reply it is about: a slow_down, an expired code, a 5xx, a stall, a
// discovery document that names another origin.

#include <map>
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

    std::vector<Request> Requests() const { return server_.Requests(); }
    std::size_t Count(const std::string& route) const { return server_.Count(route); }
    // The form fields of a form-encoded request, decoded.
    static std::multimap<std::string, std::string> Form(const Request& request);

private:
    FakeProductService server_;
};
