// Cost of building the tool catalogue for each model request and of dispatching one tool call,
// with a registry of the assistant's size (80 tools).
#include <benchmark/benchmark.h>

#include <string>

#include "core/ToolRegistry.hpp"

using nlohmann::json;

namespace {

constexpr int kToolCount = 80;

std::string ToolName(int i) { return "tool_" + std::to_string(1000 + i); }

// A registry holding exactly 80 tools with schemas of typical size (five properties).
ToolRegistry& EightyTools()
{
    static ToolRegistry registry = [] {
        ToolRegistry r;
        r.tools.clear();
        for (int i = 0; i < kToolCount; ++i) {
            ToolDef def;
            def.name = ToolName(i);
            def.description = "Does task number " + std::to_string(i) + " on the open project and reports what it did.";
            json properties = json::object();
            for (const char* key : {"element_guid", "x", "y", "height", "story_index"}) {
                properties[key] = {{"type", "number"}, {"description", std::string("The ") + key + " of the element"}};
            }
            def.inputSchema = {{"type", "object"}, {"properties", properties}, {"required", {"x", "y"}}};
            def.handler = [](const json& input) {
                return ToolResult::Ok("", input.value("label", std::string("done")));
            };
            r.Register(std::move(def));
        }
        return r;
    }();
    return registry;
}

void BM_GetToolDefinitions(benchmark::State& state)
{
    const ToolRegistry& registry = EightyTools();
    for (auto _ : state) {
        json catalogue = registry.GetToolDefinitions();
        benchmark::DoNotOptimize(catalogue);
    }
}
BENCHMARK(BM_GetToolDefinitions);

void BM_GetToolDefinitionsDumped(benchmark::State& state)
{
    const ToolRegistry& registry = EightyTools();
    for (auto _ : state) {
        std::string text = registry.GetToolDefinitions().dump();
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_GetToolDefinitionsDumped);

void BM_ExecuteTool(benchmark::State& state)
{
    const ToolRegistry& registry = EightyTools();
    const json input = {{"x", 1.5}, {"y", 2.5}, {"label", "ok"}};
    const std::string name = ToolName(kToolCount / 2);
    for (auto _ : state) {
        ToolResult result = registry.ExecuteTool(name, input);
        std::string text = result.toJson();
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ExecuteTool);

void BM_ExecuteUnknownTool(benchmark::State& state)
{
    const ToolRegistry& registry = EightyTools();
    const json input = json::object();
    for (auto _ : state) {
        ToolResult result = registry.ExecuteTool("tool_not_there", input);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_ExecuteUnknownTool);

}  // namespace
