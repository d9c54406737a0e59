// Redaction and bounds for text from outside.
#include "core/OutsideText.hpp"

#include "core/DebugLog.hpp"
#include "core/Utf8Cut.hpp"

std::string CutText(const std::string& text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes) return text;
    return text.substr(0, Utf8CutLength(text, maxBytes)) + "...";
}

std::string QuoteOutsideText(const std::string& text) { return CutText(RedactSecrets(text), kMaxQuotedBytes); }

std::string BoundedResultText(const std::string& text)
{
    std::string clean = RedactSecrets(text);
    if (clean.size() <= kMaxToolResultBytes) return clean;
    const std::size_t total = clean.size();
    clean.resize(Utf8CutLength(clean, kMaxToolResultBytes));
    return clean + "\n[Result cut: only the first " + std::to_string(clean.size()) + " of " + std::to_string(total) +
           " bytes are shown. Ask for less at a time (a smaller selection, a filter) to see the rest.]";
}
