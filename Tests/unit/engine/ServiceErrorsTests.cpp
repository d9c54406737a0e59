// The warnings about the model services: a key quoted back by a service never reaches the
// chat, and a long service text is cut without breaking a UTF-8 character.
#include <string>
#include <vector>

#include "QuillmereTest.hpp"
#include "engine/ServiceErrors.hpp"

class ServiceErrorsTest : public QuillmereTest {};

static const std::string kKey = "sk-test-0123456789abcdef";

// One row per text the chat may show: the sanitised service text and every warning.
TEST_F(ServiceErrorsTest, ServiceTextLosesTheKeyStaysShortAndWarningsSayWhatToDo)
{
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    const std::string mark = kWarningMark;
    const std::string body = R"({"error":{"message":"slow down, )" + kKey + R"("}})";
    struct Case {
        const char* name;
        std::string shown, expected;
    };
    const std::vector<Case> cases = {
        {"key everywhere", SanitiseServiceText("bad key " + kKey + " (" + kKey + ")", kKey), "bad key [key] ([key])"},
        {"no key set", SanitiseServiceText("no key set", ""), "no key set"},
        {"300 bytes kept", SanitiseServiceText(std::string(300, 'a'), kKey), std::string(300, 'a')},
        {"301 bytes cut", SanitiseServiceText(std::string(301, 'a'), kKey), std::string(300, 'a') + "..."},
        {"character across the cut", SanitiseServiceText(std::string(299, 'a') + euro + "tail", kKey),
         std::string(299, 'a') + "..."},
        {"character ending at the cut", SanitiseServiceText(std::string(297, 'a') + euro + "tail", kKey),
         std::string(297, 'a') + euro + "..."},
        {"refused key", HttpFailureWarning("Anthropic", 401, body, kKey),
         mark + "Anthropic did not accept the API key (HTTP 401). Check the key in Settings."},
        {"rate limit", HttpFailureWarning("OpenAI", 429, body, kKey),
         mark + "OpenAI is limiting requests (HTTP 429): slow down, [key]. Wait a moment and try again."},
        {"no explanation", HttpFailureWarning("Anthropic", 500, "<html>", kKey),
         mark + "Anthropic request failed (HTTP 500)"},
        {"transport error", UnreachableWarning("OpenAI", "refused for " + kKey, kKey),
         mark + "Could not reach OpenAI: refused for [key]"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.shown, c.expected) << c.name;
}
