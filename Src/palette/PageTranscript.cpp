// The palette's record of its chat page, and the form a page receives it in.
#include "palette/PageTranscript.hpp"

#include <algorithm>

#include "core/CompactJson.hpp"

using nlohmann::json;

namespace {

bool IsThumbnailType(const std::string& mediaType) { return mediaType == "image/png" || mediaType == "image/jpeg"; }

std::string TextOf(const json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

void PageTranscript::AddUserMessage(const std::string& text, const std::vector<File>& files)
{
    json kept = json::array();
    for (const File& file : files) {
        const bool thumbnail = IsThumbnailType(file.mediaType) && file.data.size() <= kMaxThumbnailData;
        kept.push_back({{"name", file.name}, {"media_type", file.mediaType}, {"data", thumbnail ? file.data : ""}});
    }
    entries.push_back({{"kind", "user"}, {"text", text}, {"files", std::move(kept)}});
}

void PageTranscript::AddUserContent(const json& blocks)
{
    if (!blocks.is_array()) {
        return;
    }
    std::string text;
    std::vector<File> files;
    for (const json& block : blocks) {
        if (!block.is_object()) {
            continue;
        }
        const std::string type = TextOf(block, "type");
        if (type == "text") {
            const std::string part = TextOf(block, "text");
            text += (text.empty() || part.empty() ? "" : "\n\n") + part;
        } else if ((type == "image" || type == "document") && block.contains("source") && block["source"].is_object()) {
            const json& source = block["source"];
            const auto data = source.find("data");
            // Only data small enough to be kept as a thumbnail is copied.
            const bool small = data != source.end() && data->is_string() &&
                               data->get_ref<const std::string&>().size() <= kMaxThumbnailData;
            files.push_back({TextOf(block, "name"), TextOf(source, "media_type"), small ? TextOf(source, "data") : ""});
        }
    }
    AddUserMessage(text, files);
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

std::vector<std::string> PageTranscript::MarkUnsent(const std::string& text)
{
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (TextOf(*entry, "kind") != "user" || TextOf(*entry, "text") != text || entry->contains("unsent")) continue;
        (*entry)["unsent"] = true;
        changedFrom = std::min(changedFrom, static_cast<std::size_t>(entries.rend() - entry) - 1);
        std::vector<std::string> names;
        for (const json& file : (*entry)["files"]) names.push_back(TextOf(file, "name"));
        return names;
    }
    return {};
}

void PageTranscript::MarkNewestUnsent()
{
    // Added since the last save, so nothing kept is out of date.
    if (!entries.empty() && TextOf(entries.back(), "kind") == "user") entries.back()["unsent"] = true;
}

void PageTranscript::Clear()
{
    entries = json::array();
    busy = false;
    notice.clear();
    changedFrom = std::string::npos;
}

std::string PageTranscript::ToJson(const std::string& page) const
{
    json whole{{"page", page.empty() ? json() : json(page)}, {"busy", busy}, {"entries", entries}};
    if (!notice.empty()) whole["entries"].push_back({{"kind", "assistant"}, {"text", notice}});
    return CompactJson(whole);
}

bool PageTranscript::Restore(const json& kept)
{
    if (!kept.is_array()) return false;
    for (const json& entry : kept)
        if (!entry.is_object()) return false;
    entries = kept;
    busy = false;
    changedFrom = std::string::npos;
    return true;
}
