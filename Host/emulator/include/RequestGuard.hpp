#pragma once

// Part of the emulated host's window system (the shell serves it); the add-on never includes it.

#include <string>

// Who may talk to the shell: only pages it served itself, in this run. Every request must
// carry the run's secret token; requests naming another host or coming from another origin
// are refused, so that no other web page (or a DNS name rebound to 127.0.0.1) can drive the
// assistant or read the keys.
class RequestGuard {
public:
    explicit RequestGuard(int port);

    const std::string& Token() const { return token; }
    std::string Origin() const;

    // Empty when the request may pass; otherwise why it may not.
    std::string Check(const std::string& presentedToken, const std::string& hostHeader, const std::string& originHeader,
                      const std::string& fetchSiteHeader) const;

private:
    int port;
    std::string token;
};
