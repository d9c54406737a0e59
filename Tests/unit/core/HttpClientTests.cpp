// The HTTP client against a fake service on 127.0.0.1: requests carry exactly what the caller
// gave, multipart bodies byte for byte, bad requests send nothing, and refused, stalled and
// aborted requests fail with a readable error; a server that trickles, redirects elsewhere,
// answers too much or never answers while the host quits ends each request with why.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include <httplib.h>

#include "FakeProductService.hpp"
#include "TempFolder.hpp"
#include "core/HttpClient.hpp"

using namespace Quillmere;

namespace {

// Binary, and different for every request target.
std::string Reply(const std::string& target) { return "reply to " + target + std::string("\0\xff", 2); }

// The fake service answering route with status and Reply(target).
void Answer(FakeProductService& server, const std::string& route, const std::string& target, int status = 200)
{
    server.Script(route, FakeProductService::Reply{status, Reply(target), "application/octet-stream"});
}

// A stall: the reply waits until the fake goes away.
void Stall(FakeProductService& server, const std::string& route)
{
    FakeProductService::Reply reply;
    reply.delay = std::chrono::seconds(60);
    server.Script(route, reply);
}

using Headers = std::multimap<std::string, std::string>;

// A call that failed: no status, no body, and this error (exact) or an error containing it.
void ExpectFailure(const HttpResponse& response, const std::string& error, bool exact = true)
{
    EXPECT_EQ(response.statusCode, 0);
    EXPECT_EQ(response.body, "");
    EXPECT_TRUE(exact ? response.error == error : response.error.find(error) < response.error.size()) << response.error;
}

const std::string kBinary("\x00\x01\xff\xfe\r\n--x\x80 end", 13);

// A proxy the environment names, on 127.0.0.1: it keeps the request line of whatever reaches it
// (a CONNECT for https as well) and answers 502.
class FakeProxy {
public:
    FakeProxy()
    {
        server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back(request.method + " " + request.target);
            response.status = 502;
            return httplib::Server::HandlerResponse::Handled;
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FakeProxy()
    {
        server_.stop();
        thread_.join();
    }
    FakeProxy(const FakeProxy&) = delete;
    FakeProxy& operator=(const FakeProxy&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> Seen() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> seen_;
};

}  // namespace

TEST(HttpClientTest, ParallelRequestsCarryExactlyTheirLineHeadersAndBodyAndGetTheirOwnReply)
{
    FakeProductService server;
    std::string big(3 * 1024 * 1024, 'a');  // large enough for a transport to want "Expect: 100-continue"
    for (std::size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>(i % 251);
    const struct {
        const char* method;
        std::string target;
        int status;  // an error status is no transport error
        std::string body;
        Headers headers;
    } rows[] = {
        {"POST",
         "/status/201?beta=true",
         201,
         kBinary,
         {{"x-api-key", "key-123"}, {"anthropic-version", "2023-06-01"}, {"Authorization", "Bearer tok"}}},
        {"POST", "/status/404", 404, big, {{"Content-Type", "application/json"}}},
        {"GET", "/status/503", 503, "", {{"apikey", "anon"}}},
    };
    std::vector<std::future<HttpResponse>> calls;
    for (const auto& row : rows) {
        Answer(server, row.method + std::string(" ") + row.target.substr(0, row.target.find('?')), row.target,
               row.status);
        const std::string url = server.BaseUrl() + row.target;
        const std::map<std::string, std::string> headers(row.headers.begin(), row.headers.end());
        calls.push_back(std::async(std::launch::async, [&row, url, headers] {
            return row.method[0] == 'G' ? HttpGet(url, headers) : HttpPost(url, row.body, headers);
        }));
    }
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const auto& row = rows[i];
        SCOPED_TRACE(row.target);
        const HttpResponse response = calls[i].get();
        EXPECT_EQ(std::tie(response.statusCode, response.error), std::make_tuple(row.status, std::string()));
        EXPECT_EQ(response.body, Reply(row.target));
        const auto requests = server.Requests();  // recorded before the reply went out
        const auto sent = std::find_if(requests.begin(), requests.end(), [&](const FakeProductService::Request& r) {
            return r.method == row.method && r.target == row.target;
        });
        ASSERT_NE(sent, requests.end());
        EXPECT_TRUE(sent->body == row.body);
        Headers expected = row.headers;
        expected.insert({"Host", server.BaseUrl().substr(7)});
        if (row.method[0] == 'P') expected.insert({"Content-Length", std::to_string(row.body.size())});
        EXPECT_EQ(sent->headers, expected);
    }
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(HttpClientTest, MultipartBodyIsAssembledByteForByteWithAFreshBoundary)
{
    FakeProductService server;
    const TempFolder dir("quillmere_http");
    const std::string plan = dir.Path("plan.png"), notes = dir.Path("notes.txt");
    TempFolder::Write(plan, kBinary);
    TempFolder::Write(notes, "first line\r\nsecond");
    const std::vector<MultipartFile> files = {{"file", plan, "image/png"}, {"notes", notes, "text/plain"}};
    std::set<std::string> boundaries;
    for (int call = 0; call < 3; ++call) {
        const HttpResponse response =
            HttpPostMultipart(server.BaseUrl() + "/upload", {{"scale", "100"}, {"mode", "walls"}}, files,
                              {{"content-type", "text/plain"}, {"X-Token", "t"}});
        ASSERT_EQ(response.error, "");
        const FakeProductService::Request r = server.Requests().back();
        const std::string contentType = r.Header("Content-Type");
        std::smatch match;
        const std::regex boundaryForm("multipart/form-data; boundary=(----Quillmere(\\d{1,10}))");
        ASSERT_TRUE(std::regex_match(contentType, match, boundaryForm)) << contentType;
        EXPECT_LE(std::stoull(match[2]), 4294967295ull);
        boundaries.insert(match[1]);

        const std::string b = "--" + match[1].str(), part = "\r\nContent-Disposition: form-data; name=\"";
        const std::string expected =
            b + part + "mode\"\r\n\r\nwalls\r\n" + b + part + "scale\"\r\n\r\n100\r\n" + b + part +
            "file\"; filename=\"plan.png\"\r\nContent-Type: image/png\r\n\r\n" + kBinary + "\r\n" + b + part +
            "notes\"; filename=\"notes.txt\"\r\nContent-Type: text/plain\r\n\r\nfirst line\r\nsecond\r\n" + b +
            "--\r\n";
        EXPECT_TRUE(r.body == expected) << r.body;
        EXPECT_EQ(r.headers, (Headers{{"Host", server.BaseUrl().substr(7)},
                                      {"Content-Type", contentType},
                                      {"X-Token", "t"},
                                      {"Content-Length", std::to_string(expected.size())}}));
    }
    EXPECT_EQ(boundaries.size(), 3u);
}

TEST(HttpClientTest, BadRequestsFailBeforeAnythingIsSent)
{
    FakeProductService server;
    const TempFolder dir("quillmere_http");
    TempFolder::Write(dir.Path("good.txt"), "content");
    for (const std::string bad : {"/tmp/quillmere_no_such_file_here.png", "/tmp"})
        ExpectFailure(HttpPostMultipart(server.BaseUrl() + "/upload", {{"a", "1"}},
                                        {{"file", dir.Path("good.txt"), "text/plain"}, {"file2", bad, "image/png"}},
                                        {}),
                      "Cannot read file: " + bad);
    // What goes into a part header is refused as the engine refuses an attachment's name.
    const std::string quoted = dir.Path("pl\"an.png"), c1 = dir.Path("plan\xC2\x85.png");
    TempFolder::Write(quoted, "content");
    TempFolder::Write(c1, "content");
    const std::vector<std::pair<std::map<std::string, std::string>, MultipartFile>> badParts = {
        {{{"a\"b", "1"}}, {"file", dir.Path("good.txt"), "text/plain"}},
        {{}, {"fi\nle", dir.Path("good.txt"), "text/plain"}},
        {{}, {"file", quoted, "image/png"}},
        {{}, {"file", c1, "image/png"}},
        {{}, {"file", dir.Path("good.txt"), "text/plain\r\nX-Injected: 1"}},
    };
    for (const auto& part : badParts)
        ExpectFailure(HttpPostMultipart(server.BaseUrl() + "/upload", part.first, {part.second}, {}),
                      "Invalid multipart part header: ", false);
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
    ExpectFailure(HttpPost(server.BaseUrl() + "/x", "{}", {{"X-Key", "abc\r\nX-Injected: 1"}}), "", false);
    ExpectFailure(HttpGet(server.BaseUrl() + "/x", {{"X-Key\nHost", "v"}}), "", false);
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpClientTest, RefusedAndStalledConnectionsFailWithAReadableError)
{
    const std::string closed = FakeProductService::ClosedBaseUrl();
    for (const HttpResponse& response : {HttpGet(closed + "/v1/chat", {}), HttpPost(closed + "/v1/chat", "{}", {})}) {
        ExpectFailure(response, closed.substr(closed.rfind(':') + 1), false);  // the error names the port
        EXPECT_FALSE(response.requestSent);
        EXPECT_FALSE(response.timedOut);
    }

    // A stalled server took the request: that is told apart from one never reached.
    FakeProductService server;
    Stall(server, "GET /stall");
    Stall(server, "POST /stall");
    SetHttpTimeoutOverrideForTesting(1000);
    for (const HttpResponse& response :
         {HttpGet(server.BaseUrl() + "/stall", {}), HttpPost(server.BaseUrl() + "/stall", "{}", {})}) {
        ExpectFailure(response, "The request timed out.");
        EXPECT_TRUE(response.requestSent);
        EXPECT_TRUE(response.timedOut);
    }
    SetHttpTimeoutOverrideForTesting(0);
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_TRUE(HttpGet(server.BaseUrl() + "/ok", {}).requestSent);
}

// Inside a tool call a request ends by the smaller of its own deadline and what is left of the
// call's: an answer that takes 1.5 s arrives only when both outlast it, and once the call has
// used its time the next request is not sent. A call lasts 120 s.
TEST(HttpClientTest, ARequestInAToolCallEndsByTheSmallerOfItsOwnDeadlineAndTheCallsRest)
{
    FakeProductService server;
    FakeProductService::Reply late{200, "late", "text/plain"};
    late.delay = std::chrono::milliseconds(1500);
    server.Script("GET /late", late);
    Answer(server, "GET /ok", "/ok");
    const std::string timedOut = "The request timed out.";
    const struct {
        const char* name;
        long requestMs, callMs;
        std::string lateError, nextError;
    } rows[] = {
        {"both outlast the answer", 20000, 20000, "", ""},
        {"the request's own deadline is the smaller", 300, 20000, timedOut, ""},
        {"what is left of the call is the smaller", 20000, 300, timedOut,
         "The request was not sent: the tool call had used all its time."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetHttpTimeoutOverrideForTesting(row.requestMs);
        SetHttpCallDeadlineOverrideForTesting(row.callMs);
        const HttpCallDeadline call;
        EXPECT_EQ(HttpGet(server.BaseUrl() + "/late", {}).error, row.lateError);
        EXPECT_EQ(HttpGet(server.BaseUrl() + "/ok", {}).error, row.nextError);
    }
    SetHttpTimeoutOverrideForTesting(0);
    SetHttpCallDeadlineOverrideForTesting(0);
    EXPECT_EQ(HttpCallTimeLeft(), std::chrono::milliseconds::max());
    const HttpCallDeadline call;
    EXPECT_GT(HttpCallTimeLeft(), std::chrono::seconds(119));
    EXPECT_LE(HttpCallTimeLeft(), std::chrono::seconds(120));
}

TEST(HttpClientTest, AbortFlagCancelsRunningAndNewRequestsOnItsThreadOnly)
{
    FakeProductService server;
    Stall(server, "POST /stall");
    Answer(server, "GET /ok", "/ok");
    std::atomic<bool> abort{false};
    std::thread trigger([&abort, &server] {
        while (server.Requests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        abort = true;
    });
    {
        HttpAbortScope scope(&abort);
        ExpectFailure(HttpPost(server.BaseUrl() + "/stall", "{}", {}), "The request was cancelled.");
        trigger.join();
    }
    EXPECT_EQ(HttpGet(server.BaseUrl() + "/ok", {}).statusCode, 200);  // out of the scope: not watched
    HttpResponse other;
    {
        HttpAbortScope scope(&abort);
        ExpectFailure(HttpGet(server.BaseUrl() + "/ok", {}), "The request was cancelled.");
        std::thread([&] { other = HttpGet(server.BaseUrl() + "/ok", {}); }).join();
    }
    EXPECT_EQ(other.statusCode, 200);
    EXPECT_EQ(server.Requests().size(), 3u);
}

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
            AbortAllHttpRequests(true);  // from another thread, as the quit notice does
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

// A request for this computer never goes through the environment's proxy, whichever variable
// names it and however the address is spelt, so that a token sent over plain http stays on
// this computer; other hosts still go through it. Nothing listens on ::1 nor on the https rows'
// port: those rows reach nothing, and the proxy nothing either.
TEST(HttpClientTest, AnAddressOnThisComputerIsReachedWithoutTheEnvironmentsProxy)
{
    FakeProductService server;
    Answer(server, "POST /v1/chat", "/v1/chat");
    FakeProxy proxy;
    const std::string port = server.BaseUrl().substr(server.BaseUrl().rfind(':'));
    const std::string closed =
        FakeProductService::ClosedBaseUrl().substr(FakeProductService::ClosedBaseUrl().rfind(':'));
    // Only the row's variable names a proxy: an exception the environment holds for this
    // computer would hide what the client does, and a proxy of its own would be another address.
    std::list<ScopedEnv> cleared;
    for (const char* name :
         {"no_proxy", "NO_PROXY", "http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        cleared.emplace_back(name, std::nullopt);
    const struct {
        const char* variable;
        std::string url;
        bool reachesService;
        std::vector<std::string> proxySees;
    } rows[] = {
        {"http_proxy", "http://127.0.0.1" + port, true, {}},
        {"all_proxy", "http://localhost" + port, true, {}},
        {"ALL_PROXY", "http://LocalHost" + port, true, {}},
        {"http_proxy", "http://127.1" + port, true, {}},
        {"http_proxy", "http://0x7f000001" + port, true, {}},
        {"http_proxy", "http://[::1]" + port, false, {}},
        {"https_proxy", "https://127.0.0.1" + closed, false, {}},
        {"HTTPS_PROXY", "https://localhost" + closed, false, {}},
        {"all_proxy", "https://[0:0:0:0:0:0:0:1]" + closed, false, {}},
        {"http_proxy", "http://elsewhere.invalid/v1/chat", false, {"POST http://elsewhere.invalid/v1/chat"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.variable) + " " + row.url);
        const ScopedEnv proxied(row.variable, proxy.Url());
        const std::size_t before = server.Requests().size(), proxyBefore = proxy.Seen().size();
        const std::string url = row.url.find("/v1/chat") == std::string::npos ? row.url + "/v1/chat" : row.url;
        const HttpResponse response = HttpPost(url, "{}", {{"Authorization", "Bearer loopback-token"}});
        EXPECT_EQ(response.statusCode, row.reachesService ? 200 : row.proxySees.empty() ? 0 : 502) << response.error;
        EXPECT_EQ(server.Requests().size(), before + (row.reachesService ? 1 : 0));
        const std::vector<std::string> seen = proxy.Seen();
        EXPECT_EQ(std::vector<std::string>(seen.begin() + static_cast<std::ptrdiff_t>(proxyBefore), seen.end()),
                  row.proxySees);
    }
}

// A request under a quit grace that is under way when quitting begins goes on until the grace
// has passed, and only then; anything else stops as before, and nothing new starts.
TEST(HttpClientTest, AQuitGraceLetsARequestUnderWayBeAnsweredAndNoLonger)
{
    struct Case {
        const char* name;
        int graceMs;
        bool quit;                   // quitting begins as the request arrives, else its own flag is set
        bool startedBefore;          // under way before the quit (else started after it)
        std::chrono::seconds reply;  // how long after it arrives the server answers
        int status;
    };
    const std::vector<Case> cases = {
        {"NoGraceStopsItAtOnce", 0, true, true, std::chrono::seconds(2), 0},
        {"AnsweredWithinTheGrace", 4000, true, true, std::chrono::seconds(2), 200},
        {"StalledPastTheGrace", 300, true, true, std::chrono::seconds(60), 0},
        {"ItsOwnFlagWithoutQuittingStopsItAtOnce", 4000, false, true, std::chrono::seconds(2), 0},
        {"NotStartedOnceQuitting", 4000, true, false, std::chrono::seconds(0), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeProductService server;
        FakeProductService::Reply reply{200, "answered"};
        reply.delay = c.reply;
        server.Script("POST /renew", reply);
        std::atomic<bool> own{false};
        std::chrono::steady_clock::time_point began{};
        if (!c.startedBefore) AbortAllHttpRequests(true);
        std::thread quitter([&] {
            if (!c.startedBefore) return;
            while (server.Requests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            began = std::chrono::steady_clock::now();
            c.quit ? AbortAllHttpRequests(true) : own.store(true);
        });
        HttpResponse response;
        {
            const HttpAbortScope scope(&own);
            const HttpQuitGrace grace{std::chrono::milliseconds(c.graceMs)};
            response = HttpPost(server.BaseUrl() + "/renew", "{}", {});
        }
        const auto ended = std::chrono::steady_clock::now();
        quitter.join();
        AbortAllHttpRequests(false);
        EXPECT_EQ(response.statusCode, c.status) << response.error;
        EXPECT_EQ(response.error, c.status == 200 ? "" : "The request was cancelled.");
        EXPECT_EQ(server.Requests().size(), c.startedBefore ? 1u : 0u);
        if (c.startedBefore && c.status == 0) {
            EXPECT_GE(ended - began, std::chrono::milliseconds(c.quit ? c.graceMs : 0)) << "stopped within its grace";
            EXPECT_LT(ended - began, std::chrono::milliseconds(c.graceMs) + std::chrono::seconds(2))
                << "went on past its grace";
        }
    }
}
