// The sign-in service's standard endpoints: discovery, device authorization, token, UserInfo
// and revocation, each reply read with the caps and depth checks of every outside reply.
#include "services/IdentityClient.hpp"

#include <cmath>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "core/AsciiText.hpp"
#include "core/DebugLog.hpp"
#include "core/HttpClient.hpp"
#include "core/JsonDepth.hpp"
#include "core/OutsideText.hpp"
#include "core/PercentEncoding.hpp"
#include "core/ServiceAddress.hpp"

namespace Quillmere {
namespace Identity {

namespace {

using Form = std::vector<std::pair<std::string, std::string>>;

const char* const kDeviceGrant = "urn:ietf:params:oauth:grant-type:device_code";
// What sign-in shows or keeps from the service is bounded: a longer user code or page address
// is no sign-in the user could read or follow, and an e-mail address is never longer.
constexpr std::size_t kMaxUserCodeBytes = 64;
constexpr std::size_t kMaxPageAddressBytes = 2048;
constexpr std::size_t kMaxEmailBytes = 320;

// A secret or code we will send back in a header or a form: printable ASCII without spaces,
// and of a size the log's redaction takes (from 4 bytes to kMaxSecretBytes), for a secret it
// cannot hide must never be kept.
bool IsUsableToken(const std::string& text)
{
    if (!RedactableSecret(text)) return false;
    for (char c : text)
        if (c <= ' ' || c > '~') return false;
    return true;
}

// A user code is read off the page and typed: printable ASCII, spaces allowed.
bool IsUsableUserCode(const std::string& text)
{
    if (text.empty() || text.size() > kMaxUserCodeBytes) return false;
    for (char c : text)
        if (c < ' ' || c > '~') return false;
    return true;
}

// A page the browser opens: an http or https address of a sensible length.
bool IsUsablePage(const std::string& url) { return url.size() <= kMaxPageAddressBytes && !AddressOrigin(url).empty(); }

std::string FormBody(const Form& fields)
{
    std::string body;
    for (const auto& field : fields)
        body += (body.empty() ? "" : "&") + PercentEncoded(field.first) + "=" + PercentEncoded(field.second);
    return body;
}

// Only what the standards ask for: the product service's own headers are not the identity
// provider's business.
HttpResponse PostForm(const std::string& url, const Form& fields)
{
    return HttpPost(url, FormBody(fields),
                    {{"Content-Type", "application/x-www-form-urlencoded"}, {"Accept", "application/json"}});
}

std::string StringMember(const nlohmann::json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// Why a request failed, for the user: the transport's reason, or the status and the service's
// own short explanation (quoted with secrets hidden).
std::string FailureText(const HttpResponse& response, const nlohmann::json& reply)
{
    if (!response.error.empty() || response.statusCode == 0)
        return response.error.empty() ? std::string("no answer") : response.error;
    std::string text = "HTTP " + std::to_string(response.statusCode);
    if (reply.is_object()) {
        std::string detail = StringMember(reply, "error");
        const auto description = reply.find("error_description");
        if (description != reply.end() && description->is_string())
            detail += (detail.empty() ? "" : ": ") + description->get<std::string>();
        if (!detail.empty()) text += " (" + QuoteOutsideText(detail) + ")";
    }
    return text;
}

const char* const kUnreadable = "the sign-in service's reply could not be read";

// Whole seconds from a number in the reply (a fraction rounded up, so that a positive time
// stays positive), within a day; fallback when absent or not a number.
int SecondsMember(const nlohmann::json& object, const char* key, int fallback)
{
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number()) return fallback;
    const double seconds = found->get<double>();
    return seconds <= 0 ? 0 : seconds > 86400 ? 86400 : static_cast<int>(std::ceil(seconds));
}

// A token endpoint's reply read as the standard words it.
TokenReply ReadTokenReply(const HttpResponse& response)
{
    TokenReply result;
    const nlohmann::json reply = response.error.empty() ? ParseOutsideJson(response.body) : nlohmann::json();
    if (Succeeded(response)) {
        Tokens tokens{StringMember(reply, "access_token"), StringMember(reply, "refresh_token")};
        // The type is required (RFC 6749), and a token of any other type is not one we can send.
        const bool bearer = LowerAscii(StringMember(reply, "token_type")) == "bearer";
        if (!bearer || !IsUsableToken(tokens.access) || (!tokens.refresh.empty() && !IsUsableToken(tokens.refresh))) {
            result.error = kUnreadable;
            return result;
        }
        DebugLogRedact(tokens.access);
        if (!tokens.refresh.empty()) DebugLogRedact(tokens.refresh);
        result.tokens = std::move(tokens);
        result.status = TokenStatus::Granted;
        return result;
    }
    const std::string code = reply.is_object() ? StringMember(reply, "error") : std::string();
    if (response.statusCode == 400 || response.statusCode == 401) {
        if (code == "authorization_pending") result.status = TokenStatus::Pending;
        if (code == "slow_down") result.status = TokenStatus::SlowDown;
        if (code == "access_denied") result.status = TokenStatus::Denied;
        if (code == "expired_token") result.status = TokenStatus::Expired;
        if (code == "invalid_grant") result.status = TokenStatus::Rejected;
    }
    result.error = FailureText(response, reply);
    return result;
}

}  // namespace

std::string ClientId()
{
    const char* fromEnvironment = std::getenv("QUILLMERE_CLIENT_ID");
    return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : "quillmere";
}

bool Discover(const std::string& baseUrl, Endpoints& endpoints, std::string& error)
{
    if (baseUrl.empty()) {
        error = "no sign-in service is set (service_url in the settings, or QUILLMERE_SERVICE_URL)";
        return false;
    }
    if (!TokensMayTravelTo(baseUrl)) {
        error = PlainHttpRefusal("the sign-in service's address", baseUrl);
        return false;
    }
    const HttpResponse response = HttpGet(baseUrl + "/.well-known/openid-configuration", {});
    if (!Succeeded(response)) {
        error = "the sign-in service could not be reached: " + FailureText(response, nlohmann::json());
        return false;
    }
    const nlohmann::json document = ParseOutsideJson(response.body);
    if (!document.is_object()) {
        error = "the sign-in service's discovery document could not be read";
        return false;
    }
    Endpoints found;
    found.deviceAuthorization = StringMember(document, "device_authorization_endpoint");
    found.token = StringMember(document, "token_endpoint");
    found.userInfo = StringMember(document, "userinfo_endpoint");
    found.revocation = StringMember(document, "revocation_endpoint");
    if (found.deviceAuthorization.empty() || found.token.empty() || found.userInfo.empty()) {
        error = "the sign-in service does not offer sign-in with a code (its discovery document lacks an endpoint)";
        return false;
    }
    // A changed discovery document must not carry the user's token to another server, nor in
    // clear: one origin with the base address implies its scheme, checked here once more.
    const std::string origin = AddressOrigin(baseUrl);
    for (const std::string* endpoint : {&found.deviceAuthorization, &found.token, &found.userInfo, &found.revocation}) {
        if (endpoint->empty()) continue;
        if (origin.empty() || AddressOrigin(*endpoint) != origin) {
            error = "the sign-in service's discovery document names an endpoint on another address than " +
                    QuoteOutsideText(baseUrl) + "; sign-in refused";
            return false;
        }
        if (!TokensMayTravelTo(*endpoint)) {
            error = PlainHttpRefusal("the sign-in service's endpoint", *endpoint);
            return false;
        }
    }
    endpoints = found;
    return true;
}

bool StartDeviceAuthorization(const Endpoints& endpoints, DeviceSession& session, std::string& error)
{
    const HttpResponse response =
        PostForm(endpoints.deviceAuthorization, {{"client_id", ClientId()}, {"scope", kScope}});
    const nlohmann::json reply = response.error.empty() ? ParseOutsideJson(response.body) : nlohmann::json();
    if (!Succeeded(response)) {
        error = "the sign-in service did not start a sign-in: " + FailureText(response, reply);
        return false;
    }
    DeviceSession started;
    started.deviceCode = StringMember(reply, "device_code");
    started.userCode = StringMember(reply, "user_code");
    started.verificationUri = StringMember(reply, "verification_uri");
    started.verificationUriComplete = StringMember(reply, "verification_uri_complete");
    started.expiresIn = SecondsMember(reply, "expires_in", 0);
    started.interval = SecondsMember(reply, "interval", 5);
    if (!IsUsableToken(started.deviceCode) || !IsUsableUserCode(started.userCode) ||
        !IsUsablePage(started.verificationUri) ||
        !(started.verificationUriComplete.empty() || IsUsablePage(started.verificationUriComplete)) ||
        started.expiresIn <= 0) {
        error = kUnreadable;
        return false;
    }
    DebugLogRedact(started.deviceCode);
    // What the page shows and the browser opens holds no secret, the device code included: a
    // page address that would carry one is not used.
    started.userCode = RedactSecrets(started.userCode);
    if (RedactSecrets(started.verificationUriComplete) != started.verificationUriComplete)
        started.verificationUriComplete.clear();
    if (RedactSecrets(started.verificationUri) != started.verificationUri) {
        DebugLogForget(started.deviceCode);
        error = kUnreadable;
        return false;
    }
    session = started;
    return true;
}

TokenReply PollDeviceToken(const Endpoints& endpoints, const std::string& deviceCode)
{
    return ReadTokenReply(PostForm(
        endpoints.token, {{"grant_type", kDeviceGrant}, {"device_code", deviceCode}, {"client_id", ClientId()}}));
}

TokenReply RefreshTokens(const Endpoints& endpoints, const std::string& refreshToken)
{
    TokenReply reply = ReadTokenReply(
        PostForm(endpoints.token,
                 {{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}, {"client_id", ClientId()}}));
    // A service that does not rotate refresh tokens keeps the one we have; handed back, it
    // carries a registration of its own like every token in a reply.
    if (reply.status == TokenStatus::Granted && reply.tokens.refresh.empty()) {
        reply.tokens.refresh = refreshToken;
        DebugLogRedact(refreshToken);
    }
    return reply;
}

UserInfoReply FetchUserInfo(const Endpoints& endpoints, const std::string& accessToken)
{
    UserInfoReply result;
    const HttpResponse response =
        HttpGet(endpoints.userInfo, {{"Authorization", "Bearer " + accessToken}, {"Accept", "application/json"}});
    if (response.error.empty() && response.statusCode == 401) {
        result.status = UserInfoStatus::Unauthorized;
        return result;
    }
    const nlohmann::json reply = response.error.empty() ? ParseOutsideJson(response.body) : nlohmann::json();
    if (!Succeeded(response)) {
        result.error = FailureText(response, reply);
        return result;
    }
    if (!reply.is_object()) {
        result.error = kUnreadable;
        return result;
    }
    // Hidden before it is cut, so that no piece of a secret is left to show.
    result.email = CutText(RedactSecrets(StringMember(reply, "email")), kMaxEmailBytes);
    result.status = UserInfoStatus::Valid;
    return result;
}

bool Revoke(const Endpoints& endpoints, const std::string& token, const std::string& tokenTypeHint, std::string& error)
{
    if (endpoints.revocation.empty() || token.empty()) return true;
    const HttpResponse response = PostForm(
        endpoints.revocation, {{"token", token}, {"token_type_hint", tokenTypeHint}, {"client_id", ClientId()}});
    if (Succeeded(response)) return true;
    const nlohmann::json reply = response.error.empty() ? ParseOutsideJson(response.body) : nlohmann::json();
    error = FailureText(response, reply);
    return false;
}

}  // namespace Identity
}  // namespace Quillmere
