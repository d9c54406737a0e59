// Reading a user message given as content blocks into the history's blocks.
#include "engine/UserContent.hpp"

#include <utility>

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
            std::string mediaType;
            if (source->contains("media_type")) {
                if (!(*source)["media_type"].is_string()) {
                    error = where + " (" + type + ") has a media type that is not text";
                    return false;
                }
                mediaType = (*source)["media_type"].get<std::string>();
            }
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
