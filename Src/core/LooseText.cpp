// Finding and decoding the stretches of a text that could spell a secret loosely.
#include "core/LooseText.hpp"

#include <algorithm>
#include <cstring>

#include "core/AsciiText.hpp"

namespace {

enum : std::uint8_t { kSeparator = 1, kLineBreak = 2, kHexDigit = 4, kBase64 = 8, kEscapeStart = 16 };

// What each byte of a lower-case text may be.
constexpr std::array<std::uint8_t, 256> MakeKinds()
{
    std::array<std::uint8_t, 256> kinds{};
    for (const char c : {' ', '\t', '\r', '\n', ':', '-', '\0'}) kinds[static_cast<unsigned char>(c)] |= kSeparator;
    kinds['\r'] |= kLineBreak;
    kinds['\n'] |= kLineBreak;
    for (int c = '0'; c <= '9'; ++c) kinds[c] |= kHexDigit | kBase64;
    for (int c = 'a'; c <= 'z'; ++c) kinds[c] |= (c <= 'f' ? kHexDigit : 0) | kBase64;
    for (const char c : {'+', '/', '_', '-'}) kinds[static_cast<unsigned char>(c)] |= kBase64;
    for (const char c : {'\\', '&', '%'}) kinds[static_cast<unsigned char>(c)] |= kEscapeStart;
    return kinds;
}
constexpr std::array<std::uint8_t, 256> kKinds = MakeKinds();

std::uint8_t KindOf(char c) { return kKinds[static_cast<unsigned char>(c)]; }

// Where the next c in text is at or after from; text.size() when there is none.
std::size_t NextOf(std::string_view text, char c, std::size_t from)
{
    const void* at = from < text.size() ? std::memchr(text.data() + from, c, text.size() - from) : nullptr;
    return at == nullptr ? text.size() : static_cast<std::size_t>(static_cast<const char*>(at) - text.data());
}

int HexDigit(char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; }

// The character digits (hex or decimal) stand for, lower-cased, or -1. Keys are ASCII: escapes
// of other characters are left as they are.
int AsciiCharacter(std::string_view digits, int base)
{
    if (digits.empty() || digits.size() > 6) return -1;
    long value = 0;
    for (const char c : digits) {
        const int digit = base == 16 ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0 || (value = value * base + digit) >= 0x80) return -1;
    }
    return LowerAscii(static_cast<char>(value));
}

// The byte the escape, character reference or %XX at lower[at] stands for in out, and its
// length; 0 when none starts there.
std::size_t ReadEscape(std::string_view lower, std::size_t at, char& out)
{
    const char first = lower[at], next = at + 1 < lower.size() ? lower[at + 1] : '\0';
    int character = -1;
    std::size_t length = 2;
    if (first == '%') {
        character = AsciiCharacter(lower.substr(at + 1, 2), 16);
        length = 3;
        if (at + length > lower.size()) return 0;
    } else if (first == '\\') {
        switch (next) {
        case 'n': character = '\n'; break;
        case 'r': character = '\r'; break;
        case 't': character = '\t'; break;
        case '/':
        case '\\':
        case '"': character = next; break;
        case 'u':
            length = 6;
            if (at + length > lower.size()) return 0;
            character = AsciiCharacter(lower.substr(at + 2, 4), 16);
            break;
        default: return 0;
        }
    } else if (first == '&') {
        // A reference is short: a ';' further on ends something else.
        const std::size_t semicolon = lower.substr(at, 12).find(';');
        if (semicolon == std::string_view::npos || semicolon < 3 || semicolon > 11) return 0;
        const std::string_view name = lower.substr(at + 1, semicolon - 1);
        character = name.substr(0, 2) == "#x" ? AsciiCharacter(name.substr(2), 16)
                    : name[0] == '#'          ? AsciiCharacter(name.substr(1), 10)
                    : name == "amp"           ? '&'
                    : name == "lt"            ? '<'
                    : name == "gt"            ? '>'
                    : name == "quot"          ? '"'
                    : name == "apos"          ? '\''
                                              : -1;
        length = semicolon + 1;
    }
    if (character < 0) return 0;
    out = static_cast<char>(character);
    return length;
}

// Adds a stretch around each escape that could be part of a spelling. Such a spelling holds at
// most shape.longest - 1 other bytes once decoded, each of them a byte of the text or another such
// escape (whose own stretch then joins this one), and separators anywhere: the stretch reaches
// that many bytes that are not separators on either side. These are the first stretches added.
void AddEscapeStretches(std::string_view lower, const LooseShape& shape, std::vector<Stretch>& stretches)
{
    // Where the next '\\', '&' and '%' are at or after a position, each found once.
    std::array<std::size_t, 3> next{};
    const char starts[] = {'\\', '&', '%'};
    for (std::size_t i = 0; i < next.size(); ++i) next[i] = NextOf(lower, starts[i], 0);

    const std::size_t reach = shape.longest - 1;
    bool open = false;
    std::size_t start = 0, cursor = 0, budget = 0;
    // Spends the budget on the bytes from cursor up to limit, ending the stretch where it runs out.
    const auto reachTo = [&](std::size_t limit) {
        if (limit - cursor <= budget) return;  // not that many bytes, let alone bytes that count
        for (; open && cursor < limit; ++cursor) {
            if (KindOf(lower[cursor]) & kSeparator) continue;
            if (budget == 0) {
                stretches.emplace_back(start, cursor);
                open = false;
            } else {
                --budget;
            }
        }
    };
    for (;;) {
        const std::size_t which = static_cast<std::size_t>(std::min_element(next.begin(), next.end()) - next.begin());
        const std::size_t at = next[which];
        if (at == lower.size()) break;
        char byte = 0;
        const std::size_t length = ReadEscape(lower, at, byte);
        next[which] = NextOf(lower, starts[which], at + 1);
        if (length == 0) continue;
        // Nothing inside an escape starts another: \\u0041 is a backslash, then "u0041".
        for (std::size_t i = 0; i < next.size(); ++i)
            if (next[i] < at + length) next[i] = NextOf(lower, starts[i], at + length);
        if (!shape.held[static_cast<unsigned char>(byte)] && !IsLooseSeparator(byte)) continue;
        if (open) reachTo(at);
        if (!open) {
            const std::size_t before = stretches.empty() ? 0 : stretches.back().second;
            start = at;
            for (std::size_t left = reach; start > before && left > 0;)
                if (!(KindOf(lower[--start]) & kSeparator)) --left;
            open = true;
        }
        cursor = at + length;
        budget = reach;
    }
    if (open) reachTo(lower.size());
    if (open) stretches.emplace_back(start, lower.size());
}

// Adds each run of hex digits and separators holding at least shape.shortestHex digits and a
// separator. Such a run is at least that long, so looking at every shortestHex-th byte finds it.
void AddHexStretches(std::string_view lower, const LooseShape& shape, std::vector<Stretch>& stretches)
{
    const std::size_t step = shape.shortestHex;
    if (step == 0 || step > lower.size()) return;
    const auto inRun = [&lower](std::size_t at) { return (KindOf(lower[at]) & (kHexDigit | kSeparator)) != 0; };
    for (std::size_t at = step - 1; at < lower.size();) {
        if (!inRun(at)) {
            at += step;
            continue;
        }
        std::size_t first = at;
        while (first > 0 && inRun(first - 1)) --first;
        std::size_t end = first, digits = 0;
        bool separated = false;
        for (; end < lower.size() && inRun(end); ++end) {
            if (KindOf(lower[end]) & kHexDigit)
                ++digits;
            else
                separated = true;
        }
        if (digits >= step && separated) stretches.emplace_back(first, end);
        at = end + step;
    }
}

// Adds each run in which no two bytes side by side are both other than separators ("r e g", or
// "r\0e\0g\0" as UTF-16LE writes ASCII), holding at least shape.shortest bytes that are not
// separators. Such a run is at least twice that long less one, so it holds the four bytes from
// some multiple of the step on, no two of them side by side both kept: ordinary text seldom
// passes that, so it is looked at there first.
void AddSpacedStretches(std::string_view lower, const LooseShape& shape, std::vector<Stretch>& stretches)
{
    const std::size_t least = 2 * shape.shortest - 1, step = least - 3;
    if (shape.shortest < 4 || least > lower.size()) return;
    const auto apart = [&lower](std::size_t at) {  // lower[at] and lower[at + 1] are not both kept
        return ((KindOf(lower[at]) | KindOf(lower[at + 1])) & kSeparator) != 0;
    };
    for (std::size_t at = 0; at + 3 < lower.size();) {
        if (!apart(at) || !apart(at + 2) || !apart(at + 1)) {
            at += step;
            continue;
        }
        std::size_t first = at, end = at + 4;
        while (first > 0 && apart(first - 1)) --first;
        while (end < lower.size() && apart(end - 1)) ++end;
        std::size_t kept = 0;
        for (std::size_t i = first; end - first >= least && i < end; ++i) kept += !(KindOf(lower[i]) & kSeparator);
        if (kept >= shape.shortest) stretches.emplace_back(first, end);
        at = end;  // the two bytes at end - 1 and end are both kept: the next run may start at end
    }
}

// Adds each run of base64 characters and line breaks, around a line break, holding at least
// shape.shortest characters.
void AddWrappedStretches(std::string_view lower, const LooseShape& shape, std::vector<Stretch>& stretches)
{
    const auto inRun = [&lower](std::size_t at) { return (KindOf(lower[at]) & (kBase64 | kLineBreak)) != 0; };
    std::size_t newline = NextOf(lower, '\n', 0), carriageReturn = NextOf(lower, '\r', 0);
    while (std::min(newline, carriageReturn) < lower.size()) {
        const std::size_t at = std::min(newline, carriageReturn);
        std::size_t first = at, end = at + 1, characters = 0;
        for (; first > 0 && inRun(first - 1); --first) characters += !(KindOf(lower[first - 1]) & kSeparator);
        for (; end < lower.size() && inRun(end); ++end) characters += !(KindOf(lower[end]) & kSeparator);
        if (characters >= shape.shortest) stretches.emplace_back(first, end);
        if (newline < end) newline = NextOf(lower, '\n', end);
        if (carriageReturn < end) carriageReturn = NextOf(lower, '\r', end);
    }
}

}  // namespace

bool IsLooseSeparator(char c) { return (KindOf(c) & kSeparator) != 0; }

void LooseShape::Include(const std::string& spelling, bool hex)
{
    shortest = std::min(shortest, spelling.size());
    longest = std::max(longest, spelling.size());
    if (hex) shortestHex = std::min(shortestHex, spelling.size());
    for (const char c : spelling) held[static_cast<unsigned char>(c)] = true;
}

void LooseShape::Include(const LooseShape& other)
{
    shortest = std::min(shortest, other.shortest);
    longest = std::max(longest, other.longest);
    shortestHex = std::min(shortestHex, other.shortestHex);
    for (std::size_t c = 0; c < held.size(); ++c) held[c] = held[c] || other.held[c];
}

std::vector<Stretch> LooseStretches(std::string_view lower, const LooseShape& shape)
{
    std::vector<Stretch> stretches;
    if (shape.longest == 0) return stretches;
    AddEscapeStretches(lower, shape, stretches);
    AddHexStretches(lower, shape, stretches);
    AddSpacedStretches(lower, shape, stretches);
    AddWrappedStretches(lower, shape, stretches);
    // Stretches that meet are one: a spelling may run across where they meet.
    std::sort(stretches.begin(), stretches.end());
    std::vector<Stretch> apart;
    for (const Stretch& stretch : stretches) {
        if (!apart.empty() && stretch.first <= apart.back().second)
            apart.back().second = std::max(apart.back().second, stretch.second);
        else
            apart.push_back(stretch);
    }
    return apart;
}

Decoded DecodeStretches(std::string_view lower, const std::vector<Stretch>& stretches)
{
    std::size_t size = 0;
    for (const auto& [start, end] : stretches) size += end - start + 1;
    Decoded decoded;
    decoded.text.resize(size);
    decoded.from.resize(size);
    char* const text = decoded.text.data();
    std::uint32_t* const from = decoded.from.data();
    std::size_t kept = 0;
    for (const auto& [start, end] : stretches) {
        if (kept > 0) {
            text[kept] = '\n';
            from[kept++] = static_cast<std::uint32_t>(start);
        }
        const std::string_view stretch = lower.substr(0, end);
        for (std::size_t at = start; at < end;) {
            for (; at < end && !(KindOf(lower[at]) & (kSeparator | kEscapeStart)); ++at) {
                text[kept] = lower[at];
                from[kept++] = static_cast<std::uint32_t>(at);
            }
            if (at == end) break;
            char byte = lower[at];
            const std::size_t length =
                KindOf(byte) & kEscapeStart ? std::max<std::size_t>(ReadEscape(stretch, at, byte), 1) : 1;
            if (!(KindOf(byte) & kSeparator)) {
                text[kept] = byte;
                from[kept++] = static_cast<std::uint32_t>(at);
            }
            at += length;
        }
    }
    decoded.text.resize(kept);
    decoded.from.resize(kept);
    return decoded;
}

std::size_t EndOfEscapeOrByte(std::string_view lower, std::size_t at)
{
    char byte = 0;
    return at + std::max<std::size_t>(KindOf(lower[at]) & kEscapeStart ? ReadEscape(lower, at, byte) : 0, 1);
}
