#pragma once

#include "engine/ModelProvider.hpp"

// OpenAI Chat Completions API.
class OpenAIProvider : public ModelProvider {
public:
    std::string DisplayName() const override { return "OpenAI"; }
    std::string DefaultBaseUrl() const override { return "https://api.openai.com"; }
    std::string Path() const override { return "/v1/chat/completions"; }
    std::map<std::string, std::string> Headers(const std::string& apiKey) const override;
    std::map<std::string, std::string> ProxyHeaders(const std::string& accessToken) const override;
    nlohmann::json RenderRequest(const std::vector<HistoryMessage>& history, const std::string& systemPrompt,
                                 const nlohmann::json& tools, const std::string& model, int maxTokens) const override;
    ModelReply ParseReply(const std::string& body) const override;
};
