// What text may stand in a header line.
#include "core/HeaderText.hpp"

bool HasControlCharacter(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F)) return true;
    }
    return false;
}

bool IsQuotableHeaderText(const std::string& text)
{
    return text.find('"') == std::string::npos && !HasControlCharacter(text);
}
