// The HTTP client against a server on 127.0.0.1 that misbehaves on purpose: it trickles its
// reply, redirects elsewhere, answers too much, or never answers while the host quits.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "core/HttpClient.hpp"

using namespace Quillmere;

TEST(HostileServer, EveryRequestEndsAndSaysWhy)
{
    httplib::Server server, elsewhere;
    std::atomic<bool> stop{false};
    std::atomic<int> followed{0};
    const auto pause = [&](int tenths) {
        for (int i = 0; i < tenths && !stop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    server.Get("/trickle", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [&](size_t, httplib::DataSink& sink) {
            for (int i = 0; i < 10 && !stop && sink.write("x", 1); ++i) pause(10);  // a byte a second
            sink.done();
            return true;
        });
    });
    elsewhere.Get(".*", [&](const httplib::Request&, httplib::Response&) { ++followed; });
    const int otherPort = elsewhere.bind_to_any_port("127.0.0.1");
    std::thread catching([&] { elsewhere.listen_after_bind(); });
    server.Get("/redirect", [&](const httplib::Request&, httplib::Response& res) {
        res.status = 307;
        res.set_header("Location", "http://127.0.0.1:" + std::to_string(otherPort) + "/caught");
    });
    server.Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(5000, 'b'), "text/plain");
    });
    server.Get("/stall", [&](const httplib::Request&, httplib::Response&) { pause(100); });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread listening([&] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    struct Case {
        const char* name;
        std::string path;
        std::size_t maxBytes;
        int status;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"a trickle past the total deadline", "/trickle", kMaxServiceReplyBytes, 0, "The request timed out."},
        {"a 307 to another port", "/redirect", kMaxServiceReplyBytes, 307,
         "The server answered HTTP 307 with a redirect to 127.0.0.1:" + std::to_string(otherPort) +
             "; redirects are not followed."},
        {"a reply past its cap", "/big", 4999, 0, "The reply is larger than 4999 bytes and was not read."},
        {"quitting while a request waits", "/stall", kMaxServiceReplyBytes, 0, "The request was cancelled."},
    };
    SetHttpTimeoutOverrideForTesting(2500);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::thread quitter([&] {
            if (c.path != "/stall") return;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            AbortAllHttpRequests(true);  // from another thread, as the signal handler does
        });
        const std::string url = "http://127.0.0.1:" + std::to_string(port) + c.path;
        const HttpResponse response = HttpGet(url, {{"x-api-key", "secret"}}, c.maxBytes);
        quitter.join();
        AbortAllHttpRequests(false);
        EXPECT_EQ(response.statusCode, c.status);
        EXPECT_EQ(response.error, c.error);
        EXPECT_EQ(response.body, "");
    }
    SetHttpTimeoutOverrideForTesting(0);
    stop = true;
    EXPECT_EQ(followed, 0);
    server.stop();
    elsewhere.stop();
    listening.join();
    catching.join();
}
