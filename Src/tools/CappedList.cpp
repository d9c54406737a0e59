// A list that takes entries while a tool's answer has room for them.
#include "tools/CappedList.hpp"

CappedList::CappedList(const std::string& after) : room_(kResultTrailerBytes + JsonEscapedSize(after)) {}

bool CappedList::Take(const std::string& entryText)
{
    if (!room_.TakeText(entryText, taken_ > 0 ? 1 : 0)) return false;  // one comma between entries
    ++taken_;
    return true;
}

std::string CappedList::Note(std::size_t total, const std::string& things) const
{
    if (taken_ >= total) return "";
    return "\n[Only the first " + std::to_string(taken_) + " of " + std::to_string(total) + " " + things +
           " are listed: a result holds at most " + std::to_string(kMaxToolResultBytes) + " bytes.]";
}
