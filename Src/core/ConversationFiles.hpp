#pragma once

// Conversations kept between runs: one file per sanitised name in ~/.quillmere/history,
// readable by the user only. What a file holds is up to the palette, which keeps it; here a file
// is written whole, appended to, listed, read and set aside. A new conversation gets a new file
// and the old ones stay.

#include <cstdint>
#include <string>
#include <vector>

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

// Adds text after the first keptSize bytes of the conversation's file (see AppendToFile in
// core/FileText.hpp): on failure the file holds those bytes as before.
bool AppendToConversation(const std::string& name, const std::string& text, std::uint64_t keptSize,
                          std::string* error = nullptr);

// The names (without ".json") of the regular files in the history folder that could be
// conversations, the one modified last first.
std::vector<std::string> ConversationsNewestFirst();

// The whole file of the conversation; false when it cannot be read.
bool ReadConversation(const std::string& name, std::string& text);

// A file that cannot be read back is renamed beside itself (".damaged", ".damaged.1", ...),
// never deleted, so that it is not offered again and the user can still look at it.
bool SetConversationAside(const std::string& name);

}  // namespace LocalStorage
