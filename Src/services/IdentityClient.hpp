#pragma once

// The client of the product's sign-in service, on open standards so that any standard identity
// service will do: its endpoints from OpenID Connect Discovery, a sign-in by the OAuth 2.0
// Device Authorization Grant (RFC 8628) as a public client, validation by the UserInfo
// endpoint, renewal by the refresh token, and sign-out by token revocation (RFC 7009).
//
// Every call blocks the calling thread (see core/HttpClient.hpp: size caps, deadlines, no
// redirects, cancellation) and is safe from any thread. A token is sent only to the endpoints
// discovery named, and discovery is refused when it names one on another origin than the
// service's base address, or when that address is plain http to another computer (see
// core/ServiceAddress.hpp). No error text ever holds a token, and nothing but the standards'
// own headers is sent.
//
// Every value of a reply is checked (size, characters, meaning) before it is kept: a reply
// with one that fails is "the sign-in service's reply could not be read", and nothing of it is
// kept. A token or device code handed back holds one registration with the log's redaction
// (core/DebugLog.hpp), made once it passed; the caller takes it over and calls DebugLogForget
// once when it drops the value. The user code, the page addresses and the e-mail have been
// through RedactSecrets.

#include <string>

namespace Quillmere {
namespace Identity {

// "quillmere", unless the environment variable QUILLMERE_CLIENT_ID says otherwise.
std::string ClientId();

// What sign-in asks for: the account's e-mail and a token that renews the access token.
constexpr const char* kScope = "openid email offline_access";

struct Endpoints {
    std::string deviceAuthorization;
    std::string token;
    std::string userInfo;
    std::string revocation;  // may be empty: the service revokes nothing
};

// Reads <baseUrl>/.well-known/openid-configuration. False with a reason when baseUrl is no
// https address (plain http is taken on this computer alone: nothing is sent then), the
// service cannot be reached, the document cannot be read, an endpoint sign-in needs is
// missing, or an endpoint lies on another origin (scheme, host, port) than baseUrl.
bool Discover(const std::string& baseUrl, Endpoints& endpoints, std::string& error);

// One device authorization: the code the user confirms, where, and for how long. Refused:
// a user code over 64 bytes, a page that is no http(s) address, a lifetime that is not
// positive.
struct DeviceSession {
    std::string deviceCode;  // a secret between us and the service (registered, see above)
    std::string userCode;
    std::string verificationUri;
    std::string verificationUriComplete;  // may be empty; dropped when it would carry a secret
    int expiresIn = 0;                    // seconds
    int interval = 5;                     // seconds between polls
};
bool StartDeviceAuthorization(const Endpoints& endpoints, DeviceSession& session, std::string& error);

// Granted only as Bearer tokens (a reply without token_type is refused too).
struct Tokens {
    std::string access;
    std::string refresh;  // empty when the service gave none
};

// A token endpoint's answer. Pending, SlowDown, Denied and Expired are the device grant's
// errors; Rejected is a refresh token the service no longer takes; Failed is everything else
// (unreachable, an HTTP failure, an unreadable reply), with error saying why.
enum class TokenStatus { Granted, Pending, SlowDown, Denied, Expired, Rejected, Failed };
struct TokenReply {
    TokenStatus status = TokenStatus::Failed;
    Tokens tokens;
    std::string error;
};
TokenReply PollDeviceToken(const Endpoints& endpoints, const std::string& deviceCode);
// A service that does not rotate refresh tokens gets refreshToken back in the reply.
TokenReply RefreshTokens(const Endpoints& endpoints, const std::string& refreshToken);

enum class UserInfoStatus { Valid, Unauthorized, Failed };
struct UserInfoReply {
    UserInfoStatus status = UserInfoStatus::Failed;
    std::string email;  // "" when the service names none
    std::string error;
};
UserInfoReply FetchUserInfo(const Endpoints& endpoints, const std::string& accessToken);

// Revokes token (tokenTypeHint "refresh_token" or "access_token"). True when the service took
// it, or when it has no revocation endpoint.
bool Revoke(const Endpoints& endpoints, const std::string& token, const std::string& tokenTypeHint, std::string& error);

}  // namespace Identity
}  // namespace Quillmere
