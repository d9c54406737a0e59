// Reading a service's address with libcurl's own parser, so that what is judged here is what
// the HTTP client will connect to.
#include "core/ServiceAddress.hpp"

#include <memory>

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>

#include "core/AsciiText.hpp"
#include "core/OutsideText.hpp"

bool ReadServiceAddress(const std::string& url, ServiceAddress& address)
{
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), &curl_url_cleanup);
    if (!handle || url.empty() || url.find('\0') != std::string::npos ||
        curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return false;
    std::string parts[3];
    const CURLUPart which[3] = {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT};
    for (int i = 0; i < 3; ++i) {
        char* part = nullptr;
        if (curl_url_get(handle.get(), which[i], &part, CURLU_DEFAULT_PORT) != CURLUE_OK || part == nullptr)
            return false;
        parts[i] = LowerAscii(part);
        curl_free(part);
    }
    if (parts[0] != "http" && parts[0] != "https") return false;
    address = {parts[0], parts[1], parts[2]};
    return true;
}

std::string AddressOrigin(const std::string& url)
{
    ServiceAddress address;
    return ReadServiceAddress(url, address) ? address.scheme + "://" + address.host + ":" + address.port : "";
}

namespace {

bool IsLoopback(const std::string& host)
{
    if (host == "localhost") return true;
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return host.size() > 2 && host.front() == '[' && host.back() == ']' &&
           inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

}  // namespace

bool IsLoopbackAddress(const std::string& url)
{
    ServiceAddress address;
    return ReadServiceAddress(url, address) && IsLoopback(address.host);
}

bool TokensMayTravelTo(const std::string& url)
{
    ServiceAddress address;
    if (!ReadServiceAddress(url, address)) return false;
    return address.scheme == "https" || IsLoopback(address.host);
}

std::string PlainHttpRefusal(const std::string& what, const std::string& url)
{
    return what + " \"" + QuoteOutsideText(url) +
           "\" is not an https address: a token sent there could be read on the way, so nothing was sent (plain "
           "http is taken only for this computer: localhost, 127.x.x.x or ::1)";
}
