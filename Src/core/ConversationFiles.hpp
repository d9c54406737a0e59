#pragma once

// Conversations kept between runs: one file per sanitised name in ~/.quillmere/history,
// readable by the user only. What a file holds is up to the palette, which keeps it; here a file
// is written whole, appended to, listed, read and set aside. A new conversation gets a new file
// and the old ones stay. Several hosts may share the folder: each holds the file of the
// conversation it keeps (HeldConversation), and none writes into a file another holds.

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

// The names (without ".json") of the regular files in the history folder that could be
// conversations, the one modified last first.
std::vector<std::string> ConversationsNewestFirst();

// The file of the conversation this host keeps, open and held with an exclusive advisory lock
// (flock) until released, so that a second host on the same folder leaves it alone. Every write
// goes to a temporary file first, locked before it takes the conversation's name, or is an
// append checked against what this host knows of the file; a file that changed behind its back
// is never cut.
class HeldConversation {
public:
    enum class Taken { Held, HeldElsewhere, CannotOpen };

    HeldConversation() = default;
    ~HeldConversation() { Release(); }
    HeldConversation(const HeldConversation&) = delete;
    HeldConversation& operator=(const HeldConversation&) = delete;

    // Opens the file of name and locks it. HeldElsewhere when another host holds it.
    Taken TakeUp(const std::string& name);
    // The held file's whole content.
    bool Read(std::string& text);
    // A new conversation file holding text, under name or, when another writer took that name
    // meanwhile, the next free one (name is changed). Its bytes are on the disk before the name
    // appears.
    bool Create(std::string& name, const std::string& text, std::string* error = nullptr);
    // Replaces the held file's content with text, whole or not at all; the new file stays held.
    bool Replace(const std::string& text, std::string* error = nullptr);
    // Adds text after the first keptSize bytes of the held file, which must be knownSize bytes
    // long, as this host left it: what lies beyond keptSize then is the unfinished end of an
    // append of ours. An append that fails part-way is cut back. Nothing is written when the
    // file is longer or shorter than knownSize, or another file has taken its name (see
    // ChangedSince). fileSize: the file's length afterwards.
    bool Append(const std::string& text, std::uint64_t keptSize, std::uint64_t knownSize, std::uint64_t& fileSize,
                std::string* error = nullptr);
    // Another writer has changed the held file since it was knownSize bytes long, or has put
    // another file in its place.
    bool ChangedSince(std::uint64_t knownSize) const;
    // Gives the held file's bytes a name beside it (".damaged", ".damaged.1", ...) and returns
    // that file name, or "". keepHere: the conversation's name keeps the bytes too (they are
    // replaced afterwards); otherwise the file leaves it and is released.
    std::string SetAside(bool keepHere, const std::string& text);
    void Release();
    const std::string& Name() const { return name; }

private:
    int fd = -1;
    std::string name;
};

}  // namespace LocalStorage
