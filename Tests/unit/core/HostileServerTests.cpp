// The HTTP client against servers on 127.0.0.1 that misbehave on purpose: one that trickles
// its reply, one that redirects elsewhere, one that answers too much, one that never answers
// while the host quits.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "core/HttpClient.hpp"

using namespace Quillmere;

namespace {

class LoopbackServer {
public:
    explicit LoopbackServer(const std::function<void(httplib::Server&)>& routes)
    {
        routes(server_);
        server_.Get(".*", [this](const httplib::Request&, httplib::Response&) { ++hits; });
        port = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LoopbackServer()
    {
        server_.stop();
        thread_.join();
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }

    int port = 0;
    std::atomic<int> hits{0};

private:
    httplib::Server server_;
    std::thread thread_;
};

}  // namespace

TEST(HostileServer, EveryRequestEndsAndSaysWhy)
{
    LoopbackServer elsewhere([](httplib::Server&) {});
    std::atomic<bool> stop{false};
    LoopbackServer hostile([&](httplib::Server& s) {
        // One byte a second for up to ten seconds: never idle, never done.
        s.Get("/trickle", [&](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [&](size_t, httplib::DataSink& sink) {
                for (int i = 0; i < 10 && !stop; ++i) {
                    if (!sink.write("x", 1)) return false;
                    std::this_thread::sleep_for(std::chrono::seconds(1));
                }
                sink.done();
                return true;
            });
        });
        s.Get("/redirect", [&](const httplib::Request&, httplib::Response& res) {
            res.status = 307;
            res.set_header("Location", elsewhere.Url("/catch"));
            res.set_content("moved", "text/plain");
        });
        s.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(5000, 'b'), "text/plain");
        });
        s.Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
            for (int i = 0; i < 100 && !stop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            res.set_content("late", "text/plain");
        });
    });

    struct Case {
        const char* name;
        std::string path;
        std::size_t maxBytes;
        bool quitWhileWaiting;
        int status;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"a trickle past the total deadline", "/trickle", kMaxServiceReplyBytes, false, 0, "The request timed out."},
        {"a 307 to another port", "/redirect", kMaxServiceReplyBytes, false, 307,
         "The server answered HTTP 307 with a redirect to 127.0.0.1:" + std::to_string(elsewhere.port) +
             "; redirects are not followed."},
        {"a reply past its cap", "/big", 4999, false, 0, "The reply is larger than 4999 bytes and was not read."},
        {"quitting while a request waits", "/stall", kMaxServiceReplyBytes, true, 0, "The request was cancelled."},
    };
    SetHttpTimeoutOverrideForTesting(2500);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::thread quitter;
        if (c.quitWhileWaiting)
            quitter = std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                AbortAllHttpRequests(true);  // from another thread, as a signal handler would
            });
        const HttpResponse response = HttpGet(hostile.Url(c.path), {{"x-api-key", "secret"}}, c.maxBytes);
        if (quitter.joinable()) quitter.join();
        AbortAllHttpRequests(false);
        EXPECT_EQ(response.statusCode, c.status);
        EXPECT_EQ(response.error, c.error);
        EXPECT_EQ(response.body, "");
    }
    SetHttpTimeoutOverrideForTesting(0);
    stop = true;
    EXPECT_EQ(elsewhere.hits, 0) << "the redirect was followed";
    EXPECT_EQ(HttpGet(hostile.Url("/big"), {}).body.size(), 5000u) << "the quit flag was left set";
}
