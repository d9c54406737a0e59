// delete_elements_batch with 10,000 GUIDs in one call and one undo step, from a project of
// 100,000 walls.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "HostTesting.hpp"
#include "core/ElementFunctions.hpp"
#include "core/ToolRegistry.hpp"

using nlohmann::json;

namespace {

constexpr int kProjectWalls = 100000;
constexpr int kDeleted = 10000;

// A new project of kProjectWalls walls; returns every (kProjectWalls / kDeleted)-th GUID.
json FreshProjectWithWallsToDelete()
{
    HostTesting::ResetProject();
    json guids = json::array();
    for (int i = 0; i < kProjectWalls; ++i) {
        const API_Guid guid = HostTesting::AddWall(0.0, 0.5 * i, 5.0, 0.5 * i);
        if (i % (kProjectWalls / kDeleted) == 0) guids.push_back(GuidToStr(guid));
    }
    return guids;
}

void BM_DeleteElementsBatch(benchmark::State& state)
{
    ToolRegistry registry;
    for (auto _ : state) {
        state.PauseTiming();
        const json guids = FreshProjectWithWallsToDelete();
        const json input = {{"element_guids", guids}};
        state.ResumeTiming();

        const ToolResult result = registry.ExecuteTool("delete_elements_batch", input);
        if (!result.success) state.SkipWithError(result.error.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kDeleted);
}

void BM_UndoDeleteElementsBatch(benchmark::State& state)
{
    ToolRegistry registry;
    for (auto _ : state) {
        state.PauseTiming();
        const json guids = FreshProjectWithWallsToDelete();
        if (!registry.ExecuteTool("delete_elements_batch", {{"element_guids", guids}}).success)
            state.SkipWithError("delete failed");
        state.ResumeTiming();

        if (HostTesting::Undo() != NoError) state.SkipWithError("undo failed");
    }
    state.SetItemsProcessed(state.iterations() * kDeleted);
}

}  // namespace

BENCHMARK(BM_DeleteElementsBatch)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_UndoDeleteElementsBatch)->Unit(benchmark::kMillisecond)->Iterations(5);
