#pragma once

// The project's property groups and definitions, the values elements hold of them, and the
// classification systems with their items and the elements' classifications. Kept beside the
// element store: a value or classification of an element that no longer exists is never read.

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "ACAPinc.h"

namespace HostInternal {

class Project;

struct StoredDefinition {
    API_PropertyDefinition record;
    std::set<Int32> elementTypes;  // the element types it is available for; empty: every type

    bool AvailableFor(Int32 typeID) const { return elementTypes.empty() || elementTypes.count(typeID) != 0; }
};

struct StoredGroup {
    API_PropertyGroup record;
    std::vector<API_Guid> definitions;  // in the host's order
};

struct StoredClassificationItem {
    API_ClassificationItem record;
    API_Guid system;
    API_Guid parent = APINULLGuid;   // null for a root item
    std::vector<API_Guid> children;  // in the host's order
};

struct PropertyStore {
    std::vector<API_Guid> groupOrder;
    std::map<API_Guid, StoredGroup> groups;
    std::map<API_Guid, StoredDefinition> definitions;
    // element -> definition -> the element's own value
    std::unordered_map<API_Guid, std::map<API_Guid, API_PropertyValue>> values;

    std::vector<API_Guid> systemOrder;
    std::map<API_Guid, API_ClassificationSystem> systems;
    std::map<API_Guid, StoredClassificationItem> items;
    std::map<API_Guid, std::vector<API_Guid>> rootItems;  // system -> its root items in order
    // element -> (system, item) pairs in the order they were given
    std::unordered_map<API_Guid, std::vector<std::pair<API_Guid, API_Guid>>> classifications;

    void Clear();
    // Stores the item under its parent (which must be stored already) or as a root item.
    void AddItem(const StoredClassificationItem& item);
    // Puts the element into the item, replacing its item of the same system.
    void Classify(const API_Guid& element, const API_Guid& item);
};

PropertyStore& TheProperties();

// A GUID made from a name, the same in every run, for the default groups, definitions,
// systems and items.
API_Guid NamedGuid(const std::string& name);

// The default project's groups and definitions (a value of every kind, each with its default)
// and one classification system; no element holds a value of its own or a classification.
void LoadDefaultProperties(Project& project);

}  // namespace HostInternal
