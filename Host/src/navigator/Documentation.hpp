#pragma once

// The project's documentation structure: the navigator maps (project map, View Map, publisher
// sets) as trees of items, the databases (floor plan, sections, details, layouts, worksheets)
// with the current one, the current view, and the graphic override combinations. Not part of
// undo: none of it changes inside an undoable command.

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "ACAPinc.h"

namespace HostInternal {

struct NavItem {
    API_Guid guid;
    std::u16string name;
    Int32 itemType;
    Int32 mapId;
    API_Guid parent;                 // null for a map's root
    std::vector<API_Guid> children;  // stored order
    API_Guid database;               // what the item opens; null for folders
    Int16 story = 0;                 // the story a plan item opens

    // An item to file with Documentation::AddItem (which sets map and parent); a null guid
    // gets a fresh one there.
    static NavItem Make(const std::u16string& name, Int32 itemType, const API_Guid& database = APINULLGuid,
                        Int16 story = 0, const API_Guid& guid = APINULLGuid);
};

struct Database {
    API_Guid id;
    Int32 type;  // API_DatabaseTypeID
    std::u16string name;
};

struct PublisherSet {
    std::string name;    // UTF-8
    API_Guid root;       // the set's item in map 5
    std::string folder;  // where the set publishes unless told otherwise
    Int16 story = 0;     // the plan its page shows
};

// A file that 'PUBL' wrote.
struct PublishedFile {
    std::string setName;
    std::string path;
};

struct OverrideCombination {
    API_Guid guid;
    std::u16string name;
    std::vector<API_Guid> rules;
};

class Documentation {
public:
    Documentation();  // the three maps, each with only its root

    // ---- navigator
    API_Guid Root(Int32 mapId) const;  // null for an unknown map
    const NavItem* Find(const API_Guid& guid) const;
    NavItem* FindMutable(const API_Guid& guid);
    // Files a new item as the parent's last child (the map is the parent's); the item's GUID,
    // null when there is no such parent. A null guid gets a fresh one.
    API_Guid AddItem(const API_Guid& parent, NavItem item);
    // Removes every item below the map's root.
    void ClearMap(Int32 mapId);

    // ---- databases
    std::vector<Database> databases;
    API_Guid currentDatabase = APINULLGuid;
    const Database* FindDatabase(const API_Guid& id) const;
    // The floor plan's database: where model elements and the plan's drafting are drawn.
    API_Guid FloorPlan() const;

    // ---- views
    API_Guid currentView = APINULLGuid;

    // ---- publisher sets, in index order (each has a root item in map 5)
    std::vector<PublisherSet> publisherSets;
    // Adds a set with its item in map 5 (a null guid gets a fresh one).
    const PublisherSet& AddPublisherSet(const std::string& name, const std::string& folder, Int16 story,
                                        const API_Guid& guid = APINULLGuid);
    void ClearPublisherSets();
    std::vector<PublishedFile> published;  // oldest first

    // ---- graphic override combinations, in stored order
    std::vector<OverrideCombination> overrides;

private:
    std::unordered_map<API_Guid, NavItem> items_;
    std::map<Int32, API_Guid> roots_;
};

// Fills the documentation of the default project: a View Map of saved plan views per story in
// folders, the project map with the stories and a worksheet, a floor-plan database and the
// section, detail and layout databases, publisher sets and override combinations.
void LoadDefaultDocumentation(class Project& project);

}  // namespace HostInternal
