#pragma once

// Conversations kept between runs: one JSON file per sanitised name in ~/.quillmere/history,
// readable by the user only. A conversation is saved whole after every turn, so a file is
// always one complete conversation; a new conversation gets a new file and the old ones stay.

#include <optional>
#include <string>

namespace LocalStorage {

// GetBaseDir() + "/history". Not created here.
std::string HistoryDir();

// A name for a conversation starting now: "conversation-" and the UTC time to the second,
// with "-2", "-3", ... when a file of that name is already there.
std::string NewConversationName();

// HistoryDir() + "/" + SanitiseName(name) + ".json".
std::string ConversationPath(const std::string& name);

// Writes text as the conversation's file (making the folders), mode 0600, through a temporary
// name renamed over the old file. false with error when it could not be written.
bool SaveConversation(const std::string& name, const std::string& text, std::string* error = nullptr);

struct StoredConversation {
    std::string name;  // the file's name without ".json"
    std::string text;
};

// The conversation saved last (the regular file modified last), if any.
std::optional<StoredConversation> LatestConversation();

// A file that cannot be read back is renamed beside itself (".damaged", ".damaged.1", ...),
// never deleted, so that it is not offered again and the user can still look at it.
bool SetConversationAside(const std::string& name);

}  // namespace LocalStorage
