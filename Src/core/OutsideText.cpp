// Redaction and bounds for text from outside.
#include "core/OutsideText.hpp"

#include <limits>

#include "core/DebugLog.hpp"
#include "core/ResultRoom.hpp"
#include "core/Utf8Cut.hpp"

namespace {

// Length of the well-formed UTF-8 sequence that starts at at, or 0 when there is none.
std::size_t SequenceLength(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u;
    };
    const unsigned lead = byte(0);
    unsigned low = 0x80, high = 0xBF;  // the second byte's range, narrower after some leads
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;    // no overlong forms
        high = lead == 0xED ? 0x9F : high;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

// The bytes of the longest start of text (whole characters) whose escaped form fits budget;
// escaped receives that form's size.
std::size_t EscapedPrefix(const std::string& text, std::size_t budget, std::size_t& escaped)
{
    std::size_t at = 0;
    escaped = 0;
    while (at < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        std::size_t length = 1, cost = 1;
        if (c == '"' || c == '\\' || c == '\b' || c == '\f' || c == '\n' || c == '\r' || c == '\t') {
            cost = 2;
        } else if (c < 0x20) {
            cost = 6;  // \u00XX
        } else if (c >= 0x80) {
            length = SequenceLength(text, at);
            cost = length == 0 ? 3 : length;  // an invalid byte becomes U+FFFD
            length = length == 0 ? 1 : length;
        }
        if (escaped + cost > budget) break;
        escaped += cost;
        at += length;
    }
    return at;
}

}  // namespace

std::string CutText(const std::string& text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes) return text;
    return text.substr(0, Utf8CutLength(text, maxBytes)) + "...";
}

std::string QuoteOutsideText(const std::string& text) { return CutText(RedactSecrets(text), kMaxQuotedBytes); }

std::string QuoteFailure(const Quillmere::HttpResponse& response)
{
    return QuoteOutsideText(response.error.empty() ? response.body : response.error);
}

std::size_t JsonEscapedSize(const std::string& text)
{
    std::size_t escaped = 0;
    EscapedPrefix(text, std::numeric_limits<std::size_t>::max(), escaped);
    return escaped;
}

std::string BoundedResultText(const std::string& text)
{
    std::string clean = RedactSecrets(text);
    std::size_t escaped = 0;
    if (EscapedPrefix(clean, ResultRoom().Left(), escaped) == clean.size()) return clean;
    const auto note = [total = clean.size()](std::size_t kept) {
        return "\n[Result cut: only the first " + std::to_string(kept) + " of " + std::to_string(total) +
               " bytes are shown. Ask for less at a time (a page with offset and limit, a filter, a smaller "
               "selection) to see the rest.]";
    };
    // The note's room is taken at its longest, with the kept count as long as the total.
    clean.resize(EscapedPrefix(clean, ResultRoom(JsonEscapedSize(note(clean.size()))).Left(), escaped));
    return clean + note(clean.size());
}
