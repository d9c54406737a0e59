#include "engine/OpenAIProvider.hpp"

#include "core/JsonDepth.hpp"
#include "engine/ProviderCommon.hpp"

using nlohmann::json;

namespace {

std::string DataUrl(const std::string& mediaType, const std::string& data)
{
    return "data:" + mediaType + ";base64," + data;
}

std::string ExtensionOf(const std::string& mediaType)
{
    const std::size_t slash = mediaType.find('/');
    return slash == std::string::npos || slash + 1 >= mediaType.size() ? "bin" : mediaType.substr(slash + 1);
}

// A user message: its tool results become "tool" messages; what remains becomes one user
// message, as plain text when it is only text.
void RenderUser(const HistoryMessage& message, json& messages)
{
    json parts = json::array();
    bool onlyText = true;
    std::string plain;
    int documentNumber = 0;
    for (const ContentBlock& block : message.blocks) {
        switch (block.kind) {
        case BlockKind::ToolResult:
            messages.push_back(json{{"role", "tool"}, {"tool_call_id", block.toolId}, {"content", block.text}});
            break;
        case BlockKind::Text:
            plain += (plain.empty() ? "" : "\n\n") + block.text;
            parts.push_back(json{{"type", "text"}, {"text", block.text}});
            break;
        case BlockKind::Image:
            if (!ProviderCommon::IsImageTypeModelsRead(block.mediaType)) {
                const std::string note = ProviderCommon::UnreadableImageNote(block.mediaType);
                plain += (plain.empty() ? "" : "\n\n") + note;
                parts.push_back(json{{"type", "text"}, {"text", note}});
                break;
            }
            onlyText = false;
            parts.push_back(
                json{{"type", "image_url"}, {"image_url", {{"url", DataUrl(block.mediaType, block.Data())}}}});
            break;
        case BlockKind::Document: {
            onlyText = false;
            const std::string mediaType = block.mediaType.empty() ? "application/pdf" : block.mediaType;
            ++documentNumber;
            parts.push_back(
                json{{"type", "file"},
                     {"file",
                      {{"filename", "attachment-" + std::to_string(documentNumber) + "." + ExtensionOf(mediaType)},
                       {"file_data", DataUrl(mediaType, block.Data())}}}});
            break;
        }
        case BlockKind::ToolUse: break;  // never in a user message
        }
    }
    if (parts.empty()) {
        return;
    }
    messages.push_back(json{{"role", "user"}, {"content", onlyText ? json(plain) : parts}});
}

void RenderAssistant(const HistoryMessage& message, json& messages)
{
    std::string text;
    json calls = json::array();
    for (const ContentBlock& block : message.blocks) {
        if (block.kind == BlockKind::Text) {
            text += (text.empty() ? "" : "\n\n") + block.text;
        } else if (block.kind == BlockKind::ToolUse) {
            calls.push_back(json{{"id", block.toolId},
                                 {"type", "function"},
                                 {"function", {{"name", block.toolName}, {"arguments", block.input.dump()}}}});
        }
    }
    json rendered{{"role", "assistant"}, {"content", text.empty() ? json(nullptr) : json(text)}};
    if (!calls.empty()) {
        rendered["tool_calls"] = std::move(calls);
    }
    messages.push_back(std::move(rendered));
}

}  // namespace

std::map<std::string, std::string> OpenAIProvider::Headers(const std::string& apiKey) const
{
    return {{"Content-Type", "application/json"}, {"Authorization", "Bearer " + apiKey}};
}

std::map<std::string, std::string> OpenAIProvider::ProxyHeaders(const std::string& accessToken) const
{
    return Headers(accessToken);
}

// The service caches a long prompt prefix by itself when consecutive requests begin with the
// same bytes, so everything before the newest messages must render identically every time:
// the system message first, the catalogue in the registry's fixed (name) order, and each
// history message from the stored history alone, never from the time, the project or a
// counter that moves between requests.
json OpenAIProvider::RenderRequest(const std::vector<HistoryMessage>& history, const std::string& systemPrompt,
                                   const json& tools, const std::string& model, int maxTokens) const
{
    json messages = json::array();
    messages.push_back(json{{"role", "system"}, {"content", systemPrompt}});
    for (const HistoryMessage& message : history) {
        if (message.role == Role::User) {
            RenderUser(message, messages);
        } else {
            RenderAssistant(message, messages);
        }
    }
    json request{{"model", model}, {"max_completion_tokens", maxTokens}, {"messages", std::move(messages)}};
    if (tools.is_array() && !tools.empty()) {
        json functions = json::array();
        for (const json& tool : tools) {
            functions.push_back(json{{"type", "function"},
                                     {"function",
                                      {{"name", tool.value("name", "")},
                                       {"description", tool.value("description", "")},
                                       {"parameters", tool.value("input_schema", json::object())}}}});
        }
        request["tools"] = std::move(functions);
    }
    return request;
}

ModelReply OpenAIProvider::ParseReply(const std::string& body) const
{
    const json reply = ProviderCommon::ParseObject(body);
    const auto choices = reply.find("choices");
    if (choices == reply.end() || !choices->is_array() || choices->empty() || !(*choices)[0].is_object()) {
        throw ReplyFormatError("the reply has no \"choices\"");
    }
    const json& choice = (*choices)[0];
    const auto message = choice.find("message");
    if (message == choice.end() || !message->is_object()) {
        throw ReplyFormatError("the first choice has no \"message\"");
    }
    ModelReply result;
    const auto finish = choice.find("finish_reason");
    if (finish != choice.end() && finish->is_string()) {
        result.stopReason = finish->get<std::string>();
        result.cutShort = result.stopReason == "length";
    }

    std::string text;
    const auto content = message->find("content");
    if (content != message->end() && content->is_string()) {
        text = content->get<std::string>();
    } else if (content != message->end() && !content->is_null()) {
        throw ReplyFormatError("the message content is neither text nor null");
    }
    const auto refusal = message->find("refusal");
    if (text.empty() && refusal != message->end() && refusal->is_string()) {
        text = refusal->get<std::string>();
    }
    if (!text.empty()) {
        result.assistantBlocks.push_back(ContentBlock::Text(text));
        result.texts.push_back(text);
    }

    // prompt_tokens counts the whole prompt, cached_tokens the part of it read from the cache.
    result.usage =
        ReadTokenUsage(reply, {{"prompt_tokens"}, {"prompt_tokens_details", "cached_tokens"}, {"completion_tokens"}});

    const auto calls = message->find("tool_calls");
    if (calls == message->end() || calls->is_null()) {
        return result;
    }
    if (!calls->is_array()) {
        throw ReplyFormatError("\"tool_calls\" is not a list");
    }
    for (const json& entry : *calls) {
        if (!entry.is_object() || !entry.contains("function") || !entry["function"].is_object()) {
            throw ReplyFormatError("a tool call has no \"function\"");
        }
        ToolCall call;
        call.id = ProviderCommon::StringMember(entry, "id", "a tool call");
        call.name = ProviderCommon::StringMember(entry["function"], "name", "a tool call's function");
        const std::string arguments =
            ProviderCommon::StringMember(entry["function"], "arguments", "a tool call's function");
        bool tooDeep = false;
        json input = arguments.empty() ? json::object() : ParseOutsideJson(arguments, &tooDeep);
        if (tooDeep) {
            throw ReplyFormatError(ProviderCommon::kTooDeepText);
        }
        if (input.is_object()) {
            call.input = std::move(input);
        } else {
            call.argumentError = "The tool arguments were not a JSON object.";
        }
        result.assistantBlocks.push_back(ContentBlock::ToolUse(call.id, call.name, call.input));
        result.toolCalls.push_back(std::move(call));
    }
    return result;
}
