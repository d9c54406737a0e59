// Helpers the loopback test servers share.
#include "HttpTestSupport.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const char* const kParked = "x-parked";
}

void KeepMultipartBodiesWhole(httplib::Server& server)
{
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
        auto& request = const_cast<httplib::Request&>(req);
        if (request.is_multipart_form_data()) {
            request.headers.emplace(kParked, request.get_header_value("Content-Type"));
            request.headers.erase("Content-Type");
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

httplib::Headers SentHeaders(const httplib::Request& request)
{
    httplib::Headers sent = request.headers;
    for (const char* note : {"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT", kParked}) sent.erase(note);
    if (request.has_header(kParked)) sent.emplace("Content-Type", request.get_header_value(kParked));
    return sent;
}

bool WasMultipart(const httplib::Request& request) { return request.has_header(kParked); }

std::string ClosedLoopbackUrl()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}
