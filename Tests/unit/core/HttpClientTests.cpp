#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <unistd.h>

#include "core/HttpClient.hpp"

using namespace Quillmere;

namespace {

struct ReceivedRequest {
    std::string method, target, version, body;
    std::multimap<std::string, std::string> headers;  // lower-case names, as sent

    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& header : headers) {
            names.insert(header.first);
        }
        return names;
    }
    std::string Header(const std::string& name) const
    {
        return headers.count(name) == 1 ? headers.find(name)->second : "<absent or repeated>";
    }
};

// A loopback server that records every request. "/stall" answers only when released,
// "/status/N" with status N; anything else with replyStatus and replyBody.
class FakeServer {
public:
    FakeServer()
    {
        // The server would take a multipart body apart before the handler sees it; with its
        // content type parked under another name the body arrives as the bytes that were sent.
        server_.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
            auto& request = const_cast<httplib::Request&>(req);
            if (request.is_multipart_form_data()) {
                request.headers.emplace(kParked, request.get_header_value("Content-Type"));
                request.headers.erase("Content-Type");
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
        const auto handle = [this](const httplib::Request& req, httplib::Response& res) {
            Record(req);
            res.status = replyStatus;
            std::string body = replyBody;
            if (req.path == "/stall") {
                std::unique_lock<std::mutex> lock(mutex_);
                cv_.wait_for(lock, std::chrono::seconds(10), [this] { return released_; });
            } else if (req.path.rfind("/status/", 0) == 0) {
                res.status = std::stoi(req.path.substr(8));
                body = "status body " + req.path.substr(8);
            }
            res.set_content(body, "application/octet-stream");
        };
        server_.Get(".*", handle);
        server_.Post(".*", handle);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~FakeServer()
    {
        Release();
        server_.stop();
        thread_.join();
    }

    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int Port() const { return port_; }
    std::vector<ReceivedRequest> Requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }

    int replyStatus = 200;
    std::string replyBody = "ok";

private:
    static constexpr const char* kParked = "x-test-parked-content-type";

    void Record(const httplib::Request& req)
    {
        ReceivedRequest received{req.method, req.target, req.version, req.body, {}};
        for (const auto& header : req.headers) {
            std::string name = header.first;
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (name == kParked) {
                received.headers.emplace("content-type", header.second);
            } else if (name.find('_') == std::string::npos) {  // not the server's remote_addr etc.
                received.headers.emplace(name, header.second);
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(received);
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool released_ = false;
    std::vector<ReceivedRequest> requests_;
};

class TempFile {
public:
    TempFile(const std::string& content, const std::string& suffix)
    {
        std::string pattern = "/tmp/quillmere_http_test_XXXXXX" + suffix;
        ::close(mkstemps(&pattern[0], static_cast<int>(suffix.size())));
        path = pattern;
        std::ofstream(path, std::ios::binary) << content;
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::string path;
};

const std::string kBinary("\x00\x01\xff\xfe\r\n--x\x80 end", 13);

}  // namespace

TEST(HttpClientTest, PostSendsTheRequestLineHeadersAndBodyExactly)
{
    FakeServer server;
    server.replyStatus = 201;
    server.replyBody = std::string("reply\x00\xff bytes", 12);
    const HttpResponse response = HttpPost(server.Url("/v1/messages?beta=true"), kBinary,
                                           {{"x-api-key", "key-123"}, {"anthropic-version", "2023-06-01"},
                                            {"Authorization", "Bearer tok"}});
    EXPECT_EQ(response.statusCode, 201);
    EXPECT_EQ(response.body, server.replyBody);
    EXPECT_EQ(response.error, "");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const ReceivedRequest& r = requests[0];
    EXPECT_EQ(r.method + " " + r.target + " " + r.version, "POST /v1/messages?beta=true HTTP/1.1");
    EXPECT_EQ(r.body, kBinary);
    EXPECT_EQ(r.headers, (std::multimap<std::string, std::string>{
                             {"host", "127.0.0.1:" + std::to_string(server.Port())},
                             {"content-length", std::to_string(kBinary.size())},
                             {"x-api-key", "key-123"},
                             {"anthropic-version", "2023-06-01"},
                             {"authorization", "Bearer tok"}}));
}

TEST(HttpClientTest, OnlyTheCallersHeadersAreAddedEvenForLargeBodies)
{
    FakeServer server;
    std::string body(3 * 1024 * 1024, 'a');
    for (std::size_t i = 0; i < body.size(); i += 4099) {
        body[i] = static_cast<char>(i % 251);
    }
    ASSERT_EQ(HttpPost(server.Url("/big"), body, {{"Content-Type", "application/json"}}).error, "");
    server.replyBody = "listing";
    const HttpResponse listing = HttpGet(server.Url("/storage/v1/object/list"), {{"apikey", "anon"}});
    EXPECT_EQ(listing.statusCode, 200);
    EXPECT_EQ(listing.body, "listing");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].body == body);
    EXPECT_EQ(requests[0].Names(), (std::set<std::string>{"host", "content-length", "content-type"}));
    EXPECT_EQ(requests[0].Header("content-type"), "application/json");
    EXPECT_EQ(requests[1].method + " " + requests[1].target, "GET /storage/v1/object/list");
    EXPECT_EQ(requests[1].body, "");
    EXPECT_EQ(requests[1].Names(), (std::set<std::string>{"host", "apikey"}));
}

TEST(HttpClientTest, MultipartBodyIsAssembledByteForByteWithAFreshBoundary)
{
    FakeServer server;
    const TempFile plan(kBinary, ".png");
    const TempFile notes("first line\r\nsecond", ".txt");
    const std::string prefix = "multipart/form-data; boundary=----Quillmere";
    std::set<std::string> boundaries;
    for (int call = 0; call < 3; ++call) {
        const HttpResponse response = HttpPostMultipart(
            server.Url("/upload"), {{"scale", "100"}, {"mode", "walls"}},
            {{"file", plan.path, "image/png"}, {"notes", notes.path, "text/plain"}},
            {{"content-type", "text/plain"}, {"X-Token", "t"}});
        ASSERT_EQ(response.statusCode, 200) << response.error;
        const ReceivedRequest r = server.Requests().back();
        EXPECT_EQ(r.Names(), (std::set<std::string>{"host", "content-length", "content-type", "x-token"}));
        const std::string contentType = r.Header("content-type");
        ASSERT_EQ(contentType.rfind(prefix, 0), 0u) << contentType;
        const std::string digits = contentType.substr(prefix.size());
        ASSERT_TRUE(!digits.empty() && digits.size() <= 10) << digits;
        EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
        EXPECT_LE(std::stoull(digits), 4294967295ull);
        boundaries.insert(digits);

        const std::string b = "--" "----Quillmere" + digits;
        const std::string expected =
            b + "\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\nwalls\r\n" +
            b + "\r\nContent-Disposition: form-data; name=\"scale\"\r\n\r\n100\r\n" +
            b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + plan.path.substr(5) +
            "\"\r\nContent-Type: image/png\r\n\r\n" + kBinary + "\r\n" +
            b + "\r\nContent-Disposition: form-data; name=\"notes\"; filename=\"" + notes.path.substr(5) +
            "\"\r\nContent-Type: text/plain\r\n\r\nfirst line\r\nsecond\r\n" + b + "--\r\n";
        EXPECT_EQ(r.Header("content-length"), std::to_string(expected.size()));
        EXPECT_TRUE(r.body == expected) << r.body;
    }
    EXPECT_EQ(boundaries.size(), 3u);
}

TEST(HttpClientTest, BadRequestsFailBeforeAnythingIsSent)
{
    FakeServer server;
    const TempFile good("content", ".txt");
    for (const std::string bad : {"/tmp/quillmere_no_such_file_here.png", "/tmp"}) {
        const HttpResponse response = HttpPostMultipart(
            server.Url("/upload"), {{"a", "1"}}, {{"file", good.path, "text/plain"}, {"file2", bad, "image/png"}}, {});
        EXPECT_EQ(response.statusCode, 0);
        EXPECT_EQ(response.error, "Cannot read file: " + bad);
        EXPECT_EQ(response.body, "");
    }
    for (const std::string& url : {std::string(""), std::string("not a url"), std::string("http://exa mple.com/"),
                                  std::string("://missing-scheme"), std::string("http://127.0.0.1\0x/", 19)}) {
        const HttpResponse get = HttpGet(url, {});
        EXPECT_EQ(get.statusCode, 0);
        EXPECT_EQ(get.error, "Invalid URL: " + url);
        EXPECT_EQ(HttpPost(url, "body", {}).error, "Invalid URL: " + url);
        // The URL is checked before the file list is read.
        EXPECT_EQ(HttpPostMultipart(url, {}, {{"f", "/tmp/quillmere_no_such_file", "x"}}, {}).error,
                  "Invalid URL: " + url);
    }
    // Only http is spoken, and a header with a line break could smuggle in another header.
    for (const HttpResponse& refused : {HttpGet("file:///etc/hostname", {}),
                                        HttpPost(server.Url("/x"), "{}", {{"X-Key", "abc\r\nX-Injected: 1"}}),
                                        HttpGet(server.Url("/x"), {{"X-Key\nHost", "v"}})}) {
        EXPECT_EQ(refused.statusCode, 0);
        EXPECT_EQ(refused.body, "");
        EXPECT_FALSE(refused.error.empty());
    }
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpClientTest, ConnectionRefusedGivesStatusZeroAndAReadableError)
{
    int port = 0;
    {
        FakeServer closed;
        port = closed.Port();
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/v1/chat";
    for (const HttpResponse& response : {HttpGet(url, {}), HttpPost(url, "{}", {})}) {
        EXPECT_EQ(response.statusCode, 0);
        EXPECT_EQ(response.body, "");
        EXPECT_NE(response.error.find(std::to_string(port)), std::string::npos) << response.error;
    }
}

TEST(HttpClientTest, StallingServerTimesOut)
{
    FakeServer server;
    SetHttpTimeoutOverrideForTesting(1000);
    for (const HttpResponse& response : {HttpGet(server.Url("/stall"), {}), HttpPost(server.Url("/stall"), "{}", {})}) {
        EXPECT_EQ(response.statusCode, 0);
        EXPECT_EQ(response.body, "");
        EXPECT_EQ(response.error, "The request timed out.");
    }
    SetHttpTimeoutOverrideForTesting(0);
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpClientTest, AbortFlagCancelsRunningAndNewRequestsOnItsThreadOnly)
{
    FakeServer server;
    std::atomic<bool> abort{false};
    std::thread trigger([&abort, &server] {
        while (server.Requests().empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        abort = true;
    });
    HttpResponse running, refused, other;
    {
        HttpAbortScope scope(&abort);
        running = HttpPost(server.Url("/stall"), "{}", {});
        trigger.join();
    }
    EXPECT_EQ(running.statusCode, 0);
    EXPECT_EQ(running.error, "The request was cancelled.");
    EXPECT_EQ(HttpGet(server.Url("/ok"), {}).statusCode, 200);  // out of the scope: not watched

    SetHttpAbortFlag(&abort);
    refused = HttpGet(server.Url("/ok"), {});
    std::thread([&] { other = HttpGet(server.Url("/ok"), {}); }).join();
    SetHttpAbortFlag(nullptr);
    EXPECT_EQ(refused.error, "The request was cancelled.");
    EXPECT_EQ(other.statusCode, 200);
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(HttpClientTest, ParallelCallersEachGetTheirOwnReplyAndErrorStatusesAreNoErrors)
{
    FakeServer server;
    const int statuses[] = {200, 401, 404, 500, 503, 418};
    std::vector<HttpResponse> responses(6);
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&, i] { responses[i] = HttpGet(server.Url("/status/" + std::to_string(statuses[i])), {}); });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(responses[i].statusCode, statuses[i]);
        EXPECT_EQ(responses[i].body, "status body " + std::to_string(statuses[i]));
        EXPECT_EQ(responses[i].error, "");
    }
}
