#include "RequestGuard.hpp"

#include <random>

namespace {

std::string RandomToken()
{
    std::random_device device;
    static const char* hex = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 16; ++i) {
        unsigned value = device();
        for (int k = 0; k < 4; ++k) {
            token += hex[value & 0xF];
            value >>= 4;
        }
    }
    return token;  // 256 bits from the system's entropy source
}

// Takes as long for a near miss as for a far one.
bool SameSecret(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace

RequestGuard::RequestGuard(int port) : port(port), token(RandomToken()) {}

std::string RequestGuard::Origin() const { return "http://127.0.0.1:" + std::to_string(port); }

std::string RequestGuard::Check(const std::string& presentedToken, const std::string& hostHeader,
                                const std::string& originHeader, const std::string& fetchSiteHeader) const
{
    if (hostHeader != "127.0.0.1:" + std::to_string(port)) return "unexpected host";
    if (!originHeader.empty() && originHeader != Origin()) return "foreign origin";
    if (!fetchSiteHeader.empty() && fetchSiteHeader != "same-origin" && fetchSiteHeader != "none")
        return "cross-site request";
    if (presentedToken.empty() || !SameSecret(presentedToken, token)) return "missing or wrong token";
    return {};
}
