#pragma once

// The chat page's message as it arrives with attachments: a list of content blocks,
// [{"type":"text","text"}, {"type":"image"|"document","source":{"type":"base64","media_type","data"}}]
// (or one plain string), read into the engine's history blocks. The page's format is known
// here only; ModelBridge::SendMessageWithAttachments, which hands such a message to the
// engine, is defined in PageMessage.cpp for that reason.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Conversation.hpp"

// Appends the message's blocks in order; false with error saying which block is unreadable
// and why ("block 2 (image) has no base64 data"). Blank text blocks are kept.
bool ReadPageMessage(const nlohmann::json& content, std::vector<ContentBlock>& blocks, std::string& error);
