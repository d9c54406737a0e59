// The room of one tool result, spent piece by piece.
#include "core/ResultRoom.hpp"

ResultRoom::ResultRoom(std::size_t reserved)
    : budget_(reserved < kMaxToolResultBytes - kToolResultFrameBytes
                  ? kMaxToolResultBytes - kToolResultFrameBytes - reserved
                  : 0)
{}

bool ResultRoom::Take(std::size_t escapedBytes)
{
    open_ = open_ && escapedBytes <= Left();
    if (open_) used_ += escapedBytes;
    return open_;
}
