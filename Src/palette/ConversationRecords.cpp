// Reading the records of a conversation's file, each line parsed once and applied as it comes:
// a record is taken only when the history it leaves is one a service would take back, so that no
// record read has to be taken out again afterwards.
#include "palette/ConversationRecords.hpp"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <utility>

#include "core/JsonDepth.hpp"
#include "engine/HistoryJson.hpp"
#include "engine/ToolCallIds.hpp"

using nlohmann::json;

namespace {

const json kNone;

// A tool input as deep as a reply may bring sits a few levels further down in a record.
constexpr std::size_t kMaxRecordDepth = kMaxJsonDepth + 8;

const json& Member(const json& object, const char* key)
{
    const auto found = object.is_object() ? object.find(key) : object.end();
    return found == object.end() ? kNone : *found;
}

// What the library's parsed value of each kind takes at most: the value itself (16 bytes, three
// times over while the list holding it moves to twice the room) and what it points to (a text, an
// object's tree, a list), as the allocator rounds them.
constexpr std::size_t kScalarCost = 48, kTextCost = 88, kObjectCost = 104, kArrayCost = 80, kMemberCost = 88;

// What each value of a line being parsed takes, handed to spend as it comes, which says whether
// there is room for it.
template <typename Spend>
struct CostedEvents {
    Spend spend;

    bool null() { return spend(kScalarCost); }
    bool boolean(bool) { return spend(kScalarCost); }
    bool number_integer(json::number_integer_t) { return spend(kScalarCost); }
    bool number_unsigned(json::number_unsigned_t) { return spend(kScalarCost); }
    bool number_float(json::number_float_t, const json::string_t&) { return spend(kScalarCost); }
    bool string(json::string_t& value) { return spend(kTextCost + value.size()); }
    bool binary(json::binary_t& value) { return spend(kTextCost + value.size()); }
    bool key(json::string_t& name) { return spend(kMemberCost + name.size()); }
    bool start_object(std::size_t) { return spend(kObjectCost); }
    bool start_array(std::size_t) { return spend(kArrayCost); }
};

// The library's own builder of a parsed value, stopped as soon as the value would take more than
// its line may or nests deeper: what such a line would take to build is never taken. Counting as
// it parses, it costs a line no pass of its own.
class BoundedRecordBuilder : public nlohmann::detail::json_sax_dom_parser<json> {
    using Builder = nlohmann::detail::json_sax_dom_parser<json>;

public:
    BoundedRecordBuilder(json& into, std::size_t budget) : Builder(into, false), left(budget) {}

    bool null() { return cost.null() && Builder::null(); }
    bool boolean(bool value) { return cost.boolean(value) && Builder::boolean(value); }
    bool number_integer(number_integer_t value) { return cost.number_integer(value) && Builder::number_integer(value); }
    bool number_unsigned(number_unsigned_t value)
    {
        return cost.number_unsigned(value) && Builder::number_unsigned(value);
    }
    bool number_float(number_float_t value, const string_t& text)
    {
        return cost.number_float(value, text) && Builder::number_float(value, text);
    }
    bool string(string_t& value) { return cost.string(value) && Builder::string(value); }
    bool binary(binary_t& value) { return cost.binary(value) && Builder::binary(value); }
    bool key(string_t& name) { return cost.key(name) && Builder::key(name); }
    bool start_object(std::size_t size)
    {
        return cost.start_object(size) && ++depth <= kMaxRecordDepth && Builder::start_object(size);
    }
    bool start_array(std::size_t size)
    {
        return cost.start_array(size) && ++depth <= kMaxRecordDepth && Builder::start_array(size);
    }
    bool end_object()
    {
        --depth;
        return Builder::end_object();
    }
    bool end_array()
    {
        --depth;
        return Builder::end_array();
    }

private:
    struct Spend {
        std::size_t* left;
        bool operator()(std::size_t cost) const { return cost <= *left && ((*left -= cost), true); }
    };

    std::size_t left, depth = 0;
    CostedEvents<Spend> cost{Spend{&left}};
};

// What a whole line takes once parsed, counted without building it.
struct Sum {
    std::size_t* total;
    bool operator()(std::size_t cost) const { return (*total += cost), true; }
};

struct RecordCounter : CostedEvents<Sum> {
    explicit RecordCounter(std::size_t& total) : CostedEvents<Sum>{Sum{&total}} {}
    bool end_object() { return true; }
    bool end_array() { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }
};

// The line of text from at to end as one JSON value; false when it is not one, would take more
// than MostRecordCost of its length or nests deeper than a record may.
bool ParseRecord(const std::string& text, std::size_t at, std::size_t end, json& line)
{
    BoundedRecordBuilder builder(line, MostRecordCost(end - at));
    return json::sax_parse(text.begin() + static_cast<std::ptrdiff_t>(at),
                           text.begin() + static_cast<std::ptrdiff_t>(end), &builder);
}

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
    std::vector<HistoryMessage> history;
    json entries = json::array();
    ToolIdNames names;  // of the calls read so far
    std::size_t writerMessages = 0, writerBlocks = 0, writerEntries = 0;
    std::size_t syncedEntries = 0;  // the first entries, at the same index as the writer's
    bool skipped = false;           // a record was left out since the last one read
};

// The blocks of a record's list, read into blocks; false when one cannot be read.
bool TakeBlocks(json& list, std::vector<ContentBlock>& blocks)
{
    for (json& item : list) {
        blocks.emplace_back();
        if (!TakeBlock(item, blocks.back())) return false;
    }
    return true;
}

// Whether what a record adds, after the history read so far, leaves a history a service takes
// back: roles alternating, each result answering a call of the message before it (the first one
// open under its id, so that calls sharing an id pair with their results in order) and no call
// left without its result. The history read so far leaves none. When it fits, the calls get
// names of their own (see ToolIdNames), and their results with them.
bool FitAndName(Reading& read, std::vector<ContentBlock>& toLast, std::vector<HistoryMessage>& incoming)
{
    std::vector<ContentBlock*> calls;
    std::vector<std::pair<ContentBlock*, std::size_t>> answers;  // each result and its call
    std::unordered_map<std::string, std::deque<std::size_t>> open;
    std::size_t unanswered = 0;
    const auto fits = [&](Role role, std::vector<ContentBlock>& blocks, std::size_t at) {
        if ((role == Role::User) != (at % 2 == 0)) return false;
        for (ContentBlock& block : blocks) {
            if (block.kind == BlockKind::ToolUse) {
                open[block.toolId].push_back(calls.size());
                calls.push_back(&block);
                ++unanswered;
            } else if (block.kind == BlockKind::ToolResult) {
                auto& calling = open[block.toolId];
                if (calling.empty()) return false;
                answers.push_back({&block, calling.front()});
                calling.pop_front();
                --unanswered;
            }
        }
        return role == Role::Assistant || unanswered == 0;
    };
    if (!toLast.empty() && !fits(read.history.back().role, toLast, read.history.size() - 1)) return false;
    for (std::size_t i = 0; i < incoming.size(); ++i)
        if (!fits(incoming[i].role, incoming[i].blocks, read.history.size() + i)) return false;
    if (unanswered != 0) return false;
    for (ContentBlock* call : calls) call->toolId = read.names.Distinct(call->toolId);
    for (auto& [result, call] : answers) result->toolId = calls[call]->toolId;
    return true;
}

// Applies one record (the line parsed, the index-th) to what the records before built; false,
// changing nothing, when it does not follow them, cannot be read or leaves a history no service
// would take back. After a record left out, what follows is placed after what was read: blocks
// of a message not read become a message of the role its place gives, and a message meeting one
// of its own role joins it.
bool ApplyRecord(json& line, std::size_t index, Reading& read)
{
    const bool single = line.is_object();  // a file of an earlier version
    if (!single && (!line.is_array() || line.empty() || !line[0].is_object())) return false;
    json& header = single ? line : line[0];
    if (!(Member(header, "version") == 2 || (Member(header, "version") == 1 && single && index == 0))) return false;
    if (!single && line.size() == 1 && header.size() == 2 && Member(header, "left_out") == true) {
        read.skipped = true;
        return true;
    }
    if (!single && line.size() == 1 && header.size() == 2 && Member(header, "counted_as_read") == true) {
        read.writerMessages = read.history.size();
        read.writerBlocks = read.history.empty() ? 0 : read.history.back().blocks.size();
        read.writerEntries = read.syncedEntries = read.entries.size();
        read.skipped = false;
        return true;
    }
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
    std::vector<ContentBlock> toLast;
    std::vector<HistoryMessage> incoming;
    if (!add.empty()) {
        const bool joins = m == read.writerMessages && !read.history.empty();
        if (!joins) incoming.push_back({(m - 1) % 2 == 0 ? Role::User : Role::Assistant, {}});
        if (!TakeBlocks(add, joins ? toLast : incoming.back().blocks)) return false;
    }
    for (json& message : added) {
        const json& role = Member(message, "role");
        incoming.push_back({role == "user" ? Role::User : Role::Assistant, {}});
        if ((role != "user" && role != "assistant") || ContentOf(message)->empty() ||
            !TakeBlocks(*ContentOf(message), incoming.back().blocks))
            return false;
    }
    if (read.skipped && !incoming.empty() && !read.history.empty() && read.history.back().role == incoming[0].role) {
        for (ContentBlock& block : incoming[0].blocks) toLast.push_back(std::move(block));
        incoming.erase(incoming.begin());
    }
    if (!FitAndName(read, toLast, incoming)) return false;
    for (ContentBlock& block : toLast) read.history.back().blocks.push_back(std::move(block));
    for (HistoryMessage& message : incoming) read.history.push_back(std::move(message));
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

}  // namespace

std::size_t RecordCost(const std::string& text, std::size_t at, std::size_t end)
{
    std::size_t total = 0;
    RecordCounter counter(total);
    return json::sax_parse(text.begin() + static_cast<std::ptrdiff_t>(at),
                           text.begin() + static_cast<std::ptrdiff_t>(end), &counter)
               ? total
               : std::string::npos;
}

bool DecodeRecords(const std::string& text, DecodedConversation& out, std::string& why)
{
    static const std::string kLeftOut = "[{\"left_out\":true,\"version\":2}]\n",
                             kCountedAsRead = "[{\"counted_as_read\":true,\"version\":2}]\n";
    Reading read;
    std::vector<std::size_t> damaged;
    std::vector<std::pair<std::size_t, std::size_t>> lines;  // of the records read; {npos, 0} where left out
    std::size_t at = 0, readBytes = 0, records = 0, index = 0;
    bool endsWithBreak = true;
    for (; at < text.size(); ++index) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        json line;
        if (ParseRecord(text, at, end, line) && ApplyRecord(line, index, read)) {
            ++records;
            endsWithBreak = end < text.size();
            readBytes = endsWithBreak ? end + 1 : end;
            lines.emplace_back(at, end);
        } else {
            read.skipped = true;
            damaged.push_back(index);
            if (lines.empty() || lines.back().first != std::string::npos) lines.emplace_back(std::string::npos, 0);
        }
        at = end < text.size() ? end + 1 : end;
    }
    if (records == 0) {
        why = "it holds no conversation record";
        return false;
    }
    out.history = std::move(read.history);
    out.entries = std::move(read.entries);
    // Only an unfinished or damaged last record is cut off by the next append; anything else
    // that could not be read makes the file one to set aside and write anew.
    out.readBytes = readBytes;
    out.damagedInside = !damaged.empty() && (damaged.size() > 1 || damaged[0] + 1 != index);
    out.appendable = endsWithBreak && !out.damagedInside;
    out.repaired.clear();
    if (out.damagedInside) {
        out.repaired.reserve(readBytes + lines.size() + damaged.size() * kLeftOut.size() + kCountedAsRead.size());
        for (const auto& [start, end] : lines) {
            if (start == std::string::npos) {
                out.repaired += kLeftOut;
                continue;
            }
            out.repaired.append(text, start, end - start);
            out.repaired += '\n';
        }
        out.repaired += kCountedAsRead;
    }
    return true;
}
