#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
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
    std::string method;
    std::string target;
    std::string version;
    std::multimap<std::string, std::string> headers;  // as sent, without the server's own notes
    std::string body;
};

struct ReceivedPart {
    std::string name;
    std::string filename;
    std::string contentType;
    std::string content;
};

std::string Lower(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// A loopback server that records every request and answers as the test says.
class FakeServer {
public:
    FakeServer()
    {
        server_.Get("/stall", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req, "");
            Stall();
            res.set_content("late", "text/plain");
        });
        server_.Get(R"(/status/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req, "");
            res.status = std::stoi(req.matches[1]);
            res.set_content("status body " + std::string(req.matches[1]), "text/plain");
        });
        server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req, "");
            res.status = 200;
            res.set_content(replyBody, "application/octet-stream");
        });
        // Reads the body itself so that multipart uploads can be taken apart in order.
        server_.Post(".*", [this](const httplib::Request& req, httplib::Response& res,
                                  const httplib::ContentReader& reader) {
            std::string body;
            std::vector<ReceivedPart> parts;
            if (req.is_multipart_form_data()) {
                reader(
                    [&parts](const httplib::MultipartFormData& header) {
                        parts.push_back({header.name, header.filename, header.content_type, ""});
                        return true;
                    },
                    [&parts](const char* data, size_t size) {
                        parts.back().content.append(data, size);
                        return true;
                    });
            } else {
                reader([&body](const char* data, size_t size) {
                    body.append(data, size);
                    return true;
                });
            }
            Record(req, body);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                parts_ = parts;
            }
            if (req.path == "/stall") {
                Stall();
            }
            res.status = replyStatus;
            res.set_content(replyBody, "application/octet-stream");
        });
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

    std::vector<ReceivedPart> Parts()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return parts_;
    }

    // Lets stalled handlers finish.
    void Release()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }

    int replyStatus = 200;
    std::string replyBody = "ok";

private:
    void Record(const httplib::Request& req, const std::string& body)
    {
        ReceivedRequest received{req.method, req.target, req.version, {}, body};
        static const std::set<std::string> serverNotes = {"remote_addr", "remote_port", "local_addr", "local_port"};
        for (const auto& header : req.headers) {
            if (serverNotes.count(Lower(header.first)) == 0) {
                received.headers.emplace(Lower(header.first), header.second);
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(received);
    }

    void Stall()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, std::chrono::seconds(10), [this] { return released_; });
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool released_ = false;
    std::vector<ReceivedRequest> requests_;
    std::vector<ReceivedPart> parts_;
};

std::set<std::string> HeaderNames(const ReceivedRequest& request)
{
    std::set<std::string> names;
    for (const auto& header : request.headers) {
        names.insert(header.first);
    }
    return names;
}

std::string HeaderValue(const ReceivedRequest& request, const std::string& name)
{
    auto found = request.headers.find(name);
    return found == request.headers.end() ? std::string("<absent>") : found->second;
}

class TempFile {
public:
    explicit TempFile(const std::string& content, const std::string& suffix = ".bin")
    {
        char pattern[] = "/tmp/quillmere_http_test_XXXXXX";
        const int fd = mkstemp(pattern);
        path_ = std::string(pattern) + suffix;
        ::close(fd);
        std::rename(pattern, path_.c_str());
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

const std::string kBinary("\x00\x01\xff\xfe\r\n--x\x80 end", 13);

}  // namespace

// ---- What goes on the wire ----

TEST(HttpClientTest, PostSendsTheRequestLineHeadersAndBodyExactly)
{
    FakeServer server;
    server.replyStatus = 201;
    server.replyBody = std::string("reply\x00\xff bytes", 12);
    const std::map<std::string, std::string> headers = {
        {"x-api-key", "key-123"}, {"anthropic-version", "2023-06-01"}, {"Authorization", "Bearer tok"}};

    const HttpResponse response = HttpPost(server.Url("/v1/messages?beta=true"), kBinary, headers);

    EXPECT_EQ(response.statusCode, 201);
    EXPECT_EQ(response.body, server.replyBody);
    EXPECT_EQ(response.error, "");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const ReceivedRequest& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/v1/messages?beta=true");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.body, kBinary);
    EXPECT_EQ(HeaderNames(r), (std::set<std::string>{"host", "content-length", "x-api-key", "anthropic-version",
                                                     "authorization"}));
    EXPECT_EQ(HeaderValue(r, "content-length"), std::to_string(kBinary.size()));
    EXPECT_EQ(HeaderValue(r, "x-api-key"), "key-123");
    EXPECT_EQ(HeaderValue(r, "authorization"), "Bearer tok");
    EXPECT_EQ(HeaderValue(r, "host"), "127.0.0.1:" + std::to_string(server.Port()));
}

TEST(HttpClientTest, PostKeepsTheCallersContentType)
{
    FakeServer server;
    const HttpResponse response =
        HttpPost(server.Url("/json"), "{}", {{"Content-Type", "application/json"}});
    ASSERT_EQ(response.statusCode, 200) << response.error;
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].headers.count("content-type"), 1u);
    EXPECT_EQ(HeaderValue(requests[0], "content-type"), "application/json");
    EXPECT_EQ(requests[0].headers.count("accept"), 0u);
    EXPECT_EQ(requests[0].headers.count("expect"), 0u);
}

TEST(HttpClientTest, LargePostBodyArrivesWholeWithoutExpect)
{
    FakeServer server;
    std::string body(3 * 1024 * 1024, 'a');
    for (std::size_t i = 0; i < body.size(); i += 4099) {
        body[i] = static_cast<char>(i % 251);
    }
    const HttpResponse response = HttpPost(server.Url("/big"), body, {});
    ASSERT_EQ(response.statusCode, 200) << response.error;
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].body == body);
    EXPECT_EQ(HeaderNames(requests[0]), (std::set<std::string>{"host", "content-length"}));
}

TEST(HttpClientTest, GetSendsOnlyTheCallersHeaders)
{
    FakeServer server;
    server.replyBody = "listing";
    const HttpResponse response = HttpGet(server.Url("/storage/v1/object/list"), {{"apikey", "anon"}});
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.body, "listing");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/storage/v1/object/list");
    EXPECT_EQ(requests[0].body, "");
    EXPECT_EQ(HeaderNames(requests[0]), (std::set<std::string>{"host", "apikey"}));
}

TEST(HttpClientTest, ErrorStatusesAreNotTransportErrors)
{
    FakeServer server;
    for (int status : {404, 401, 500, 503}) {
        const HttpResponse response = HttpGet(server.Url("/status/" + std::to_string(status)), {});
        EXPECT_EQ(response.statusCode, status);
        EXPECT_EQ(response.body, "status body " + std::to_string(status));
        EXPECT_EQ(response.error, "");
    }
}

// ---- Multipart ----

TEST(HttpClientTest, MultipartBodyIsAssembledByteForByte)
{
    FakeServer server;
    const TempFile plan(kBinary, ".png");
    const TempFile notes("first line\r\nsecond", ".txt");
    const std::map<std::string, std::string> fields = {{"scale", "100"}, {"mode", "walls"}};
    const std::vector<MultipartFile> files = {{"file", plan.Path(), "image/png"},
                                              {"notes", notes.Path(), "text/plain"}};

    const HttpResponse response =
        HttpPostMultipart(server.Url("/upload"), fields, files, {{"content-type", "text/plain"}, {"X-Token", "t"}});
    ASSERT_EQ(response.statusCode, 200) << response.error;

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const ReceivedRequest& r = requests[0];
    EXPECT_EQ(HeaderNames(r), (std::set<std::string>{"host", "content-length", "content-type", "x-token"}));
    ASSERT_EQ(r.headers.count("content-type"), 1u);
    const std::string contentType = HeaderValue(r, "content-type");
    const std::string prefix = "multipart/form-data; boundary=----Quillmere";
    ASSERT_EQ(contentType.rfind(prefix, 0), 0u) << contentType;
    const std::string digits = contentType.substr(prefix.size());
    ASSERT_FALSE(digits.empty());
    ASSERT_LE(digits.size(), 10u);
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
    EXPECT_LE(std::stoull(digits), 4294967295ull);

    // The exact body for that boundary; the server's parser checked the structure, the
    // length shows that nothing else was written.
    const std::string b = "----Quillmere" + digits;
    std::string expected;
    expected += "--" + b + "\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\nwalls\r\n";
    expected += "--" + b + "\r\nContent-Disposition: form-data; name=\"scale\"\r\n\r\n100\r\n";
    const std::string planName = plan.Path().substr(plan.Path().rfind('/') + 1);
    const std::string notesName = notes.Path().substr(notes.Path().rfind('/') + 1);
    expected += "--" + b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + planName +
                "\"\r\nContent-Type: image/png\r\n\r\n" + kBinary + "\r\n";
    expected += "--" + b + "\r\nContent-Disposition: form-data; name=\"notes\"; filename=\"" + notesName +
                "\"\r\nContent-Type: text/plain\r\n\r\nfirst line\r\nsecond\r\n";
    expected += "--" + b + "--\r\n";
    EXPECT_EQ(HeaderValue(r, "content-length"), std::to_string(expected.size()));

    const auto parts = server.Parts();
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[0].name, "mode");
    EXPECT_EQ(parts[0].content, "walls");
    EXPECT_EQ(parts[0].filename, "");
    EXPECT_EQ(parts[1].name, "scale");
    EXPECT_EQ(parts[1].content, "100");
    EXPECT_EQ(parts[2].name, "file");
    EXPECT_EQ(parts[2].filename, planName);
    EXPECT_EQ(parts[2].contentType, "image/png");
    EXPECT_EQ(parts[2].content, kBinary);
    EXPECT_EQ(parts[3].name, "notes");
    EXPECT_EQ(parts[3].filename, notesName);
    EXPECT_EQ(parts[3].content, "first line\r\nsecond");
}

TEST(HttpClientTest, MultipartBoundaryChangesPerCall)
{
    FakeServer server;
    const TempFile file("x");
    std::set<std::string> boundaries;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(HttpPostMultipart(server.Url("/u"), {}, {{"f", file.Path(), "text/plain"}}, {}).statusCode, 200);
    }
    for (const auto& request : server.Requests()) {
        boundaries.insert(HeaderValue(request, "content-type"));
    }
    EXPECT_EQ(boundaries.size(), 3u);
}

TEST(HttpClientTest, UnreadableFileFailsBeforeAnythingIsSent)
{
    FakeServer server;
    const TempFile good("content");
    for (const std::string& bad : {std::string("/tmp/quillmere_no_such_file_here.png"), std::string("/tmp")}) {
        const HttpResponse response = HttpPostMultipart(
            server.Url("/upload"), {{"a", "1"}}, {{"file", good.Path(), "text/plain"}, {"file2", bad, "image/png"}}, {});
        EXPECT_EQ(response.statusCode, 0);
        EXPECT_EQ(response.error, "Cannot read file: " + bad);
        EXPECT_EQ(response.body, "");
    }
    EXPECT_TRUE(server.Requests().empty());
}

// ---- Failures ----

TEST(HttpClientTest, InvalidUrlsFailWithNothingSent)
{
    const TempFile file("x");
    for (const std::string& url : {std::string(""), std::string("not a url"), std::string("http://exa mple.com/"),
                                   std::string("://missing-scheme"), std::string("http://127.0.0.1\0x/", 19)}) {
        const HttpResponse get = HttpGet(url, {});
        EXPECT_EQ(get.statusCode, 0);
        EXPECT_EQ(get.error, "Invalid URL: " + url);
        EXPECT_EQ(HttpPost(url, "body", {}).error, "Invalid URL: " + url);
        // The URL is checked before the file list is read.
        EXPECT_EQ(HttpPostMultipart(url, {}, {{"f", "/tmp/quillmere_no_such_file", "x"}}, {}).error, "Invalid URL: " + url);
    }
}

TEST(HttpClientTest, OnlyHttpIsSpoken)
{
    const HttpResponse response = HttpGet("file:///etc/hostname", {});
    EXPECT_EQ(response.statusCode, 0);
    EXPECT_EQ(response.body, "");
    EXPECT_FALSE(response.error.empty());
}

TEST(HttpClientTest, HeadersWithLineBreaksAreRefused)
{
    FakeServer server;
    const HttpResponse value = HttpPost(server.Url("/x"), "{}", {{"X-Key", "abc\r\nX-Injected: 1"}});
    EXPECT_EQ(value.statusCode, 0);
    EXPECT_FALSE(value.error.empty());
    const HttpResponse name = HttpGet(server.Url("/x"), {{"X-Key\nHost", "v"}});
    EXPECT_EQ(name.statusCode, 0);
    EXPECT_FALSE(name.error.empty());
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

class HttpClientTimeoutTest : public ::testing::Test {
protected:
    void SetUp() override { SetHttpTimeoutOverrideForTesting(1000); }
    void TearDown() override { SetHttpTimeoutOverrideForTesting(0); }
};

TEST_F(HttpClientTimeoutTest, StallingServerTimesOut)
{
    FakeServer server;
    for (const HttpResponse& response : {HttpGet(server.Url("/stall"), {}), HttpPost(server.Url("/stall"), "{}", {})}) {
        EXPECT_EQ(response.statusCode, 0);
        EXPECT_EQ(response.body, "");
        EXPECT_EQ(response.error, "The request timed out.");
    }
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpClientAbortTest, SettingTheFlagCancelsARunningRequest)
{
    FakeServer server;
    std::atomic<bool> abort{false};
    std::thread trigger([&abort, &server] {
        while (server.Requests().empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        abort = true;
    });
    HttpResponse response;
    {
        HttpAbortScope scope(&abort);
        response = HttpPost(server.Url("/stall"), "{}", {});
    }
    trigger.join();
    EXPECT_EQ(response.statusCode, 0);
    EXPECT_EQ(response.error, "The request was cancelled.");

    // Out of the scope the same thread is no longer watched.
    server.Release();
    EXPECT_EQ(HttpGet(server.Url("/ok"), {}).statusCode, 200);
}

TEST(HttpClientAbortTest, RaisedFlagStopsNewRequestsOnThatThreadOnly)
{
    FakeServer server;
    std::atomic<bool> abort{true};
    SetHttpAbortFlag(&abort);
    const HttpResponse refused = HttpGet(server.Url("/ok"), {});
    HttpResponse other;
    std::thread([&] { other = HttpGet(server.Url("/ok"), {}); }).join();
    SetHttpAbortFlag(nullptr);

    EXPECT_EQ(refused.error, "The request was cancelled.");
    EXPECT_EQ(other.statusCode, 200);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HttpClientConcurrencyTest, ParallelCallersEachGetTheirOwnReply)
{
    FakeServer server;
    std::vector<std::thread> threads;
    std::vector<HttpResponse> responses(6);
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&, i] { responses[i] = HttpGet(server.Url("/status/" + std::to_string(400 + i)), {}); });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(responses[i].statusCode, 400 + i);
        EXPECT_EQ(responses[i].body, "status body " + std::to_string(400 + i));
    }
}
