// GUID text both ways, as the tools use it for every element they report or are given:
// GuidToStr and ParseGuid over 100,000 distinct GUIDs. The floor copies 36 bytes of text per
// GUID into a string, which any formatter must do at least.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "GSRoot.hpp"
#include "core/ElementFunctions.hpp"
#include "tools/ToolKit.hpp"

namespace {

constexpr int kGuids = 100000;

std::vector<API_Guid> FreshGuids()
{
    std::vector<API_Guid> guids(kGuids);
    for (API_Guid& guid : guids) {
        GS::Guid fresh;
        fresh.Generate();
        guid = fresh.ToAPIGuid();
    }
    return guids;
}

void BM_GuidToStr(benchmark::State& state)
{
    const std::vector<API_Guid> guids = FreshGuids();
    for (auto _ : state)
        for (const API_Guid& guid : guids) {
            std::string text = GuidToStr(guid);
            benchmark::DoNotOptimize(text.data());
        }
    state.SetItemsProcessed(state.iterations() * kGuids);
}
BENCHMARK(BM_GuidToStr)->Unit(benchmark::kMillisecond);

void BM_ParseGuid(benchmark::State& state)
{
    std::vector<std::string> texts;
    for (const API_Guid& guid : FreshGuids()) texts.push_back(GuidToStr(guid));
    for (auto _ : state)
        for (const std::string& text : texts) {
            API_Guid guid = ParseGuid(text);
            benchmark::DoNotOptimize(guid);
        }
    state.SetItemsProcessed(state.iterations() * kGuids);
}
BENCHMARK(BM_ParseGuid)->Unit(benchmark::kMillisecond);

void BM_GuidTextFloor(benchmark::State& state)
{
    const std::string sample = GuidToStr(FreshGuids().front());
    for (auto _ : state)
        for (int i = 0; i < kGuids; ++i) {
            std::string text(sample.data(), 36);
            benchmark::DoNotOptimize(text.data());
        }
    state.SetItemsProcessed(state.iterations() * kGuids);
}
BENCHMARK(BM_GuidTextFloor)->Unit(benchmark::kMillisecond);

}  // namespace
