// Module files at project scale: a 100,000-element project (walls, slabs with polygons, texts
// with content, openings in the walls) saved through 'SMOD' and read back; the file size per
// element is reported as a counter.

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "HostTestingModules.hpp"

namespace {

constexpr int kElements = 100000;

// Per ten elements: six walls, two openings, a slab and a text.
void BuildProject()
{
    HostTesting::ResetProject();
    API_Guid wall = APINULLGuid;
    for (int i = 0; i < kElements; ++i) {
        const double x = double(i % 1000), y = double(i / 1000);
        switch (i % 10) {
        case 6: HostTesting::AddFixture(API_DoorID, 0, wall); break;
        case 7: HostTesting::AddFixture(API_WindowID, 0, wall); break;
        case 8: HostTesting::AddFixture(API_SlabID, Int16(i % 3)); break;
        case 9: HostTesting::AddFixture(API_TextID, Int16(i % 3)); break;
        default: wall = HostTesting::AddWall(x, y, x + 5.0, y, Int16(i % 3)); break;
        }
    }
}

std::string ModulePath()
{
    return std::filesystem::temp_directory_path().string() + "/quillmere-bench-" + std::to_string(::getpid()) + ".mod";
}

GSErrCode Save(const std::string& path)
{
    IO::Location location(path);
    API_ModuleSavePars pars;
    BNClear(pars);
    pars.file = &location;
    return ACAPI_Automate(APIDo_SaveAsModuleFileID, &pars);
}

void BM_SaveModuleOf100kElements(benchmark::State& state)
{
    BuildProject();
    const std::string path = ModulePath();
    for (auto _ : state)
        if (Save(path) != NoError) state.SkipWithError("save failed");
    state.counters["bytes_per_element"] = double(std::filesystem::file_size(path)) / kElements;
    state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
    state.SetItemsProcessed(state.iterations() * kElements);
    std::remove(path.c_str());
}
BENCHMARK(BM_SaveModuleOf100kElements)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ReadModuleOf100kElements(benchmark::State& state)
{
    BuildProject();
    const std::string path = ModulePath();
    Save(path);
    for (auto _ : state) {
        HostTesting::ModuleSummary summary;
        if (HostTesting::ReadModuleSummary(path, &summary) != NoError || summary.elements.size() != size_t(kElements))
            state.SkipWithError("read failed");
    }
    state.SetItemsProcessed(state.iterations() * kElements);
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadModuleOf100kElements)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
