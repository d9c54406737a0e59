// Where a token may travel: https anywhere, plain http to this computer only, judged on the
// host libcurl would connect to, and refused for every address it cannot read.
#include <gtest/gtest.h>

#include "core/ServiceAddress.hpp"

namespace {

struct AddressCase {
    const char* url;
    bool tokensMayTravel;
    const char* origin;  // "" when the address is not an http(s) one
};

}  // namespace

TEST(ServiceAddress, TokensTravelOverHttpsOrToThisComputerAlone)
{
    const AddressCase cases[] = {
        {"https://id.example.com", true, "https://id.example.com:443"},
        {"HTTPS://ID.Example.COM/path?q=1", true, "https://id.example.com:443"},
        {"http://127.0.0.1:8080", true, "http://127.0.0.1:8080"},
        {"http://127.200.3.4/", true, "http://127.200.3.4:80"},
        {"http://localhost:9", true, "http://localhost:9"},
        {"http://LocalHost:9", true, "http://localhost:9"},
        {"http://[::1]:7", true, "http://[::1]:7"},
        {"http://id.example.com", false, "http://id.example.com:80"},
        {"http://example.invalid:1", false, "http://example.invalid:1"},
        {"http://128.0.0.1", false, "http://128.0.0.1:80"},
        {"http://10.0.0.1", false, "http://10.0.0.1:80"},
        {"http://[::2]", false, "http://[::2]:80"},
        // Only A-Z are folded: a name in UTF-8 keeps every byte of its other letters ("B\u00dcRO").
        {"https://B\xC3\x9CRO-Server.example", true, "https://b\xC3\x9Cro-server.example:443"},
        {"https://\xC3\x9C.DE", true, "https://\xC3\x9C.de:443"},  // shorter than the eight bytes folded at once
        // Names that only look local: another host, whatever its first label or the user part.
        {"http://127.0.0.1.example.invalid", false, "http://127.0.0.1.example.invalid:80"},
        {"http://localhost.example.invalid", false, "http://localhost.example.invalid:80"},
        {"http://127.0.0.1@example.invalid/", false, "http://example.invalid:80"},
        {"http://localhost:1@example.invalid", false, "http://example.invalid:80"},
        // Nothing the client would speak.
        {"", false, ""},
        {"127.0.0.1:8080", false, ""},
        {"ftp://127.0.0.1/", false, ""},
        {"file:///etc/hostname", false, ""},
        {"http://exa mple.com/", false, ""},
    };
    for (const AddressCase& c : cases) {
        EXPECT_EQ(TokensMayTravelTo(c.url), c.tokensMayTravel) << c.url;
        EXPECT_EQ(AddressOrigin(c.url), c.origin) << c.url;
    }
}
