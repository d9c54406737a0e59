#pragma once

// The room one tool result has, as the model reads it: kMaxToolResultBytes of the result's
// JSON with its text escaped, less the frame around the text (kToolResultFrameBytes) and what
// the builder sets aside for the text it writes after the room is spent. Every result that is
// bounded is bounded here: the registry's cut of an over-long text, the capped lists and the
// pages of elements. A piece is taken whole or not at all, and from the first piece that does
// not fit on, none is: what was taken is always a start of the whole.

#include <cstddef>
#include <string>

#include "core/OutsideText.hpp"

// What a builder sets aside for its own text around the pieces it takes: the key and brackets
// of its list, a page's counts, or the note of what was left out.
constexpr std::size_t kResultTrailerBytes = 256;

class ResultRoom {
public:
    // reserved: escaped bytes set aside besides the frame.
    explicit ResultRoom(std::size_t reserved = 0);

    // Takes this many escaped bytes when they fit in what is left; false, and closed for good,
    // when they do not.
    bool Take(std::size_t escapedBytes);
    // Takes text as it reads escaped (JsonEscapedSize), plus separatorBytes before it.
    bool TakeText(const std::string& text, std::size_t separatorBytes = 0)
    {
        return Take(JsonEscapedSize(text) + separatorBytes);
    }

    bool Open() const { return open_; }
    std::size_t Left() const { return budget_ - used_; }

private:
    std::size_t budget_;
    std::size_t used_ = 0;
    bool open_ = true;
};
