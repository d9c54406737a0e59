#include <map>

#include <gtest/gtest.h>

#include "palette/ChatPalette.hpp"

// Reads a single-quoted JavaScript string literal as a JavaScript parser would (for the
// escapes JSEscape makes); returns where it ended, or npos when it is not a valid literal.
static std::size_t ParseLiteral(const std::string& literal, std::string& value)
{
    static const std::map<char, char> escapes = {{'n', '\n'}, {'r', '\r'}, {'\\', '\\'}, {'\'', '\''}, {'"', '"'}};
    for (std::size_t i = 1; i < literal.size(); ++i) {
        if (literal[i] == '\'') return i;
        if (literal[i] == '\n' || literal[i] == '\r') return std::string::npos;  // a raw line break breaks it
        if (literal[i] != '\\') {
            value += literal[i];
            continue;
        }
        const auto escape = ++i < literal.size() ? escapes.find(literal[i]) : escapes.end();
        if (escape == escapes.end()) return std::string::npos;
        value += escape->second;
    }
    return std::string::npos;
}

TEST(JSEscape, EscapesFiveBytesCopiesEveryOtherAndHostileTextComesBackIntact)
{
    const std::map<char, std::string> escaped = {
        {'\\', "\\\\"}, {'\'', "\\'"}, {'"', "\\\""}, {'\n', "\\n"}, {'\r', "\\r"}};
    for (int byte = 0; byte < 256; ++byte) {
        const std::string text(1, static_cast<char>(byte));
        const auto it = escaped.find(text[0]);
        EXPECT_EQ(ChatPalette::JSEscape(text), it == escaped.end() ? text : it->second) << "byte " << byte;
    }
    const std::string multiByte = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9A\xA0 \xF0\x9F\x8F\xA0 \xE5\xBB\xBA\xE7\xAF\x89";
    EXPECT_EQ(ChatPalette::JSEscape(multiByte), multiByte);

    for (const std::string& text : {std::string("\\'); alert(1); //"), std::string("line one\r\nline two"),
                                    std::string("trailing \\"), std::string("nul\0byte", 8)}) {
        const std::string literal = "'" + ChatPalette::JSEscape(text) + "'";
        std::string value;
        EXPECT_EQ(ParseLiteral(literal, value), literal.size() - 1) << "the literal ended early or broke for: " << text;
        EXPECT_EQ(value, text);
    }
}
