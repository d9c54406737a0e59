// Bytes sent per turn and how many of them a service can read from its prompt cache: a
// scripted turn of ten model requests, each answered with one tool call, with the whole
// registry's catalogue. A request's cacheable prefix is what it repeats of the request before
// it (the catalogue, the system prompt and the conversation up to that request's end; for the
// first request the catalogue and system prompt, cached by the turn before). The catalogue is
// every tool the assistant offers: the registry's families and the two the chat palette adds.

#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/ToolRegistry.hpp"
#include "engine/AnthropicProvider.hpp"
#include "engine/ModelBridge.hpp"
#include "engine/OpenAIProvider.hpp"
#include "engine/SystemPrompt.hpp"
#include "tools/ToolFamilies.hpp"

using nlohmann::json;

namespace {

const int kIterations = 10;

std::size_t Bytes(const json& value) { return value.dump().size(); }

struct TurnBytes {
    std::size_t total = 0;
    std::size_t prefix = 0;
};

// Renders every request of the turn as the engine would and counts its bytes.
template <typename Provider>
TurnBytes RenderTurn(const Provider& provider, const json& tools)
{
    Conversation conversation;
    conversation.AppendUser({ContentBlock::Text("Draw the ten outer walls of the ground floor, four metres apart.")});
    TurnBytes bytes;
    std::size_t repeatedMessages = 0;  // what the previous request's conversation held
    for (int i = 0; i < kIterations; ++i) {
        const json request = provider.RenderRequest(conversation.Messages(), SystemPrompt(), tools, "model", 4096);
        bytes.total += Bytes(request);
        const json& messages = request["messages"];
        // OpenAI's system message is the first message; Anthropic's system prompt is its own field.
        std::size_t prefix = Bytes(request["tools"]) + (request.contains("system") ? Bytes(request["system"]) : 0);
        const std::size_t firstHistory = request.contains("system") ? 0 : 1;
        for (std::size_t m = 0; m < messages.size(); ++m) {
            if (m < firstHistory || m < repeatedMessages) {
                prefix += Bytes(messages[m]);
            }
        }
        bytes.prefix += prefix;
        repeatedMessages = messages.size();

        const std::string id = "toolu_" + std::to_string(i);
        conversation.AppendAssistant({ContentBlock::Text("Wall " + std::to_string(i + 1) + " next."),
                                      ContentBlock::ToolUse(id, "create_wall",
                                                            {{"start_x", 4 * i},
                                                             {"start_y", 0},
                                                             {"end_x", 4 * i + 4},
                                                             {"end_y", 0},
                                                             {"thickness", 0.3},
                                                             {"story", 0}})});
        conversation.AppendUser({ContentBlock::ToolResult(id, R"({"element_guid":"3F2504E0-4F89-11D3-9A0C-0305E82C33)" +
                                                                  std::to_string(10 + i) +
                                                                  R"(","message":"Wall created","success":true})")});
    }
    return bytes;
}

template <typename Provider>
void TenIterationTurn(benchmark::State& state)
{
    // As the palette builds it: the engine owns the registry, and the palette's families (the plan
    // family reads the engine's attachments) join it afterwards through the palette's own call.
    auto owned = std::make_unique<ToolRegistry>();
    ToolRegistry& registry = *owned;
    ModelBridge bridge(std::move(owned));
    const ChatPreview preview = [](const std::string&, const std::string&) {};
    const ChatToolResult card = [](const std::string&, bool, const std::string&) {};
    RegisterPaletteFamilies(registry, preview, preview, card, bridge);
    const json tools = registry.GetToolDefinitions();
    const Provider provider;
    TurnBytes bytes;
    for (auto _ : state) {
        bytes = RenderTurn(provider, tools);
        benchmark::DoNotOptimize(bytes.total);
    }
    state.counters["tools"] = static_cast<double>(tools.size());
    state.counters["bytes_per_turn"] = static_cast<double>(bytes.total);
    state.counters["prefix_bytes_per_turn"] = static_cast<double>(bytes.prefix);
    state.counters["prefix_share_pct"] = 100.0 * static_cast<double>(bytes.prefix) / static_cast<double>(bytes.total);
}

void AnthropicTenIterationTurn(benchmark::State& state) { TenIterationTurn<AnthropicProvider>(state); }
void OpenAITenIterationTurn(benchmark::State& state) { TenIterationTurn<OpenAIProvider>(state); }

}  // namespace

BENCHMARK(AnthropicTenIterationTurn)->Unit(benchmark::kMicrosecond);
BENCHMARK(OpenAITenIterationTurn)->Unit(benchmark::kMicrosecond);
