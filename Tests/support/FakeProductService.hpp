#pragma once

// The product's service as tests see it: a cpp-httplib server on 127.0.0.1 (ephemeral port)
// that records every request and answers as scripted per route. Plan-recognition and render
// tests point the add-on at it through QUILLMERE_SERVICE_URL (see ServiceUrlScope).

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "TempFolder.hpp"

class FakeProductService {
public:
    // One part of a multipart/form-data body.
    struct Part {
        std::string name;
        std::string filename;     // empty for a plain field
        std::string contentType;  // empty when the part had no Content-Type line
        std::string content;
    };
    struct Request {
        std::string method;
        std::string target;                               // path and query, as sent
        std::string path;                                 // without the query, percent-escapes kept
        std::multimap<std::string, std::string> headers;  // as sent (the server's notes left out)
        std::string body;                                 // raw bytes
        bool multipart = false;
        bool multipartWellFormed = false;  // every delimiter and part header as the format asks
        std::vector<Part> parts;
        std::chrono::steady_clock::time_point received;

        std::string Header(const std::string& name) const;  // first value; "" when absent
        std::string Route() const { return method + " " + path; }
    };
    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        std::chrono::milliseconds delay{0};     // before answering (cut short when the fake stops)
        std::string location;                   // a Location header, when set
        bool held = false;                      // answered only once Release lets it go (or the fake stops)
        std::function<void()> beforeAnswering;  // run after the delay, e.g. to move a test's clock on
    };

    FakeProductService();
    ~FakeProductService();
    FakeProductService(const FakeProductService&) = delete;
    FakeProductService& operator=(const FakeProductService&) = delete;

    std::string BaseUrl() const;
    // A base address where nothing listens (connection refused).
    static std::string ClosedBaseUrl();

    // Replies for a route, "METHOD /path" (no query), given in turn; the last one repeats.
    // An unscripted route answers 404 with the body "unscripted".
    void Script(const std::string& route, std::vector<Reply> replies);
    void Script(const std::string& route, const Reply& reply) { Script(route, std::vector<Reply>{reply}); }

    // Lets the held reply that was asked for first (or, with none waiting, the next one) be
    // answered: a test says when, instead of guessing a delay long enough.
    void Release();
    // Answers a route by handler instead of its script: called on the server's thread without
    // the fake's lock, so that it may wait. An empty handler goes back to the script.
    using Handler = std::function<Reply(const Request&)>;
    void Answer(const std::string& route, Handler handler);

    std::vector<Request> Requests() const;
    std::size_t Count(const std::string& route) const;
    void ClearRequests();

private:
    void Handle(const httplib::Request& in, httplib::Response& out);
    Reply Next(const std::string& route);

    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable stopping_;
    bool stopped_ = false;
    std::map<std::string, std::deque<Reply>> script_;
    std::map<std::string, Handler> handlers_;
    std::vector<Request> requests_;
    std::size_t held_ = 0, released_ = 0;  // held replies asked for, and let go, so far
};

// Points the add-on at a service for the scope's lifetime: QUILLMERE_SERVICE_URL set (or
// unset, for an empty url) and HOME moved to a fresh folder, so no settings file of the
// machine decides. Both are restored afterwards.
class ServiceUrlScope {
public:
    explicit ServiceUrlScope(const std::string& url)
        : url_("QUILLMERE_SERVICE_URL", url.empty() ? std::nullopt : std::optional<std::string>(url))
    {}
    const std::string& Home() const { return home_.Path(); }
    // Writes ~/.quillmere/settings.json in the scope's home.
    void WriteSettings(const std::string& json) const;

private:
    ScopedHome home_;
    ScopedEnv url_;
};
