// The editing tools in large projects. Moving, copying, grouping and ungrouping touch only the
// listed elements and their groups' members, so their cost should not grow with the project.
// Each iteration undoes its step, so the project stays the same size throughout.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "HostTesting.hpp"
#include "core/ElementFunctions.hpp"
#include "core/ToolRegistry.hpp"

namespace {

std::vector<std::string> FillProject(int64_t elements)
{
    HostTesting::ResetProject();
    std::vector<std::string> guids;
    guids.reserve(static_cast<size_t>(elements));
    for (int64_t i = 0; i < elements; ++i) {
        const double x = static_cast<double>(i % 1000) * 6.0;
        const double y = static_cast<double>(i / 1000) * 6.0;
        guids.push_back(GuidToStr(HostTesting::AddWall(x, y, x + 5.0, y)));
    }
    return guids;
}

void RunAndUndo(benchmark::State& state, const ToolRegistry& registry, const std::string& tool,
                const nlohmann::json& input)
{
    for (auto _ : state) {
        const ToolResult result = registry.ExecuteTool(tool, input);
        if (!result.success) {
            state.SkipWithError(result.error.c_str());
            break;
        }
        HostTesting::Undo();
    }
}

void BM_MoveElement(benchmark::State& state)
{
    const std::vector<std::string> guids = FillProject(state.range(0));
    ToolRegistry registry;
    RunAndUndo(state, registry, "move_element", {{"element_guid", guids[guids.size() / 2]}, {"dx", 1.0}, {"dy", 2.0}});
}
BENCHMARK(BM_MoveElement)->Arg(1000)->Arg(100000);

void BM_CopyElement(benchmark::State& state)
{
    const std::vector<std::string> guids = FillProject(state.range(0));
    ToolRegistry registry;
    RunAndUndo(state, registry, "copy_element", {{"element_guid", guids.back()}});
}
BENCHMARK(BM_CopyElement)->Arg(1000)->Arg(100000);

void BM_ModifyElement(benchmark::State& state)
{
    const std::vector<std::string> guids = FillProject(state.range(0));
    ToolRegistry registry;
    RunAndUndo(state, registry, "modify_element", {{"element_guid", guids.front()}, {"height", 3.1}, {"end_x", 9.0}});
}
BENCHMARK(BM_ModifyElement)->Arg(1000)->Arg(100000);

// Grouping ten elements, then ungrouping them through one member.
void BM_GroupAndUngroup(benchmark::State& state)
{
    const std::vector<std::string> guids = FillProject(state.range(0));
    ToolRegistry registry;
    const nlohmann::json members = std::vector<std::string>(guids.begin(), guids.begin() + 10);
    for (auto _ : state) {
        const bool grouped = registry.ExecuteTool("group_elements", {{"element_guids", members}}).success;
        const bool ungrouped =
            registry.ExecuteTool("group_elements", {{"element_guids", {guids.front()}}, {"ungroup", true}}).success;
        if (!grouped || !ungrouped) {
            state.SkipWithError("group_elements failed");
            break;
        }
        HostTesting::Undo();
        HostTesting::Undo();
    }
}
BENCHMARK(BM_GroupAndUngroup)->Arg(1000)->Arg(100000);

}  // namespace
