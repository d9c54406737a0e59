// Reading a user message given as content blocks into the history's blocks.
#include "engine/UserContent.hpp"

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

}  // namespace

bool ReadUserContent(nlohmann::json& content, std::vector<ContentBlock>& blocks, std::string& error)
{
    if (content.is_string()) {
        blocks.push_back(ContentBlock::Text(content.get<std::string>()));
        return true;
    }
    if (!content.is_array()) {
        error = "the message content is not a list of blocks";
        return false;
    }
    for (std::size_t i = 0; i < content.size(); ++i) {
        nlohmann::json& block = content[i];
        const std::string where = "block " + std::to_string(i + 1);
        if (!block.is_object() || !block.contains("type") || !block["type"].is_string()) {
            error = where + " has no type";
            return false;
        }
        const std::string type = block["type"].get<std::string>();
        if (type == "text") {
            if (!block.contains("text") || !block["text"].is_string()) {
                error = where + " has no text";
                return false;
            }
            blocks.push_back(ContentBlock::Text(block["text"].get<std::string>()));
        } else if (type == "image" || type == "document") {
            const auto source = block.find("source");
            if (source == block.end() || !source->is_object() || !source->contains("data") ||
                !(*source)["data"].is_string() || (*source)["data"].get_ref<const std::string&>().empty()) {
                error = where + " (" + type + ") has no base64 data";
                return false;
            }
            if (source->contains("type") && (*source)["type"] != "base64") {
                error = where + " (" + type + ") is not base64 data";
                return false;
            }
            std::string problem = LabelProblem(block, "name", "a file name");
            if (problem.empty()) problem = LabelProblem(*source, "media_type", "a media type");
            if (!problem.empty()) {
                error = where + " (" + type + ") " + problem;
                return false;
            }
            const std::string mediaType = source->value("media_type", std::string());
            std::string data = std::move((*source)["data"].get_ref<std::string&>());
            blocks.push_back(type == "image" ? ContentBlock::Image(mediaType, std::move(data))
                                             : ContentBlock::Document(mediaType, std::move(data)));
        } else {
            error = where + " has an unknown type \"" + type + "\"";
            return false;
        }
    }
    return true;
}
