// Cutting text at a character boundary.
#include "core/Utf8Cut.hpp"

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::size_t Utf8CutLength(const std::string& text, std::size_t maxBytes, std::size_t maxCharacters)
{
    std::size_t length = 0;
    for (std::size_t characters = 0; length < text.size() && characters < maxCharacters; ++characters) {
        // A character is its first byte and at most three continuation bytes.
        std::size_t next = length + 1;
        while (next < text.size() && next - length < 4 && IsContinuationByte(text[next])) ++next;
        if (next > maxBytes) break;
        length = next;
    }
    return length;
}
