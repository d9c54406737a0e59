#pragma once

// The elements the user has selected, in the order they were selected. Selecting is no
// change to the project (no undo step), but an element that leaves the project leaves the
// selection with it, and undo brings back elements, not their selection.

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "ACAPinc.h"

namespace HostInternal {

class Selection {
public:
    bool Contains(const API_Guid& guid) const { return seq_.count(guid) != 0; }
    size_t Count() const { return seq_.size(); }
    // Adds at the end; an element already selected keeps its place.
    void Add(const API_Guid& guid);
    void Remove(const API_Guid& guid);
    void Clear();
    std::vector<API_Guid> InOrder() const;

private:
    std::uint64_t next_ = 0;
    std::unordered_map<API_Guid, std::uint64_t> seq_;
    std::map<std::uint64_t, API_Guid> order_;
};

}  // namespace HostInternal
