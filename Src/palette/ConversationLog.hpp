#pragma once

// The running conversation's file in the history folder, kept up to date a turn at a time: each
// save appends what the conversation gained since the last save that worked (records, see
// palette/ConversationRecords.hpp), so a save that failed is made good by the next one, and a
// failed or interrupted save never loses a turn saved before it. The file is written whole
// (through a temporary name renamed over it) only when there is nothing sound to append to: a
// new conversation, a file of an earlier version or damaged inside, or one an append failed on.
// The file is held (see LocalStorage::HeldConversation) while this log keeps it: a second host on
// the same folder gets a conversation of its own, and a file another writer added to is left as
// it is while the conversation goes on in a new one.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/ConversationFiles.hpp"
#include "engine/Conversation.hpp"
#include "palette/ConversationRecords.hpp"

class ConversationLog {
public:
    // A file that could not be read whole, under the name it was given beside itself.
    struct SetAside {
        std::string file;
        bool restoredInPart = false;  // what could be read is the conversation restored
    };

    // Takes up the newest conversation file that can be read (five at most are tried): one that
    // cannot be opened is passed over, a damaged one is set aside, and the next-newest is tried.
    // A file read in part gives what could be read. false, with a new conversation started, when
    // none could be read or the newest is held by another host. setAside (when given) lists the
    // files set aside.
    bool RestoreNewest(std::vector<HistoryMessage>& history, nlohmann::json& entries,
                       std::vector<SetAside>* setAside = nullptr);
    // A new conversation, in a new file made at its first save; the old file stays.
    void StartNew();
    // Writes what history and entries (the page transcript's) hold beyond the last save that
    // worked; entries from changedFrom on were changed in place and are written again. A history
    // that does not go on from what the file holds (cut back since, a question set aside after a
    // restore, and grown again) is written whole. false with the reason in error when nothing
    // could be written.
    bool Save(const std::vector<HistoryMessage>& history, const nlohmann::json& entries, std::size_t changedFrom,
              std::string& error);
    // The next save writes the file whole: what the file holds and the conversation no longer
    // does (the files of a message given back to the input box, once sent or put aside) goes.
    void WriteWholeNext() { keptBytes = 0; }
    const std::string& Name() const { return name; }

private:
    // The file written whole, through a temporary file: history and entries, or the records
    // whole that hold them (a damaged file's repaired).
    bool WriteAnew(const std::vector<HistoryMessage>& history, const nlohmann::json& entries, std::string& error,
                   const std::string* whole = nullptr);

    // Notes history's position and last message as what the file holds.
    void Kept(const std::vector<HistoryMessage>& history, const nlohmann::json& entries);

    std::string name;
    KeptPosition kept;            // what the file holds
    HistoryMessage keptLast;      // the last message it holds, as it holds it
    std::uint64_t keptBytes = 0;  // its length; 0 when there is nothing to append to
    std::uint64_t fileBytes = 0;  // its length as this log left it (an unfinished end included)
    std::shared_ptr<LocalStorage::HeldConversation> file;  // null until made or taken up
};
