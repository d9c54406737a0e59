#pragma once

// Where a text may spell a secret loosely, and those stretches decoded. A server may echo a key
// with JSON escapes, HTML character references or percent-encoding, as hex with separators, as
// base64 or hex wrapped in lines, with its characters spaced out or as UTF-16LE bytes. Decoding a
// whole text costs more than searching it, and most texts hold none of this, so only the
// stretches that could hold such a spelling are decoded; the rest is searched as it is.

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What a loose spelling may hold anywhere: line breaks wrapping base64 or hex, ' ', ':' or '-'
// between hex bytes or between characters spaced out, and the NUL byte after each character of
// UTF-16LE. They are taken out of the spellings and of what is decoded.
bool IsLooseSeparator(char c);

// What the loose spellings searched for are like, which decides what must be decoded.
struct LooseShape {
    std::size_t shortest = std::numeric_limits<std::size_t>::max();  // bytes of the shortest spelling
    std::size_t longest = 0;                                         // and of the longest
    std::size_t shortestHex = std::numeric_limits<std::size_t>::max();
    std::array<bool, 256> held{};  // the bytes any spelling holds

    void Include(const std::string& spelling, bool hex);
    void Include(const LooseShape& other);
};

using Stretch = std::pair<std::size_t, std::size_t>;  // [start, end)

// The stretches of lower (a lower-case text) that could hold a loose spelling of that shape, in
// order and apart: around each escape, reference or %XX standing for a byte a spelling holds or a
// separator, as far as a spelling reaches on either side; each run of hex digits and separators
// with as many digits as the shortest hex spelling; each run of bytes with a separator between
// every two others, with as many of those as the shortest spelling; each run of base64 characters
// and line breaks, holding a line break, with as many characters as the shortest spelling.
// Elsewhere a spelling can only be as it is written.
std::vector<Stretch> LooseStretches(std::string_view lower, const LooseShape& shape);

// Stretches of lower with escapes, references and %XX of ASCII characters read (lower-cased) and
// the separators taken out, one after another with a line break between (no spelling holds
// one). Byte i of text came from the escape or byte at from[i] in lower.
struct Decoded {
    std::string text;
    std::vector<std::uint32_t> from;
};
Decoded DecodeStretches(std::string_view lower, const std::vector<Stretch>& stretches);

// Where the escape or byte that starts at lower[at] ends.
std::size_t EndOfEscapeOrByte(std::string_view lower, std::size_t at);
