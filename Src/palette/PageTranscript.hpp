#pragma once

// What the palette has shown on its chat page: the user's messages, the assistant's
// messages, tool cards, render previews and whether a turn is running. A page that loads or
// reloads (or a second page on the same palette) is given this, so that what the user sees
// is what the model reads; clearing the conversation empties it.

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

    // The page shows a user message itself when it sends one; the transcript keeps it too.
    void AddUserMessage(const std::string& text, const std::vector<File>& files);
    // A message the page sent as content blocks (see engine/UserContent.hpp): its text blocks
    // joined by blank lines, its attachments as files. Blocks it cannot read are left out.
    void AddUserContent(const nlohmann::json& blocks);
    void AddAssistantMessage(const std::string& text);
    void AddToolResult(const std::string& toolName, bool success, const std::string& detail);
    // label: empty for a render's preview.
    void AddRenderPreview(const std::string& imageUrl, const std::string& downloadUrl, const std::string& label = "");
    void SetBusy(bool busy);
    bool Busy() const { return busy; }
    // The newest user message with this text that is not marked yet is marked as not sent
    // ("unsent": true); gives the names of its files, in order (empty when none matched).
    std::vector<std::string> MarkUnsent(const std::string& text);
    // The same for the entry just added, when it is a user message: one refused before it left.
    void MarkNewestUnsent();
    // A warning about the conversation rather than part of it (a save that failed): shown after
    // the entries until replaced, or emptied by an empty text; never among the kept entries.
    void SetNotice(const std::string& text) { notice = text; }
    void Clear();

    // {"page": page (null when empty: every page), "busy": bool, "entries": [...]}, each entry
    // {"kind": "user", "text", "files": [{"name", "media_type", "data"}], "unsent" (only when true)} | {"kind":
    // "assistant", "text"} | {"kind": "tool", "name", "success", "detail"} | {"kind": "preview", "image", "download",
    // "label" (only when given)}, the notice last as an assistant entry. Text that is not valid
    // UTF-8 has its bad bytes replaced.
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
    nlohmann::json entries = nlohmann::json::array();
    bool busy = false;
    std::string notice;
    std::size_t changedFrom = std::string::npos;
};
