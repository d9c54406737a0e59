#pragma once

// Which language-model service a request goes to, with which model, key and address: the
// choice the engine makes afresh for every request from the settings it holds.

#include <string>

enum class ProviderKind { Anthropic, OpenAI };

// What the engine was told about the services; every field may change between requests.
struct ServiceSettings {
    std::string provider = "anthropic";  // used when no model is set
    std::string model;
    std::string anthropicKey;
    std::string openaiKey;
    std::string anthropicUrl;
    std::string openaiUrl;
    // The product's chat proxy and the token of the user's sign-in: used when no key is set
    // for the chosen provider.
    std::string proxyUrl;
    std::string accessToken;
};

struct ServiceChoice {
    ProviderKind kind = ProviderKind::Anthropic;
    std::string model;  // the model set, or the service's default model
    std::string apiKey;
    std::string baseUrl;
    // No key, but a sign-in: the request goes to the proxy (baseUrl) with the access token.
    bool viaProxy = false;
    std::string accessToken;
};

// OpenAI for "gpt-...", "chatgpt-..." and the o-series ("o1", "o3-mini", "o4-mini", ...);
// Anthropic for every other name. An empty model falls back to the provider setting.
ProviderKind ChooseProvider(const std::string& model, const std::string& providerSetting);

// A key set for the chosen provider always wins over the proxy.
ServiceChoice ChooseService(const ServiceSettings& settings);

// A service address (scheme, host, port) without trailing slashes: the one given, else the
// environment variable environmentName when set, else defaultUrl.
std::string ResolveBaseUrl(const std::string& given, const char* environmentName, const std::string& defaultUrl);
