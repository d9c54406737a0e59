// A list that takes entries while a tool's answer stays within the result cap.
#include "tools/CappedList.hpp"

#include "core/OutsideText.hpp"

namespace {

// Room for the note, the list's opening bracket and the key before it.
constexpr std::size_t kNoteBytes = 200;

}  // namespace

CappedList::CappedList(const std::string& after)
    : budget_(kMaxToolResultBytes - kToolResultFrameBytes - kNoteBytes), used_(JsonEscapedSize(after))
{}

bool CappedList::Take(const std::string& entryText)
{
    const std::size_t bytes = JsonEscapedSize(entryText) + (taken_ > 0 ? 1 : 0);
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
