#pragma once

// What the palette has shown on its chat page: the user's messages, the assistant's
// messages, tool cards, render previews and whether a turn is running. A page that loads or
// reloads (or a second page on the same palette) is given this, so that what the user sees
// is what the model reads; clearing the conversation empties it. A message no reply came for is
// marked ("Not sent", "Not answered") and keeps what goes back into the input box, so that a
// reloaded page or a restarted host puts it back there too.

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

class PageTranscript {
public:
    struct File {
        std::string name;  // as the page named it; may be empty
        std::string mediaType;
        std::string data;  // base64; kept for thumbnails of small PNG and JPEG images only
    };

    // The page shows a user message itself when it sends one; the transcript keeps it too, and
    // until its turn ends (TurnEnded) what of it would go back into the input box.
    void AddUserMessage(const std::string& text, const std::vector<File>& files);
    // A message the page sent as content blocks (see engine/UserContent.hpp): its text blocks
    // joined by blank lines, its attachments as files. Blocks it cannot read are left out.
    void AddUserContent(const nlohmann::json& blocks);
    // The turn of the oldest message still waiting has shown a reply (text or a tool's card);
    // true when that is news: the first reply of its turn.
    bool ReplyCame();
    // Whether the turn of the oldest message still waiting has shown a reply: stopped now, it
    // ends part way rather than unanswered.
    bool TurnReplied() const { return !awaiting.empty() && awaiting.front().replied && !awaiting.front().returned; }
    // The turn of the oldest message still waiting has ended.
    void TurnEnded();
    void AddAssistantMessage(const std::string& text);
    void AddToolResult(const std::string& toolName, bool success, const std::string& detail);
    // label: empty for a render's preview.
    void AddRenderPreview(const std::string& imageUrl, const std::string& downloadUrl, const std::string& label = "");
    void SetBusy(bool busy);
    bool Busy() const { return busy; }
    // The newest user message with box's text that is not marked yet is marked as not sent
    // ("unsent": true) or, with unanswered, as not answered ("unanswered": true), and keeps box
    // ({"text", "files": [{"media_type", "data"}]}) as what goes back into the input box, each
    // file named as the message named it ("attachment N" when it did not); gives that box.
    nlohmann::json MarkReturned(nlohmann::json box, bool unanswered);
    // The entry just added, when it is a user message, is marked as not sent: one refused before
    // it left. Its box holds its text and its attachments but those at blamed (indexes of the
    // blocks it was sent as); it keeps no thumbnail (the box holds what can be sent), and it waits
    // for no turn.
    void MarkNewestUnsent(const std::vector<std::size_t>& blamed = {});
    // A message sent is waiting for its turn to end.
    bool TurnUnderWay() const { return !awaiting.empty(); }
    // The host stops: each message still waiting is marked as not answered, with its text and
    // attachments as its box, unless a reply to it has shown. Says whether any was waiting, and
    // whether one had no reply (marked now or given back before) or all had replies under way.
    enum class Waiting { None, Replied, Unanswered };
    Waiting MarkUnanswered();
    // The user sent a message: what went back into the box was sent with it or put aside, and
    // its files go, thumbnails too. Says whether any file data went (only a file written whole
    // no longer holds it).
    bool EmptyBoxes();
    // A warning about the conversation rather than part of it (a save that failed): shown after
    // the entries until replaced, or emptied by an empty text; never among the kept entries.
    void SetNotice(const std::string& text) { notice = text; }
    void Clear();

    // {"page": page (null when empty: every page), "busy": bool, "entries": [...]}, each entry
    // {"kind": "user", "text", "files": [{"name", "media_type", "data"}], "unsent" (only when true)} | {"kind":
    // "assistant", "text"} | {"kind": "tool", "name", "success", "detail"} | {"kind": "preview", "image", "download",
    // "label" (only when given)}, a user entry also "unanswered" (only when true) and "box"
    // {"text", "files"} while it is to go back into the input box, the notice last as an
    // assistant entry; "replied": true while busy with a turn that has shown a reply. Text that is
    // not valid UTF-8 has its bad bytes replaced.
    std::string ToJson(const std::string& page) const;

    // The entries as kept between runs, and taken back (not busy); false, changing nothing,
    // when entries is not a list of objects.
    const nlohmann::json& Entries() const { return entries; }
    bool Restore(const nlohmann::json& kept);
    // The first entry changed in place (rather than added) since MarkKept, or npos: what was
    // kept from there on is out of date.
    std::size_t ChangedFrom() const { return changedFrom; }
    void MarkKept() { changedFrom = std::string::npos; }

    // Thumbnails larger than this (in base64 characters) are not kept: the page shows a badge.
    static constexpr std::size_t kMaxThumbnailData = 2 * 1024 * 1024;

private:
    // A user message whose turn has not ended.
    struct Awaiting {
        std::size_t entry;
        nlohmann::json box;                  // {"text", "files": [{"name", "media_type", "data"}]}
        std::vector<std::size_t> fileBlock;  // of each file, the block it was sent as
        bool replied = false;
        bool returned = false;  // marked already
    };
    void AddUser(const std::string& text, std::vector<File> files, std::vector<std::size_t> fileBlock);
    void Mark(std::size_t entry, const char* mark, nlohmann::json box);

    nlohmann::json entries = nlohmann::json::array();
    std::deque<Awaiting> awaiting;
    std::vector<std::size_t> boxed;  // the entries holding a box
    bool busy = false;
    std::string notice;
    std::size_t changedFrom = std::string::npos;
};
