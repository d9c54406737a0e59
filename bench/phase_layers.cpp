// Build phases at project scale: 100,000 elements of every sorted type moved onto phase
// layers, by the tool and by a bare loop of the same host reads and layer changes (the floor
// the tool is measured against, in the same run); and listing 1,000 stories.

#include <benchmark/benchmark.h>

#include <string>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "MixedProject.hpp"
#include "core/ToolRegistry.hpp"

namespace {

constexpr std::size_t kElements = 100000;

void BuildProject()
{
    HostTesting::ResetProject();
    MixedProject::Add(kElements);
}

// Every listed element of the rotation's types read once and put on one layer, in one step.
GSErrCode BareLayerLoop(Int32 layer)
{
    return ACAPI_CallUndoableCommand(GS::UniString("Bare Layer Loop"), [layer] {
        for (API_ElemTypeID type : {API_WallID, API_DoorID, API_WindowID, API_SlabID, API_ColumnID, API_BeamID,
                                    API_RoofID, API_ZoneID, API_LineID, API_ArcID, API_TextID, API_PolyLineID,
                                    API_HatchID, API_SplineID, API_HotspotID, API_DimensionID, API_ObjectID}) {
            GS::Array<API_Guid> guids;
            if (ACAPI_Element_GetElemList(type, &guids) != NoError) continue;
            for (const API_Guid& guid : guids) {
                API_Element element;
                BNClear(element);
                element.header.guid = guid;
                if (ACAPI_Element_Get(&element) != NoError) continue;
                element.header.layer = layer;
                API_Element mask;
                BNClear(mask);
                ACAPI_ELEMENT_MASK_SET(mask, header, layer);
                ACAPI_Element_Change(&element, &mask, nullptr, 0, true);
            }
        }
        return NoError;
    });
}

// Times one whole-project step per iteration on the same project: the step is undone, untimed,
// before the next. step answers an error text, empty on success.
template <typename Step>
void TimeProjectStep(benchmark::State& state, Step&& step)
{
    BuildProject();
    for (auto _ : state) {
        const std::string error = step();
        if (!error.empty()) state.SkipWithError(error.c_str());
        state.PauseTiming();
        HostTesting::Undo();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Int64(kElements));
}

void BM_BareLayerLoop(benchmark::State& state)
{
    TimeProjectStep(state, [] { return BareLayerLoop(2) == NoError ? std::string() : std::string("loop failed"); });
}
BENCHMARK(BM_BareLayerLoop)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PrepareBuildPhases(benchmark::State& state)
{
    const ToolRegistry registry;
    TimeProjectStep(
        state, [&registry] { return registry.ExecuteTool("prepare_build_phases", nlohmann::json::object()).error; });
}
BENCHMARK(BM_PrepareBuildPhases)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ListThousandStories(benchmark::State& state)
{
    HostTesting::ResetProject();
    std::vector<HostTesting::StoryFixture> stories;
    for (int i = 0; i < 1000; ++i) stories.push_back({Int16(i - 2), 3.0 * (i - 2), "Level " + std::to_string(i - 2)});
    HostTesting::SetStories(stories);
    const ToolRegistry registry;
    for (auto _ : state) {
        const ToolResult result = registry.ExecuteTool("list_stories", nlohmann::json::object());
        if (!result.success) state.SkipWithError(result.error.c_str());
        benchmark::DoNotOptimize(result.message.size());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ListThousandStories)->Unit(benchmark::kMicrosecond);

}  // namespace
