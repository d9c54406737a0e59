#include <string>

#include <gtest/gtest.h>

#include "palette/ChatPalette.hpp"

namespace {

// Reads a single-quoted JavaScript string literal the way a JavaScript parser would (for the
// escapes JSEscape can produce) and reports where it ended. Lets the tests check that an
// escaped text can neither end the literal early nor change on the way.
bool ParseLiteral(const std::string& literal, std::string& value, std::size_t& end)
{
    if (literal.empty() || literal[0] != '\'') return false;
    value.clear();
    for (std::size_t i = 1; i < literal.size(); ++i) {
        const char c = literal[i];
        if (c == '\'') {
            end = i;
            return true;
        }
        if (c == '\n' || c == '\r') return false;  // a raw line break ends a JavaScript string badly
        if (c == '\\') {
            if (++i >= literal.size()) return false;
            switch (literal[i]) {
            case 'n': value += '\n'; break;
            case 'r': value += '\r'; break;
            case '\\': value += '\\'; break;
            case '\'': value += '\''; break;
            case '"': value += '"'; break;
            default: return false;
            }
            continue;
        }
        value += c;
    }
    return false;
}

}  // namespace

TEST(JSEscape, EachSpecialByteGetsItsEscape)
{
    EXPECT_EQ(ChatPalette::JSEscape("\\"), std::string("\\\\"));
    EXPECT_EQ(ChatPalette::JSEscape("'"), std::string("\\'"));
    EXPECT_EQ(ChatPalette::JSEscape("\""), std::string("\\\""));
    EXPECT_EQ(ChatPalette::JSEscape("\n"), std::string("\\n"));
    EXPECT_EQ(ChatPalette::JSEscape("\r"), std::string("\\r"));
    EXPECT_EQ(ChatPalette::JSEscape("a'b\"c\\d\ne\rf"), std::string("a\\'b\\\"c\\\\d\\ne\\rf"));
}

TEST(JSEscape, EveryOtherByteIsCopiedUnchanged)
{
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        if (c == '\\' || c == '\'' || c == '"' || c == '\n' || c == '\r') continue;
        const std::string text(1, c);
        EXPECT_EQ(ChatPalette::JSEscape(text), text) << "byte " << byte;
    }
    const std::string multiByte = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9A\xA0 \xF0\x9F\x8F\xA0 \xE5\xBB\xBA\xE7\xAF\x89";
    EXPECT_EQ(ChatPalette::JSEscape(multiByte), multiByte);
    EXPECT_EQ(ChatPalette::JSEscape(""), "");
}

TEST(JSEscape, HostileTextStaysInsideItsLiteralAndComesBackIntact)
{
    const std::string hostile[] = {
        "'); window.__pwned = 1; ('",
        "\\'); alert(1); //",
        "</script><script>alert(1)</script>",
        "line one\nline two\r\nline three",
        "trailing backslash \\",
        "\"double\" and 'single' \\\\ two",
        std::string("nul\0byte", 8),
    };
    for (const auto& text : hostile) {
        const std::string literal = "'" + ChatPalette::JSEscape(text) + "'";
        std::string value;
        std::size_t end = 0;
        ASSERT_TRUE(ParseLiteral(literal, value, end)) << text;
        EXPECT_EQ(end, literal.size() - 1) << "the literal ended early for: " << text;
        EXPECT_EQ(value, text);
    }
}
