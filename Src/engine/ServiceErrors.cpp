// The warnings about the language-model services, kept apart from the turn loop so that every
// service text is sanitised in one place.
#include "engine/ServiceErrors.hpp"

#include <cstddef>

#include "core/OutsideText.hpp"
#include "core/ServiceAddress.hpp"
#include "engine/ModelProvider.hpp"

const char* const kWarningMark = "\xE2\x9A\xA0 ";  // "⚠ "

std::string SanitiseServiceText(std::string text, const std::string& apiKey)
{
    if (!apiKey.empty()) {
        for (std::size_t at = text.find(apiKey); at != std::string::npos; at = text.find(apiKey, at)) {
            text.replace(at, apiKey.size(), "[key]");
        }
    }
    return QuoteOutsideText(text);
}

std::string NoApiKeyWarning(const std::string& service)
{
    return kWarningMark + std::string("No ") + service +
           " API key is set and you are not signed in. Add a key or sign in in Settings to use this model.";
}

std::string SignInExpiredWarning()
{
    return kWarningMark + std::string("Your sign-in has expired: sign in again in Settings");
}

std::string SignInMovedOnWarning()
{
    return kWarningMark + std::string("The chat proxy did not accept your sign-in, which has been renewed since. "
                                      "Send the message again.");
}

std::string SignInNotRenewedWarning(const std::string& why)
{
    const bool stops = !why.empty() && why.back() == '.';
    return kWarningMark +
           std::string("The chat proxy did not accept your sign-in, and the sign-in service could not "
                       "renew it just now") +
           (why.empty() ? std::string(".") : ": " + why + (stops ? "" : ".")) + " Try again in a moment.";
}

std::string InsecureProxyWarning(const std::string& proxyUrl)
{
    return kWarningMark + PlainHttpRefusal("The chat proxy's address", proxyUrl) +
           ". Set an https address in the settings, or a key for the model.";
}

std::string ProxyRefusedWarning(const std::string& service, const std::string& body, const std::string& token)
{
    const std::string detail = SanitiseServiceText(ServiceErrorMessage(body), token);
    return kWarningMark + service + " refused the request for your account (HTTP 403)" +
           (detail.empty() ? std::string() : ": " + detail);
}

std::string UnreachableWarning(const std::string& service, const std::string& error, const std::string& apiKey)
{
    const std::string why = error.empty() ? "no response" : SanitiseServiceText(error, apiKey);
    return kWarningMark + std::string("Could not reach ") + service + ": " + why;
}

std::string TimedOutWarning(const std::string& service)
{
    return kWarningMark + std::string("The request to ") + service +
           " timed out: it was sent, but no answer came in time. Send your message again to retry.";
}

std::string StoppedBeforeAnswerWarning()
{
    return kWarningMark + std::string("The assistant stopped before it answered: the host was closed. Send the "
                                      "message again to continue.");
}

std::string StoppedPartWayWarning()
{
    return kWarningMark + std::string("The assistant stopped before it finished: the host was closed. Ask it to "
                                      "go on: your message is still in the conversation.");
}

std::string HttpFailureWarning(const std::string& service, int status, const std::string& body,
                               const std::string& apiKey)
{
    const std::string code = " (HTTP " + std::to_string(status) + ")";
    if (status == 401 || status == 403) {
        return kWarningMark + service + " did not accept the API key" + code + ". Check the key in Settings.";
    }
    std::string detail = SanitiseServiceText(ServiceErrorMessage(body), apiKey);
    std::string text = kWarningMark + service + (status == 429 ? " is limiting requests" : " request failed") + code;
    if (!detail.empty()) {
        text += ": " + detail;
    }
    if (status == 429) {
        text += ". Wait a moment and try again.";
    }
    return text;
}

std::string UnexpectedReplyWarning(const std::string& service, const std::string& why, const std::string& apiKey)
{
    return kWarningMark + std::string("Unexpected reply from ") + service + ": " + SanitiseServiceText(why, apiKey);
}

std::string CutShortWarning(int maxOutputTokens)
{
    return kWarningMark + std::string("The reply above was cut short: it reached the limit of ") +
           std::to_string(maxOutputTokens) + " output tokens. Ask the assistant to continue.";
}
