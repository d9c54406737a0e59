#pragma once

// Elements by GUID (constant-time lookup) with creation order kept per type, the openings
// that each wall owns and the members of each group.

#include <map>
#include <unordered_map>
#include <vector>

#include "ACAPinc.h"
#include "project/StoredMemo.hpp"

namespace HostInternal {

struct StoredElement {
    API_Element record;
    MemoPtr memo;      // null: no memo data
    UInt64 order = 0;  // creation sequence number
    // The worksheet a drafting element was drawn in; null for the floor plan (and every
    // model element, which belongs to the model whatever view is open).
    API_Guid sheet = APINULLGuid;

    const StoredMemo& Memo() const;
    // A private copy of the memo to change (an undo step may still share the old one).
    StoredMemo& EditMemo();
};

// The owner an element hangs on (a door's or window's wall), or the null GUID.
API_Guid OwnerOf(const API_Element& record);

class ElementStore {
public:
    const StoredElement* Find(const API_Guid& guid) const;
    StoredElement* FindMutable(const API_Guid& guid);
    // Stores the element at its order (elements restored by undo keep their place).
    void Insert(const StoredElement& element);
    void Erase(const API_Guid& guid);
    void Clear();

    UInt64 NextOrder() { return ++lastOrder_; }
    size_t Count() const { return elements_.size(); }
    size_t Count(Int32 typeID) const;
    // GUIDs of one type in creation order.
    void AppendGuidsOfType(Int32 typeID, GS::Array<API_Guid>* guids) const;
    std::vector<API_Guid> AllInOrder() const;
    // The stored elements in creation order, valid until the store next changes.
    std::vector<const StoredElement*> ElementsInOrder() const;
    std::vector<API_Guid> DependentsOf(const API_Guid& owner) const;
    // Members of a group in creation order; SetGroup is the only way to change an element's
    // group once it is stored, so that this index stays in step.
    std::vector<API_Guid> MembersOf(const API_Guid& group) const;
    void SetGroup(const API_Guid& guid, const API_Guid& group);

private:
    std::unordered_map<API_Guid, StoredElement> elements_;
    std::map<Int32, std::map<UInt64, API_Guid>> byType_;
    using Links = std::unordered_multimap<API_Guid, API_Guid>;
    static void Unlink(Links& links, const API_Guid& key, const API_Guid& guid);
    std::vector<API_Guid> LinkedInOrder(const Links& links, const API_Guid& key) const;

    Links dependents_;  // owner -> element
    Links members_;     // group -> element
    UInt64 lastOrder_ = 0;
};

}  // namespace HostInternal
