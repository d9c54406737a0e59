#pragma once

// The neutral conversation history as JSON, the form it is kept in between runs:
// [{"role": "user"|"assistant", "content": [block, ...]}, ...] with each block one of
// {"type":"text","text"}, {"type":"image"|"document","media_type","data"},
// {"type":"tool_use","id","name","input"}, {"type":"tool_result","id","text","is_error"}.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Conversation.hpp"

nlohmann::json HistoryToJson(const std::vector<HistoryMessage>& messages);
// One block in that form.
nlohmann::json BlockToJson(const ContentBlock& block);
// The block in that form, its texts and input moved out of in (not copied); false when in is no
// such block.
bool TakeBlock(nlohmann::json& in, ContentBlock& block);

// false with why when json is not such a history, or one that no service would accept back
// (roles not alternating, a tool result without its call, an unanswered call before the end).
// failedMessage (when given) is set to the index of the message at fault.
bool HistoryFromJson(const nlohmann::json& json, std::vector<HistoryMessage>& messages, std::string& error,
                     std::size_t* failedMessage = nullptr);
