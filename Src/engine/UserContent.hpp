#pragma once

// A user message as content blocks, the form a message with attachments arrives in:
// [{"type":"text","text"}, {"type":"image"|"document","name","source":{"type":"base64","media_type","data"}}]
// (or one plain string), read into the history's blocks.

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Conversation.hpp"

// An attachment's file name as the chat names it in a refusal: quoted, as the page shows it,
// with each control character written as an escape ("plan\u0007.png").
std::string FileAsShown(const std::string& name);
// items listed as a sentence lists them: "a", "a and b", "a, b and c".
std::string ListedInProse(const std::vector<std::string>& items);

// Appends the message's blocks in order; false with error saying what cannot be read and why
// ("block 2 (image) has no base64 data"), and blamed (when given) holding the indexes of the
// blocks at fault: none when the content as a whole is unreadable. An attachment's file name
// ("name", which the page shows) and media type, when given, must be text without control
// characters; every file whose name holds one is named, so that the user can rename them.
// Blank text blocks are kept. Attachment data is moved out of content, not copied.
bool ReadUserContent(nlohmann::json& content, std::vector<ContentBlock>& blocks, std::string& error,
                     std::vector<std::size_t>* blamed = nullptr);
