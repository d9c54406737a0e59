// The palette page as a browser fetches it from the shell (offering brotli and gzip, as
// Chromium does), beside the same bytes served plainly by a bare server on 127.0.0.1.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <httplib.h>

#include "DGBrowser.hpp"
#include "HostTesting.hpp"
#include "MainQueue.hpp"
#include "ShellServer.hpp"
#include "resources/ChatPage.hpp"

namespace {

const httplib::Headers kBrowserOffer = {{"Accept-Encoding", "gzip, deflate, br"}};

void Fetch(benchmark::State& state, httplib::Client& client, const std::string& path, size_t& bytes)
{
    client.set_decompress(false);
    for (auto _ : state) {
        const auto reply = client.Get(path.c_str(), kBrowserOffer);
        if (!reply || reply->status != 200) {
            state.SkipWithError("no page");
            break;
        }
        bytes = reply->body.size();
    }
    state.counters["page_KB"] = double(bytes) / 1e3;
}

std::string PagePath()
{
    return std::filesystem::temp_directory_path().string() + "/quillmere-bench-page-" + std::to_string(::getpid()) +
           ".html";
}

void BM_PalettePageFromShell(benchmark::State& state)
{
    MainQueue::SetMainThread();
    HostTesting::ResetProject();
    const std::string path = PagePath();
    std::ofstream(path) << BuildChatPage();
    DG::Palette palette(GS::Guid("6F3A2C1E-8B4D-4E7A-9C2B-5D1E0F7A3B65"), "Bench");
    DG::Browser browser(palette);
    browser.LoadURL(GS::UniString(path));
    ShellServer server;
    if (!server.Start(0, {"Quillmere", "bench"})) return state.SkipWithError("no server");
    httplib::Client client("127.0.0.1", server.Port());
    size_t bytes = 0;
    Fetch(state, client, "/browser/" + std::to_string(browser.GetId()) + "/page?token=" + server.Token(), bytes);
    server.Stop();
    std::remove(path.c_str());
}
BENCHMARK(BM_PalettePageFromShell)->Unit(benchmark::kMillisecond);

void BM_PalettePageFloor(benchmark::State& state)
{
    const std::string page = BuildChatPage();
    httplib::Server plain;
    plain.Get("/page", [&page](const httplib::Request&, httplib::Response& res) {
        // A sized provider goes out as it is, whatever the request offers.
        res.set_content_provider(page.size(), "text/html; charset=utf-8",
                                 [&page](size_t offset, size_t length, httplib::DataSink& sink) {
                                     return sink.write(page.data() + offset, length);
                                 });
    });
    const int port = plain.bind_to_any_port("127.0.0.1");
    std::thread thread([&plain] { plain.listen_after_bind(); });
    while (!plain.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    httplib::Client client("127.0.0.1", port);
    size_t bytes = 0;
    Fetch(state, client, "/page", bytes);
    plain.stop();
    thread.join();
}
BENCHMARK(BM_PalettePageFloor)->Unit(benchmark::kMillisecond);

}  // namespace
