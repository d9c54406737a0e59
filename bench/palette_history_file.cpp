// The conversation's file after 100 turns, each of which read a listing long enough to be cut at
// the tool-result cap: the save after turn 100 beside a plain write of the same new bytes (open,
// write, fsync, close: the same durability without the encoding), and the file's size beside the
// conversation's own bytes. Beside them, the whole-file rewrite each turn used to make, and the
// reading of that file at a restart: whole, and with a damaged record in its middle (read
// around, each record parsed once).

#include <chrono>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "TempFolder.hpp"
#include "core/ConversationFiles.hpp"
#include "core/FileText.hpp"
#include "core/OutsideText.hpp"
#include "core/ToolRegistry.hpp"
#include "engine/HistoryJson.hpp"
#include "palette/ConversationLog.hpp"

using nlohmann::json;

namespace {

constexpr int kTurns = 100;

struct Conversation100 {
    std::vector<HistoryMessage> history;
    json entries = json::array();
    double ownBytes = 0;  // every text, input, result and name the conversation holds, once

    // One turn: a question, a listing asked for, its result cut at the cap, an answer.
    void AddTurn(int turn)
    {
        json listing = json::array();
        for (int i = 0; listing.size() < 4000; ++i)
            listing.push_back({{"guid", "0A1B2C3D-4E5F-6071-8293-" + std::to_string(100000000000 + turn * 10000 + i)},
                               {"type", "wall"},
                               {"story", turn % 4},
                               {"layer", "Structural - Bearing"},
                               {"length", 3.25 + i}});
        ToolResult result;
        result.success = true;
        result.message = BoundedResultText(listing.dump());
        const std::string id = "toolu_" + std::to_string(turn), ask = "List the walls of story " + std::to_string(turn);
        const std::string before = "Listing them.", after = "There are many walls; the first page is above.";
        history.push_back({Role::User, {ContentBlock::Text(ask)}});
        history.push_back({Role::Assistant,
                           {ContentBlock::Text(before), ContentBlock::ToolUse(id, "list_elements", {{"page", turn}})}});
        history.push_back({Role::User, {ContentBlock::ToolResult(id, result.toJson())}});
        history.push_back({Role::Assistant, {ContentBlock::Text(after)}});
        entries.push_back({{"kind", "user"}, {"text", ask}, {"files", json::array()}});
        entries.push_back({{"kind", "assistant"}, {"text", before}});
        entries.push_back({{"kind", "tool"}, {"name", "list_elements"}, {"success", true}, {"detail", result.message}});
        entries.push_back({{"kind", "assistant"}, {"text", after}});
        for (auto m = history.end() - 4; m != history.end(); ++m)
            for (const ContentBlock& block : m->blocks)
                ownBytes += static_cast<double>(block.text.size() + block.Data().size() + block.toolId.size() +
                                                block.toolName.size() +
                                                (block.kind == BlockKind::ToolUse ? block.input.dump().size() : 0));
    }
};

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The new bytes written plainly, at the same place, as durably.
double PlainAppend(const std::string& path, const std::string& bytes, off_t at)
{
    if (::truncate(path.c_str(), at) != 0) return 0;
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    const bool ok =
        fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    return ok ? Seconds(start) : 0;
}

void BM_SaveAfterTurn100(benchmark::State& state)
{
    ScopedHome home;
    Conversation100 conversation;
    ConversationLog log;
    log.StartNew();
    std::string error;
    for (int turn = 1; turn < kTurns; ++turn) {
        conversation.AddTurn(turn);
        if (!log.Save(conversation.history, conversation.entries, std::string::npos, error))
            return state.SkipWithError(error.c_str());
    }
    const std::string path = LocalStorage::ConversationPath(log.Name());
    const off_t before = static_cast<off_t>(TempFolder::Read(path).size());
    const ConversationLog afterTurn99 = log;
    const KeptPosition at99 = PositionOf(conversation.history, conversation.entries);
    conversation.AddTurn(kTurns);
    double saving = 0, plain = 0, encoding = 0;
    std::string file;
    for (auto _ : state) {
        if (::truncate(path.c_str(), before) != 0) return state.SkipWithError("cannot cut the file back");
        log = afterTurn99;
        const auto start = std::chrono::steady_clock::now();
        const bool saved = log.Save(conversation.history, conversation.entries, std::string::npos, error);
        const double took = Seconds(start);
        if (!saved) return state.SkipWithError(error.c_str());
        state.SetIterationTime(took);
        saving += took;
        file = TempFolder::Read(path);
        plain += PlainAppend(path, file.substr(static_cast<std::size_t>(before)), before);
        const auto encodeStart = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(EncodeRecord(conversation.history, conversation.entries, at99));
        encoding += Seconds(encodeStart);
    }
    state.counters["new_bytes"] = static_cast<double>(file.size()) - static_cast<double>(before);
    state.counters["vs_plain_write"] = plain > 0 ? saving / plain : 0;
    state.counters["encoding_share"] = encoding / saving;
    state.counters["file_bytes"] = static_cast<double>(file.size());
    state.counters["file_per_own_byte"] = static_cast<double>(file.size()) / conversation.ownBytes;
    // Every save appends once, so over the conversation the file is written once.
    state.counters["written_in_100_turns"] = static_cast<double>(file.size());
}
BENCHMARK(BM_SaveAfterTurn100)->UseManualTime()->Unit(benchmark::kMillisecond);

// How each turn was kept before: both lists in one object, rewritten whole after every turn.
void BM_WholeRewriteAfterTurn100(benchmark::State& state)
{
    ScopedHome home;
    Conversation100 conversation;
    for (int turn = 1; turn <= kTurns; ++turn) conversation.AddTurn(turn);
    const std::string path = home.Path() + "/conversation.json";
    std::string file;
    for (auto _ : state) {
        const json record{
            {"version", 1}, {"history", HistoryToJson(conversation.history)}, {"transcript", conversation.entries}};
        file = record.dump(-1, ' ', false, json::error_handler_t::replace);
        if (!WriteWholeFileAtomic(path, file, 0600)) return state.SkipWithError("cannot write");
    }
    state.counters["file_bytes"] = static_cast<double>(file.size());
    state.counters["file_per_own_byte"] = static_cast<double>(file.size()) / conversation.ownBytes;
    // Each turn added about as much as the next: turn t rewrote t hundredths of the last file.
    state.counters["written_in_100_turns"] = static_cast<double>(file.size()) * (kTurns + 1) / 2;
}
BENCHMARK(BM_WholeRewriteAfterTurn100)->Unit(benchmark::kMillisecond);

// Reading the 100-turn file as a restart does; range(0): 1 when turn 50's record is damaged.
void BM_ReadAfterTurn100(benchmark::State& state)
{
    ScopedHome home;
    Conversation100 conversation;
    ConversationLog log;
    log.StartNew();
    std::string error;
    for (int turn = 1; turn <= kTurns; ++turn) {
        conversation.AddTurn(turn);
        if (!log.Save(conversation.history, conversation.entries, std::string::npos, error))
            return state.SkipWithError(error.c_str());
    }
    std::string file = TempFolder::Read(LocalStorage::ConversationPath(log.Name()));
    if (state.range(0) == 1) {
        std::size_t at = 0;
        for (int line = 1; line < kTurns / 2; ++line) at = file.find('\n', at) + 1;
        file[at] = 'x';
    }
    std::size_t messages = 0;
    for (auto _ : state) {
        DecodedConversation read;
        if (!DecodeRecords(file, read, error)) return state.SkipWithError(error.c_str());
        messages = read.history.size();
    }
    state.counters["file_bytes"] = static_cast<double>(file.size());
    state.counters["messages_read"] = static_cast<double>(messages);
}
BENCHMARK(BM_ReadAfterTurn100)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
