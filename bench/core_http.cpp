// The HTTP client's round trip against a loopback server, next to the same request made with
// libcurl's plainest use (new handle, URL, body, perform). The ratio shows what the client's
// own work (URL check, header list, progress watch, error mapping) costs per request.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

#include <curl/curl.h>
#include <httplib.h>

#include "core/HttpClient.hpp"

namespace {

class LoopbackServer {
public:
    LoopbackServer()
    {
        server_.Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.body, "application/json");
        });
        server_.Get("/ping", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"({"ok":true})", "application/json");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~LoopbackServer()
    {
        server_.stop();
        thread_.join();
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

LoopbackServer& Server()
{
    static LoopbackServer server;
    return server;
}

const std::string kBody = R"({"model":"m","max_tokens":4096,"messages":[{"role":"user","content":"Draw a wall"}]})";

size_t Collect(char* data, size_t size, size_t count, void* out)
{
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

void BM_HttpPost_Client(benchmark::State& state)
{
    const std::string url = Server().Url("/echo");
    const std::map<std::string, std::string> headers = {{"Content-Type", "application/json"}, {"x-api-key", "k"}};
    for (auto _ : state) {
        Quillmere::HttpResponse response = Quillmere::HttpPost(url, kBody, headers);
        if (response.statusCode != 200) {
            state.SkipWithError(response.error.c_str());
            break;
        }
        benchmark::DoNotOptimize(response);
    }
}
BENCHMARK(BM_HttpPost_Client)->UseRealTime();

void BM_HttpPost_PlainCurl(benchmark::State& state)
{
    const std::string url = Server().Url("/echo");
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (auto _ : state) {
        CURL* curl = curl_easy_init();
        curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
        headers = curl_slist_append(headers, "x-api-key: k");
        std::string body;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, kBody.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        const CURLcode code = curl_easy_perform(curl);
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
        if (code != CURLE_OK) {
            state.SkipWithError(curl_easy_strerror(code));
            break;
        }
        benchmark::DoNotOptimize(body);
    }
}
BENCHMARK(BM_HttpPost_PlainCurl)->UseRealTime();

void BM_HttpGet_Client(benchmark::State& state)
{
    const std::string url = Server().Url("/ping");
    for (auto _ : state) {
        Quillmere::HttpResponse response = Quillmere::HttpGet(url, {});
        benchmark::DoNotOptimize(response);
    }
}
BENCHMARK(BM_HttpGet_Client)->UseRealTime();

void BM_HttpGet_PlainCurl(benchmark::State& state)
{
    const std::string url = Server().Url("/ping");
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (auto _ : state) {
        CURL* curl = curl_easy_init();
        std::string body;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        benchmark::DoNotOptimize(body);
    }
}
BENCHMARK(BM_HttpGet_PlainCurl)->UseRealTime();

}  // namespace
