// Cost of the attribute listings on large attribute tables: list_layers over 100,000 layers
// and list_materials over 50,000 building materials and 50,000 surfaces, each a full tool call
// through the registry (host reads, JSON building and the compact text the model receives).
// The floor beside each reads the same records through the host interface and nothing more.
#include <benchmark/benchmark.h>

#include <initializer_list>
#include <string>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "core/ToolRegistry.hpp"

using nlohmann::json;

namespace {

// Replaces the default project's table of a type with count named entries; every tenth
// layer is hidden and every seventh locked, as in a project that uses its layers.
void FillTable(API_AttrTypeID type, Int32 count, const char* stem)
{
    for (Int32 i = 1; i <= count; ++i) {
        API_Attribute a = HostTesting::MakeAttribute(type, stem + std::to_string(i));
        a.header.index = i;
        if (type == API_LayerID)
            a.header.flags = Int16((i % 10 == 0 ? APILay_Hidden : 0) | (i % 7 == 0 ? APILay_Locked : 0));
        HostTesting::SetAttribute(a);
    }
}

void RunListing(benchmark::State& state, const char* tool)
{
    ToolRegistry registry;
    size_t bytes = 0;
    for (auto _ : state) {
        ToolResult result = registry.ExecuteTool(tool, json::object());
        if (!result.success) state.SkipWithError(result.error.c_str());
        bytes = result.message.size();
        benchmark::DoNotOptimize(result);
    }
    state.counters["message_bytes"] = double(bytes);
    HostTesting::ClearCallLog();
}

// Every record of the types through ACAPI_Attribute_Get, as the listings read them.
void RunFloor(benchmark::State& state, std::initializer_list<API_AttrTypeID> types)
{
    for (auto _ : state)
        for (API_AttrTypeID type : types) {
            Int32 count = 0;
            ACAPI_Attribute_GetNum(type, &count);
            for (Int32 i = 1; i <= count; ++i) {
                API_Attribute a;
                BNClear(a);
                a.header.typeID = type;
                a.header.index = i;
                if (ACAPI_Attribute_Get(&a) != NoError) state.SkipWithError("not read");
                benchmark::DoNotOptimize(a.header.flags);
            }
        }
    HostTesting::ClearCallLog();
}

constexpr Int32 kLayers = 100000;
constexpr Int32 kMaterialsEach = 50000;

void FillLayers()
{
    HostTesting::ResetProject();
    FillTable(API_LayerID, kLayers, "Layer - Level ");
}

void FillMaterials()
{
    HostTesting::ResetProject();
    FillTable(API_BuildingMaterialID, kMaterialsEach, "Building Material ");
    FillTable(API_MaterialID, kMaterialsEach, "Surface ");
}

void BM_ListLayers(benchmark::State& state)
{
    FillLayers();
    RunListing(state, "list_layers");
}
BENCHMARK(BM_ListLayers)->Unit(benchmark::kMillisecond);

void BM_ListLayersFloor(benchmark::State& state)
{
    FillLayers();
    RunFloor(state, {API_LayerID});
}
BENCHMARK(BM_ListLayersFloor)->Unit(benchmark::kMillisecond);

void BM_ListMaterials(benchmark::State& state)
{
    FillMaterials();
    RunListing(state, "list_materials");
}
BENCHMARK(BM_ListMaterials)->Unit(benchmark::kMillisecond);

void BM_ListMaterialsFloor(benchmark::State& state)
{
    FillMaterials();
    RunFloor(state, {API_BuildingMaterialID, API_MaterialID});
}
BENCHMARK(BM_ListMaterialsFloor)->Unit(benchmark::kMillisecond);

}  // namespace
