// The query tools at project scale: list_elements (a page of 100 filtered by type and story, and
// by story alone), find_elements (text and box filters) and get_project_info over 100,000 mixed
// elements, each beside the bare loop it is measured against in the same run: every element of
// every type listed with ACAPI_Element_GetElemList and read with ACAPI_Element_Get.

#include <benchmark/benchmark.h>

#include <string>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "MixedProject.hpp"
#include "core/ToolRegistry.hpp"

using nlohmann::json;

namespace {

constexpr std::size_t kElements = 100000;

void BuildProject()
{
    HostTesting::ResetProject();
    MixedProject::Add(kElements);
}

void BM_BareListAndGetLoop(benchmark::State& state)
{
    BuildProject();
    size_t read = 0;
    for (auto _ : state) {
        read = 0;
        for (API_ElemTypeID type : MixedProject::Rotation()) {
            if (type == API_WallID && read > 0) continue;  // walls come twice in the rotation
            GS::Array<API_Guid> guids;
            if (ACAPI_Element_GetElemList(type, &guids) != NoError) continue;
            for (const API_Guid& guid : guids) {
                API_Element element;
                BNClear(element);
                element.header.guid = guid;
                if (ACAPI_Element_Get(&element) == NoError) ++read;
            }
        }
        benchmark::DoNotOptimize(read);
        HostTesting::ClearCallLog();
    }
    state.counters["elements"] = double(read);
}
BENCHMARK(BM_BareListAndGetLoop)->Unit(benchmark::kMillisecond);

void RunTool(benchmark::State& state, const char* tool, const json& input)
{
    BuildProject();
    ToolRegistry registry;
    json page;
    for (auto _ : state) {
        ToolResult result = registry.ExecuteTool(tool, input);
        if (!result.success) state.SkipWithError(result.error.c_str());
        page = json::parse(result.message);
        HostTesting::ClearCallLog();
    }
    state.counters["total"] = double(page.value("total", page.value("element_count", 0)));
}

void BM_ListElementsWallsOnStory0(benchmark::State& state)
{
    RunTool(state, "list_elements", {{"types", {"wall"}}, {"story", 0}, {"offset", 20000}, {"limit", 100}});
}
BENCHMARK(BM_ListElementsWallsOnStory0)->Unit(benchmark::kMillisecond);

// Every kind on one story: each drafting element's database is asked for (half the project).
void BM_ListElementsAllOnStory0(benchmark::State& state)
{
    RunTool(state, "list_elements", {{"story", 0}, {"offset", 90000}, {"limit", 100}});
}
BENCHMARK(BM_ListElementsAllOnStory0)->Unit(benchmark::kMillisecond);

void BM_FindElementsTextAndBox(benchmark::State& state)
{
    RunTool(state, "find_elements", {{"text", "fixture"}, {"within", {-1.0, -1.0, 5.0, 5.0}}});
}
BENCHMARK(BM_FindElementsTextAndBox)->Unit(benchmark::kMillisecond);

void BM_FindElementsBoxOnly(benchmark::State& state)
{
    RunTool(state, "find_elements", {{"within", {-1.0, -1.0, 2.0, 2.0}}});
}
BENCHMARK(BM_FindElementsBoxOnly)->Unit(benchmark::kMillisecond);

void BM_GetProjectInfo(benchmark::State& state) { RunTool(state, "get_project_info", json::object()); }
BENCHMARK(BM_GetProjectInfo)->Unit(benchmark::kMillisecond);

}  // namespace
