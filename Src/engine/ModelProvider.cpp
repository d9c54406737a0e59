#include "engine/ModelProvider.hpp"

#include "core/JsonDepth.hpp"
#include "engine/ProviderCommon.hpp"

std::string ServiceErrorMessage(const std::string& body)
{
    const nlohmann::json parsed = ParseOutsideJson(body);
    if (!parsed.is_object()) {
        return "";
    }
    const auto error = parsed.find("error");
    if (error == parsed.end()) {
        return "";
    }
    if (error->is_string()) {
        return error->get<std::string>();
    }
    if (error->is_object()) {
        const auto message = error->find("message");
        if (message != error->end() && message->is_string()) {
            return message->get<std::string>();
        }
    }
    return "";
}

namespace ProviderCommon {

const char* const kTooDeepText = "the reply is nested too deeply to be read";

bool IsImageTypeModelsRead(const std::string& mediaType)
{
    return mediaType == "image/png" || mediaType == "image/jpeg" || mediaType == "image/gif" ||
           mediaType == "image/webp";
}

std::string UnreadableImageNote(const std::string& mediaType)
{
    return "[An image of type " + (mediaType.empty() ? std::string("unknown") : mediaType) +
           " is attached. It cannot be shown to you, but tools that take attachments can use it.]";
}

nlohmann::json ParseObject(const std::string& body)
{
    bool tooDeep = false;
    nlohmann::json parsed = ParseOutsideJson(body, &tooDeep);
    if (tooDeep) {
        throw ReplyFormatError(kTooDeepText);
    }
    if (parsed.is_discarded()) {
        throw ReplyFormatError("the reply is not JSON");
    }
    if (!parsed.is_object()) {
        throw ReplyFormatError("the reply is not a JSON object");
    }
    const std::string serviceError = ServiceErrorMessage(body);
    if (!serviceError.empty()) {
        throw ReplyFormatError(serviceError);
    }
    return parsed;
}

std::string StringMember(const nlohmann::json& object, const char* key, const std::string& what)
{
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        throw ReplyFormatError(what + " has no \"" + key + "\" text");
    }
    return found->get<std::string>();
}

}  // namespace ProviderCommon
