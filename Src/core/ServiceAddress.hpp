#pragma once

// What an outside service's address says before anything is sent to it: its scheme, host
// and port, and whether a token may travel there. A sign-in's tokens and the chat proxy's
// bearer token go over https, or over plain http to this computer alone, where nothing
// crosses a network; every other address is refused before a connection is made.

#include <string>

struct ServiceAddress {
    std::string scheme;  // "http" or "https"
    std::string host;    // lower case; an IPv6 address in brackets
    std::string port;    // filled in from the scheme when the address names none
};

// False when url is not an absolute http or https address.
bool ReadServiceAddress(const std::string& url, ServiceAddress& address);

// "scheme://host:port" in lower case, or "" when url is not an absolute http(s) address: two
// addresses with one origin reach the same server.
std::string AddressOrigin(const std::string& url);

// An http(s) address on this computer: localhost, 127.0.0.0/8 or ::1, in any spelling libcurl
// reads as one of them.
bool IsLoopbackAddress(const std::string& url);

// https to any host, or plain http to localhost, 127.0.0.0/8 or ::1.
bool TokensMayTravelTo(const std::string& url);

// Why url is refused, for the user: what ("the chat proxy's address") and the address itself,
// quoted with secrets hidden.
std::string PlainHttpRefusal(const std::string& what, const std::string& url);
