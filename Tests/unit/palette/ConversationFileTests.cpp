// The conversation's file: each turn kept, a failed save shown until one works, read as far as
// it can be (damaged records left out), set aside and named in the chat, held against a second
// host, after Clear the new, empty one a restart opens, and a message no reply came for back in
// the input box.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <numeric>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "FakeProductService.hpp"
#include "ShellTest.hpp"
#include "TempFolder.hpp"
#include "core/ConversationFiles.hpp"
#include "core/FileText.hpp"
#include "core/MainThread.hpp"
#include "engine/HistoryJson.hpp"
#include "engine/ServiceErrors.hpp"
#include "palette/ConversationLog.hpp"
#include "palette/PageTranscript.hpp"

using nlohmann::json;

TEST_F(ShellTest, EachTurnIsKeptInItsConversationsFileAndAFailedSaveIsShownUntilOneWorks)
{
    const fs::path history = SettingsPath().parent_path() / "history";
    fs::create_directories(history.parent_path());
    std::ofstream(history) << "a file where the history folder belongs";
    ChatPalette palette;
    const auto turn = [&](const char* text) {  // without a key every turn ends unsent
        Call(palette, "sendMessage", {JS::Value(text)});
        EXPECT_TRUE(MainQueue::PumpUntil([&] { return !palette.GetBridge().IsBusy(); }, std::chrono::seconds(10)));
        MainQueue::DrainUntilIdle();
        return ReplayedEntries(palette).dump();  // as a reloaded page
    };
    const std::string warning = "\xE2\x9A\xA0 Conversation not saved: cannot make the folder " + history.string();
    EXPECT_NE(turn("Draw a wall").find(warning), std::string::npos);
    EXPECT_TRUE(AnyScriptStartsWith(palette, "QuillmereUI.addAssistantMessage('" + warning + "')"));
    fs::remove(history);
    EXPECT_EQ(turn("Draw another").find(warning), std::string::npos) << "a save that worked ends the warning";
    const fs::path first = fs::directory_iterator(history)->path();
    EXPECT_EQ(fs::status(first).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_NE(ReadFile(first).find("Draw a wall"), std::string::npos) << "what the failed save missed is kept";
    Call(palette, "clearHistory");
    turn("Something else");
    EXPECT_EQ(std::distance(fs::directory_iterator(history), fs::directory_iterator()), 2);
    EXPECT_EQ(ReadFile(first).find("Something else"), std::string::npos);
}

namespace {

// Turns 1..count: a question with a picture, a tool call (a message, a failure or an element in
// turn) with its card, and in even turns an answer (so the next question joins the results'
// message); from turn 3 on, the second question is marked unsent in place. {history, entries}.
json Turns(int count, std::vector<HistoryMessage>* messages = nullptr)
{
    Conversation history;
    json entries = json::array();
    for (int n = 1; n <= count; ++n) {
        const std::string id = "t" + std::to_string(n), png = "iVBORw0K" + id, wall = "[\"Wall-" + id + "\"]";
        const ToolResult result = n % 3 == 1 ? ToolResult::Ok("", wall) : ToolResult::Fail(wall);
        const ToolResult placed = ToolResult::Ok("Wall-" + id, "");
        history.AppendUser({ContentBlock::Text("Walls of " + id), ContentBlock::Image("image/png", png)});
        history.AppendAssistant({ContentBlock::ToolUse(id, "list_elements", {{"n", n}})});
        history.AppendUser({ContentBlock::ToolResult(id, (n % 3 ? result : placed).toJson(), n % 3 == 2)});
        const json file = {{"name", "p.png"}, {"media_type", "image/png"}, {"data", png}};
        entries.push_back({{"kind", "user"}, {"text", "Walls of " + id}, {"files", {file}}});
        entries.push_back({{"kind", "tool"},
                           {"name", "list_elements"},
                           {"success", n % 3 != 2},
                           {"detail", n % 3 ? wall : "Wall-" + id}});
        if (n % 2 == 1) continue;
        history.AppendAssistant({ContentBlock::Text("Done " + id)});
        entries.push_back({{"kind", "assistant"}, {"text", "Done " + id}});
    }
    if (count >= 3) entries[2]["unsent"] = true;
    if (messages != nullptr) *messages = history.Messages();
    return {HistoryToJson(history.Messages()), entries};
}

bool Save(ConversationLog& log, int turns, std::string& error)
{
    std::vector<HistoryMessage> history;
    const json entries = Turns(turns, &history)[1];
    return log.Save(history, entries, turns == 3 ? 2 : std::string::npos, error);
}

std::string Record(int turns)
{
    std::vector<HistoryMessage> history;
    return EncodeRecord(history, Turns(turns, &history)[1], {});
}

// count turns of an ordinary shape, some 90 values and a kilobyte each: a question, a text and a
// wall's creation, its result and an answer, with their page entries. {history, entries}.
json OrdinaryTurns(int count, std::vector<HistoryMessage>& history)
{
    json entries = json::array();
    const std::string answer(280, 'w');
    for (int n = 1; n <= count; ++n) {
        const std::string id = "toolu_" + std::to_string(100000 + n),
                          question = "Add wall " + std::to_string(n) +
                                     " along the north side of the "
                                     "courtyard, 3 m high",
                          result = ToolResult::Ok("Wall created", "A1B2C3D4-" + std::to_string(n)).toJson();
        const json input = {{"start", {{"x", n * 10}, {"y", 0}}},
                            {"end", {{"x", n * 10 + 5000}, {"y", 0}}},
                            {"height", 3000},
                            {"thickness", 200}};
        history.push_back({Role::User, {ContentBlock::Text(question)}});
        history.push_back({Role::Assistant,
                           {ContentBlock::Text("I will place the wall now, as the courtyard's plan shows it."),
                            ContentBlock::ToolUse(id, "create_wall", input)}});
        history.push_back({Role::User, {ContentBlock::ToolResult(id, result)}});
        history.push_back({Role::Assistant, {ContentBlock::Text(answer + std::to_string(n))}});
        entries.push_back({{"kind", "user"}, {"text", question}, {"files", json::array()}});
        entries.push_back({{"kind", "assistant"}, {"text", history[history.size() - 3].blocks[0].text}});
        entries.push_back({{"kind", "tool"}, {"name", "create_wall"}, {"success", true}, {"detail", "Wall created"}});
        entries.push_back({{"kind", "assistant"}, {"text", answer + std::to_string(n)}});
    }
    return {HistoryToJson(history), entries};
}

// count turns of a question, a tool call whose input holds a thousand numbers, its result and an
// answer. {history, entries}.
json LongTurns(int count, std::vector<HistoryMessage>& history)
{
    json entries = json::array();
    std::vector<int> points(1000);
    for (int n = 1; n <= count; ++n) {
        const std::string id = "p" + std::to_string(n), question = "Trace outline " + std::to_string(n);
        std::iota(points.begin(), points.end(), n);
        history.push_back({Role::User, {ContentBlock::Text(question)}});
        history.push_back({Role::Assistant, {ContentBlock::ToolUse(id, "trace", {{"points", points}})}});
        history.push_back({Role::User, {ContentBlock::ToolResult(id, ToolResult::Ok("", "traced " + id).toJson())}});
        history.push_back({Role::Assistant, {ContentBlock::Text("Traced " + id)}});
        entries.push_back({{"kind", "user"}, {"text", question}, {"files", json::array()}});
        entries.push_back({{"kind", "tool"}, {"name", "trace"}, {"success", true}, {"detail", "traced " + id}});
        entries.push_back({{"kind", "assistant"}, {"text", "Traced " + id}});
    }
    return {HistoryToJson(history), entries};
}

json Restored(ConversationLog& log)
{
    std::vector<HistoryMessage> history;
    json entries;
    log.RestoreNewest(history, entries);
    return {HistoryToJson(history), entries};
}

}  // namespace

TEST_F(ShellTest, AConversationComesBackAsFarAsItsFileCanBeReadAndGoesOnFromThere)
{
    std::string error;
    ConversationLog writer;
    writer.StartNew();
    for (int turns = 1; turns <= 3; ++turns) ASSERT_TRUE(Save(writer, turns, error)) << error;
    const std::string written = TempFolder::Read(LocalStorage::ConversationPath(writer.Name()));
    for (const char* once : {"Wall-t1", "iVBORw0Kt1", "Wall-t3", "iVBORw0Kt3"})  // a result and its card, a picture
        EXPECT_EQ(written.find(once), written.rfind(once)) << once << " is written more than once";
    const std::string failed = Record(2);  // a failed call's result and card
    EXPECT_EQ(failed.find("Wall-t2"), failed.rfind("Wall-t2"));
    const auto damaged = [&](int line) {  // its closing bracket
        std::size_t end = 0;
        for (int i = 0; i <= line; ++i) end = written.find('\n', end) + 1;
        return written.substr(0, end - 2) + "}" + written.substr(end - 1);
    };
    const json earlier = Turns(2);
    const auto version1 = [](const json& history) {
        return json{{"version", 1}, {"history", history}, {"transcript", json::array()}}.dump();
    };
    // Histories no service would take back.
    const json user = json::parse(R"({"role":"user","content":[{"type":"text","text":"Add a wall"}]})"),
               call = json::parse(
                   R"({"role":"assistant","content":[{"type":"tool_use","id":"t1","name":"w","input":{}}]})"),
               stray = json::parse(
                   R"({"role":"user","content":[{"type":"tool_result","id":"t9","text":"x","is_error":true}]})"),
               calls =
                   json::parse(R"({"role":"assistant","content":[{"type":"tool_use","id":"t1","name":"w","input":{}},
                                                                     {"type":"tool_use","id":"t2","name":"w","input":{}}]})"),
               firstResult = json::parse(
                   R"({"role":"user","content":[{"type":"tool_result","id":"t1","text":"x","is_error":false}]})"),
               answer = json::parse(R"({"role":"assistant","content":[{"type":"text","text":"Done"}]})"),
               lateResult = json::parse(
                   R"({"role":"user","content":[{"type":"tool_result","id":"t2","text":"x","is_error":false}]})");
    // A second record that leaves its call without a result.
    std::vector<HistoryMessage> unpaired;
    const json entries1 = Turns(1, &unpaired)[1];
    const KeptPosition afterFirst = PositionOf(unpaired, entries1);
    unpaired.push_back({Role::Assistant, {ContentBlock::ToolUse("t9", "create_wall", json::object())}});
    // The second record padded in its tool input with zeros: at what reading allows it is read.
    const std::string first = Record(1),
                      second = written.substr(first.size(), written.find('\n', first.size()) + 1 - first.size());
    const auto padded = [&](std::size_t zeros) {
        std::string line = second, padding = ",\"pad\":[0";
        for (std::size_t i = 1; i < zeros; ++i) padding += ",0";
        const std::string input = "\"input\":{\"n\":2}";
        return first + line.insert(line.find(input) + input.size() - 1, padding + "]");
    };
    const auto costWith = [&](std::size_t zeros) {
        const std::string file = padded(zeros);
        return RecordCost(file, first.size(), file.size() - 1);
    };
    const std::size_t eachZero = costWith(2) - costWith(1),
                      zerosAtCap = 1 + (kRecordCostFloor - costWith(1)) / eachZero;
    json atCap = Turns(2);
    atCap[0][3]["content"][0]["input"]["pad"] = std::vector<int>(zerosAtCap, 0);
    // A long conversation of an ordinary shape, as earlier versions wrote it whole: one record, or
    // (the oldest) one object.
    std::vector<HistoryMessage> ordinaryHistory;
    json ordinary = OrdinaryTurns(15000, ordinaryHistory), wholeHeader = {{"history", ordinary[0]},
                                                                          {"history_at", {0, 0}},
                                                                          {"transcript", ordinary[1]},
                                                                          {"transcript_at", 0},
                                                                          {"version", 2}};
    const std::string wholeRecord = json::array({wholeHeader}).dump() + "\n",
                      wholeObject = json{{"version", 1}, {"history", ordinary[0]}, {"transcript", ordinary[1]}}.dump();
    EXPECT_GT(wholeRecord.size(), 15000000u);
    // A turn whose tool input holds more values than a million, each an object: written as this
    // version writes it.
    std::vector<HistoryMessage> denseHistory;
    Turns(1, &denseHistory);
    denseHistory.push_back({Role::Assistant, {ContentBlock::ToolUse("d1", "trace", {{"p", json::array()}})}});
    denseHistory.back().blocks[0].input["p"] = std::vector<json>(1100000, json::object());
    denseHistory.push_back({Role::User, {ContentBlock::ToolResult("d1", "{}")}});
    json dense = {HistoryToJson(denseHistory), Turns(1)[1]};
    const std::string denseFile = EncodeRecord(denseHistory, dense[1], {});
    ordinaryHistory.clear(), denseHistory.clear(), wholeHeader = nullptr;  // what the rows hold is enough
    // A conversation of more values than a record is written with, written whole: in several records.
    std::vector<HistoryMessage> longHistory;
    const int longTurns = 1100;
    const json longConversation = LongTurns(longTurns, longHistory);
    const std::string longFile = EncodeRecord(longHistory, longConversation[1], {}),
                      longBare = EncodeRecord(longHistory, json::array(), {});
    EXPECT_GT(std::count(longFile.begin(), longFile.end(), '\n'), 1);
    for (const std::string once : {"\"traced p", "\"Traced p"}) {  // each result and text, cards and all
        int times = 0;
        for (std::size_t at = longFile.find(once); at != std::string::npos; at = longFile.find(once, at + 1)) ++times;
        EXPECT_EQ(times, longTurns) << once;
    }
    // Turn 2 lost with its record: turn 3's question joins the message before it, and its
    // entries, written from turn 2's on (one was changed in place), are all there.
    json lost = Turns(3), joined = lost[0][2];
    joined["content"] = {joined["content"][0], lost[0][6]["content"][0], lost[0][6]["content"][1]};
    lost[0] = {lost[0][0], lost[0][1], joined, lost[0][7], lost[0][8]};
    // Turn 3 lost with its record, and turn 4's rewriting the entries from turn 2's on, before
    // the records read whole: its question becomes a message of its own.
    std::vector<HistoryMessage> three, four;
    KeptPosition afterThree = PositionOf(three, Turns(3, &three)[1]);
    afterThree.entries = 2;
    json reshown = Turns(4, &four), asked = reshown[0][8];
    const std::string reshownBytes = damaged(2) + EncodeRecord(four, reshown[1], afterThree);
    asked["content"] = {asked["content"][1], asked["content"][2]};
    reshown[0] = {reshown[0][0], reshown[0][1], reshown[0][2], reshown[0][3],  reshown[0][4],
                  reshown[0][5], asked,         reshown[0][9], reshown[0][10], reshown[0][11]};
    // Two calls of one reply under one id: each result goes with its call, by their order.
    const json twin = json::parse(R"([[{"role":"user","content":[{"type":"text","text":"Two walls"}]},
        {"role":"assistant","content":[{"type":"tool_use","id":"c0","name":"w","input":{"n":1}},
                                       {"type":"tool_use","id":"c0","name":"w","input":{"n":2}}]},
        {"role":"user","content":[{"type":"tool_result","id":"c0","text":"{}","is_error":false},
                                  {"type":"tool_result","id":"c0","text":"{}","is_error":true}]}], []])");
    json twinRead = twin;
    twinRead[0][1]["content"][1]["id"] = twinRead[0][2]["content"][1]["id"] = "c0-2";
    const struct {
        const char* name;
        std::string bytes;
        bool tooLong;  // a name with no room left for ".damaged"
        int turns;
        bool older, aside;  // the older conversation restored; the file set aside
        json read;          // what is restored, when not Turns(turns)
    } rows[] = {
        {"as written", written, false, 3, false, false},
        {"the last record unfinished", written.substr(0, written.size() - 9), false, 2, false, false},
        {"the last record damaged", damaged(2), false, 2, false, false},
        {"the last record at what its length allows", padded(zerosAtCap), false, 2, false, false, std::move(atCap)},
        {"the last record one value past what its length allows", padded(zerosAtCap + 1), false, 1, false, false},
        {"a long conversation written whole in one record", wholeRecord, false, 1, false, false, ordinary},
        {"a long conversation written whole in one object", wholeObject, false, 1, false, false, std::move(ordinary)},
        {"a tool input of more values than a million", denseFile, false, 1, false, false, std::move(dense)},
        {"a conversation of many records written whole", longFile, false, 1, false, false, longConversation},
        {"the same without the page's entries", longBare, false, 1, false, false, {longConversation[0], json::array()}},
        {"the second record leaves a call without its result", first + EncodeRecord(unpaired, entries1, afterFirst),
         false, 1, false, false},
        {"a record damaged inside, the whole ones after it kept", damaged(1), false, 3, false, true, lost},
        {"a record damaged inside, entries read whole rewritten after it", reshownBytes, false, 4, false, true,
         reshown},
        {"two calls sharing one id", version1(twin[0]), false, 1, false, false, twinRead},
        {"an earlier version's file", json{{"version", 1}, {"history", earlier[0]}, {"transcript", earlier[1]}}.dump(),
         false, 2, false, false},
        {"two user messages in a row", version1({user, user}), false, 1, true, true},
        {"starting with the assistant", version1({call}), false, 1, true, true},
        {"a result for a call never made", version1({stray}), false, 1, true, true},
        {"a call left without its result", version1({user, call}), false, 1, true, true},
        {"a call answered only a message late", version1({user, calls, firstResult, answer, lateResult}), false, 1,
         true, true},
        {"a block of an unknown kind", version1({{{"role", "user"}, {"content", {{{"type", "video"}}}}}}), false, 1,
         true, true},
        {"no list of messages", version1(user), false, 1, true, true},
        {"nothing readable", "{", false, 1, true, true},
        {"nothing readable, no room to set it aside", "{", true, 1, true, false},
    };
    for (const auto& row : rows) {
        fs::remove_all(LocalStorage::HistoryDir());
        fs::create_directories(LocalStorage::HistoryDir());
        TempFolder::Write(LocalStorage::ConversationPath("conversation-older"), Record(1));
        fs::last_write_time(LocalStorage::ConversationPath("conversation-older"),
                            fs::file_time_type::clock::now() - std::chrono::hours(1));
        const std::string name = row.tooLong ? std::string(250, 'c') : "conversation-newest";
        TempFolder::Write(LocalStorage::ConversationPath(name), row.bytes);
        ConversationLog log, next;
        const json restored = Restored(log);
        EXPECT_EQ(restored, row.read.is_null() ? Turns(row.turns) : row.read) << row.name;
        EXPECT_EQ(log.Name(), row.older ? "conversation-older" : name) << row.name;
        EXPECT_EQ(::access((LocalStorage::ConversationPath(name) + ".damaged").c_str(), F_OK) == 0, row.aside)
            << row.name;
        // The conversation goes on from what was restored.
        json more = row.read.is_null() ? Turns(row.turns + 1) : restored;
        std::vector<HistoryMessage> history;
        ASSERT_TRUE(HistoryFromJson(more[0], history, error)) << row.name;
        if (!row.read.is_null()) {  // a message of the role whose turn it is
            const bool asks = history.back().role == Role::Assistant;
            history.push_back({asks ? Role::User : Role::Assistant, {ContentBlock::Text("Go on")}});
            more = {HistoryToJson(history), more[1]};
            more[1].push_back({{"kind", asks ? "user" : "assistant"}, {"text", "Go on"}});
        }
        ASSERT_TRUE(row.read.is_null() ? Save(log, row.turns + 1, error)
                                       : log.Save(history, more[1], std::string::npos, error))
            << row.name << ": " << error;
        log = ConversationLog();  // its host quits, letting go of the file
        EXPECT_EQ(Restored(next), more) << row.name;
        EXPECT_NE(::access((LocalStorage::ConversationPath(name) + ".damaged.1").c_str(), F_OK), 0)
            << row.name << ": set aside again";
    }
}

TEST_F(ShellTest, ADamagedRecordIsFoundOutWithinTwoHundredMegabytes)
{
    // After the first turn, a record of a call whose input is a 16 MiB list of small values: the
    // values that take most memory to a byte.
    const std::string first = Record(1), head = R"([{"history":[{"content":[{"id":"c1","input":{"p":[)",
                      tail = R"(]},"name":"trace","type":"tool_use"}],"role":"assistant"},)"
                             R"({"content":[{"id":"c1","is_error":false,"text":"{}","type":"tool_result"}],)"
                             R"("role":"user"}],"history_at":[3,1],"transcript":[],"transcript_at":2,"version":2}])";
    const auto list = [&](const std::string& value, bool whole) {
        std::string line = head + value;
        for (std::size_t i = 0; i < (16u << 20) / (value.size() + 1); ++i) line.append(",").append(value);
        return first + line + (whole ? tail : "") + "\n";
    };
    const struct {
        const char* name;
        std::string file;
    } rows[] = {
        {"empty objects, the record unfinished", list("{}", false)},
        {"empty objects, the record whole", list("{}", true)},
        {"numbers, the record whole", list("0", true)},
    };
    constexpr rlim_t kMostBytes = 200u << 20;
    for (const auto& row : rows) {
        // Read in a child whose address space may grow by the bound alone.
        const pid_t child = ::fork();
        if (child == 0) {
            std::size_t pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            const rlim_t bound = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + kMostBytes;
            const struct rlimit limit = {bound, bound};
            DecodedConversation read;
            std::string why;
            const bool found = ::setrlimit(RLIMIT_AS, &limit) == 0 && DecodeRecords(row.file, read, why) &&
                               read.history.size() == 3 && read.readBytes == first.size();
            std::_Exit(found ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << row.name << ": " << status;
    }
}

TEST_F(ShellTest, AWriteThatFailsLeavesTheOldBytesAndTheNextSaveWritesWhatItMissed)
{
    struct rlimit unlimited {};
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    const auto limit = [&](const std::string& file) {  // reached part-way
        const struct rlimit small = {fs::file_size(file) + 10, unlimited.rlim_max};
        ::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &small);
    };
    const auto unlimit = [&](const std::string&) { ::setrlimit(RLIMIT_FSIZE, &unlimited), ::signal(SIGXFSZ, SIG_DFL); };
    using Step = std::function<void(const std::string&)>;
    const struct {
        const char* name;
        Step spoil, mend;
        bool wholeFileWriter;
    } rows[] = {
        {"a folder at the file's name", [](auto& f) { fs::rename(f, f + "~"), fs::create_directory(f); },
         [](auto& f) { fs::remove(f), fs::rename(f + "~", f); }, false},
        {"a file-size limit", limit, unlimit, false},
        {"a file-size limit, whole-file writer", limit, unlimit, true},
    };
    for (const auto& row : rows) {
        fs::remove_all(LocalStorage::HistoryDir());
        ConversationLog log, next;
        log.StartNew();
        std::string error;
        ASSERT_TRUE(Save(log, 1, error)) << error;
        const std::string file = LocalStorage::ConversationPath(log.Name()), old = TempFolder::Read(file);
        fs::create_hard_link(file, file + ".link");
        const auto write = [&](int turns) {
            return row.wholeFileWriter ? WriteWholeFileAtomic(file, Record(turns), 0600, &error)
                                       : Save(log, turns, error);
        };
        row.spoil(file);
        const bool saved = write(2);
        row.mend(file);
        EXPECT_FALSE(saved) << row.name;
        EXPECT_EQ(TempFolder::Read(file), old) << row.name;
        ASSERT_TRUE(write(3)) << row.name << ": " << error;
        // The log adds to the file it wrote; the whole-file writer puts a new file in its place.
        EXPECT_EQ(TempFolder::Read(file + ".link"), row.wholeFileWriter ? old : TempFolder::Read(file)) << row.name;
        log = ConversationLog();
        EXPECT_EQ(Restored(next), Turns(3)) << row.name;
    }
}

namespace {

// A conversation of count turns other than Turns(): a question and an answer each. {history, entries}.
json OtherTurns(int count, std::vector<HistoryMessage>& history)
{
    json entries = json::array();
    history.clear();
    for (int n = 1; n <= count; ++n) {
        const std::string question = "Door " + std::to_string(n), answer = "Placed " + std::to_string(n);
        history.push_back({Role::User, {ContentBlock::Text(question)}});
        history.push_back({Role::Assistant, {ContentBlock::Text(answer)}});
        entries.push_back({{"kind", "user"}, {"text", question}, {"files", json::array()}});
        entries.push_back({{"kind", "assistant"}, {"text", answer}});
    }
    return {HistoryToJson(history), entries};
}

// What the conversation file of name holds, read as a restart would.
json FileHolds(const std::string& name)
{
    DecodedConversation read;
    std::string why;
    if (!DecodeRecords(TempFolder::Read(LocalStorage::ConversationPath(name)), read, why)) return why;
    return {HistoryToJson(read.history), read.entries};
}

}  // namespace

TEST_F(ShellTest, TwoHostsOnOneFolderEachKeepAConversationOfTheirOwn)
{
    std::string error;
    std::vector<HistoryMessage> other;
    ConversationLog a, b;
    a.StartNew();
    ASSERT_TRUE(Save(a, 1, error)) << error;
    EXPECT_EQ(Restored(b), json::array({json::array(), nullptr})) << "the file A holds is not B's to take up";
    // Turns saved in turn by each host land in its own file, whole.
    ASSERT_TRUE(b.Save(other, OtherTurns(1, other)[1], std::string::npos, error)) << error;
    ASSERT_TRUE(Save(a, 2, error)) << error;
    ASSERT_TRUE(b.Save(other, OtherTurns(2, other)[1], std::string::npos, error)) << error;
    EXPECT_NE(a.Name(), b.Name());
    EXPECT_EQ(FileHolds(a.Name()), Turns(2));
    EXPECT_EQ(FileHolds(b.Name()), OtherTurns(2, other));

    // A writer that does not hold the file adds to it: its bytes stay, and A goes on in a new file.
    const std::string first = a.Name(), foreign = "{\"written\":\"elsewhere\"}\n";
    std::ofstream(LocalStorage::ConversationPath(first), std::ios::app) << foreign;
    const std::string before = TempFolder::Read(LocalStorage::ConversationPath(first));
    ASSERT_TRUE(Save(a, 3, error)) << error;
    EXPECT_NE(a.Name(), first);
    EXPECT_EQ(TempFolder::Read(LocalStorage::ConversationPath(first)), before);
    EXPECT_EQ(FileHolds(a.Name()), Turns(3));
    // The same where the file would be written whole (one of an earlier version, taken up anew).
    a = ConversationLog(), b = ConversationLog();
    const json earlier = Turns(1);
    TempFolder::Write(LocalStorage::ConversationPath("conversation-zz-earlier"),
                      json{{"version", 1}, {"history", earlier[0]}, {"transcript", earlier[1]}}.dump());
    ConversationLog c;
    EXPECT_EQ(Restored(c), earlier);
    ASSERT_EQ(c.Name(), "conversation-zz-earlier");
    std::ofstream(LocalStorage::ConversationPath(c.Name()), std::ios::app) << foreign;
    const std::string earlierBytes = TempFolder::Read(LocalStorage::ConversationPath(c.Name()));
    ASSERT_TRUE(Save(c, 2, error)) << error;
    EXPECT_NE(c.Name(), "conversation-zz-earlier");
    EXPECT_EQ(TempFolder::Read(LocalStorage::ConversationPath("conversation-zz-earlier")), earlierBytes);

    // Two hosts clearing in the same second: two new files, neither written over.
    ConversationLog x, y;
    x.StartNew(), y.StartNew();
    ASSERT_TRUE(x.Save({}, json::array(), std::string::npos, error)) << error;
    ASSERT_TRUE(y.Save(other, OtherTurns(1, other)[1], std::string::npos, error)) << error;
    EXPECT_NE(x.Name(), y.Name());
    EXPECT_EQ(FileHolds(x.Name()), json::array({json::array(), json::array()}));
    EXPECT_EQ(FileHolds(y.Name()), OtherTurns(1, other));
}

TEST_F(ShellTest, AnEntryChangedInPlaceAfterItWasKeptIsWrittenAgain)
{
    using Step = std::function<void(PageTranscript&)>;
    const json box = {{"text", "Draw a wall"}, {"files", json::array()}};
    const Step none = [](PageTranscript&) {};
    const struct {
        const char* name;
        Step before, change;  // before and after the first save
    } rows[] = {
        {"given back unsent", none, [&](PageTranscript& page) { page.MarkReturned(box, false); }},
        {"given back unanswered", none, [&](PageTranscript& page) { page.MarkReturned(box, true); }},
        {"left unanswered as the host stops", none, [](PageTranscript& page) { page.MarkUnanswered(); }},
        {"refused", none, [](PageTranscript& page) { page.MarkNewestUnsent(); }},
        {"its box emptied by the next message", [&](PageTranscript& page) { page.MarkReturned(box, false); },
         [](PageTranscript& page) { page.EmptyBoxes(); }},
    };
    for (const auto& row : rows) {
        PageTranscript page;
        page.AddAssistantMessage("Hello");
        page.AddUserMessage("Draw a wall", {});
        row.before(page);
        ConversationLog log;
        log.StartNew();
        std::string error;
        ASSERT_TRUE(log.Save({}, page.Entries(), page.ChangedFrom(), error)) << row.name << ": " << error;
        page.MarkKept();
        const json before = page.Entries();
        row.change(page);
        ASSERT_NE(page.Entries(), before) << row.name;
        ASSERT_TRUE(log.Save({}, page.Entries(), page.ChangedFrom(), error)) << row.name << ": " << error;
        EXPECT_EQ(FileHolds(log.Name()), json::array({json::array(), page.Entries()})) << row.name;
    }
}

TEST_F(ShellTest, ASetAsideFileStaysRestorableUntilItsRepairedCopyIsWritten)
{
    std::string error;
    ConversationLog writer;
    writer.StartNew();
    for (int turns = 1; turns <= 3; ++turns) ASSERT_TRUE(Save(writer, turns, error)) << error;
    const std::string path = LocalStorage::ConversationPath(writer.Name()), written = TempFolder::Read(path);
    writer = ConversationLog();
    // The second record damaged: the file is read in part, set aside and written anew.
    const std::size_t second = written.find('\n') + 1;
    const std::string damaged = written.substr(0, second) + "x" + written.substr(second + 1);
    TempFolder::Write(path, damaged);
    // Our temporary files left by a process of this machine that is gone are removed; a running
    // one's stay, and so do those of other machines sharing the folder, whatever their ids.
    const pid_t gone = ::fork();
    if (gone == 0) std::_Exit(0);
    ::waitpid(gone, nullptr, 0);
    std::string running;
    const int made = CreateTemporary(LocalStorage::HistoryDir() + "/conversation", 0600, running);
    ASSERT_GE(made, 0);
    ::close(made);
    const std::string ours = LocalStorage::HistoryDir() + "/.quillmere-",
                      host = running.substr(ours.size(), running.rfind("-" + std::to_string(::getpid())) - ours.size()),
                      ended = "-" + std::to_string(gone) + "-0.tmp";
    const std::string stale = ours + host + ended, elsewhere = ours + "another.machine" + ended,
                      alike = ours + host + "_2" + ended;
    for (const std::string& file : {stale, elsewhere, alike}) TempFolder::Write(file, "half");

    // The repaired copy cannot be written (as if the host were killed before it was): the file
    // keeps its bytes under its name, so a restart still finds the conversation.
    struct rlimit unlimited {};
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    struct rlimit small = unlimited;
    small.rlim_cur = damaged.size() / 2;
    ::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &small);
    ConversationLog killed, next;
    const json partly = Restored(killed);
    ::setrlimit(RLIMIT_FSIZE, &unlimited), ::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(TempFolder::Read(path), damaged);
    EXPECT_EQ(TempFolder::Read(path + ".damaged"), damaged);
    EXPECT_FALSE(fs::exists(stale));
    for (const std::string& file : {running, elsewhere, alike}) EXPECT_TRUE(fs::exists(file)) << file;
    killed = ConversationLog();
    std::vector<ConversationLog::SetAside> aside;
    std::vector<HistoryMessage> history;
    json entries;
    ASSERT_TRUE(next.RestoreNewest(history, entries, &aside));
    EXPECT_EQ(json::array({HistoryToJson(history), entries}), partly);
    EXPECT_EQ(next.Name(), fs::path(path).stem().string());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(aside[0].file, fs::path(path).filename().string() + ".damaged.1");
    EXPECT_TRUE(aside[0].restoredInPart);
    EXPECT_EQ(FileHolds(next.Name()), partly) << "written anew";
}

TEST_F(ShellTest, AfterClearARestartOpensTheNewEmptyConversation)
{
    {
        ChatPalette palette;
        Call(palette, "sendMessage", {JS::Value("Draw a wall")});  // without a key the turn ends unsent
        EXPECT_TRUE(MainQueue::PumpUntil([&] { return !palette.GetBridge().IsBusy(); }, std::chrono::seconds(10)));
        MainQueue::DrainUntilIdle();
        ASSERT_EQ(ReplayedEntries(palette).size(), 2u);
        Call(palette, "clearHistory");
    }
    ChatPalette restarted;
    EXPECT_EQ(ReplayedEntries(restarted), json::array());
    // The cleared conversation's file stays in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(LocalStorage::HistoryDir()), fs::directory_iterator()), 2);
}

TEST_F(ShellTest, TheChatSaysOnceWhichConversationWasSetAsideAndThatTheHostStoppedMidTurn)
{
    fs::create_directories(LocalStorage::HistoryDir());
    TempFolder::Write(LocalStorage::ConversationPath("conversation-damaged"), "{");
    const std::string notice =
        "\xE2\x9A\xA0 A conversation that could not be read was set aside in the history folder as "
        "conversation-damaged.json.damaged.";
    {
        ChatPalette palette;
        EXPECT_EQ(ReplayedEntries(palette), json::array({{{"kind", "assistant"}, {"text", notice}}}));
        // The host stops while a turn is under way (its end never reaches the palette).
        palette.SetThinking(true);
        palette.GetBridge().Shutdown();
    }
    ChatPalette restarted;
    const json entries = ReplayedEntries(restarted);
    ASSERT_EQ(entries.size(), 2u) << entries;
    EXPECT_EQ(entries[0]["text"], notice) << "told once, kept with the conversation";
    EXPECT_EQ(entries[1]["text"],
              "\xE2\x9A\xA0 The assistant stopped before it answered: the host was closed. Send the message again "
              "to continue.");
}

TEST_F(ShellTest, AQuestionTheHostStoppedBeforeAnsweringComesBackNotAnsweredInTheBoxWhoeverSaysSo)
{
    const json content = {{{"type", "image"},
                           {"name", "stair.png"},
                           {"source", {{"type", "base64"}, {"media_type", "image/png"}, {"data", "QQ=="}}}},
                          {{"type", "text"}, {"text", "Where does the stair go?"}}};
    const json box = {{"text", "Where does the stair go?"},
                      {"files", {{{"name", "stair.png"}, {"media_type", "image/png"}, {"data", "QQ=="}}}}};
    // The engine giving the question back as the host quits, or the palette closing before the
    // engine said anything: one outcome.
    for (const bool engineSaidSo : {true, false}) {
        SCOPED_TRACE(engineSaidSo ? "given back by the engine" : "the palette closed first");
        {
            ChatPalette palette;
            Call(palette, "clearHistory");
            ASSERT_TRUE(Call(palette, "sendMessageWithAttachments", {JS::Value(content.dump())}).GetBool());
            palette.GetBridge().Shutdown();  // nothing the engine posts reaches the palette now
            if (engineSaidSo)
                palette.ReturnUnsentMessage(
                    {ContentBlock::Image("image/png", "QQ=="), ContentBlock::Text("Where does the stair go?")},
                    ModelBridge::GivenBack::NotAnswered);
        }
        ChatPalette restarted;
        const json entries = ReplayedEntries(restarted);
        ASSERT_EQ(entries.size(), 2u) << entries;
        EXPECT_TRUE(entries[0].value("unanswered", false)) << entries;
        EXPECT_EQ(entries[0].value("box", json()), box);
        EXPECT_EQ(entries[1], json({{"kind", "assistant"}, {"text", StoppedBeforeAnswerWarning()}})) << "said once";
        // What is sent next holds what was in the box: it is not put back again.
        Call(restarted, "sendMessage", {JS::Value("Where does the stair go?")});
        EXPECT_FALSE(ReplayedEntries(restarted)[0].contains("box"));
    }
}

TEST_F(ShellTest, AConversationKeptEndingOnAnUnansweredQuestionGivesItBackInsteadOfSendingItAgain)
{
    const std::string question = "Where does the stair go?";
    FakeProductService model;
    const auto reply = [](const char* text) {
        return FakeProductService::Reply{200, json({{"role", "assistant"},
                                                    {"content", {{{"type", "text"}, {"text", text}}}},
                                                    {"stop_reason", "end_turn"}})
                                                  .dump()};
    };
    setenv("QUILLMERE_ANTHROPIC_URL", model.BaseUrl().c_str(), 1);
    const auto turn = [](ChatPalette& palette, const std::string& text) {
        Call(palette, "sendMessage", {JS::Value(text)});
        EXPECT_TRUE(MainQueue::PumpUntil([&] { return !palette.GetBridge().IsBusy(); }, std::chrono::seconds(10)));
        MainQueue::DrainUntilIdle();
    };
    const struct {
        const char* name;
        bool blankReply;    // the file ends on the question as a blank reply leaves it; else as kept
                            // while the engine held on to the question
        bool nextAnswered;  // else it ends unsent (no key), which writes the file whole
    } rows[] = {
        {"kept while the engine held it, the next message not sent", false, false},
        {"kept while the engine held it, the next message answered", false, true},
        {"answered with blank text, the next message answered", true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(LocalStorage::HistoryDir());
        model.ClearRequests();
        WriteSettingsFile(R"({"anthropic_api_key":"sk-ant-x"})");
        model.Script("POST /v1/messages", {reply(" \n"), reply("Up to the roof.")});
        if (row.blankReply) {
            ChatPalette palette;
            turn(palette, question);
        } else {
            model.Script("POST /v1/messages", reply("Up to the roof."));
            ConversationLog earlier;
            std::string error;
            ASSERT_TRUE(earlier.Save({{Role::User, {ContentBlock::Text(question)}}},
                                     {{{"kind", "user"}, {"text", question}, {"files", json::array()}},
                                      {{"kind", "assistant"}, {"text", StoppedBeforeAnswerWarning()}}},
                                     std::string::npos, error))
                << error;
        }
        if (!row.nextAnswered) WriteSettingsFile("{}");
        {
            ChatPalette palette;
            const json entries = ReplayedEntries(palette);
            ASSERT_GE(entries.size(), 1u) << entries;
            EXPECT_TRUE(entries[0].value("unanswered", false)) << entries;
            EXPECT_EQ(entries[0].value("box", json()), json({{"text", question}, {"files", json::array()}}));
            turn(palette, "Next");
        }
        // The history kept since holds no more than the model read: the old question did not ride
        // along, and the new one is there before its answer.
        ConversationLog reader;
        std::vector<HistoryMessage> history;
        json entries;
        ASSERT_TRUE(reader.RestoreNewest(history, entries));
        std::vector<HistoryMessage> read;
        if (row.nextAnswered)
            read = {{Role::User, {ContentBlock::Text("Next")}},
                    {Role::Assistant, {ContentBlock::Text("Up to the roof.")}}};
        EXPECT_EQ(HistoryToJson(history), HistoryToJson(read));
        if (row.nextAnswered) {
            ASSERT_FALSE(model.Requests().empty());
            EXPECT_EQ(model.Requests().back().body.find(question), std::string::npos);
        }
    }
}
