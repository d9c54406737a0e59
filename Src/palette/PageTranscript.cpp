// The palette's record of its chat page, and the form a page receives it in.
#include "palette/PageTranscript.hpp"

#include <algorithm>
#include <utility>

#include "core/CompactJson.hpp"

using nlohmann::json;

namespace {

bool IsThumbnailType(const std::string& mediaType) { return mediaType == "image/png" || mediaType == "image/jpeg"; }

std::string TextOf(const json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// Empties the data of each file in holder's "files"; whether any held some.
bool DropFileData(json& holder)
{
    bool dropped = false;
    const auto files = holder.is_object() ? holder.find("files") : holder.end();
    if (files == holder.end() || !files->is_array()) return false;
    for (json& file : *files) {
        if (TextOf(file, "data").empty()) continue;
        file["data"] = "";
        dropped = true;
    }
    return dropped;
}

}  // namespace

void PageTranscript::AddUserMessage(const std::string& text, const std::vector<File>& files)
{
    std::vector<std::size_t> fileBlock(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) fileBlock[i] = i;
    AddUser(text, files, std::move(fileBlock));
}

void PageTranscript::AddUser(const std::string& text, std::vector<File> files, std::vector<std::size_t> fileBlock)
{
    json kept = json::array(), box = json::array();
    for (File& file : files) {
        const bool thumbnail = IsThumbnailType(file.mediaType) && file.data.size() <= kMaxThumbnailData;
        kept.push_back({{"name", file.name}, {"media_type", file.mediaType}, {"data", thumbnail ? file.data : ""}});
        box.push_back({{"name", file.name}, {"media_type", file.mediaType}, {"data", std::move(file.data)}});
    }
    entries.push_back({{"kind", "user"}, {"text", text}, {"files", std::move(kept)}});
    awaiting.push_back({entries.size() - 1, {{"text", text}, {"files", std::move(box)}}, std::move(fileBlock)});
}

void PageTranscript::AddUserContent(const json& blocks)
{
    if (!blocks.is_array()) {
        return;
    }
    std::string text;
    std::vector<File> files;
    std::vector<std::size_t> fileBlock;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const json& block = blocks[i];
        if (!block.is_object()) {
            continue;
        }
        const std::string type = TextOf(block, "type");
        if (type == "text") {
            const std::string part = TextOf(block, "text");
            text += (text.empty() || part.empty() ? "" : "\n\n") + part;
        } else if ((type == "image" || type == "document") && block.contains("source") && block["source"].is_object()) {
            // Copied whole: should no reply come, the file goes back into the input box.
            const json& source = block["source"];
            files.push_back({TextOf(block, "name"), TextOf(source, "media_type"), TextOf(source, "data")});
            fileBlock.push_back(i);
        }
    }
    AddUser(text, std::move(files), std::move(fileBlock));
}

bool PageTranscript::ReplyCame()
{
    if (awaiting.empty() || awaiting.front().replied) return false;
    awaiting.front().replied = true;
    return true;
}

void PageTranscript::TurnEnded()
{
    if (!awaiting.empty()) awaiting.pop_front();
}

void PageTranscript::AddAssistantMessage(const std::string& text)
{
    entries.push_back({{"kind", "assistant"}, {"text", text}});
}

void PageTranscript::AddToolResult(const std::string& toolName, bool success, const std::string& detail)
{
    entries.push_back({{"kind", "tool"}, {"name", toolName}, {"success", success}, {"detail", detail}});
}

void PageTranscript::AddRenderPreview(const std::string& imageUrl, const std::string& downloadUrl,
                                      const std::string& label)
{
    json entry{{"kind", "preview"}, {"image", imageUrl}, {"download", downloadUrl}};
    if (!label.empty()) entry["label"] = label;
    entries.push_back(std::move(entry));
}

void PageTranscript::SetBusy(bool isBusy) { busy = isBusy; }

void PageTranscript::Mark(std::size_t entry, const char* mark, json box)
{
    entries[entry][mark] = true;
    entries[entry]["box"] = std::move(box);
    boxed.push_back(entry);
    changedFrom = std::min(changedFrom, entry);
    for (Awaiting& message : awaiting)
        if (message.entry == entry) message.returned = true;
}

json PageTranscript::MarkReturned(json box, bool unanswered)
{
    const std::string text = TextOf(box, "text");
    std::size_t found = entries.size();
    for (std::size_t i = entries.size(); i-- > 0 && found == entries.size();) {
        const json& entry = entries[i];
        if (TextOf(entry, "kind") == "user" && TextOf(entry, "text") == text && !entry.contains("unsent") &&
            !entry.contains("unanswered"))
            found = i;
    }
    const json* named = nullptr;  // the files as the message named them
    if (found < entries.size()) {
        const auto list = entries[found].find("files");
        if (list != entries[found].end() && list->is_array()) named = &*list;
    }
    json& files = box["files"];
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string name = named != nullptr && i < named->size() ? TextOf((*named)[i], "name") : std::string();
        files[i]["name"] = name.empty() ? "attachment " + std::to_string(i + 1) : name;
    }
    if (found < entries.size()) Mark(found, unanswered ? "unanswered" : "unsent", box);
    return box;
}

void PageTranscript::MarkNewestUnsent(const std::vector<std::size_t>& blamed)
{
    if (entries.empty() || TextOf(entries.back(), "kind") != "user") return;
    json box{{"text", TextOf(entries.back(), "text")}, {"files", json::array()}};
    if (!awaiting.empty() && awaiting.back().entry + 1 == entries.size()) {
        Awaiting& message = awaiting.back();
        for (std::size_t i = 0; i < message.fileBlock.size(); ++i)
            if (std::find(blamed.begin(), blamed.end(), message.fileBlock[i]) == blamed.end())
                box["files"].push_back(std::move(message.box["files"][i]));
        awaiting.pop_back();  // it never left: no turn ends for it
    }
    // Its files are kept in the box alone, and those refused nowhere, not even as thumbnails.
    DropFileData(entries.back());
    Mark(entries.size() - 1, "unsent", std::move(box));
}

PageTranscript::Waiting PageTranscript::MarkUnanswered()
{
    Waiting found = Waiting::None;
    for (Awaiting& message : awaiting) {
        if (message.replied && !message.returned) {
            if (found == Waiting::None) found = Waiting::Replied;
            continue;
        }
        // Given back already, or marked now: either way no reply came for it.
        if (!message.returned) Mark(message.entry, "unanswered", std::move(message.box));
        found = Waiting::Unanswered;
    }
    awaiting.clear();
    return found;
}

bool PageTranscript::EmptyBoxes()
{
    bool dropped = false;
    for (const std::size_t entry : boxed) {
        if (entry >= entries.size() || !entries[entry].is_object()) continue;
        // The files go with the box, thumbnails and all: the model never had them.
        json& message = entries[entry];
        const auto box = message.find("box");
        if (box != message.end()) dropped = DropFileData(*box) || dropped;
        dropped = DropFileData(message) || dropped;
        message.erase("box");
        changedFrom = std::min(changedFrom, entry);
    }
    boxed.clear();
    return dropped;
}

void PageTranscript::Clear()
{
    entries = json::array();
    awaiting.clear();
    boxed.clear();
    busy = false;
    notice.clear();
    changedFrom = std::string::npos;
}

std::string PageTranscript::ToJson(const std::string& page) const
{
    json whole{{"page", page.empty() ? json() : json(page)}, {"busy", busy}, {"entries", entries}};
    if (busy && TurnReplied()) whole["replied"] = true;
    if (!notice.empty()) whole["entries"].push_back({{"kind", "assistant"}, {"text", notice}});
    return CompactJson(whole);
}

bool PageTranscript::Restore(const json& kept)
{
    if (!kept.is_array()) return false;
    for (const json& entry : kept)
        if (!entry.is_object()) return false;
    entries = kept;
    awaiting.clear();
    boxed.clear();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].contains("box")) boxed.push_back(i);
    busy = false;
    changedFrom = std::string::npos;
    return true;
}
