// Module files at project scale: a 100,000-element project (walls, slabs with polygons, texts
// with content, openings in the walls) saved through 'SMOD' and read back; the file size per
// element is reported as a counter. The floor beside them reads every element's record through
// the host interface once and moves a file of the module's size to or from disk: what any
// writer or reader of these elements does at the least.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "HostTestingModules.hpp"
#include "WallsSlabsTexts.hpp"

namespace {

constexpr int kElements = 100000;

void BuildProject() { BuildWallsSlabsTexts(kElements); }

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

// One pass over every element's record through the host interface.
size_t ReadEveryElement()
{
    GS::Array<API_Guid> guids;
    for (API_ElemTypeID type : {API_WallID, API_DoorID, API_WindowID, API_SlabID, API_TextID})
        ACAPI_Element_GetElemList(type, &guids);
    size_t read = 0;
    for (const API_Guid& guid : guids) {
        API_Element element;
        BNClear(element);
        element.header.guid = guid;
        if (ACAPI_Element_Get(&element) == NoError) ++read;
    }
    return read;
}

void BM_ModuleFloorWrite(benchmark::State& state)
{
    BuildProject();
    const std::string path = ModulePath();
    Save(path);
    const std::string bytes(std::filesystem::file_size(path), 'x');
    for (auto _ : state) {
        if (ReadEveryElement() != size_t(kElements)) state.SkipWithError("elements not read");
        std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    state.SetItemsProcessed(state.iterations() * kElements);
    std::remove(path.c_str());
}
BENCHMARK(BM_ModuleFloorWrite)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ModuleFloorRead(benchmark::State& state)
{
    BuildProject();
    const std::string path = ModulePath();
    Save(path);
    for (auto _ : state) {
        std::string bytes(std::filesystem::file_size(path), '\0');
        std::ifstream(path, std::ios::binary).read(&bytes[0], std::streamsize(bytes.size()));
        if (bytes.empty() || ReadEveryElement() != size_t(kElements)) state.SkipWithError("elements not read");
    }
    state.SetItemsProcessed(state.iterations() * kElements);
    std::remove(path.c_str());
}
BENCHMARK(BM_ModuleFloorRead)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
