// search_library_parts over a loaded library of 5,000 parts, every part read through the host.
#include <benchmark/benchmark.h>

#include "HostTesting.hpp"
#include "HostTestingLibrary.hpp"
#include "core/ToolRegistry.hpp"

using nlohmann::json;

namespace {

constexpr int kParts = 5000;

void LoadLibrary()
{
    HostTesting::ResetProject();
    HostTesting::ClearLibrary();
    const char* kinds[] = {"Chair", "Table", "Window", "Door", "Lamp"};
    const Int32 types[] = {APILib_ObjectID, APILib_ObjectID, APILib_WindowID, APILib_DoorID, APILib_LampID};
    for (int i = 0; i < kParts; ++i) {
        HostTesting::LibraryPartFixture part;
        part.typeID = i % 50 == 0 ? APILib_MacroID : types[i % 5];
        part.name = std::string(kinds[i % 5]) + " Model " + std::to_string(i);
        part.unID = "{BENCH-" + std::to_string(i) + "}";
        HostTesting::AddLibraryPart(part);
    }
}

void BM_SearchLibraryParts(benchmark::State& state, const char* pattern)
{
    LoadLibrary();
    ToolRegistry registry;
    size_t listed = 0;
    for (auto _ : state) {
        const ToolResult result = registry.ExecuteTool("search_library_parts", json{{"pattern", pattern}});
        if (!result.success) state.SkipWithError(result.error.c_str());
        listed = result.message.size();
        benchmark::DoNotOptimize(listed);
    }
    state.SetItemsProcessed(state.iterations() * kParts);
    state.counters["answer_bytes"] = static_cast<double>(listed);
}

}  // namespace

BENCHMARK_CAPTURE(BM_SearchLibraryParts, one_in_five_match, "CHAIR")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchLibraryParts, no_match, "hovercraft")->Unit(benchmark::kMillisecond);
