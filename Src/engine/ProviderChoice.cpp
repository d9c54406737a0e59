// Provider, model, key and address for a request, chosen from the engine's settings.
#include "engine/ProviderChoice.hpp"

#include <cctype>
#include <cstdlib>

#include "core/AsciiText.hpp"

namespace {

const char* const kDefaultAnthropicModel = "claude-sonnet-4-20250514";
const char* const kDefaultOpenAIModel = "gpt-4o";

}  // namespace

ProviderKind ChooseProvider(const std::string& model, const std::string& providerSetting)
{
    const std::string name = LowerAscii(model);
    if (name.empty()) {
        return LowerAscii(providerSetting) == "openai" ? ProviderKind::OpenAI : ProviderKind::Anthropic;
    }
    const auto startsWith = [&](const char* prefix) { return name.rfind(prefix, 0) == 0; };
    if (startsWith("gpt-") || startsWith("chatgpt-") || startsWith("ft:gpt-")) {
        return ProviderKind::OpenAI;
    }
    if (name.size() >= 2 && name[0] == 'o' && std::isdigit(static_cast<unsigned char>(name[1]))) {
        return ProviderKind::OpenAI;
    }
    return ProviderKind::Anthropic;
}

ServiceChoice ChooseService(const ServiceSettings& settings)
{
    ServiceChoice choice;
    choice.kind = ChooseProvider(settings.model, settings.provider);
    const bool openai = choice.kind == ProviderKind::OpenAI;
    choice.model = settings.model;
    if (choice.model.empty()) {
        choice.model = openai ? kDefaultOpenAIModel : kDefaultAnthropicModel;
    }
    choice.apiKey = openai ? settings.openaiKey : settings.anthropicKey;
    choice.baseUrl = openai ? settings.openaiUrl : settings.anthropicUrl;
    if (choice.apiKey.empty() && !settings.accessToken.empty() && !settings.proxyUrl.empty()) {
        choice.viaProxy = true;
        choice.accessToken = settings.accessToken;
        choice.baseUrl = settings.proxyUrl;
        while (!choice.baseUrl.empty() && choice.baseUrl.back() == '/') choice.baseUrl.pop_back();
    }
    return choice;
}

std::string ResolveBaseUrl(const std::string& given, const char* environmentName, const std::string& defaultUrl)
{
    std::string url = given;
    if (url.empty()) {
        const char* value = std::getenv(environmentName);
        url = (value != nullptr && *value != '\0') ? std::string(value) : defaultUrl;
    }
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url;
}
