// The design tools at project scale: the snapshot, polishing and scaling to an area over a
// 100,000-wall project, each through the tool registry as the engine calls them, and placing a
// module of 100,000 elements through a hotlink. Changes are undone between iterations (not
// timed), so every iteration does the full work.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "HostTestingModules.hpp"
#include "core/ToolRegistry.hpp"
#include "tools/library/ModulePlacement.hpp"

namespace {

constexpr int kWalls = 100000;

// No storage and no user settings: a private home, storage variables unset.
void PrivateHome()
{
    static const std::string home = [] {
        char pattern[] = "/tmp/quillmere-bench-home-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    ::setenv("HOME", home.c_str(), 1);
    for (const char* name : {"QUILLMERE_STORAGE_URL", "QUILLMERE_STORAGE_ANON_KEY", "QUILLMERE_STORAGE_SERVICE_KEY"})
        ::unsetenv(name);
}

// Walls off the 5 cm grid, in rows of a thousand.
void BuildWalls()
{
    HostTesting::ResetProject();
    for (int i = 0; i < kWalls; ++i) {
        const double x = double(i % 1000) * 3.013, y = double(i / 1000) * 4.007;
        HostTesting::AddWall(x, y, x + 2.991, y + 0.011);
    }
}

void RunTool(benchmark::State& state, const char* tool, const nlohmann::json& input, bool undo)
{
    PrivateHome();
    BuildWalls();
    ToolRegistry registry;
    for (auto _ : state) {
        const ToolResult r = registry.ExecuteTool(tool, input);
        if (!r.success) state.SkipWithError(r.error.c_str());
        if (undo) {
            state.PauseTiming();
            HostTesting::Undo();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * kWalls);
}

void BM_DesignSnapshotOf100kWalls(benchmark::State& state)
{
    RunTool(state, "get_design_snapshot", nlohmann::json::object(), false);
}
BENCHMARK(BM_DesignSnapshotOf100kWalls)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PolishPlanOf100kWalls(benchmark::State& state)
{
    RunTool(state, "polish_plan", nlohmann::json::object(), true);
}
BENCHMARK(BM_PolishPlanOf100kWalls)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ScaleToSqmOf100kWalls(benchmark::State& state)
{
    RunTool(state, "adapt_typology", {{"operations", {{{"op", "scale_to_sqm"}, {"target_sqm", 500000}}}}}, true);
}
BENCHMARK(BM_ScaleToSqmOf100kWalls)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PlaceModuleOf100kElements(benchmark::State& state)
{
    HostTesting::ResetProject();
    const std::string path = std::filesystem::temp_directory_path().string() + "/quillmere-bench-place-" +
                             std::to_string(::getpid()) + ".mod";
    if (HostTesting::WriteFixtureModule(path, 100000) != NoError) state.SkipWithError("module not written");
    for (auto _ : state) {
        const GSErrCode err =
            ACAPI_CallUndoableCommand(GS::UniString("Place"), [&] { return PlaceModuleAsElements(path, "bench"); });
        if (err != NoError) state.SkipWithError("placement failed");
        state.PauseTiming();
        HostTesting::Undo();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 100011);
    std::remove(path.c_str());
}
BENCHMARK(BM_PlaceModuleOf100kElements)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
