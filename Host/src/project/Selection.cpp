// The user's selection: constant-time membership, selection order kept.
#include "project/Selection.hpp"

namespace HostInternal {

void Selection::Add(const API_Guid& guid)
{
    if (!seq_.emplace(guid, next_).second) return;
    order_.emplace(next_++, guid);
}

void Selection::Remove(const API_Guid& guid)
{
    const auto it = seq_.find(guid);
    if (it == seq_.end()) return;
    order_.erase(it->second);
    seq_.erase(it);
}

void Selection::Clear()
{
    seq_.clear();
    order_.clear();
}

std::vector<API_Guid> Selection::InOrder() const
{
    std::vector<API_Guid> guids;
    guids.reserve(order_.size());
    for (const auto& entry : order_) guids.push_back(entry.second);
    return guids;
}

}  // namespace HostInternal
