// Memory of the undo history: a project of 100,000 elements (walls with their openings, slabs,
// texts) moved as a whole ten times, each move one undo step. Run under /usr/bin/time -v for the peak
// resident size; the counters report the steps the history kept and the bytes it reckons they
// hold (its budget is 1 GiB).
#include <benchmark/benchmark.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "WallsSlabsTexts.hpp"

namespace {

constexpr int kElements = 100000;
constexpr int kSteps = 10;

GSErrCode MoveEverything(GS::Array<API_Neig>& items)
{
    return ACAPI_CallUndoableCommand(GS::UniString("Move everything"), [&items] {
        API_EditPars pars;
        BNClear(pars);
        pars.typeID = APIEdit_Drag;
        pars.withDelete = true;
        pars.endC = {0.5, 0.25, 0.0};
        return ACAPI_Element_Edit(&items, pars);
    });
}

void BM_TenWholeProjectSteps(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        BuildWallsSlabsTexts(kElements);
        // Doors and windows move with their walls.
        GS::Array<API_Neig> items;
        for (const API_Guid& guid : HostTesting::AllElements()) {
            API_Element e;
            if (HostTesting::GetElement(guid, &e) &&
                (e.header.type.typeID == API_DoorID || e.header.type.typeID == API_WindowID))
                continue;
            API_Neig neig;
            BNClear(neig);
            neig.guid = guid;
            items.Push(neig);
        }
        state.ResumeTiming();
        for (int step = 0; step < kSteps; ++step)
            if (MoveEverything(items) != NoError) state.SkipWithError("move failed");
        HostTesting::ClearCallLog();
    }
    state.counters["undo_steps"] = double(HostTesting::UndoStepNames().size());
    state.counters["history_MB"] = double(HostTesting::UndoHistoryBytes()) / 1e6;
    state.SetItemsProcessed(state.iterations() * kElements * kSteps);
}
BENCHMARK(BM_TenWholeProjectSteps)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
