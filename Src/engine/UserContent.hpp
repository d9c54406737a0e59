#pragma once

// A user message as content blocks, the form a message with attachments arrives in:
// [{"type":"text","text"}, {"type":"image"|"document","source":{"type":"base64","media_type","data"}}]
// (or one plain string), read into the history's blocks.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Conversation.hpp"

// Appends the message's blocks in order; false with error saying which block is unreadable
// and why ("block 2 (image) has no base64 data"): an attachment's file name ("name", which
// the page shows) and media type, when given, must be text without control characters.
// Blank text blocks are kept. Attachment data is moved out of content, not copied.
bool ReadUserContent(nlohmann::json& content, std::vector<ContentBlock>& blocks, std::string& error);
