// Finding many patterns in a long text at once.
#include "core/PatternSet.hpp"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

constexpr std::size_t kPieceBytes = 4;
constexpr unsigned kFilterBits = 16;

std::uint32_t PieceAt(const char* at)
{
    std::uint32_t piece = 0;
    std::memcpy(&piece, at, kPieceBytes);
    return piece;
}

std::uint32_t FilterSlot(std::uint32_t piece) { return (piece * 2654435761u) >> (32 - kFilterBits); }

}  // namespace

PatternSet::PatternSet(std::vector<std::string> patterns)
{
    std::size_t shortest = 0;
    for (std::string& pattern : patterns) {
        if (pattern.empty()) continue;
        if (pattern.size() < kShortest) {
            short_.push_back(std::move(pattern));
            continue;
        }
        shortest = long_.empty() ? pattern.size() : std::min(shortest, pattern.size());
        long_.push_back(std::move(pattern));
    }
    if (long_.empty()) return;
    // Every occurrence holds, within its first `shortest` bytes, one whole piece that starts at a
    // multiple of the step, at one of the first step offsets of the pattern.
    step_ = shortest - kPieceBytes + 1;
    filter_.assign((std::size_t{1} << kFilterBits) / 64, 0);
    for (std::size_t index = 0; index < long_.size(); ++index) {
        for (std::size_t offset = 0; offset < step_; ++offset) {
            const std::uint32_t piece = PieceAt(long_[index].data() + offset);
            pieces_.push_back({piece, static_cast<std::uint32_t>(index), static_cast<std::uint32_t>(offset)});
            filter_[FilterSlot(piece) / 64] |= std::uint64_t{1} << (FilterSlot(piece) % 64);
        }
    }
    std::sort(pieces_.begin(), pieces_.end(), [](const Piece& a, const Piece& b) { return a.bytes < b.bytes; });
}

void PatternSet::Find(std::string_view text, std::vector<std::pair<std::size_t, std::size_t>>& found) const
{
    for (const std::string& pattern : short_) {
        const std::boyer_moore_horspool_searcher searcher(pattern.begin(), pattern.end());
        for (auto at = std::search(text.begin(), text.end(), searcher); at != text.end();
             at = std::search(at + 1, text.end(), searcher)) {
            const auto start = static_cast<std::size_t>(at - text.begin());
            found.emplace_back(start, start + pattern.size());
        }
    }
    for (std::size_t at = 0; step_ > 0 && at + kPieceBytes <= text.size(); at += step_) {
        const std::uint32_t piece = PieceAt(text.data() + at);
        if (!(filter_[FilterSlot(piece) / 64] >> (FilterSlot(piece) % 64) & 1)) continue;
        const auto same = std::equal_range(pieces_.begin(), pieces_.end(), Piece{piece, 0, 0},
                                           [](const Piece& a, const Piece& b) { return a.bytes < b.bytes; });
        for (auto candidate = same.first; candidate != same.second; ++candidate) {
            const std::string& pattern = long_[candidate->pattern];
            if (candidate->offset > at) continue;
            const std::size_t start = at - candidate->offset;
            if (text.substr(start, pattern.size()) == pattern) found.emplace_back(start, start + pattern.size());
        }
    }
}
