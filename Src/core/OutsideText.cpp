// Redaction and bounds for text from outside.
#include "core/OutsideText.hpp"

#include "core/DebugLog.hpp"

namespace {

std::size_t Utf8Boundary(const std::string& text, std::size_t cut)
{
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

}  // namespace

std::string CutText(const std::string& text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes) return text;
    return text.substr(0, Utf8Boundary(text, maxBytes)) + "...";
}

std::string QuoteOutsideText(const std::string& text) { return CutText(RedactSecrets(text), kMaxQuotedBytes); }

std::string BoundedResultText(const std::string& text)
{
    std::string clean = RedactSecrets(text);
    if (clean.size() <= kMaxToolResultBytes) return clean;
    const std::size_t total = clean.size();
    clean.resize(Utf8Boundary(clean, kMaxToolResultBytes));
    return clean + "\n[Result cut: only the first " + std::to_string(clean.size()) + " of " + std::to_string(total) +
           " bytes are shown. Ask for less at a time (a smaller selection, a filter) to see the rest.]";
}
