// Cost of the per-iteration work the engine does besides waiting for the network: rendering
// the whole conversation into a request body, and reading a reply full of tool calls.

#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/AnthropicProvider.hpp"
#include "engine/Conversation.hpp"
#include "engine/OpenAIProvider.hpp"
#include "engine/SystemPrompt.hpp"

using nlohmann::json;

namespace {

const int kTools = 80;
const int kTurns = 50;
const int kCallsInReply = 10;

json Catalogue()
{
    json tools = json::array();
    for (int i = 0; i < kTools; ++i) {
        json properties = json::object();
        for (int p = 0; p < 6; ++p) {
            properties["param_" + std::to_string(p)] = {
                {"type", p % 2 ? "number" : "string"},
                {"description", "Parameter " + std::to_string(p) + " of the tool, in metres where a length"}};
        }
        tools.push_back(
            {{"name", "tool_number_" + std::to_string(i)},
             {"description", std::string(200, 'd')},
             {"input_schema", {{"type", "object"}, {"properties", properties}, {"required", {"param_0"}}}}});
    }
    return tools;
}

// Each turn: the user's words, the model's answer with one tool call, the tool's result.
std::vector<HistoryMessage> History()
{
    Conversation conversation;
    for (int turn = 0; turn < kTurns; ++turn) {
        const std::string id = "call_" + std::to_string(turn);
        conversation.AppendUser({ContentBlock::Text("Please make wall number " + std::to_string(turn) +
                                                    " four metres long on the ground floor.")});
        conversation.AppendAssistant(
            {ContentBlock::Text("Creating the wall now."),
             ContentBlock::ToolUse(id, "create_wall",
                                   {{"start_x", turn}, {"start_y", 0}, {"end_x", turn + 4}, {"end_y", 0}})});
        conversation.AppendUser({ContentBlock::ToolResult(
            id, R"({"element_guid":"3F2504E0-4F89-11D3-9A0C-0305E82C3301","message":"Wall created","success":true})")});
        conversation.AppendAssistant({ContentBlock::Text("Done: the wall is in place.")});
    }
    return conversation.Messages();
}

std::string AnthropicReply()
{
    json content = json::array({{{"type", "text"}, {"text", "I will create the ten walls."}}});
    for (int i = 0; i < kCallsInReply; ++i) {
        content.push_back({{"type", "tool_use"},
                           {"id", "toolu_" + std::to_string(i)},
                           {"name", "create_wall"},
                           {"input", {{"start_x", i}, {"start_y", 0}, {"end_x", i + 4}, {"end_y", 0}, {"story", 0}}}});
    }
    return json{{"content", content}, {"stop_reason", "tool_use"}}.dump();
}

std::string OpenAIReply()
{
    json calls = json::array();
    for (int i = 0; i < kCallsInReply; ++i) {
        calls.push_back(
            {{"id", "call_" + std::to_string(i)},
             {"type", "function"},
             {"function",
              {{"name", "create_wall"},
               {"arguments",
                json{{"start_x", i}, {"start_y", 0}, {"end_x", i + 4}, {"end_y", 0}, {"story", 0}}.dump()}}}});
    }
    return json{
        {"choices",
         {{{"message", {{"role", "assistant"}, {"content", "I will create the ten walls."}, {"tool_calls", calls}}},
           {"finish_reason", "tool_calls"}}}}}
        .dump();
}

template <typename Provider>
void RenderRequest(benchmark::State& state)
{
    const Provider provider;
    const json tools = Catalogue();
    const std::vector<HistoryMessage> history = History();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string body = provider.RenderRequest(history, SystemPrompt(), tools, "model", 4096).dump();
        bytes = body.size();
        benchmark::DoNotOptimize(body.data());
    }
    state.counters["body_bytes"] = static_cast<double>(bytes);
}

template <typename Provider>
void ParseReply(benchmark::State& state, const std::string& body)
{
    const Provider provider;
    for (auto _ : state) {
        ModelReply reply = provider.ParseReply(body);
        benchmark::DoNotOptimize(reply.toolCalls.data());
    }
}

void AnthropicRender(benchmark::State& state) { RenderRequest<AnthropicProvider>(state); }
void OpenAIRender(benchmark::State& state) { RenderRequest<OpenAIProvider>(state); }
void AnthropicParse(benchmark::State& state) { ParseReply<AnthropicProvider>(state, AnthropicReply()); }
void OpenAIParse(benchmark::State& state) { ParseReply<OpenAIProvider>(state, OpenAIReply()); }

}  // namespace

BENCHMARK(AnthropicRender)->Unit(benchmark::kMicrosecond);
BENCHMARK(OpenAIRender)->Unit(benchmark::kMicrosecond);
BENCHMARK(AnthropicParse)->Unit(benchmark::kMicrosecond);
BENCHMARK(OpenAIParse)->Unit(benchmark::kMicrosecond);
