// 10,000 create_wall calls through the registry, each its own undoable command, into a project
// that grows by one wall per call.
#include <benchmark/benchmark.h>

#include "HostTesting.hpp"
#include "core/ToolRegistry.hpp"

using nlohmann::json;

namespace {

constexpr int kWalls = 10000;

void BM_CreateWallCalls(benchmark::State& state)
{
    ToolRegistry registry;
    for (auto _ : state) {
        state.PauseTiming();
        HostTesting::ResetProject();
        state.ResumeTiming();
        for (int i = 0; i < kWalls; ++i) {
            const double y = 0.5 * i;
            const ToolResult result = registry.ExecuteTool(
                "create_wall", json{{"start_x", 0.0}, {"start_y", y}, {"end_x", 6.0}, {"end_y", y}, {"height", 2.8}});
            if (!result.success) state.SkipWithError(result.error.c_str());
        }
    }
    state.SetItemsProcessed(state.iterations() * kWalls);
}

}  // namespace

BENCHMARK(BM_CreateWallCalls)->Unit(benchmark::kMillisecond);
