#include "project/ElementStore.hpp"

#include <algorithm>

namespace HostInternal {

const StoredMemo& StoredElement::Memo() const
{
    static const StoredMemo kEmpty;
    return memo ? *memo : kEmpty;
}

StoredMemo& StoredElement::EditMemo()
{
    auto fresh = std::make_shared<StoredMemo>(Memo());
    memo = fresh;
    return *fresh;
}

API_Guid OwnerOf(const API_Element& record)
{
    switch (record.header.type.typeID) {
    case API_WindowID: return record.window.owner;
    case API_DoorID: return record.door.owner;
    default: return APINULLGuid;
    }
}

const StoredElement* ElementStore::Find(const API_Guid& guid) const
{
    auto it = elements_.find(guid);
    return it == elements_.end() ? nullptr : &it->second;
}

StoredElement* ElementStore::FindMutable(const API_Guid& guid)
{
    auto it = elements_.find(guid);
    return it == elements_.end() ? nullptr : &it->second;
}

void ElementStore::Insert(const StoredElement& element)
{
    const API_Guid guid = element.record.header.guid;
    Erase(guid);
    elements_.emplace(guid, element);
    byType_[element.record.header.type.typeID].emplace(element.order, guid);
    API_Guid owner = OwnerOf(element.record);
    if (owner != APINULLGuid) dependents_.emplace(owner, guid);
    if (element.record.header.groupGuid != APINULLGuid) members_.emplace(element.record.header.groupGuid, guid);
    lastOrder_ = std::max(lastOrder_, element.order);
}

void ElementStore::Erase(const API_Guid& guid)
{
    auto it = elements_.find(guid);
    if (it == elements_.end()) return;
    const API_Element& record = it->second.record;
    auto typeIt = byType_.find(record.header.type.typeID);
    if (typeIt != byType_.end()) typeIt->second.erase(it->second.order);
    Unlink(dependents_, OwnerOf(record), guid);
    Unlink(members_, record.header.groupGuid, guid);
    elements_.erase(it);
}

void ElementStore::Unlink(Links& links, const API_Guid& key, const API_Guid& guid)
{
    if (key == APINULLGuid) return;
    auto range = links.equal_range(key);
    for (auto d = range.first; d != range.second; ++d) {
        if (d->second == guid) {
            links.erase(d);
            return;
        }
    }
}

void ElementStore::SetGroup(const API_Guid& guid, const API_Guid& group)
{
    StoredElement* element = FindMutable(guid);
    if (element == nullptr) return;
    Unlink(members_, element->record.header.groupGuid, guid);
    element->record.header.groupGuid = group;
    if (group != APINULLGuid) members_.emplace(group, guid);
}

void ElementStore::Clear()
{
    elements_.clear();
    byType_.clear();
    dependents_.clear();
    members_.clear();
    lastOrder_ = 0;
}

size_t ElementStore::Count(Int32 typeID) const
{
    auto it = byType_.find(typeID);
    return it == byType_.end() ? 0 : it->second.size();
}

void ElementStore::AppendGuidsOfType(Int32 typeID, GS::Array<API_Guid>* guids) const
{
    auto it = byType_.find(typeID);
    if (it == byType_.end()) return;
    guids->EnsureCapacity(guids->GetSize() + USize(it->second.size()));
    for (const auto& entry : it->second) guids->Push(entry.second);
}

std::vector<const StoredElement*> ElementStore::ElementsInOrder() const
{
    // Sorted by the order copied beside each pointer: comparing through the pointers would
    // visit every element again and again.
    std::vector<std::pair<UInt64, const StoredElement*>> all;
    all.reserve(elements_.size());
    for (const auto& e : elements_) all.emplace_back(e.second.order, &e.second);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<const StoredElement*> out;
    out.reserve(all.size());
    for (const auto& e : all) out.push_back(e.second);
    return out;
}

std::vector<API_Guid> ElementStore::AllInOrder() const
{
    std::vector<API_Guid> out;
    out.reserve(elements_.size());
    for (const StoredElement* e : ElementsInOrder()) out.push_back(e->record.header.guid);
    return out;
}

std::vector<API_Guid> ElementStore::DependentsOf(const API_Guid& owner) const
{
    return LinkedInOrder(dependents_, owner);
}

std::vector<API_Guid> ElementStore::MembersOf(const API_Guid& group) const { return LinkedInOrder(members_, group); }

std::vector<API_Guid> ElementStore::LinkedInOrder(const Links& links, const API_Guid& key) const
{
    std::vector<API_Guid> out;
    auto range = links.equal_range(key);
    for (auto d = range.first; d != range.second; ++d) out.push_back(d->second);
    // Creation order, so that the result does not depend on hashing.
    std::sort(out.begin(), out.end(),
              [this](const API_Guid& a, const API_Guid& b) { return Find(a)->order < Find(b)->order; });
    return out;
}

}  // namespace HostInternal
