// The emulated host at project scale: 100,000 walls created in one command, listed, read one
// by one, and the whole step undone.

#include <benchmark/benchmark.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"

namespace {

constexpr int kWalls = 100000;

GSErrCode CreateWalls(int count)
{
    return ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Create Walls Batch"), [count] {
        for (int i = 0; i < count; ++i) {
            API_Element e;
            BNClear(e);
            e.header.type.typeID = API_WallID;
            ACAPI_Element_GetDefaults(&e, nullptr);
            e.wall.begC = {double(i % 1000), double(i / 1000)};
            e.wall.endC = {double(i % 1000) + 0.9, double(i / 1000)};
            if (GSErrCode code = ACAPI_Element_Create(&e, nullptr)) return code;
        }
        return NoError;
    });
}

void BM_CreateWallsInOneCommand(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        HostTesting::ResetProject();
        state.ResumeTiming();
        if (CreateWalls(kWalls) != NoError) state.SkipWithError("create failed");
    }
    state.SetItemsProcessed(state.iterations() * kWalls);
}
BENCHMARK(BM_CreateWallsInOneCommand)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GetElemListOfAllWalls(benchmark::State& state)
{
    HostTesting::ResetProject();
    CreateWalls(kWalls);
    for (auto _ : state) {
        GS::Array<API_Guid> list;
        ACAPI_Element_GetElemList(API_WallID, &list);
        benchmark::DoNotOptimize(list.GetSize());
    }
    state.SetItemsProcessed(state.iterations() * kWalls);
}
BENCHMARK(BM_GetElemListOfAllWalls)->Unit(benchmark::kMillisecond);

void BM_GetEveryWall(benchmark::State& state)
{
    HostTesting::ResetProject();
    CreateWalls(kWalls);
    GS::Array<API_Guid> list;
    ACAPI_Element_GetElemList(API_WallID, &list);
    for (auto _ : state) {
        double total = 0;
        for (const API_Guid& guid : list) {
            API_Element e;
            BNClear(e);
            e.header.guid = guid;
            ACAPI_Element_Get(&e);
            total += e.wall.height;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kWalls);
}
BENCHMARK(BM_GetEveryWall)->Unit(benchmark::kMillisecond);

void BM_UndoTheBatch(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        HostTesting::ResetProject();
        CreateWalls(kWalls);
        state.ResumeTiming();
        HostTesting::Undo();
    }
}
BENCHMARK(BM_UndoTheBatch)->Unit(benchmark::kMillisecond)->Iterations(3);

// A small step in a large project: its cost must not grow with the project.
void BM_SmallStepInLargeProject(benchmark::State& state)
{
    HostTesting::ResetProject();
    CreateWalls(kWalls);
    GS::Array<API_Guid> list;
    ACAPI_Element_GetElemList(API_WallID, &list);
    size_t next = 0;
    for (auto _ : state) {
        API_Guid guid = list[USize(next++ % list.GetSize())];
        ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Modify Element"), [&] {
            API_Element e;
            BNClear(e);
            e.header.guid = guid;
            e.wall.height = 3.0;
            API_Element mask;
            BNClear(mask);
            ACAPI_ELEMENT_MASK_SET(mask, wall, height);
            return ACAPI_Element_Change(&e, &mask);
        });
        HostTesting::Undo();
    }
}
BENCHMARK(BM_SmallStepInLargeProject)->Unit(benchmark::kMicrosecond);

}  // namespace
