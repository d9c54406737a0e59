#pragma once

// A long list in a tool's answer, built only as far as the model will see it. A result is cut
// at kMaxToolResultBytes as the model reads it (core/OutsideText.hpp); a table of 100,000
// entries would otherwise be turned into megabytes of text to keep a few per cent. The list
// takes entries while the answer stays within the cap, escaping counted; from the first entry
// that does not fit on, none is taken, and the answer ends with a note of how many were
// listed. What is listed stays valid JSON, and the result is never cut.

#include <cstddef>
#include <string>

class CappedList {
public:
    // after: the rest of the answer's JSON text once the list ends (its closing bracket and
    // any keys that follow); kept free.
    explicit CappedList(const std::string& after = "]");

    // True while entries are still taken: until then the caller builds each entry.
    bool Open() const { return !full_; }
    // Whether the entry, as its compact JSON text, still fits: the caller then puts it in the
    // answer. False for it and every later one.
    bool Take(const std::string& entryText);

    // "" when all total entries were taken; else a line saying how many of them (things, a
    // plural noun such as "layers") are listed and why, to follow the answer's JSON text.
    std::string Note(std::size_t total, const std::string& things) const;

private:
    std::size_t budget_;
    std::size_t used_;  // of the budget: the entries taken, their commas and the text after
    std::size_t taken_ = 0;
    bool full_ = false;
};
