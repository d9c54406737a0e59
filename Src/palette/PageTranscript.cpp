// The palette's record of its chat page, and the form a page receives it in.
#include "palette/PageTranscript.hpp"

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
            files.push_back({TextOf(block, "name"), TextOf(source, "media_type"), TextOf(source, "data")});
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

void PageTranscript::AddRenderPreview(const std::string& imageUrl, const std::string& downloadUrl)
{
    entries.push_back({{"kind", "preview"}, {"image", imageUrl}, {"download", downloadUrl}});
}

void PageTranscript::SetBusy(bool isBusy) { busy = isBusy; }

void PageTranscript::Clear()
{
    entries = json::array();
    busy = false;
}

std::string PageTranscript::ToJson(const std::string& page) const
{
    const json whole{{"page", page.empty() ? json() : json(page)}, {"busy", busy}, {"entries", entries}};
    return whole.dump(-1, ' ', false, json::error_handler_t::replace);
}
