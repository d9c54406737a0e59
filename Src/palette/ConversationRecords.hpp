#pragma once

// What a conversation's file is made of. The file only grows: each save adds one record of what
// the conversation gained since the save before, and never touches what was written already,
// so an interrupted or failed save can leave nothing worse than an unfinished last record, which
// reading leaves out (with any last record that cannot be read).
//
// A record is one line, a JSON array [header, result, result, ...] and "\n". The header says
// where the conversation stood before the record and what the record adds:
//   {"version": 2,
//    "history_at": [m, b],        the history before: m messages, b blocks in the last of them
//    "add_to_last": [block, ...], blocks that last message gained (the results of tool calls)
//    "history": [message, ...],   messages added, as engine/HistoryJson.hpp writes them
//    "transcript_at": n,          the page's entries before; the entries from n on are replaced
//    "transcript": [entry, ...]}  by these, as the palette's PageTranscript keeps them
// Everything the conversation holds is written once. A tool result, JSON already, is not quoted
// again: it follows the header as it is, its block says "text_in": i (the record's i-th element)
// instead of "text", and the page's card of that call says "detail_in": i instead of repeating
// it. A page entry whose text or file data equals a block of its record says "text_at" or
// "data_at": [message, block] instead.
// The files of earlier versions hold one JSON object {"version": 1, "history", "transcript"}
// without a line break, which reads as a first record.
//
// Reading keeps every record it can: one that is damaged, would take too much memory or leaves a
// history no service would take back is left out, and the whole ones after it are placed after
// what was read (see DecodeRecords). A file damaged inside is written anew with the records read
// as they are and two marks, each a record of a header alone: {"left_out": true, "version": 2}
// where records were left out, so that those after it are placed as they were, and at the end
// {"counted_as_read": true, "version": 2}: the records after it start from the history and
// entries as read.

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Conversation.hpp"

// How much of a conversation a file holds.
struct KeptPosition {
    std::size_t messages = 0;
    std::size_t blocksInLast = 0;  // of the last of those messages
    std::size_t entries = 0;       // of the page transcript
};

KeptPosition PositionOf(const std::vector<HistoryMessage>& history, const nlohmann::json& entries);

// What a record takes once parsed is counted as it is parsed, each value by what the library's
// parsed value of it takes in memory at most (a number 48 bytes, a text 88 and its characters, an
// object 104, each member name 88 and its characters); a record that would take more than
// MostRecordCost of its line's length is refused before more of it is built. What makes a damaged
// line costly is many small values to a byte (a line of "{}" takes some 35 times its length),
// while what a conversation holds takes a few times its length at most: a long record (an earlier
// version wrote a conversation whole) reads back however long it is, and a damaged one costs at
// most ten times its length, or some hundred megabytes when it is shorter.
constexpr std::size_t kRecordCostFloor = std::size_t{96} << 20;
constexpr std::size_t kRecordCostPerByte = 10;
constexpr std::size_t MostRecordCost(std::size_t lineBytes)
{
    return lineBytes > kRecordCostFloor / kRecordCostPerByte ? lineBytes * kRecordCostPerByte : kRecordCostFloor;
}
// What the record line (without its line break) takes once parsed, as reading counts it; npos
// when it is not JSON.
std::size_t RecordCost(const std::string& text, std::size_t at, std::size_t end);

// The record of what history and entries (a list of objects) hold beyond from. history must
// continue what it held at from: the same messages, the last of them perhaps with more blocks.
// A long history is cut into several records before questions, and a record of more values to a
// byte than reading takes (a tool input of a million numbers) is padded with spaces before its
// line break, so that whatever is written is read back whole.
std::string EncodeRecord(const std::vector<HistoryMessage>& history, const nlohmann::json& entries,
                         const KeptPosition& from);

struct DecodedConversation {
    std::vector<HistoryMessage> history;
    nlohmann::json entries = nlohmann::json::array();
    std::size_t readBytes = 0;   // the records read, from the start of the text
    bool appendable = false;     // those records end with a line break, and what follows them (if
                                 // anything) is one last record, unfinished or damaged
    bool damagedInside = false;  // a record before the last could not be read
    // When damaged inside, the file to write anew: the records read as the text holds them, the
    // marks of those left out and that the history and entries are counted as read.
    std::string repaired;
};

// The conversation that text's records hold, without the records that cannot be read (or that
// leave a history no service would take back). Each line is parsed once. Two tool calls sharing
// one id are told apart by their order. False with why when no record can be read.
bool DecodeRecords(const std::string& text, DecodedConversation& out, std::string& why);
