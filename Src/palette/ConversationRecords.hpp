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
// Reading keeps every record it can: one that is damaged, holds too many values or leaves a
// history no service would take back is left out, and the whole ones after it are placed after
// what was read (see DecodeRecords).

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

// A record holding more JSON values than this (each object, array, member name, text, number and
// literal counts one; what a text holds does not) is refused as it is parsed, before more of it is
// built. A record's bulk is text (attachments in base64 among it); a line of a million small values
// would take some hundred megabytes once parsed, and a longer one more.
constexpr std::size_t kMaxRecordValues = std::size_t{1} << 20;

// The record of what history and entries (a list of objects) hold beyond from. history must
// continue what it held at from: the same messages, the last of them perhaps with more blocks.
// Past a sixteenth of kMaxRecordValues, it is cut into several records before questions, so that
// a long conversation written whole is read back whole.
std::string EncodeRecord(const std::vector<HistoryMessage>& history, const nlohmann::json& entries,
                         const KeptPosition& from);

struct DecodedConversation {
    std::vector<HistoryMessage> history;
    nlohmann::json entries = nlohmann::json::array();
    std::size_t readBytes = 0;   // the records read, from the start of the text
    bool appendable = false;     // those records end with a line break, and what follows them (if
                                 // anything) is one last record, unfinished or damaged
    bool damagedInside = false;  // a record before the last could not be read
    // The records before the first one left out, as the text holds them (soundBytes long), and
    // how much of the conversation they hold: what the records after them added and the entries
    // they changed start at sound. A file written anew keeps those bytes and writes the rest.
    std::size_t soundBytes = 0;
    KeptPosition sound;
};

// The conversation that text's records hold, without the records that cannot be read (or that
// leave a history no service would take back). Each line is parsed once. Two tool calls sharing
// one id are told apart by their order. False with why when no record can be read.
bool DecodeRecords(const std::string& text, DecodedConversation& out, std::string& why);
