// Template capture at project scale: the summary of a 100,000-element project (walls, columns
// and zones read one by one, the other types only counted), and a whole capture of the same
// project (summary, 'SMOD', both files written and uploaded to the fake storage).

#include <string>

#include <benchmark/benchmark.h>

#include "ACAPinc.h"
#include "FakeStorage.hpp"
#include "HostTesting.hpp"
#include "TempFolder.hpp"
#include "core/ToolRegistry.hpp"
#include "tools/library/TemplateSummary.hpp"

namespace {

constexpr int kElements = 100000;

// Per ten elements: four walls, a door, a column, a zone, a slab, a line and a text.
void BuildProject()
{
    HostTesting::ResetProject();
    API_Guid wall = APINULLGuid;
    const char* const rooms[] = {"Bedroom", "Bath", "Kitchen", "Living"};
    for (int i = 0; i < kElements; ++i) {
        const double x = double(i % 1000), y = double(i / 1000);
        switch (i % 10) {
        case 4: HostTesting::AddFixture(API_DoorID, 0, wall); break;
        case 5: {
            API_Element column = HostTesting::MakeElement(API_ColumnID);
            column.column.origoPos = {x, y};
            HostTesting::AddElement(column);
            break;
        }
        case 6: {
            API_Element zone = HostTesting::MakeElement(API_ZoneID);
            GS::ucsncpy(zone.zone.roomName, GS::UniString(rooms[i % 4]).ToUStr().Get(), 256);
            zone.zone.pos = {x + 0.5, y + 0.5};
            HostTesting::AddElement(zone);
            break;
        }
        case 7: HostTesting::AddFixture(API_SlabID); break;
        case 8: HostTesting::AddFixture(API_LineID); break;
        case 9: HostTesting::AddFixture(API_TextID); break;
        default: wall = HostTesting::AddWall(x, y, x + 5.0, y); break;
        }
    }
}

void BM_SummaryOf100kElements(benchmark::State& state)
{
    BuildProject();
    for (auto _ : state) {
        HostTesting::ClearCallLog();
        const TemplateSummary summary = BuildTemplateSummary(nlohmann::json::object(), "Bench", "2026-01-31T09:05:00Z");
        if (summary.totalElements != kElements) state.SkipWithError("census incomplete");
        benchmark::DoNotOptimize(summary.summary.dump(2));
    }
    state.SetItemsProcessed(state.iterations() * kElements);
}
BENCHMARK(BM_SummaryOf100kElements)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CaptureOf100kElementsWithUploads(benchmark::State& state)
{
    BuildProject();
    {
        ScopedHome home;
        FakeStorage storage;
        ScopedStorageEnvironment environment(storage);
        ToolRegistry registry;
        for (auto _ : state) {
            HostTesting::ClearCallLog();
            const ToolResult result = registry.ExecuteTool("capture_project_template", {{"template_name", "Bench"}});
            if (!result.success || result.message.find("\"storage\":\"supabase\"") == std::string::npos)
                state.SkipWithError("capture did not upload");
        }
        if (const auto module = storage.Object("Bench.mod")) state.counters["module_MB"] = double(module->size()) / 1e6;
    }
    state.SetItemsProcessed(state.iterations() * kElements);
}
BENCHMARK(BM_CaptureOf100kElementsWithUploads)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
