#pragma once

// Finding many patterns in a long text at once. Searching a text once per pattern, as redaction
// would for the dozens of spellings a few secrets have, reads the text dozens of times; here it
// is read once, four bytes at every step-th byte (a step as long as the shortest pattern
// allows), each looked up among the patterns' four-byte pieces, and a pattern compared only
// where one of its pieces sits. Patterns shorter than kShortest are searched one by one.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class PatternSet {
public:
    static constexpr std::size_t kShortest = 8;

    PatternSet() = default;
    explicit PatternSet(std::vector<std::string> patterns);

    bool Empty() const { return long_.empty() && short_.empty(); }

    // Appends [start, end) for each occurrence of each pattern in text, in no order; occurrences
    // may overlap.
    void Find(std::string_view text, std::vector<std::pair<std::size_t, std::size_t>>& found) const;

private:
    std::vector<std::string> long_, short_;
    std::size_t step_ = 0;
    std::vector<std::uint64_t> filter_;  // a bit for each hash of a piece some long pattern holds
    struct Piece {
        std::uint32_t bytes, pattern, offset;
    };
    std::vector<Piece> pieces_;  // sorted by bytes
};
