// Writing and reading the records of a conversation's file.
#include "palette/ConversationRecords.hpp"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/CompactJson.hpp"
#include "core/JsonDepth.hpp"
#include "core/ToolRegistry.hpp"
#include "engine/HistoryJson.hpp"

using nlohmann::json;

namespace {

const json kNone;

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
        const bool element = block.text.rfind("{\"element_guid\":", 0) == 0;
        std::optional<std::string>& expected = element ? asElement : asMessage;
        if (!expected) expected = CardAsResult(success, detail, element);
        if (*expected == block.text) return next;
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

// An entry's "text_at" or a file's "data_at" put back as the text or data of that block.
bool ResolveBlockValue(json& object, const char* pointer, const char* key, json& messages)
{
    const json at = Take(object, pointer);
    if (at.is_null()) return true;
    std::size_t m = 0, b = 0;
    if (!at.is_array() || at.size() != 2 || !Index(at[0], m) || !Index(at[1], b) || m >= messages.size()) return false;
    json* content = ContentOf(messages[m]);
    const json& value = content != nullptr && b < content->size() ? Member((*content)[b], key) : kNone;
    if (value.is_string()) object[key] = value;
    return value.is_string();
}

// Applies one record (the line parsed) to what the records before built; false, changing
// nothing, when it does not follow them or cannot be read.
bool ApplyRecord(json& line, bool first, json& messages, json& entries)
{
    const bool single = line.is_object();  // a file of an earlier version
    // A tool input as deep as a reply may bring sits a few levels further down in a record.
    if ((!single && (!line.is_array() || line.empty() || !line[0].is_object())) ||
        JsonNestsDeeperThan(line, kMaxJsonDepth + 8))
        return false;
    json& header = single ? line : line[0];
    if (!(Member(header, "version") == 2 || (Member(header, "version") == 1 && single && first))) return false;
    std::size_t m = 0, b = 0, n = 0;
    const json historyAt = Take(header, "history_at"), transcriptAt = Take(header, "transcript_at");
    if (!historyAt.is_null() &&
        (!historyAt.is_array() || historyAt.size() != 2 || !Index(historyAt[0], m) || !Index(historyAt[1], b)))
        return false;
    json* last = m > 0 && m == messages.size() ? ContentOf(messages.back()) : nullptr;
    json add = Take(header, "add_to_last"), added = Take(header, "history"), kept = Take(header, "transcript");
    if (m != messages.size() || (m > 0 ? last == nullptr || last->size() != b : b != 0) ||
        !(add.is_null() || (add.is_array() && (last != nullptr || add.empty()))) ||
        !(added.is_null() || added.is_array()) || !(kept.is_null() || kept.is_array()) ||
        !(transcriptAt.is_null() || (Index(transcriptAt, n) && n <= entries.size())))
        return false;

    for (json& block : add)
        if (!ResolveResult(block, line)) return false;
    for (json& message : added) {
        json* content = ContentOf(message);
        if (content == nullptr) return false;
        for (json& block : *content)
            if (!ResolveResult(block, line)) return false;
    }
    for (json& block : add) last->push_back(std::move(block));
    for (json& message : added) messages.push_back(std::move(message));

    bool readable = true;
    for (json& entry : kept) {
        readable = readable && entry.is_object() && ResolveBlockValue(entry, "text_at", "text", messages) &&
                   ResolveDetail(entry, line);
        if (readable && Member(entry, "files").is_array())
            for (json& file : entry["files"])
                readable = readable && file.is_object() && ResolveBlockValue(file, "data_at", "data", messages);
    }
    if (!readable) {  // the history goes back to where the record found it
        messages.erase(messages.begin() + static_cast<std::ptrdiff_t>(m), messages.end());
        if (m > 0) {
            json& content = *ContentOf(messages.back());
            content.erase(content.begin() + static_cast<std::ptrdiff_t>(b), content.end());
        }
        return false;
    }
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(n), entries.end());
    for (json& entry : kept) entries.push_back(std::move(entry));
    return true;
}

// The records of text up to limit of them; records tells how many were taken.
bool DecodeUpTo(const std::string& text, std::size_t limit, DecodedConversation& out, std::size_t& records,
                std::string& why)
{
    json messages = json::array(), entries = json::array();
    std::size_t at = 0;
    bool endsWithBreak = true;
    for (records = 0; at < text.size() && records < limit; ++records) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        json line = json::parse(text.begin() + static_cast<std::ptrdiff_t>(at),
                                text.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
        if (!ApplyRecord(line, records == 0, messages, entries)) break;
        endsWithBreak = end < text.size();
        at = endsWithBreak ? end + 1 : end;
    }
    if (records == 0) {
        why = "it holds no conversation record";
        return false;
    }
    if (!HistoryFromJson(messages, out.history, why)) return false;
    out.entries = std::move(entries);
    out.readBytes = at;
    const std::size_t nextBreak = text.find('\n', at);
    out.damagedInside = nextBreak != std::string::npos && nextBreak + 1 < text.size();
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
    std::size_t records = 0;
    if (DecodeUpTo(text, std::string::npos, out, records, why)) return true;
    // A last record that reads but leaves a history no service would take back is left out too.
    return records > 1 && DecodeUpTo(text, records - 1, out, records, why);
}
