// ASCII case folding.
#include "core/AsciiText.hpp"

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string text)
{
    for (char& c : text) c = LowerAscii(c);
    return text;
}
