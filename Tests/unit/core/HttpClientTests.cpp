#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <httplib.h>
#include <unistd.h>

#include "HttpTestSupport.hpp"
#include "core/HttpClient.hpp"

using namespace Quillmere;

namespace {

// Binary, and different for every request target.
std::string Reply(const std::string& path) { return "reply to " + path + std::string("\0\xff", 2); }

// A loopback server that records every request and answers with Reply(target): "/status/N" with
// status N, "/stall" only when the server goes away, anything else with 200.
struct FakeServer {
    FakeServer()
    {
        KeepMultipartBodiesWhole(server);
        const auto handle = [this](const httplib::Request& req, httplib::Response& res) {
            httplib::Request sent = req;  // the headers as sent, without the server's own notes
            sent.headers = SentHeaders(req);
            {
                std::lock_guard<std::mutex> lock(mutex);
                requests.push_back(sent);
            }
            if (req.path == "/stall") released.wait_for(std::chrono::seconds(10));
            res.status = req.path.rfind("/status/", 0) == 0 ? std::stoi(req.path.substr(8)) : 200;
            res.set_content(Reply(req.target), "application/octet-stream");
        };
        server.Get(".*", handle);
        server.Post(".*", handle);
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FakeServer()
    {
        release.set_value();
        server.stop();
        thread.join();
    }

    std::string Host() const { return "127.0.0.1:" + std::to_string(port); }
    std::string Url(const std::string& path) const { return "http://" + Host() + path; }
    std::vector<httplib::Request> Requests()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return requests;
    }

    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::mutex mutex;
    std::vector<httplib::Request> requests;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
};

struct TempFile {
    TempFile(const std::string& content, const std::string& suffix) : path("/tmp/quillmere_http_XXXXXX" + suffix)
    {
        ::close(mkstemps(&path[0], static_cast<int>(suffix.size())));
        std::ofstream(path, std::ios::binary) << content;
    }
    ~TempFile() { ::unlink(path.c_str()); }
    std::string path;
};

// A call that failed: no status, no body, and this error (exact) or an error containing it.
void ExpectFailure(const HttpResponse& response, const std::string& error, bool exact = true)
{
    EXPECT_EQ(response.statusCode, 0);
    EXPECT_EQ(response.body, "");
    EXPECT_TRUE(exact ? response.error == error : response.error.find(error) < response.error.size()) << response.error;
}

const std::string kBinary("\x00\x01\xff\xfe\r\n--x\x80 end", 13);

}  // namespace

TEST(HttpClientTest, ParallelRequestsCarryExactlyTheirLineHeadersAndBodyAndGetTheirOwnReply)
{
    FakeServer server;
    std::string big(3 * 1024 * 1024, 'a');  // large enough for a transport to want "Expect: 100-continue"
    for (std::size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>(i % 251);
    std::future<HttpResponse> calls[] = {
        std::async(std::launch::async,
                   [&] {
                       return HttpPost(server.Url("/status/201?beta=true"), kBinary,
                                       {{"x-api-key", "key-123"},
                                        {"anthropic-version", "2023-06-01"},
                                        {"Authorization", "Bearer tok"}});
                   }),
        std::async(std::launch::async,
                   [&] {
                       return HttpPost(server.Url("/status/404"), big, {{"Content-Type", "application/json"}});
                   }),
        std::async(std::launch::async, [&] {
            return HttpGet(server.Url("/status/503"), {{"apikey", "anon"}});
        })};
    const std::tuple<int, std::string, std::string, httplib::Headers> expected[] = {
        {201,
         "POST /status/201?beta=true",
         kBinary,
         {{"Host", server.Host()},
          {"Content-Length", "13"},
          {"x-api-key", "key-123"},
          {"anthropic-version", "2023-06-01"},
          {"Authorization", "Bearer tok"}}},
        {404,
         "POST /status/404",
         big,
         {{"Host", server.Host()},
          {"Content-Length", std::to_string(big.size())},
          {"Content-Type", "application/json"}}},
        {503, "GET /status/503", "", {{"Host", server.Host()}, {"apikey", "anon"}}}};
    for (int i = 0; i < 3; ++i) {
        const auto& [status, line, body, headers] = expected[i];
        SCOPED_TRACE(line);
        const HttpResponse response = calls[i].get();  // an error status is no transport error
        EXPECT_EQ(response.statusCode, status);
        EXPECT_EQ(response.body, Reply(line.substr(line.find(' ') + 1)));
        EXPECT_EQ(response.error, "");
        const auto requests = server.Requests();  // recorded before the reply went out
        const auto sent = std::find_if(requests.begin(), requests.end(), [&](const httplib::Request& r) {
            return r.method + " " + r.target + " " + r.version == line + " HTTP/1.1";
        });
        ASSERT_NE(sent, requests.end());
        EXPECT_TRUE(sent->body == body);
        EXPECT_EQ(sent->headers, headers);
    }
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(HttpClientTest, MultipartBodyIsAssembledByteForByteWithAFreshBoundary)
{
    FakeServer server;
    const TempFile plan(kBinary, ".png"), notes("first line\r\nsecond", ".txt");
    const std::vector<MultipartFile> files = {{"file", plan.path, "image/png"}, {"notes", notes.path, "text/plain"}};
    std::set<std::string> boundaries;
    for (int call = 0; call < 3; ++call) {
        const HttpResponse response = HttpPostMultipart(server.Url("/upload"), {{"scale", "100"}, {"mode", "walls"}},
                                                        files, {{"content-type", "text/plain"}, {"X-Token", "t"}});
        ASSERT_EQ(response.error, "");
        const httplib::Request r = server.Requests().back();
        const std::string contentType = r.get_header_value("Content-Type");
        std::smatch match;
        const std::regex boundaryForm("multipart/form-data; boundary=(----Quillmere(\\d{1,10}))");
        ASSERT_TRUE(std::regex_match(contentType, match, boundaryForm)) << contentType;
        EXPECT_LE(std::stoull(match[2]), 4294967295ull);
        boundaries.insert(match[1]);

        const std::string b = "--" + match[1].str(), part = "\r\nContent-Disposition: form-data; name=\"";
        const std::string expected = b + part + "mode\"\r\n\r\nwalls\r\n" + b + part + "scale\"\r\n\r\n100\r\n" + b +
                                     part + "file\"; filename=\"" + plan.path.substr(5) +
                                     "\"\r\nContent-Type: image/png\r\n\r\n" + kBinary + "\r\n" + b + part +
                                     "notes\"; filename=\"" + notes.path.substr(5) +
                                     "\"\r\nContent-Type: text/plain\r\n\r\nfirst line\r\nsecond\r\n" + b + "--\r\n";
        EXPECT_TRUE(r.body == expected) << r.body;
        EXPECT_EQ(r.headers, (httplib::Headers{{"Host", server.Host()},
                                               {"Content-Type", contentType},
                                               {"X-Token", "t"},
                                               {"Content-Length", std::to_string(expected.size())}}));
    }
    EXPECT_EQ(boundaries.size(), 3u);
}

TEST(HttpClientTest, BadRequestsFailBeforeAnythingIsSent)
{
    FakeServer server;
    const TempFile good("content", ".txt");
    for (const std::string bad : {"/tmp/quillmere_no_such_file_here.png", "/tmp"}) {
        ExpectFailure(HttpPostMultipart(server.Url("/upload"), {{"a", "1"}},
                                        {{"file", good.path, "text/plain"}, {"file2", bad, "image/png"}}, {}),
                      "Cannot read file: " + bad);
    }
    for (const std::string& url :
         {std::string(""), std::string("http://exa mple.com/"), std::string("http://127.0.0.1\0x/", 19)}) {
        ExpectFailure(HttpGet(url, {}), "Invalid URL: " + url);
        ExpectFailure(HttpPost(url, "body", {}), "Invalid URL: " + url);
        // The URL is checked before the file list is read.
        ExpectFailure(HttpPostMultipart(url, {}, {{"f", "/tmp/quillmere_no_such_file", "x"}}, {}),
                      "Invalid URL: " + url);
    }
    // Only http is spoken, and a header with a line break could smuggle in another header.
    ExpectFailure(HttpGet("file:///etc/hostname", {}), "", false);
    ExpectFailure(HttpPost(server.Url("/x"), "{}", {{"X-Key", "abc\r\nX-Injected: 1"}}), "", false);
    ExpectFailure(HttpGet(server.Url("/x"), {{"X-Key\nHost", "v"}}), "", false);
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpClientTest, RefusedAndStalledConnectionsFailWithAReadableError)
{
    auto closed = std::make_unique<FakeServer>();
    const std::string refused = closed->Url("/v1/chat"), port = std::to_string(closed->port);
    closed.reset();
    for (const HttpResponse& response : {HttpGet(refused, {}), HttpPost(refused, "{}", {})}) {
        ExpectFailure(response, port, false);
        EXPECT_FALSE(response.requestSent);
        EXPECT_FALSE(response.timedOut);
    }

    // A stalled server took the request: that is told apart from one never reached.
    FakeServer server;
    SetHttpTimeoutOverrideForTesting(1000);
    for (const HttpResponse& response : {HttpGet(server.Url("/stall"), {}), HttpPost(server.Url("/stall"), "{}", {})}) {
        ExpectFailure(response, "The request timed out.");
        EXPECT_TRUE(response.requestSent);
        EXPECT_TRUE(response.timedOut);
    }
    SetHttpTimeoutOverrideForTesting(0);
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_TRUE(HttpGet(server.Url("/ok"), {}).requestSent);
}

TEST(HttpClientTest, AbortFlagCancelsRunningAndNewRequestsOnItsThreadOnly)
{
    FakeServer server;
    std::atomic<bool> abort{false};
    std::thread trigger([&abort, &server] {
        while (server.Requests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        abort = true;
    });
    {
        HttpAbortScope scope(&abort);
        ExpectFailure(HttpPost(server.Url("/stall"), "{}", {}), "The request was cancelled.");
        trigger.join();
    }
    EXPECT_EQ(HttpGet(server.Url("/ok"), {}).statusCode, 200);  // out of the scope: not watched
    HttpResponse other;
    SetHttpAbortFlag(&abort);
    ExpectFailure(HttpGet(server.Url("/ok"), {}), "The request was cancelled.");
    std::thread([&] { other = HttpGet(server.Url("/ok"), {}); }).join();
    SetHttpAbortFlag(nullptr);
    EXPECT_EQ(other.statusCode, 200);
    EXPECT_EQ(server.Requests().size(), 3u);
}
