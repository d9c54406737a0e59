// Conversations of 10,000 turns: reading their file (clean, with one damaged record in its middle,
// and with every tool call named "call_0" as some services name them), opening it as a restart
// does (a damaged file is set aside and written anew; also with every 100th record damaged, and at
// 100,000 turns), writing it whole, and naming the calls of a reply after thousands of earlier
// calls that share its id.

#include <chrono>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "TempFolder.hpp"
#include "core/ConversationFiles.hpp"
#include "core/ToolRegistry.hpp"
#include "engine/ToolCallIds.hpp"
#include "palette/ConversationLog.hpp"

using nlohmann::json;

namespace {

constexpr int kTurns = 10000;

enum Kind { kClean, kDamaged, kAllCall0, kEvery100thDamaged };

// A turn: a question, a short answer with a tool call, its result, a last answer; and the page's
// four entries for it.
struct LongConversation {
    std::vector<HistoryMessage> history;
    json entries = json::array();
    std::string file;  // one record per turn, as the saves after each turn leave it

    LongConversation(int turns, bool allCall0)
    {
        for (int turn = 1; turn <= turns; ++turn) {
            const KeptPosition before = PositionOf(history, entries);
            const std::string n = std::to_string(turn);
            const std::string id = allCall0 ? "call_0" : "toolu_" + n, ask = "Which walls are on story " + n + "?";
            const std::string message = R"([{"guid":"0A1B2C3D-4E5F-6071-8293-)" + n +
                                        R"(","type":"wall","length":3.25},{"guid":"0A1B2C3D-4E5F-6071-8294-)" + n +
                                        R"(","type":"wall","length":4.5}])";
            const std::string result = ToolResult::Ok("", message).toJson(), answer = "Two walls, " + n + " m apart.";
            history.push_back({Role::User, {ContentBlock::Text(ask)}});
            history.push_back({Role::Assistant,
                               {ContentBlock::Text("Listing them."),
                                ContentBlock::ToolUse(id, "list_elements", {{"story", turn}, {"type", "wall"}})}});
            history.push_back({Role::User, {ContentBlock::ToolResult(id, result)}});
            history.push_back({Role::Assistant, {ContentBlock::Text(answer)}});
            entries.push_back({{"kind", "user"}, {"text", ask}, {"files", json::array()}});
            entries.push_back({{"kind", "assistant"}, {"text", "Listing them."}});
            entries.push_back({{"kind", "tool"}, {"name", "list_elements"}, {"success", true}, {"detail", message}});
            entries.push_back({{"kind", "assistant"}, {"text", answer}});
            file += EncodeRecord(history, entries, before);
        }
    }
};

const LongConversation& Conversation(Kind kind, int turns = kTurns)
{
    static const LongConversation distinct(kTurns, false), call0(kTurns, true);
    if (turns != kTurns) {
        static const LongConversation longer(10 * kTurns, false);
        return longer;
    }
    return kind == kAllCall0 ? call0 : distinct;
}

// The file of kind: the record of the middle turn, or of every 100th, damaged at its first byte
// when asked.
std::string FileOf(Kind kind, int turns = kTurns)
{
    std::string file = Conversation(kind, turns).file;
    std::size_t at = 0;
    for (int line = 1; line < turns && (kind == kDamaged || kind == kEvery100thDamaged); ++line) {
        at = file.find('\n', at) + 1;
        if (kind == kEvery100thDamaged ? (line + 1) % 100 == 0 : line + 1 == turns / 2) file[at] = 'x';
    }
    return file;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Reading the file's records into a conversation; range(0) is the Kind.
void BM_ReadLongConversation(benchmark::State& state)
{
    const std::string file = FileOf(static_cast<Kind>(state.range(0)));
    std::size_t messages = 0;
    std::string why;
    for (auto _ : state) {
        DecodedConversation read;
        if (!DecodeRecords(file, read, why)) return state.SkipWithError(why.c_str());
        messages = read.history.size();
    }
    state.counters["file_bytes"] = static_cast<double>(file.size());
    state.counters["messages_read"] = static_cast<double>(messages);
}
BENCHMARK(BM_ReadLongConversation)->Arg(kClean)->Arg(kDamaged)->Arg(kAllCall0)->Unit(benchmark::kMillisecond);

// A restart taking up the file: a damaged one is also set aside and the conversation written
// anew before the palette gets it. range(0) is the Kind, range(1) the turns.
void BM_OpenLongConversation(benchmark::State& state)
{
    ScopedHome home;
    const std::string file = FileOf(static_cast<Kind>(state.range(0)), static_cast<int>(state.range(1)));
    std::size_t messages = 0;
    for (auto _ : state) {
        std::filesystem::remove_all(LocalStorage::HistoryDir());
        std::filesystem::create_directories(LocalStorage::HistoryDir());
        TempFolder::Write(LocalStorage::ConversationPath("conversation-long"), file);
        ConversationLog log;
        std::vector<HistoryMessage> history;
        json entries;
        const auto start = std::chrono::steady_clock::now();
        const bool restored = log.RestoreNewest(history, entries);
        state.SetIterationTime(Seconds(start));
        if (!restored) return state.SkipWithError("nothing restored");
        messages = history.size();
    }
    state.counters["messages_read"] = static_cast<double>(messages);
}
BENCHMARK(BM_OpenLongConversation)
    ->Args({kClean, kTurns})
    ->Args({kDamaged, kTurns})
    ->Args({kEvery100thDamaged, kTurns})
    ->Args({kClean, 10 * kTurns})
    ->Args({kEvery100thDamaged, 10 * kTurns})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The whole conversation written into a new file, as after Clear's restore or a damaged file.
void BM_WriteLongConversationWhole(benchmark::State& state)
{
    ScopedHome home;
    const LongConversation& conversation = Conversation(kClean);
    std::string error, name;
    for (auto _ : state) {
        std::filesystem::remove_all(LocalStorage::HistoryDir());
        ConversationLog log;
        log.StartNew();
        const auto start = std::chrono::steady_clock::now();
        const bool saved = log.Save(conversation.history, conversation.entries, std::string::npos, error);
        state.SetIterationTime(Seconds(start));
        if (!saved) return state.SkipWithError(error.c_str());
        name = log.Name();
    }
    state.counters["file_bytes"] =
        static_cast<double>(std::filesystem::file_size(LocalStorage::ConversationPath(name)));
}
BENCHMARK(BM_WriteLongConversationWhole)->UseManualTime()->Unit(benchmark::kMillisecond);

// A reply whose one call says "call_0" after range(0) earlier calls that all said so, and were
// named "call_0", "call_0-2", "call_0-3", ... as they came.
void BM_NameReplyCallAfterRepeatedIds(benchmark::State& state)
{
    std::vector<HistoryMessage> history;
    for (int64_t call = 1; call <= state.range(0); ++call) {
        const std::string id = call == 1 ? "call_0" : "call_0-" + std::to_string(call);
        history.push_back({Role::Assistant, {ContentBlock::ToolUse(id, "list_elements", json::object())}});
        history.push_back({Role::User, {ContentBlock::ToolResult(id, "{}")}});
    }
    std::string named;
    for (auto _ : state) {
        ModelReply reply;
        reply.toolCalls.push_back({"call_0", "list_elements", json::object(), ""});
        reply.assistantBlocks.push_back(ContentBlock::ToolUse("call_0", "list_elements", json::object()));
        GiveDistinctToolIds(reply, history);
        named = reply.toolCalls[0].id;
    }
    if (named != "call_0-" + std::to_string(state.range(0) + 1)) state.SkipWithError("not the next free name");
}
BENCHMARK(BM_NameReplyCallAfterRepeatedIds)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
