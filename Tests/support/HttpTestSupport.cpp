#include "HttpTestSupport.hpp"

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
