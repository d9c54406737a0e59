// Deep capture at scale: every one of 10,000 mixed elements (all seventeen captured types,
// with their default memos, properties and classifications) captured through the registry as
// the conversation engine would call the tool.

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "HostTestingProperties.hpp"
#include "core/ElementFunctions.hpp"
#include "core/ToolRegistry.hpp"

namespace {

constexpr int kElements = 10000;

const API_ElemTypeID kTypes[] = {API_WallID, API_ColumnID,   API_BeamID,      API_WindowID, API_DoorID,   API_ObjectID,
                                 API_SlabID, API_RoofID,     API_DimensionID, API_TextID,   API_ZoneID,   API_HatchID,
                                 API_LineID, API_PolyLineID, API_ArcID,       API_SplineID, API_HotspotID};

std::vector<std::string> BuildProject()
{
    HostTesting::ResetProject();
    std::vector<std::string> guids;
    API_Guid wall = HostTesting::AddWall(0, 0, 50, 0);
    const API_Guid item = HostTesting::DefaultClassificationItem("QC-10");
    const API_Guid phase = HostTesting::DefaultPropertyDefinition("Project Data", "Phase");
    for (int i = 0; i < kElements; ++i) {
        const API_ElemTypeID type = kTypes[i % 17];
        const bool opening = type == API_DoorID || type == API_WindowID;
        const API_Guid guid = HostTesting::AddFixture(type, 0, opening ? wall : APINULLGuid);
        if (type == API_WallID) wall = guid;
        if (i % 3 == 0) HostTesting::ClassifyElement(guid, item);
        if (i % 5 == 0) HostTesting::SetPropertyValue(guid, phase, HostTesting::StringVariant("Phase 2"));
        guids.push_back(GuidToStr(guid));
    }
    return guids;
}

void BM_DeepCaptureOf10kMixedElements(benchmark::State& state)
{
    const std::vector<std::string> guids = BuildProject();
    ToolRegistry registry;
    const bool withProperties = state.range(0) != 0;
    size_t bytes = 0;
    for (auto _ : state) {
        HostTesting::ClearCallLog();
        bytes = 0;
        for (const std::string& guid : guids) {
            const ToolResult result = registry.ExecuteTool(
                "capture_element_detail", {{"element_guid", guid}, {"include_properties", withProperties}});
            if (!result.success) state.SkipWithError(result.error.c_str());
            bytes += result.message.size();
        }
    }
    state.counters["bytes_per_record"] = double(bytes) / kElements;
    state.SetItemsProcessed(state.iterations() * kElements);
}
BENCHMARK(BM_DeepCaptureOf10kMixedElements)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
