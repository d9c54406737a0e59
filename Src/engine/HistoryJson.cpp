// Writing and reading the neutral history as JSON.
#include "engine/HistoryJson.hpp"

#include <set>
#include <type_traits>
#include <utility>

using nlohmann::json;

namespace {

// Json is json, whose texts and input are moved out, or const json, whose are copied.
template <typename Json>
decltype(auto) Out(Json& value)
{
    if constexpr (std::is_const_v<Json>)
        return value;
    else
        return std::move(value);
}

template <typename Json>
bool Text(Json& object, const char* key, std::string& into)
{
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return false;
    using String = std::conditional_t<std::is_const_v<Json>, const std::string, std::string>;
    into = Out(found->template get_ref<String&>());
    return true;
}

template <typename Json>
bool ReadBlock(Json& in, ContentBlock& block)
{
    std::string type, a, b;
    if (!in.is_object() || !Text(in, "type", type)) return false;
    if (type == "text") {
        if (!Text(in, "text", a)) return false;
        block = ContentBlock::Text(std::move(a));
    } else if (type == "image" || type == "document") {
        if (!Text(in, "media_type", a) || !Text(in, "data", b) || b.empty()) return false;
        block = type == "image" ? ContentBlock::Image(std::move(a), std::move(b))
                                : ContentBlock::Document(std::move(a), std::move(b));
    } else if (type == "tool_use") {
        const auto input = in.find("input");
        if (!Text(in, "id", a) || !Text(in, "name", b) || input == in.end() || !input->is_object()) return false;
        block = ContentBlock::ToolUse(std::move(a), std::move(b), Out(*input));
    } else if (type == "tool_result") {
        const auto isError = in.find("is_error");
        if (!Text(in, "id", a) || !Text(in, "text", b) || isError == in.end() || !isError->is_boolean()) return false;
        block = ContentBlock::ToolResult(std::move(a), std::move(b), isError->template get<bool>());
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool TakeBlock(json& in, ContentBlock& block) { return ReadBlock(in, block); }

json BlockToJson(const ContentBlock& block)
{
    switch (block.kind) {
    case BlockKind::Text: return {{"type", "text"}, {"text", block.text}};
    case BlockKind::Image:
    case BlockKind::Document:
        return {{"type", block.kind == BlockKind::Image ? "image" : "document"},
                {"media_type", block.mediaType},
                {"data", block.Data()}};
    case BlockKind::ToolUse:
        return {{"type", "tool_use"}, {"id", block.toolId}, {"name", block.toolName}, {"input", block.input}};
    case BlockKind::ToolResult:
        return {{"type", "tool_result"}, {"id", block.toolId}, {"text", block.text}, {"is_error", block.isError}};
    }
    return json::object();
}

json HistoryToJson(const std::vector<HistoryMessage>& messages)
{
    json out = json::array();
    for (const HistoryMessage& message : messages) {
        json content = json::array();
        for (const ContentBlock& block : message.blocks) content.push_back(BlockToJson(block));
        out.push_back({{"role", message.role == Role::User ? "user" : "assistant"}, {"content", std::move(content)}});
    }
    return out;
}

bool HistoryFromJson(const json& in, std::vector<HistoryMessage>& messages, std::string& error,
                     std::size_t* failedMessage)
{
    messages.clear();
    std::size_t unused = 0;
    std::size_t& failed = failedMessage != nullptr ? *failedMessage : unused;
    failed = 0;
    if (!in.is_array()) {
        error = "the history is not a list of messages";
        return false;
    }
    std::set<std::string> open;  // calls of the assistant message before not answered yet
    for (std::size_t i = 0; i < in.size(); ++i) {
        const json& entry = in[i];
        const std::string where = "message " + std::to_string(i + 1);
        failed = i;
        std::string role;
        const auto content = entry.is_object() ? entry.find("content") : json::const_iterator();
        if (!entry.is_object() || !Text(entry, "role", role) || (role != "user" && role != "assistant") ||
            content == entry.end() || !content->is_array() || content->empty()) {
            error = where + " is not a user or assistant message with content";
            return false;
        }
        HistoryMessage message{role == "user" ? Role::User : Role::Assistant, {}};
        if ((message.role == Role::User) != (i % 2 == 0)) {
            error = where + " breaks the alternation of user and assistant";
            return false;
        }
        for (const json& item : *content) {
            ContentBlock block;
            if (!ReadBlock(item, block)) {
                error = where + " holds a block that cannot be read";
                return false;
            }
            if (block.kind == BlockKind::ToolUse) open.insert(block.toolId);
            if (block.kind == BlockKind::ToolResult && open.erase(block.toolId) == 0) {
                error = where + " answers a tool call that was not made";
                return false;
            }
            message.blocks.push_back(std::move(block));
        }
        if (message.role == Role::User && !open.empty()) {
            error = where + " leaves a tool call without its result";
            return false;
        }
        messages.push_back(std::move(message));
    }
    if (!open.empty()) {
        failed = in.size() - 1;
        error = "the last tool calls have no results";
        return false;
    }
    return true;
}
