// The fake identity service's well-behaved defaults and the replies the sign-in tests script.

#include "FakeIdentityService.hpp"

#include <httplib.h>

FakeIdentityService::FakeIdentityService()
{
    ScriptDiscovery(BaseUrl());
    Script(kDevice, Json({{"device_code", "device-code-secret-0123456789"},
                          {"user_code", kUserCode},
                          {"verification_uri", BaseUrl() + "/device"},
                          {"verification_uri_complete", BaseUrl() + "/device?user_code=" + kUserCode},
                          {"expires_in", 600},
                          {"interval", 1}}));
    Script(kToken, TokenError("authorization_pending"));
    Script(kUserInfo, Json({{"error", "invalid_token"}}, 401));
    Script(kRevocation, Json(nlohmann::json::object()));
}

void FakeIdentityService::ScriptDiscovery(const std::string& endpointBase, const std::string& only)
{
    const auto at = [&](const std::string& key) { return only.empty() || only == key ? endpointBase : BaseUrl(); };
    Script(kDiscovery, Json({{"issuer", BaseUrl()},
                             {"device_authorization_endpoint", at("device_authorization_endpoint") + "/device/auth"},
                             {"token_endpoint", at("token_endpoint") + "/token"},
                             {"userinfo_endpoint", at("userinfo_endpoint") + "/me"},
                             {"revocation_endpoint", at("revocation_endpoint") + "/token/revocation"}}));
}

FakeIdentityService::Reply FakeIdentityService::Json(const nlohmann::json& body, int status)
{
    Reply reply;
    reply.status = status;
    reply.body = body.dump();
    return reply;
}

FakeIdentityService::Reply FakeIdentityService::TokenError(const std::string& code)
{
    return Json({{"error", code}}, 400);
}

FakeIdentityService::Reply FakeIdentityService::Tokens(const std::string& access, const std::string& refresh)
{
    nlohmann::json body{{"access_token", access}, {"token_type", "Bearer"}, {"expires_in", 3600}};
    if (!refresh.empty()) body["refresh_token"] = refresh;
    return Json(body);
}

FakeIdentityService::Reply FakeIdentityService::Email(const std::string& email)
{
    return Json({{"sub", "user-1"}, {"email", email}});
}

std::multimap<std::string, std::string> FakeIdentityService::Form(const Request& request)
{
    httplib::Params params;
    httplib::detail::parse_query_text(request.body, params);
    return {params.begin(), params.end()};
}
