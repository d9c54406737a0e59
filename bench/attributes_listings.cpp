// Cost of the attribute listings on large attribute tables: list_layers over 10,000 layers
// and list_materials over 5,000 building materials and 5,000 surfaces, each a full tool call
// through the registry (host reads, JSON building and the compact text the model receives).
#include <benchmark/benchmark.h>

#include <string>

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

void BM_ListLayers10000(benchmark::State& state)
{
    HostTesting::ResetProject();
    FillTable(API_LayerID, 10000, "Layer - Level ");
    RunListing(state, "list_layers");
}
BENCHMARK(BM_ListLayers10000)->Unit(benchmark::kMillisecond);

void BM_ListMaterials5000And5000(benchmark::State& state)
{
    HostTesting::ResetProject();
    FillTable(API_BuildingMaterialID, 5000, "Building Material ");
    FillTable(API_MaterialID, 5000, "Surface ");
    RunListing(state, "list_materials");
}
BENCHMARK(BM_ListMaterials5000And5000)->Unit(benchmark::kMillisecond);

}  // namespace
