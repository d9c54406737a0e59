// Drafting at scale: 10,000 create_line calls, one create_polyline of 100,000 points, and the
// plan view of a story holding 10,000 mixed drafting elements.
#include <cmath>
#include <string>

#include <benchmark/benchmark.h>

#include "HostTesting.hpp"
#include "PlanView.hpp"
#include "core/ToolRegistry.hpp"

using nlohmann::json;

namespace {

constexpr int kLines = 10000;
constexpr int kPolylinePoints = 100000;
constexpr int kMixedElements = 10000;

void BM_CreateLineCalls(benchmark::State& state)
{
    ToolRegistry registry;
    for (auto _ : state) {
        state.PauseTiming();
        HostTesting::ResetProject();
        state.ResumeTiming();
        for (int i = 0; i < kLines; ++i) {
            const double y = 0.25 * i;
            const ToolResult result = registry.ExecuteTool(
                "create_line", json{{"start_x", 0.0}, {"start_y", y}, {"end_x", 4.0}, {"end_y", y + 1.0}});
            if (!result.success) state.SkipWithError(result.error.c_str());
        }
    }
    state.SetItemsProcessed(state.iterations() * kLines);
}

void BM_CreatePolylineOf100kPoints(benchmark::State& state)
{
    ToolRegistry registry;
    json points = json::array();
    for (int i = 0; i < kPolylinePoints; ++i) points.push_back({{"x", 0.01 * i}, {"y", std::sin(0.01 * i)}});
    const json input = {{"points", points}};
    for (auto _ : state) {
        state.PauseTiming();
        HostTesting::ResetProject();
        state.ResumeTiming();
        const ToolResult result = registry.ExecuteTool("create_polyline", input);
        if (!result.success) state.SkipWithError(result.error.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kPolylinePoints);
}

// An 100 x 100 grid of cells, each with one drafting element of the eight kinds in turn.
void FillMixedDrafting(ToolRegistry& registry)
{
    for (int i = 0; i < kMixedElements; ++i) {
        const double x = 3.0 * (i % 100), y = 3.0 * (i / 100);
        json input;
        std::string tool;
        switch (i % 8) {
        case 0:
            tool = "create_line", input = {{"start_x", x}, {"start_y", y}, {"end_x", x + 2}, {"end_y", y + 1}};
            break;
        case 1: tool = "create_arc", input = {{"center_x", x + 1}, {"center_y", y + 1}, {"radius", 1.0}}; break;
        case 2:
            tool = "create_text", input = {{"x", x}, {"y", y}, {"content", "Room " + std::to_string(i)}, {"size", 0.3}};
            break;
        case 3:
            tool = "create_polyline",
            input = {{"points", {{{"x", x}, {"y", y}}, {{"x", x + 1}, {"y", y + 2}}, {{"x", x + 2}, {"y", y}}}}};
            break;
        case 4: tool = "create_hotspot", input = {{"x", x + 1}, {"y", y + 1}}; break;
        case 5:
            tool = "create_spline",
            input = {{"points", {{{"x", x}, {"y", y}}, {{"x", x + 1}, {"y", y + 2}}, {{"x", x + 2}, {"y", y}}}}};
            break;
        case 6:
            tool = "create_fill",
            input = {{"points", {{{"x", x}, {"y", y}}, {{"x", x + 2}, {"y", y}}, {{"x", x + 2}, {"y", y + 2}}}},
                     {"fill_index", 1 + (i / 8) % 7}};
            break;
        default: tool = "create_dimension", input = {{"x1", x}, {"y1", y}, {"x2", x + 2}, {"y2", y}}; break;
        }
        registry.ExecuteTool(tool, input);
    }
}

void BM_PlanViewOf10kDraftingElements(benchmark::State& state)
{
    HostTesting::ResetProject();
    ToolRegistry registry;
    FillMixedDrafting(registry);
    if (HostTesting::ElementCount() != size_t(kMixedElements))
        state.SkipWithError("not every drafting element was made");
    PlanView::Options options;
    options.width = 1600;
    options.height = 1000;
    for (auto _ : state) {
        const std::vector<unsigned char> png = PlanView::RenderPng(options);
        benchmark::DoNotOptimize(png.data());
    }
    state.SetItemsProcessed(state.iterations() * kMixedElements);
}

}  // namespace

BENCHMARK(BM_CreateLineCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreatePolylineOf100kPoints)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlanViewOf10kDraftingElements)->Unit(benchmark::kMillisecond);
