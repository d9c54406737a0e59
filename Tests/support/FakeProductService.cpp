#include "FakeProductService.hpp"

#include "HttpTestSupport.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

std::string Between(const std::string& text, const std::string& open, char close)
{
    const std::size_t from = text.find(open);
    if (from == std::string::npos) return {};
    const std::size_t start = from + open.size();
    return text.substr(start, text.find(close, start) - start);
}

// Takes a multipart body apart by its boundary; false when it does not follow the format.
bool ParseMultipart(const std::string& body, const std::string& boundary, std::vector<FakeProductService::Part>& parts)
{
    const std::string delimiter = "--" + boundary;
    if (boundary.empty() || body.compare(0, delimiter.size() + 2, delimiter + "\r\n") != 0) return false;
    std::size_t at = delimiter.size() + 2;
    const std::string next = "\r\n" + delimiter;
    while (true) {
        const std::size_t headersEnd = body.find("\r\n\r\n", at);
        if (headersEnd == std::string::npos) return false;
        const std::string headers = body.substr(at, headersEnd + 2 - at);
        const std::size_t contentEnd = body.find(next, headersEnd + 4);
        if (contentEnd == std::string::npos) return false;
        FakeProductService::Part part;
        const std::string disposition = Between(headers, "Content-Disposition: form-data; ", '\r');
        if (disposition.empty()) return false;
        part.name = Between(disposition, "name=\"", '"');
        part.filename = Between(disposition, "filename=\"", '"');
        part.contentType = Between(headers, "Content-Type: ", '\r');
        part.content = body.substr(headersEnd + 4, contentEnd - headersEnd - 4);
        parts.push_back(part);
        at = contentEnd + next.size();
        if (body.compare(at, 4, "--\r\n") == 0) return at + 4 == body.size();
        if (body.compare(at, 2, "\r\n") != 0) return false;
        at += 2;
    }
}

}  // namespace

std::string FakeProductService::Request::Header(const std::string& name) const
{
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

FakeProductService::FakeProductService()
{
    KeepMultipartBodiesWhole(server_);
    const auto handle = [this](const httplib::Request& in, httplib::Response& out) { Handle(in, out); };
    server_.Get(".*", handle);
    server_.Post(".*", handle);
    server_.Put(".*", handle);
    server_.Delete(".*", handle);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeProductService::~FakeProductService()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    stopping_.notify_all();
    server_.stop();
    thread_.join();
}

std::string FakeProductService::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string FakeProductService::ClosedBaseUrl() { return ClosedLoopbackUrl(); }

void FakeProductService::Script(const std::string& route, std::vector<Reply> replies)
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_[route] = std::deque<Reply>(replies.begin(), replies.end());
}

void FakeProductService::Release()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++released_;
    }
    stopping_.notify_all();
}

void FakeProductService::Answer(const std::string& route, Handler handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_[route] = std::move(handler);
}

std::vector<FakeProductService::Request> FakeProductService::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::size_t FakeProductService::Count(const std::string& route) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t n = 0;
    for (const Request& request : requests_) n += request.Route() == route;
    return n;
}

void FakeProductService::ClearRequests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

FakeProductService::Reply FakeProductService::Next(const std::string& route)
{
    auto found = script_.find(route);
    if (found == script_.end() || found->second.empty()) {
        Reply missing;
        missing.status = 404;
        missing.body = "unscripted";
        missing.contentType = "text/plain";
        return missing;
    }
    Reply reply = found->second.front();
    if (found->second.size() > 1) found->second.pop_front();
    return reply;
}

void FakeProductService::Handle(const httplib::Request& in, httplib::Response& out)
{
    Request request;
    request.received = std::chrono::steady_clock::now();
    request.method = in.method;
    request.target = in.target;
    request.path = in.target.substr(0, in.target.find('?'));  // as sent, not decoded
    request.body = in.body;
    for (const auto& header : SentHeaders(in)) request.headers.insert(header);
    if (WasMultipart(in)) {
        const std::string contentType = request.Header("Content-Type");
        request.multipart = true;
        const std::string prefix = "multipart/form-data; boundary=";
        const std::string boundary = contentType.rfind(prefix, 0) == 0 ? contentType.substr(prefix.size()) : "";
        request.multipartWellFormed = ParseMultipart(in.body, boundary, request.parts);
    }

    Reply reply;
    Handler handler;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        requests_.push_back(request);
        const auto found = handlers_.find(request.Route());
        if (found != handlers_.end()) handler = found->second;
        if (!handler) {
            reply = Next(request.Route());
            if (reply.delay.count() > 0) stopping_.wait_for(lock, reply.delay, [this] { return stopped_; });
        }
        if (!handler && reply.held) {
            const std::size_t ticket = held_++;
            stopping_.wait(lock, [&] { return stopped_ || released_ > ticket; });
        }
    }
    if (handler) reply = handler(request);
    if (reply.beforeAnswering) reply.beforeAnswering();
    out.status = reply.status;
    if (!reply.location.empty()) out.set_header("Location", reply.location);
    out.set_content(reply.body, reply.contentType.c_str());
}

void ServiceUrlScope::WriteSettings(const std::string& json) const
{
    std::filesystem::create_directories(Home() + "/.quillmere");
    std::ofstream(Home() + "/.quillmere/settings.json", std::ios::binary) << json;
}
