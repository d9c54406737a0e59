#pragma once

// A long list in a tool's answer, built only as far as the model will see it. A table of
// 100,000 entries would otherwise be turned into megabytes of text to keep a few per cent. The
// list takes entries while they fit the result's room (core/ResultRoom.hpp), escaping
// counted, with the text after the list and a note set aside; from the first entry that does
// not fit on, none is taken, and the answer ends with a note of how many were listed. What is
// listed stays valid JSON, and the result is never cut.

#include <cstddef>
#include <string>

#include "core/ResultRoom.hpp"

class CappedList {
public:
    // after: the rest of the answer's JSON text besides the list (its closing bracket and any
    // other keys, in whatever order they print); kept free.
    explicit CappedList(const std::string& after = "]");

    // True while entries are still taken: until then the caller builds each entry.
    bool Open() const { return room_.Open(); }
    // Whether the entry, as its compact JSON text, still fits: the caller then puts it in the
    // answer. False for it and every later one.
    bool Take(const std::string& entryText);

    // "" when all total entries were taken; else a line saying how many of them (things, a
    // plural noun such as "layers") are listed and why, to follow the answer's JSON text.
    std::string Note(std::size_t total, const std::string& things) const;

private:
    ResultRoom room_;
    std::size_t taken_ = 0;
};
