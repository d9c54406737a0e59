// Writing the records of a conversation's file, in one pass over what they hold: each block and
// entry is looked up by what it holds rather than searched for, so that a conversation of ten
// thousand turns is written as fast as its bytes allow.
#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "core/CompactJson.hpp"
#include "core/ToolRegistry.hpp"
#include "engine/HistoryJson.hpp"
#include "palette/ConversationRecords.hpp"

using nlohmann::json;

namespace {

// A conversation written from one position on is cut into records of about this many values, so
// that a save, and the repair of a file damaged inside, rewrites little beside what it must.
constexpr std::size_t kRecordValuesWritten = std::size_t{1} << 16;

const json kNone;

const json& Member(const json& object, const char* key)
{
    const auto found = object.is_object() ? object.find(key) : object.end();
    return found == object.end() ? kNone : *found;
}

// A block of the record and where it sits in the history.
struct Placed {
    const ContentBlock* block;
    std::size_t message, index;
};

// value is the text text.
template <typename Text>
bool Is(const json& value, const Text& text)
{
    return value.is_string() && value.get_ref<const std::string&>() == text;
}

// The result text a tool card stands for: what the engine sent the model when the card shows
// the result's message, element or error and nothing else. quoted: the detail as JSON text.
// Made from the result text of a stand-in detail, so that each card's detail is written once
// however many forms are tried, and whatever the result's keys.
std::string CardAsResult(bool success, bool asElement, const std::string& quoted)
{
    static const std::string kStandIn = "\x01", kQuotedStandIn = json(kStandIn).dump();
    static const auto kForms = [] {
        std::array<std::pair<std::string, std::string>, 4> forms;  // around the detail
        for (int form = 0; form < 4; ++form) {
            ToolResult result;
            result.success = form % 2 == 1;
            (result.success ? (form >= 2 ? result.elementGuid : result.message) : result.error) = kStandIn;
            const std::string text = result.toJson();
            const std::size_t at = text.find(kQuotedStandIn);
            forms[form] = {text.substr(0, at), text.substr(at + kQuotedStandIn.size())};
        }
        return forms;
    }();
    const auto& [before, after] = kForms[(success ? 1 : 0) + (asElement ? 2 : 0)];
    return before + quoted + after;
}

// The blocks of one record by what they hold.
class RecordBlocks {
public:
    explicit RecordBlocks(const std::vector<Placed>& placed) : blocks(placed)
    {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            const ContentBlock& block = *blocks[i].block;
            if (block.kind == BlockKind::Text) texts.emplace(block.text, &blocks[i]);  // the first one stays
            if (block.kind == BlockKind::Image || block.kind == BlockKind::Document)
                data.emplace(block.Data(), &blocks[i]);
            if (block.kind == BlockKind::ToolResult) results[block.isError][block.text].push_back(i);
        }
    }

    // The first tool result from next on that the card repeats, or the number of blocks.
    std::size_t ResultOfCard(std::size_t next, const json& card) const
    {
        const json& success = Member(card, "success");
        const json& detail = Member(card, "detail");
        // A card without a detail repeats nothing worth pointing at: it is written as it is.
        if (!success.is_boolean() || !detail.is_string() || detail.empty()) return blocks.size();
        std::string quoted;
        try {
            quoted = detail.dump();
        } catch (const json::exception&) {
            return blocks.size();  // not valid UTF-8: no result text holds it
        }
        // Either form may be the result; neither is told by the order of its keys.
        std::size_t first = blocks.size();
        for (const bool element : {false, true}) {
            const auto& byText = results[!success.get<bool>()];
            const auto same = byText.find(CardAsResult(success.get<bool>(), element, quoted));
            if (same == byText.end()) continue;
            const auto at = std::lower_bound(same->second.begin(), same->second.end(), next);
            if (at != same->second.end()) first = std::min(first, *at);
        }
        return first;
    }

    // The first block holding text (or, for attachments, data) equal to value.
    const Placed* Equal(const std::string& value, bool withData) const
    {
        const auto& byValue = withData ? data : texts;
        const auto found = value.empty() ? byValue.end() : byValue.find(value);
        return found == byValue.end() ? nullptr : found->second;
    }

    const Placed& operator[](std::size_t i) const { return blocks[i]; }
    std::size_t Size() const { return blocks.size(); }

private:
    const std::vector<Placed>& blocks;
    std::unordered_map<std::string_view, const Placed*> texts, data;
    std::unordered_map<std::string_view, std::vector<std::size_t>> results[2];  // by whether an error
};

// The value (key) of an entry or file that a block of the record holds as well.
const Placed* EqualBlock(const json& object, const char* key, const RecordBlocks& blocks, bool data)
{
    const json& value = Member(object, key);
    return value.is_string() ? blocks.Equal(value.get_ref<const std::string&>(), data) : nullptr;
}

// Moves value (key) of entry to a pointer at a block holding the same, when there is one.
void PointAtEqualBlock(json& entry, const char* key, const char* pointer, const RecordBlocks& blocks, bool data)
{
    const Placed* same = EqualBlock(entry, key, blocks, data);
    if (same == nullptr) return;
    entry.erase(key);
    entry[pointer] = {same->message, same->index};
}

// A page entry as the record holds it: its text (of a user's or the assistant's entry) or a
// file's data that a block of the record holds is a pointer at that block instead.
std::string WrittenEntry(const json& entry, const json& kind, const RecordBlocks& blocks)
{
    const bool text =
        (Is(kind, "user") || Is(kind, "assistant")) && EqualBlock(entry, "text", blocks, false) != nullptr;
    const json& files = Is(kind, "user") ? Member(entry, "files") : kNone;
    const bool data = files.is_array() && std::any_of(files.begin(), files.end(), [&](const json& file) {
                          return EqualBlock(file, "data", blocks, true) != nullptr;
                      });
    if (!text && !data) return CompactJson(entry);
    json written = entry;
    PointAtEqualBlock(written, "text", "text_at", blocks, false);
    if (data)
        for (json& file : written["files"]) PointAtEqualBlock(file, "data", "data_at", blocks, true);
    return CompactJson(written);
}

// A block as the history writes it; a tool result that follows the header as the record's
// element resultIn says "text_in" instead of its text.
std::string WrittenBlock(const ContentBlock& block, std::size_t resultIn)
{
    if (resultIn == 0) return CompactJson(BlockToJson(block));
    json written = BlockToJson(ContentBlock::ToolResult(block.toolId, "", block.isError));
    written.erase("text");
    written["text_in"] = resultIn;
    return CompactJson(written);
}

// A record of more values to a byte than reading takes (see MostRecordCost) padded with spaces,
// which JSON passes over, to the length at which it is read back whole.
void PadForReading(std::string& line)
{
    // No line longer than a few values takes more than this many bytes of memory to a byte of it:
    // a shorter one is under the floor, however small its values.
    constexpr std::size_t kMostCostPerByte = 48;
    if (line.size() <= kRecordCostFloor / kMostCostPerByte) return;
    const std::size_t cost = RecordCost(line, 0, line.size());
    if (cost != std::string::npos && cost > MostRecordCost(line.size()))
        line.append((cost + kRecordCostPerByte - 1) / kRecordCostPerByte - line.size(), ' ');
}

// The record of the history's blocks from `from` up to message `messages` (whole messages after
// from's last) and of the entries from `from` up to `entriesEnd`, written as it is made: the
// record's header (see ConversationRecords.hpp; its keys in order) and the results after it.
std::string EncodeRange(const std::vector<HistoryMessage>& history, const json& entries, const KeptPosition& from,
                        std::size_t messages, std::size_t entriesEnd)
{
    std::vector<Placed> placed;
    if (from.messages > 0) {
        const auto& last = history[from.messages - 1].blocks;
        for (std::size_t b = from.blocksInLast; b < last.size(); ++b)
            placed.push_back({&last[b], from.messages - 1, b});
    }
    const std::size_t added = placed.size();
    for (std::size_t m = from.messages; m < messages; ++m)
        for (std::size_t b = 0; b < history[m].blocks.size(); ++b) placed.push_back({&history[m].blocks[b], m, b});
    const RecordBlocks blocks(placed);

    // The entries first: a card that repeats a tool result makes the result follow the header.
    std::vector<std::size_t> resultIn(placed.size(), 0);
    std::vector<const std::string*> results;
    std::string transcript;
    std::size_t nextResult = 0;
    for (std::size_t i = from.entries; i < entriesEnd; ++i) {
        const json& entry = entries[i];
        const json& kind = Member(entry, "kind");
        const std::size_t result = Is(kind, "tool") ? blocks.ResultOfCard(nextResult, entry) : blocks.Size();
        if (i > from.entries) transcript += ',';
        if (result == blocks.Size()) {
            transcript += WrittenEntry(entry, kind, blocks);
            continue;
        }
        nextResult = result + 1;
        results.push_back(&placed[result].block->text);
        resultIn[result] = results.size();
        transcript += CompactJson(json{{"kind", "tool"},
                                       {"name", Member(entry, "name")},
                                       {"success", Member(entry, "success")},
                                       {"detail_in", results.size()}});
    }

    std::string line = "[{\"add_to_last\":[";
    std::size_t k = 0;
    const auto appendBlocks = [&](std::size_t end) {
        for (const std::size_t start = k; k < end; ++k) {
            if (k > start) line += ',';
            line += WrittenBlock(*placed[k].block, resultIn[k]);
        }
    };
    appendBlocks(added);
    line += "],\"history\":[";
    for (std::size_t m = from.messages; m < messages; ++m) {
        line += m == from.messages ? "{\"content\":[" : ",{\"content\":[";
        appendBlocks(k + history[m].blocks.size());
        line += history[m].role == Role::User ? "],\"role\":\"user\"}" : "],\"role\":\"assistant\"}";
    }
    line += "],\"history_at\":[" + std::to_string(from.messages) + "," + std::to_string(from.blocksInLast) +
            "],\"transcript\":[" + transcript + "],\"transcript_at\":" + std::to_string(from.entries) +
            ",\"version\":2}";
    for (const std::string* text : results) line.append(",").append(*text);
    line += ']';
    PadForReading(line);
    line += '\n';
    return line;
}

// The values a JSON value holds, itself and each member name included.
std::size_t ValuesIn(const json& value)
{
    std::size_t count = 0;
    std::vector<const json*> pending{&value};
    while (!pending.empty()) {
        const json* node = pending.back();
        pending.pop_back();
        count += node->is_object() ? 1 + node->size() : 1;
        if (node->is_structured())
            for (const json& child : *node) pending.push_back(&child);
    }
    return count;
}

// About the values a message takes in a record (its blocks' keys, texts and inputs).
std::size_t ValuesIn(const HistoryMessage& message)
{
    std::size_t count = 5;
    for (const ContentBlock& block : message.blocks)
        count += 9 + (block.kind == BlockKind::ToolUse ? ValuesIn(block.input) : 0);
    return count;
}

// The page's entry of a question (a user entry of its text) among the next few user entries from
// entry `from` on, or npos: an entry missing (or a question the page does not show) is passed over.
std::size_t EntryOfQuestion(const json& entries, std::size_t from, const std::string& text)
{
    constexpr int kUserEntriesLookedAt = 8;
    for (std::size_t i = from, users = 0; i < entries.size() && users < kUserEntriesLookedAt; ++i) {
        if (!Is(Member(entries[i], "kind"), "user")) continue;
        if (Is(Member(entries[i], "text"), text)) return i;
        ++users;
    }
    return std::string::npos;
}

}  // namespace

KeptPosition PositionOf(const std::vector<HistoryMessage>& history, const json& entries)
{
    return {history.size(), history.empty() ? 0 : history.back().blocks.size(), entries.size()};
}

std::string EncodeRecord(const std::vector<HistoryMessage>& history, const json& entries, const KeptPosition& from)
{
    // A cut goes where the history before it is whole (a question after an answer that called no
    // tool), so that each record leaves a history a service takes back, and the page's entries
    // are cut at that question's, so that a record's cards and texts find the blocks they repeat.
    std::string records;
    KeptPosition at = from;
    std::size_t values = 0, nextEntry = from.entries;
    for (std::size_t m = from.messages; m < history.size(); ++m) {
        const HistoryMessage& message = history[m];
        const bool asks =
            message.role == Role::User && !message.blocks.empty() && message.blocks[0].kind != BlockKind::ToolResult;
        std::size_t entry = std::string::npos;
        if (asks && message.blocks[0].kind == BlockKind::Text)
            entry = EntryOfQuestion(entries, nextEntry, message.blocks[0].text);
        if (entry != std::string::npos) nextEntry = entry + 1;
        const bool whole = asks && m > at.messages &&
                           std::none_of(history[m - 1].blocks.begin(), history[m - 1].blocks.end(),
                                        [](const ContentBlock& block) { return block.kind == BlockKind::ToolUse; });
        // Entries that do not follow the history leave the cut to it alone, and go on after it.
        if (whole && values >= (entry != std::string::npos ? 1 : 4) * kRecordValuesWritten) {
            if (entry == std::string::npos) entry = at.entries;
            records += EncodeRange(history, entries, at, m, entry);
            at = {m, history[m - 1].blocks.size(), entry};
            values = 0;
        }
        values += ValuesIn(message);
    }
    return records + EncodeRange(history, entries, at, history.size(), entries.size());
}
