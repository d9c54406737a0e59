// Reading a user message given as content blocks into the history's blocks.
#include "engine/UserContent.hpp"

#include <cstdio>
#include <utility>

#include "core/HeaderText.hpp"

namespace {

// Why an attachment's label (its file name, its media type) cannot be used, or "".
std::string LabelProblem(const nlohmann::json& holder, const char* key, const std::string& what)
{
    const auto label = holder.find(key);
    if (label == holder.end()) return "";
    if (!label->is_string()) return "has " + what + " that is not text";
    if (HasControlCharacter(label->get_ref<const std::string&>()))
        return "has " + what + " holding a control character";
    return "";
}

// "the file "a\u0001.png"", or for several "the files "a\u0001.png" and "b\u0002.png"".
std::string FilesAsShown(const std::vector<std::string>& names)
{
    std::vector<std::string> shown;
    for (const std::string& name : names) shown.push_back(FileAsShown(name));
    return (names.size() == 1 ? "the file " : "the files ") + ListedInProse(shown);
}

}  // namespace

std::string ListedInProse(const std::vector<std::string>& items)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
        text += items[i];
    }
    return text;
}

std::string FileAsShown(const std::string& name)
{
    std::string shown = "\"";
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const unsigned char next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
        // A C1 control character is two bytes in UTF-8: C2 and the character itself.
        const bool c1 = c == 0xC2 && next >= 0x80 && next <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c1 ? next : c);
            shown += escape;
            i += c1 ? 1 : 0;
        } else {
            shown += name[i];
        }
    }
    return shown + "\"";
}

bool ReadUserContent(nlohmann::json& content, std::vector<ContentBlock>& blocks, std::string& error,
                     std::vector<std::size_t>* blamed)
{
    const auto fail = [&](std::string why, std::vector<std::size_t> at) {
        error = std::move(why);
        if (blamed != nullptr) *blamed = std::move(at);
        return false;
    };
    if (content.is_string()) {
        blocks.push_back(ContentBlock::Text(content.get<std::string>()));
        return true;
    }
    if (!content.is_array()) return fail("the message content is not a list of blocks", {});
    std::vector<std::string> badNames;  // of the files whose names hold a control character
    std::vector<std::size_t> badNamesAt;
    for (std::size_t i = 0; i < content.size(); ++i) {
        nlohmann::json& block = content[i];
        const std::string where = "block " + std::to_string(i + 1);
        if (!block.is_object() || !block.contains("type") || !block["type"].is_string())
            return fail(where + " has no type", {});
        const std::string type = block["type"].get<std::string>();
        if (type == "text") {
            if (!block.contains("text") || !block["text"].is_string()) return fail(where + " has no text", {});
            blocks.push_back(ContentBlock::Text(block["text"].get<std::string>()));
        } else if (type == "image" || type == "document") {
            // A file the page named is named as the box shows it, else by its place.
            const auto name = block.find("name");
            const bool named = name != block.end() && name->is_string();
            const std::string what =
                named ? "the file " + FileAsShown(name->get<std::string>()) + " " : where + " (" + type + ") ";
            const auto source = block.find("source");
            if (source == block.end() || !source->is_object() || !source->contains("data") ||
                !(*source)["data"].is_string() || (*source)["data"].get_ref<const std::string&>().empty()) {
                const bool emptyFile = named && source != block.end() && source->is_object() &&
                                       source->contains("data") && (*source)["data"] == "";
                return fail(what + (emptyFile ? "is empty; attach it again once it holds its content, or send the "
                                                "message without it"
                                              : "has no base64 data"),
                            {i});
            }
            if (source->contains("type") && (*source)["type"] != "base64")
                return fail(what + "is not base64 data", {i});
            const std::string nameProblem = LabelProblem(block, "name", "a file name");
            if (!nameProblem.empty() && block["name"].is_string()) {
                badNames.push_back(block["name"].get<std::string>());
                badNamesAt.push_back(i);
            } else if (!nameProblem.empty()) {
                return fail(what + nameProblem, {i});
            }
            const std::string typeProblem = LabelProblem(*source, "media_type", "a media type");
            if (!typeProblem.empty()) return fail(what + typeProblem, {i});
            const std::string mediaType = source->value("media_type", std::string());
            std::string data = std::move((*source)["data"].get_ref<std::string&>());
            blocks.push_back(type == "image" ? ContentBlock::Image(mediaType, std::move(data))
                                             : ContentBlock::Document(mediaType, std::move(data)));
        } else {
            return fail(where + " has an unknown type \"" + type + "\"", {});
        }
    }
    if (!badNames.empty()) {
        const bool one = badNames.size() == 1;
        return fail(FilesAsShown(badNames) + (one ? " has a name" : " have names") +
                        " holding a control character; rename " + (one ? "it" : "them") + " and attach " +
                        (one ? "it" : "them") + " again",
                    std::move(badNamesAt));
    }
    return true;
}
