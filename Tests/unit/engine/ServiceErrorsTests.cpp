// The warnings about the model services: a key quoted back by a service never reaches the
// chat, and a long service text is cut without breaking a UTF-8 character.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ServiceErrors.hpp"

namespace {

const std::string kKey = "sk-test-0123456789abcdef";

}  // namespace

TEST(ServiceErrors, QuotedServiceTextLosesTheKeyAndStaysShort)
{
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    struct Case {
        const char* name;
        std::string text, expected;
    };
    const std::vector<Case> cases = {
        {"key everywhere", "bad key " + kKey + " (" + kKey + ")", "bad key [key] ([key])"},
        {"300 bytes kept", std::string(300, 'a'), std::string(300, 'a')},
        {"301 bytes cut", std::string(301, 'a'), std::string(300, 'a') + "..."},
        {"character across the cut", std::string(299, 'a') + euro + "tail", std::string(299, 'a') + "..."},
        {"character ending at the cut", std::string(297, 'a') + euro + "tail", std::string(297, 'a') + euro + "..."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SanitiseServiceText(c.text, kKey), c.expected) << c.name;
    }
    EXPECT_EQ(SanitiseServiceText("no key set", ""), "no key set");
}

TEST(ServiceErrors, WarningsNameTheServiceTheStatusAndWhatToDo)
{
    const std::string mark = kWarningMark;
    const std::string body = R"({"error":{"message":"slow down, )" + kKey + R"("}})";
    struct Case {
        const char* name;
        std::string warning, expected;
    };
    const std::vector<Case> cases = {
        {"refused key", HttpFailureWarning("Anthropic", 401, body, kKey),
         mark + "Anthropic did not accept the API key (HTTP 401). Check the key in Settings."},
        {"rate limit", HttpFailureWarning("OpenAI", 429, body, kKey),
         mark + "OpenAI is limiting requests (HTTP 429): slow down, [key]. Wait a moment and try again."},
        {"no explanation", HttpFailureWarning("Anthropic", 500, "<html>", kKey),
         mark + "Anthropic request failed (HTTP 500)"},
        {"transport error", UnreachableWarning("OpenAI", "refused for " + kKey, kKey),
         mark + "Could not reach OpenAI: refused for [key]"},
        {"unreadable reply", UnexpectedReplyWarning("Anthropic", "the reply is not JSON", kKey),
         mark + "Unexpected reply from Anthropic: the reply is not JSON"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.warning, c.expected) << c.name;
    }
}
