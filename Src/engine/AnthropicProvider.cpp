#include "engine/AnthropicProvider.hpp"

#include "engine/ProviderCommon.hpp"

using nlohmann::json;

namespace {

const char* const kApiVersion = "2023-06-01";

json Base64Source(const std::string& mediaType, const std::string& data)
{
    return json{{"type", "base64"}, {"media_type", mediaType}, {"data", data}};
}

json RenderBlock(const ContentBlock& block)
{
    switch (block.kind) {
    case BlockKind::Text: return json{{"type", "text"}, {"text", block.text}};
    case BlockKind::Image:
        if (!ProviderCommon::IsImageTypeModelsRead(block.mediaType)) {
            return json{{"type", "text"}, {"text", ProviderCommon::UnreadableImageNote(block.mediaType)}};
        }
        return json{{"type", "image"}, {"source", Base64Source(block.mediaType, block.Data())}};
    case BlockKind::Document:
        return json{
            {"type", "document"},
            {"source", Base64Source(block.mediaType.empty() ? "application/pdf" : block.mediaType, block.Data())}};
    case BlockKind::ToolUse:
        return json{{"type", "tool_use"}, {"id", block.toolId}, {"name", block.toolName}, {"input", block.input}};
    case BlockKind::ToolResult: {
        json result{{"type", "tool_result"}, {"tool_use_id", block.toolId}, {"content", block.text}};
        if (block.isError) {
            result["is_error"] = true;  // the model reads the failure as one, not as data
        }
        return result;
    }
    }
    return json::object();
}

// The service caches a request's prefix up to each block marked here and reads it back at a
// fraction of the price when the next request starts with the same bytes. The tools and the
// system prompt are the same in every request (the service places tools before the system
// prompt, and the system prompt before the messages); the conversation only grows at its end,
// so marking its last block lets each request read what the one before it wrote. Three marks
// of the service's four; the rest of the request is left as it was.
void MarkCacheablePrefix(json& request)
{
    const json mark{{"type", "ephemeral"}};
    const std::string system = request["system"].get<std::string>();
    if (!system.empty()) {  // the service refuses an empty text block
        request["system"] = json::array({{{"type", "text"}, {"text", system}, {"cache_control", mark}}});
    }
    if (request.contains("tools")) {
        request["tools"].back()["cache_control"] = mark;
    }
    json& messages = request["messages"];
    if (!messages.empty() && !messages.back()["content"].empty()) {
        messages.back()["content"].back()["cache_control"] = mark;
    }
}

}  // namespace

std::map<std::string, std::string> AnthropicProvider::Headers(const std::string& apiKey) const
{
    return {{"content-type", "application/json"}, {"x-api-key", apiKey}, {"anthropic-version", kApiVersion}};
}

std::map<std::string, std::string> AnthropicProvider::ProxyHeaders(const std::string& accessToken) const
{
    return {{"content-type", "application/json"},
            {"Authorization", "Bearer " + accessToken},
            {"anthropic-version", kApiVersion}};
}

json AnthropicProvider::RenderRequest(const std::vector<HistoryMessage>& history, const std::string& systemPrompt,
                                      const json& tools, const std::string& model, int maxTokens) const
{
    json messages = json::array();
    for (const HistoryMessage& message : history) {
        json content = json::array();
        for (const ContentBlock& block : message.blocks) {
            content.push_back(RenderBlock(block));
        }
        messages.push_back(
            json{{"role", message.role == Role::User ? "user" : "assistant"}, {"content", std::move(content)}});
    }
    json request{{"model", model}, {"max_tokens", maxTokens}, {"system", systemPrompt}, {"messages", messages}};
    if (tools.is_array() && !tools.empty()) {
        request["tools"] = tools;  // the registry's catalogue is already {name, description, input_schema}
    }
    MarkCacheablePrefix(request);
    return request;
}

ModelReply AnthropicProvider::ParseReply(const std::string& body) const
{
    const json reply = ProviderCommon::ParseObject(body);
    const auto content = reply.find("content");
    if (content == reply.end() || !content->is_array()) {
        throw ReplyFormatError("the reply has no \"content\" list");
    }
    ModelReply result;
    const auto stop = reply.find("stop_reason");
    if (stop != reply.end() && stop->is_string()) {
        result.stopReason = stop->get<std::string>();
        result.cutShort = result.stopReason == "max_tokens";
    }
    for (const json& block : *content) {
        if (!block.is_object()) {
            throw ReplyFormatError("a content block is not an object");
        }
        const std::string type = ProviderCommon::StringMember(block, "type", "a content block");
        if (type == "text") {
            std::string text = ProviderCommon::StringMember(block, "text", "a text block");
            if (!text.empty()) {
                result.assistantBlocks.push_back(ContentBlock::Text(text));
                result.texts.push_back(std::move(text));
            }
        } else if (type == "tool_use") {
            ToolCall call;
            call.id = ProviderCommon::StringMember(block, "id", "a tool_use block");
            call.name = ProviderCommon::StringMember(block, "name", "a tool_use block");
            const auto input = block.find("input");
            if (input != block.end() && input->is_object()) {
                call.input = *input;
            } else {
                call.argumentError = "The tool input was not a JSON object.";
            }
            result.assistantBlocks.push_back(ContentBlock::ToolUse(call.id, call.name, call.input));
            result.toolCalls.push_back(std::move(call));
        }
        // Other block types (thinking and the like) carry nothing the engine acts on.
    }
    // input_tokens counts only what followed the last cache mark.
    result.usage = ReadTokenUsage(
        reply, {{"input_tokens"}, {"cache_creation_input_tokens"}, {"cache_read_input_tokens"}, {"output_tokens"}});
    return result;
}
