#include "tools/CappedList.hpp"

#include <algorithm>

#include "core/OutsideText.hpp"

namespace {

// Room for the note, the list's opening bracket and the key before it.
constexpr std::size_t kNoteBytes = 200;

// The bytes of a JSON text once it is a string inside another JSON text: compact JSON holds no
// raw control characters, so only quotes and backslashes gain one.
std::size_t EscapedSize(const std::string& text)
{
    return text.size() +
           std::size_t(std::count_if(text.begin(), text.end(), [](char c) { return c == '"' || c == '\\'; }));
}

}  // namespace

CappedList::CappedList(const std::string& after)
    : budget_(kMaxToolResultBytes - std::min(kMaxToolResultBytes, kNoteBytes)), used_(EscapedSize(after))
{}

bool CappedList::Take(const std::string& entryText)
{
    const std::size_t bytes = EscapedSize(entryText) + (taken_ > 0 ? 1 : 0);
    full_ = full_ || used_ + bytes > budget_;
    if (full_) return false;
    used_ += bytes;
    ++taken_;
    return true;
}

std::string CappedList::Note(std::size_t total, const std::string& things) const
{
    if (taken_ >= total) return "";
    return "\n[Only the first " + std::to_string(taken_) + " of " + std::to_string(total) + " " + things +
           " are listed: a result holds at most " + std::to_string(kMaxToolResultBytes) + " bytes.]";
}
