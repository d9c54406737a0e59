#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Conversation.hpp"
#include "engine/TokenUsage.hpp"

// One tool call the model asked for. When the call's arguments could not be read,
// argumentError says why and the tool is not run.
struct ToolCall {
    std::string id;
    std::string name;
    nlohmann::json input = nlohmann::json::object();
    std::string argumentError;
};

// A reply reduced to what the engine acts on.
struct ModelReply {
    std::vector<std::string> texts;
    std::vector<ToolCall> toolCalls;
    std::string stopReason;
    bool cutShort = false;                      // the reply stopped at the output limit
    std::vector<ContentBlock> assistantBlocks;  // what goes into the history
    TokenUsage usage;                           // for the debug log
};

// The reply was JSON of a shape we do not understand, or not JSON at all.
class ReplyFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What differs between the language-model services: address, headers, request and reply.
class ModelProvider {
public:
    virtual ~ModelProvider() = default;

    virtual std::string DisplayName() const = 0;
    virtual std::string DefaultBaseUrl() const = 0;
    virtual std::string Path() const = 0;
    virtual std::map<std::string, std::string> Headers(const std::string& apiKey) const = 0;
    // The same request through the product's chat proxy: the user's access token as a bearer
    // token instead of any key.
    virtual std::map<std::string, std::string> ProxyHeaders(const std::string& accessToken) const = 0;

    // tools: the registry's catalogue, [{name, description, input_schema}].
    virtual nlohmann::json RenderRequest(const std::vector<HistoryMessage>& history, const std::string& systemPrompt,
                                         const nlohmann::json& tools, const std::string& model,
                                         int maxTokens) const = 0;

    // Throws ReplyFormatError.
    virtual ModelReply ParseReply(const std::string& body) const = 0;
};

// The service's own explanation in an error reply ({"error": {"message": ...}} for both
// services, or {"error": "..."}), or "" when the body holds none.
std::string ServiceErrorMessage(const std::string& body);
