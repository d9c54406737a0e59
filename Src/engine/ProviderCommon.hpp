#pragma once

#include <string>

#include <nlohmann/json.hpp>

// Helpers that both providers' renderers and parsers use.
namespace ProviderCommon {

// The image types both services accept; others are described to the model in words.
bool IsImageTypeModelsRead(const std::string& mediaType);
std::string UnreadableImageNote(const std::string& mediaType);

// Why a reply (or a tool call's arguments) nested more deeply than core/JsonDepth.hpp allows
// is refused.
extern const char* const kTooDeepText;

// The reply body as a JSON object; throws ReplyFormatError when it is not one, when it nests
// too deeply, or when it is the service's error object.
nlohmann::json ParseObject(const std::string& body);

// object[key] as text; throws ReplyFormatError naming what lacks it.
std::string StringMember(const nlohmann::json& object, const char* key, const std::string& what);

}  // namespace ProviderCommon
