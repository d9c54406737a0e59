// ASCII case folding.
#include "core/AsciiText.hpp"

#include <cstdint>
#include <cstring>

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string text)
{
    // Eight bytes at a time, as texts are long: each byte from 'A' to 'Z' (below 0x80, at least
    // 'A' and not above 'Z') gets its 0x20 bit.
    constexpr std::uint64_t kEach = 0x0101010101010101, kHigh = 0x80 * kEach, kLow = 0x7f * kEach;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t bytes = 0;
        std::memcpy(&bytes, text.data() + at, 8);
        const std::uint64_t low = bytes & kLow;
        const std::uint64_t upper = (low + (0x80 - 'A') * kEach) & ~(low + (0x80 - 'Z' - 1) * kEach) & ~bytes & kHigh;
        bytes |= upper >> 2;
        std::memcpy(text.data() + at, &bytes, 8);
    }
    for (; at < text.size(); ++at) text[at] = LowerAscii(text[at]);
    return text;
}
