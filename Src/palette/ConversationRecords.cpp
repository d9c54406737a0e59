// Writing and reading the records of a conversation's file.
#include "palette/ConversationRecords.hpp"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "core/CompactJson.hpp"
#include "core/JsonDepth.hpp"
#include "core/ToolRegistry.hpp"
#include "engine/HistoryJson.hpp"
#include "engine/ToolCallIds.hpp"

using nlohmann::json;

namespace {

const json kNone;

// Each record left out for the history it leaves makes the file be read again.
constexpr int kMostRecordsLeftOut = 8;

const json& Member(const json& object, const char* key)
{
    const auto found = object.is_object() ? object.find(key) : object.end();
    return found == object.end() ? kNone : *found;
}

// ---- writing ---------------------------------------------------------------------------------

// A block of the record, where it sits in the history and in the header.
struct Placed {
    const ContentBlock* block;
    json* written;
    std::size_t message, index;
};

// The result text a tool card stands for: what the engine sent the model when the card shows
// the result's message, element or error and nothing else.
std::string CardAsResult(bool success, const std::string& detail, bool asElement)
{
    ToolResult result;
    result.success = success;
    (success ? (asElement ? result.elementGuid : result.message) : result.error) = detail;
    try {
        return result.toJson();
    } catch (const json::exception&) {
        return "";  // not valid UTF-8: no result text equals it
    }
}

// The first tool result from next on that the card repeats, or blocks.size().
std::size_t ResultOfCard(const std::vector<Placed>& blocks, std::size_t next, const json& card)
{
    const json& success = Member(card, "success");
    const json& detail = Member(card, "detail");
    if (!success.is_boolean() || !detail.is_string() || (!success.get<bool>() && detail.empty())) return blocks.size();
    std::optional<std::string> asMessage, asElement;  // made once each, when first needed
    for (; next < blocks.size(); ++next) {
        const ContentBlock& block = *blocks[next].block;
        if (block.kind != BlockKind::ToolResult || block.isError == success.get<bool>()) continue;
        // Either form may be the result; neither is told by the order of its keys.
        for (const bool element : {false, true}) {
            std::optional<std::string>& expected = element ? asElement : asMessage;
            if (!expected) expected = CardAsResult(success, detail, element);
            if (*expected == block.text) return next;
        }
    }
    return blocks.size();
}

// A block of the record holding text (or, for attachments, data) equal to value.
const Placed* EqualBlock(const std::vector<Placed>& blocks, const std::string& value, bool data)
{
    if (value.empty()) return nullptr;
    for (const Placed& placed : blocks) {
        const ContentBlock& block = *placed.block;
        const bool kind =
            data ? block.kind == BlockKind::Image || block.kind == BlockKind::Document : block.kind == BlockKind::Text;
        if (kind && (data ? block.Data() : block.text) == value) return &placed;
    }
    return nullptr;
}

// Moves value (key) of entry to a pointer at a block holding the same, when there is one.
void PointAtEqualBlock(json& entry, const char* key, const char* pointer, const std::vector<Placed>& blocks, bool data)
{
    const json& value = Member(entry, key);
    const Placed* same = value.is_string() ? EqualBlock(blocks, value.get_ref<const std::string&>(), data) : nullptr;
    if (same == nullptr) return;
    entry.erase(key);
    entry[pointer] = {same->message, same->index};
}

// ---- reading ---------------------------------------------------------------------------------

bool Index(const json& value, std::size_t& into)
{
    if (!value.is_number_unsigned()) return false;
    into = value.get<std::size_t>();
    return true;
}

json* ContentOf(json& message)
{
    const auto found = message.is_object() ? message.find("content") : message.end();
    return found != message.end() && found->is_array() ? &*found : nullptr;
}

const json* ContentOf(const json& message) { return ContentOf(const_cast<json&>(message)); }

json Take(json& object, const char* key)
{
    const auto found = object.find(key);
    if (found == object.end()) return json();
    json value = std::move(*found);
    object.erase(found);
    return value;
}

// The result that follows the header as the record's element at pointer.
const json* ResultAt(const json& record, const json& pointer)
{
    std::size_t i = 0;
    if (!Index(pointer, i) || i == 0 || !record.is_array() || i >= record.size() || !record[i].is_object())
        return nullptr;
    return &record[i];
}

// A block's "text_in" put back as its text.
bool ResolveResult(json& block, const json& record)
{
    if (!block.is_object()) return false;
    const json pointer = Take(block, "text_in");
    if (pointer.is_null()) return true;
    const json* result = ResultAt(record, pointer);
    if (result != nullptr) block["text"] = result->dump();
    return result != nullptr;
}

// A tool card's "detail_in" put back as the detail the card showed.
bool ResolveDetail(json& card, const json& record)
{
    const json pointer = Take(card, "detail_in");
    if (pointer.is_null()) return true;
    const json* result = ResultAt(record, pointer);
    if (result == nullptr) return false;
    const json& message = Member(*result, "message");
    const json& element = Member(*result, "element_guid");
    json detail = Member(card, "success") != true ? Member(*result, "error")
                  : message.is_string()           ? message
                  : element.is_string()           ? element
                                                  : json("");
    if (!detail.is_string()) return false;
    card["detail"] = std::move(detail);
    return true;
}

// A record's blocks by where the writer's history held them: the blocks it added to message m-1
// from index b on, and the messages it added from m on.
struct RecordBlocks {
    std::size_t m, b;
    const json& add;
    const json& added;

    const json* At(const json& pointer) const
    {
        std::size_t message = 0, block = 0;
        if (!pointer.is_array() || pointer.size() != 2 || !Index(pointer[0], message) || !Index(pointer[1], block))
            return nullptr;
        const json* content = message + 1 == m && block >= b               ? &add
                              : message >= m && message - m < added.size() ? ContentOf(added[message - m])
                                                                           : nullptr;
        const std::size_t index = content == &add ? block - b : block;
        return content != nullptr && index < content->size() ? &(*content)[index] : nullptr;
    }
};

// An entry's "text_at" or a file's "data_at" put back as the text or data of that block.
bool ResolveBlockValue(json& object, const char* pointer, const char* key, const RecordBlocks& blocks)
{
    const json at = Take(object, pointer);
    if (at.is_null()) return true;
    const json* block = blocks.At(at);
    const json& value = block != nullptr ? Member(*block, key) : kNone;
    if (value.is_string()) object[key] = value;
    return value.is_string();
}

// How far the records read so far took the conversation, in the reader's terms and the
// writer's: a record that could not be read leaves the writer's history and entries ahead.
struct Reading {
    json messages = json::array(), entries = json::array();
    std::vector<std::size_t> touchedBy;  // of each message, the last record that added to it
    std::size_t writerMessages = 0, writerBlocks = 0, writerEntries = 0;
    std::size_t syncedEntries = 0;  // the first entries, at the same index as the writer's
    bool skipped = false;           // a record was left out since the last one read
};

// Applies one record (the line parsed, the index-th) to what the records before built; false,
// changing nothing, when it does not follow them or cannot be read. After a record left out,
// what follows is placed after what was read: blocks of a message not read become a message of
// the role its place gives, and a message meeting one of its own role joins it.
bool ApplyRecord(json& line, std::size_t index, Reading& read)
{
    const bool single = line.is_object();  // a file of an earlier version
    // A tool input as deep as a reply may bring sits a few levels further down in a record.
    if ((!single && (!line.is_array() || line.empty() || !line[0].is_object())) ||
        JsonNestsDeeperThan(line, kMaxJsonDepth + 8))
        return false;
    json& header = single ? line : line[0];
    if (!(Member(header, "version") == 2 || (Member(header, "version") == 1 && single && index == 0))) return false;
    std::size_t m = 0, b = 0, n = 0;
    const json historyAt = Take(header, "history_at"), transcriptAt = Take(header, "transcript_at");
    if (!historyAt.is_null() &&
        (!historyAt.is_array() || historyAt.size() != 2 || !Index(historyAt[0], m) || !Index(historyAt[1], b)))
        return false;
    json add = Take(header, "add_to_last"), added = Take(header, "history"), kept = Take(header, "transcript");
    if (add.is_null()) add = json::array();
    if (added.is_null()) added = json::array();
    if (kept.is_null()) kept = json::array();
    const bool follows = m == read.writerMessages && b == read.writerBlocks;
    const bool ahead = m > read.writerMessages || (m == read.writerMessages && b > read.writerBlocks);
    if (!(follows || (read.skipped && ahead)) || (m == 0 && b != 0) || !add.is_array() || (m == 0 && !add.empty()) ||
        !added.is_array() || !kept.is_array() || !(transcriptAt.is_null() || Index(transcriptAt, n)) ||
        (!read.skipped && n > read.writerEntries))
        return false;

    for (json& block : add)
        if (!ResolveResult(block, line)) return false;
    for (json& message : added) {
        json* content = ContentOf(message);
        if (content == nullptr || !Member(message, "role").is_string()) return false;
        for (json& block : *content)
            if (!ResolveResult(block, line)) return false;
    }
    const RecordBlocks blocks{m, b, add, added};
    for (json& entry : kept) {
        bool readable =
            entry.is_object() && ResolveBlockValue(entry, "text_at", "text", blocks) && ResolveDetail(entry, line);
        if (readable && Member(entry, "files").is_array())
            for (json& file : entry["files"])
                readable = readable && file.is_object() && ResolveBlockValue(file, "data_at", "data", blocks);
        if (!readable) return false;
    }

    // The history: the writer's message m-1 is the reader's last one unless a record left out
    // added messages before it.
    const std::size_t writerMessages = added.empty() ? m : m + added.size();
    const std::size_t writerBlocks = added.empty() ? b + add.size() : ContentOf(added.back())->size();
    json incoming = json::array();
    if (!add.empty() && m == read.writerMessages && !read.messages.empty()) {
        json& last = *ContentOf(read.messages.back());
        for (json& block : add) last.push_back(std::move(block));
        read.touchedBy.back() = index;
    } else if (!add.empty()) {
        incoming.push_back({{"role", (m - 1) % 2 == 0 ? "user" : "assistant"}, {"content", std::move(add)}});
    }
    for (json& message : added) incoming.push_back(std::move(message));
    for (std::size_t i = 0; i < incoming.size(); ++i) {
        json* last = read.messages.empty() ? nullptr : ContentOf(read.messages.back());
        if (read.skipped && i == 0 && last != nullptr && read.messages.back()["role"] == incoming[i]["role"]) {
            for (json& block : *ContentOf(incoming[i])) last->push_back(std::move(block));
            read.touchedBy.back() = index;
            continue;
        }
        read.messages.push_back(std::move(incoming[i]));
        read.touchedBy.push_back(index);
    }
    read.writerMessages = writerMessages;
    read.writerBlocks = writerBlocks;

    // The entries from n on are replaced; after a record left out, the writer's n is ahead of
    // the reader's by the entries that record held.
    const std::size_t lost = read.writerEntries - std::min(read.writerEntries, read.entries.size());
    const std::size_t from =
        n <= read.syncedEntries ? n : std::clamp(n - std::min(n, lost), read.syncedEntries, read.entries.size());
    read.entries.erase(read.entries.begin() + static_cast<std::ptrdiff_t>(from), read.entries.end());
    for (json& entry : kept) read.entries.push_back(std::move(entry));
    read.writerEntries = n + read.entries.size() - from;
    if (from == n) read.syncedEntries = read.entries.size();
    read.skipped = false;
    return true;
}

// The bytes of a record's line outside its strings: what parsing it costs beyond the text it
// holds. A record's bulk is text (attachments in base64 among it); a line of millions of small
// values would take gigabytes once parsed.
std::size_t StructureBytes(const std::string& text, std::size_t at, std::size_t end)
{
    std::size_t outside = 0;
    bool inString = false, escaped = false;
    for (; at < end; ++at) {
        const char c = text[at];
        if (!inString) {
            inString = c == '"';
            ++outside;
        } else if (escaped) {
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (c == '"') {
            inString = false;
            ++outside;
        }
    }
    return outside;
}

// Gives each of two tool calls sharing one id a name of its own, the results following them
// taking the names in the order of the calls, so that every call pairs with its result.
void NameRepeatedCalls(json& messages)
{
    ToolIdNames names;
    std::set<std::string> seen;
    for (const json& message : messages)
        for (const json& block : *ContentOf(message))
            if (Member(block, "type") == "tool_use" && Member(block, "id").is_string())
                names.Take(block["id"].get<std::string>());
    std::map<std::string, std::deque<std::string>> open;  // the calls of the assistant message before
    for (json& message : messages) {
        const bool assistant = Member(message, "role") == "assistant";
        if (assistant) open.clear();
        for (json& block : *ContentOf(message)) {
            const json& id = Member(block, "id");
            if (!id.is_string()) continue;
            const std::string name = id.get<std::string>();
            if (assistant && Member(block, "type") == "tool_use") {
                std::string distinct = name;
                if (!seen.insert(name).second) distinct = names.Distinct(name);
                open[name].push_back(distinct);
                block["id"] = distinct;
            } else if (!assistant && Member(block, "type") == "tool_result" && !open[name].empty()) {
                block["id"] = open[name].front();
                open[name].pop_front();
            }
        }
    }
}

// The records of text but those in leftOut. When they leave a history no service would take
// back, culprit is the record that added last to the message at fault.
bool DecodeWithout(const std::string& text, const std::set<std::size_t>& leftOut, DecodedConversation& out,
                   std::size_t& culprit, std::string& why)
{
    std::vector<std::size_t> damaged;
    culprit = std::string::npos;
    Reading read;
    std::size_t at = 0, readBytes = 0, records = 0, index = 0;
    bool endsWithBreak = true;
    for (; at < text.size(); ++index) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        bool applied = false;
        if (leftOut.count(index) == 0 && StructureBytes(text, at, end) <= kMaxRecordStructureBytes) {
            json line = json::parse(text.begin() + static_cast<std::ptrdiff_t>(at),
                                    text.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
            applied = ApplyRecord(line, index, read);
        }
        if (applied) {
            ++records;
            endsWithBreak = end < text.size();
            readBytes = endsWithBreak ? end + 1 : end;
        } else {
            read.skipped = true;
            damaged.push_back(index);
        }
        at = end < text.size() ? end + 1 : end;
    }
    if (records == 0) {
        why = "it holds no conversation record";
        return false;
    }
    NameRepeatedCalls(read.messages);
    std::size_t failed = 0;
    if (!HistoryFromJson(read.messages, out.history, why, &failed)) {
        if (failed < read.touchedBy.size()) culprit = read.touchedBy[failed];
        return false;
    }
    out.entries = std::move(read.entries);
    // Only an unfinished or damaged last record is cut off by the next append; anything else
    // that could not be read makes the file one to set aside and write anew.
    out.readBytes = readBytes;
    out.damagedInside = !damaged.empty() && (damaged.size() > 1 || damaged[0] + 1 != index);
    out.appendable = endsWithBreak && !out.damagedInside;
    return true;
}

}  // namespace

KeptPosition PositionOf(const std::vector<HistoryMessage>& history, const json& entries)
{
    return {history.size(), history.empty() ? 0 : history.back().blocks.size(), entries.size()};
}

std::string EncodeRecord(const std::vector<HistoryMessage>& history, const json& entries, const KeptPosition& from)
{
    json add = json::array(), added = json::array();
    if (from.messages > 0) {
        const auto& blocks = history[from.messages - 1].blocks;
        for (std::size_t b = from.blocksInLast; b < blocks.size(); ++b) add.push_back(BlockToJson(blocks[b]));
    }
    for (std::size_t m = from.messages; m < history.size(); ++m) {
        json content = json::array();
        for (const ContentBlock& block : history[m].blocks) content.push_back(BlockToJson(block));
        added.push_back(
            {{"role", history[m].role == Role::User ? "user" : "assistant"}, {"content", std::move(content)}});
    }
    // Where each block of the record sits, now that the lists are made.
    std::vector<Placed> blocks;
    for (std::size_t j = 0; j < add.size(); ++j)
        blocks.push_back({&history[from.messages - 1].blocks[from.blocksInLast + j], &add[j], from.messages - 1,
                          from.blocksInLast + j});
    for (std::size_t k = 0; k < added.size(); ++k)
        for (std::size_t j = 0; j < added[k]["content"].size(); ++j)
            blocks.push_back({&history[from.messages + k].blocks[j], &added[k]["content"][j], from.messages + k, j});

    json kept = json::array();
    std::vector<const std::string*> results;  // follow the header as they are
    std::size_t nextResult = 0;
    for (std::size_t i = from.entries; i < entries.size(); ++i) {
        const json& entry = entries[i];
        const std::string kind = Member(entry, "kind").is_string() ? entry["kind"].get<std::string>() : "";
        const std::size_t result = kind == "tool" ? ResultOfCard(blocks, nextResult, entry) : blocks.size();
        if (result < blocks.size()) {
            nextResult = result + 1;
            results.push_back(&blocks[result].block->text);
            blocks[result].written->erase("text");
            (*blocks[result].written)["text_in"] = results.size();
            kept.push_back({{"kind", "tool"},
                            {"name", Member(entry, "name")},
                            {"success", entry["success"]},
                            {"detail_in", results.size()}});
            continue;
        }
        json written = entry;
        if (kind == "user" || kind == "assistant") PointAtEqualBlock(written, "text", "text_at", blocks, false);
        if (kind == "user" && Member(written, "files").is_array())
            for (json& file : written["files"]) PointAtEqualBlock(file, "data", "data_at", blocks, true);
        kept.push_back(std::move(written));
    }
    const json header{{"version", 2},
                      {"history_at", {from.messages, from.blocksInLast}},
                      {"add_to_last", std::move(add)},
                      {"history", std::move(added)},
                      {"transcript_at", from.entries},
                      {"transcript", std::move(kept)}};
    std::string line = "[" + CompactJson(header);
    for (const std::string* text : results) line.append(",").append(*text);
    return line + "]\n";
}

bool DecodeRecords(const std::string& text, DecodedConversation& out, std::string& why)
{
    // A record that leaves a history no service would take back (a call without its result, two
    // messages of one role) is left out like a damaged one, and the records after it are kept.
    std::set<std::size_t> leftOut;
    std::size_t culprit = 0;
    for (int attempt = 0; attempt < kMostRecordsLeftOut; ++attempt) {
        if (DecodeWithout(text, leftOut, out, culprit, why)) return true;
        if (culprit == std::string::npos || !leftOut.insert(culprit).second) return false;
    }
    return false;
}
