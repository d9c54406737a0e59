// The fake identity service's well-behaved defaults and the replies the sign-in tests script.

#include "FakeIdentityService.hpp"

#include <algorithm>
#include <condition_variable>
#include <mutex>

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

// The rotating service's books: each token's sign-in, and what became of it.
struct FakeIdentityService::Rotation {
    enum class Status { Live, Used, Expired, Revoked };
    struct Token {
        int family = 0;
        bool refresh = false;
        Status status = Status::Live;
    };
    mutable std::mutex mutex;
    std::condition_variable answer;
    std::chrono::steady_clock::time_point answerAt{};
    bool stopped = false;
    std::map<std::string, Token> tokens;
    int families = 0, issued = 0, reuses = 0;

    // A new pair of tokens in family; the caller holds the mutex.
    std::pair<std::string, std::string> Issue(int family)
    {
        ++issued;
        const std::string access = "rotated-access-secret-" + std::to_string(issued);
        const std::string refresh = "rotated-refresh-secret-" + std::to_string(issued);
        tokens[access] = {family, false, Status::Live};
        tokens[refresh] = {family, true, Status::Live};
        return {access, refresh};
    }
    void RevokeFamily(int family)
    {
        for (auto& [text, token] : tokens)
            if (token.family == family) token.status = Status::Revoked;
    }
    // Carried out at once; answered when its time comes.
    Reply Renew(const std::string& refresh)
    {
        std::unique_lock<std::mutex> lock(mutex);
        const Reply reply = CarryOut(refresh);
        while (!stopped && answerAt > std::chrono::steady_clock::now()) {
            if (answerAt == std::chrono::steady_clock::time_point::max())
                answer.wait(lock);
            else
                answer.wait_until(lock, answerAt);
        }
        return reply;
    }
    Reply CarryOut(const std::string& refresh)
    {
        const auto found = tokens.find(refresh);
        if (found == tokens.end() || !found->second.refresh || found->second.status == Status::Revoked)
            return TokenError("invalid_grant");
        if (found->second.status == Status::Used) {
            ++reuses;
            RevokeFamily(found->second.family);
            return TokenError("invalid_grant");
        }
        found->second.status = Status::Used;
        const auto issuedPair = Issue(found->second.family);
        return Tokens(issuedPair.first, issuedPair.second);
    }
};

void FakeIdentityService::Rotate(const std::string& access, const std::string& refresh)
{
    auto rotation = std::make_shared<Rotation>();
    rotation->families = 1;
    rotation->tokens[access] = {1, false, Rotation::Status::Live};
    rotation->tokens[refresh] = {1, true, Rotation::Status::Live};
    rotation_ = rotation;
    server_.Answer(kToken, [rotation](const Request& request) {
        const auto form = Form(request);
        const auto grant = form.find("grant_type");
        if (grant != form.end() && grant->second == "refresh_token") {
            const auto refresh = form.find("refresh_token");
            return rotation->Renew(refresh == form.end() ? "" : refresh->second);
        }
        std::lock_guard<std::mutex> lock(rotation->mutex);
        const auto issued = rotation->Issue(++rotation->families);
        return Tokens(issued.first, issued.second);
    });
    server_.Answer(kUserInfo, [rotation](const Request& request) {
        const std::string bearer = request.Header("Authorization");
        std::lock_guard<std::mutex> lock(rotation->mutex);
        const auto found = rotation->tokens.find(bearer.substr(std::min<std::size_t>(bearer.size(), 7)));
        if (found == rotation->tokens.end() || found->second.refresh || found->second.status != Rotation::Status::Live)
            return Json({{"error", "invalid_token"}}, 401);
        return Email("ada@example.invalid");
    });
    server_.Answer(kRevocation, [rotation](const Request& request) {
        const auto form = Form(request);
        const auto token = form.find("token");
        std::lock_guard<std::mutex> lock(rotation->mutex);
        const auto found = token == form.end() ? rotation->tokens.end() : rotation->tokens.find(token->second);
        if (found != rotation->tokens.end()) {
            if (found->second.refresh)
                rotation->RevokeFamily(found->second.family);
            else
                found->second.status = Rotation::Status::Revoked;
        }
        return Json(nlohmann::json::object());
    });
}

void FakeIdentityService::ExpireAccessTokens()
{
    std::lock_guard<std::mutex> lock(rotation_->mutex);
    for (auto& [text, token] : rotation_->tokens)
        if (!token.refresh && token.status == Rotation::Status::Live) token.status = Rotation::Status::Expired;
}

void FakeIdentityService::EndSignIn(const std::string& token)
{
    std::lock_guard<std::mutex> lock(rotation_->mutex);
    const auto found = rotation_->tokens.find(token);
    if (found != rotation_->tokens.end()) rotation_->RevokeFamily(found->second.family);
}

void FakeIdentityService::AnswerRenewalsAt(std::chrono::steady_clock::time_point when)
{
    {
        std::lock_guard<std::mutex> lock(rotation_->mutex);
        rotation_->answerAt = when;
    }
    rotation_->answer.notify_all();
}

int FakeIdentityService::Reuses() const
{
    std::lock_guard<std::mutex> lock(rotation_->mutex);
    return rotation_->reuses;
}

bool FakeIdentityService::Live(const std::string& token) const
{
    std::lock_guard<std::mutex> lock(rotation_->mutex);
    const auto found = rotation_->tokens.find(token);
    return found != rotation_->tokens.end() && found->second.status == Rotation::Status::Live;
}

FakeIdentityService::~FakeIdentityService()
{
    if (!rotation_) return;
    {
        std::lock_guard<std::mutex> lock(rotation_->mutex);
        rotation_->stopped = true;
    }
    rotation_->answer.notify_all();
}
