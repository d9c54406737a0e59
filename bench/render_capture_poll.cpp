// The render tool's own costs: capturing the host's window (the plan view of a 100,000-element
// story) as PNG, and one poll cycle against a local fake service without its pause: a status
// request that finds the job done, the result request and the posted preview.
#include <benchmark/benchmark.h>

#include "FakeProductService.hpp"
#include "HostTesting.hpp"
#include "HostTestingWindow.hpp"
#include "HostWindow.hpp"
#include "MainQueue.hpp"
#include "PlanWindow.hpp"
#include "tools/recognition/RenderJobs.hpp"

namespace {

constexpr int kElements = 100000;

// Walls in a 320 x 313 grid of 3 m cells on the current story.
void FillProject()
{
    HostTesting::ResetProject();
    const Int16 story = HostTesting::CurrentStory();
    for (int i = 0; i < kElements; ++i) {
        const double x = 3.0 * (i % 320), y = 3.0 * (i / 320);
        if (i % 2 == 0)
            HostTesting::AddWall(x, y, x + 3.0, y, story);
        else
            HostTesting::AddWall(x, y, x, y + 3.0, story);
    }
}

void BM_CaptureWindowOf100kElements(benchmark::State& state)
{
    MainQueue::SetMainThread();
    FillProject();
    HostTesting::SetMainThread();
    HostTesting::ResetWindows();
    PlanWindow::Install();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string png = HostWindow::CaptureWindowPng(HostWindow::MainWindowNumber());
        if (png.empty()) state.SkipWithError("no capture");
        bytes = png.size();
        HostTesting::ClearCallLog();
    }
    state.counters["png_bytes"] = static_cast<double>(bytes);
    HostTesting::ResetProject();
}
BENCHMARK(BM_CaptureWindowOf100kElements)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PollCycle(benchmark::State& state)
{
    MainQueue::SetMainThread();
    FakeProductService service;
    ServiceUrlScope scope(service.BaseUrl());
    service.Script("GET /render/status", FakeProductService::Reply{200, R"({"status":"done"})"});
    service.Script("GET /render/result", FakeProductService::Reply{200, R"({"image_url":"https://cdn.test/r.png"})"});
    RenderJobs::SetPollInterval(std::chrono::nanoseconds(0));
    int previews = 0;
    for (auto _ : state) {
        RenderJobs::PollRenderJob(
            "3f2a9c1e-77b0-4c1d-9e8f-0a1b2c3d4e5f", [&](const std::string&, const std::string&) { ++previews; },
            [](const std::string&, bool, const std::string&) {});
        MainQueue::DrainUntilIdle();
    }
    if (previews != static_cast<int>(state.iterations())) state.SkipWithError("a poll did not report");
    RenderJobs::SetPollInterval(std::chrono::seconds(1));
}
BENCHMARK(BM_PollCycle)->Unit(benchmark::kMicrosecond);

// A job that never ends: 45 status requests and the time-out report; items are status polls.
void BM_StatusPollsUntilTimeOut(benchmark::State& state)
{
    MainQueue::SetMainThread();
    FakeProductService service;
    ServiceUrlScope scope(service.BaseUrl());
    service.Script("GET /render/status", FakeProductService::Reply{200, R"({"status":"running"})"});
    RenderJobs::SetPollInterval(std::chrono::nanoseconds(0));
    for (auto _ : state) {
        RenderJobs::PollRenderJob(
            "job", [](const std::string&, const std::string&) {}, [](const std::string&, bool, const std::string&) {});
        MainQueue::DrainUntilIdle();
    }
    state.SetItemsProcessed(state.iterations() * RenderJobs::kMaxPolls);
    RenderJobs::SetPollInterval(std::chrono::seconds(1));
}
BENCHMARK(BM_StatusPollsUntilTimeOut)->Unit(benchmark::kMillisecond);

}  // namespace
