#pragma once

// The test interface of the navigator, the databases, the publisher sets and the graphic
// override combinations. Tests use it with HostTesting.hpp; the add-on never includes it.
//
// Failure injection (HostTesting::FailureRule) on these functions:
// - "ACAPI_Navigator": typeID = the code ('GNSE' ...); name = "map <id>" for 'GNSE' and
//   'CVPI'; index = the set index of an indexed 'GNSE'; guid = the parent of 'GNCI' and 'CVPI',
//   the view of 'CHNV';
// - "ACAPI_Database": typeID = the code; guid = the database of 'CDAT', the element of 'GEDB';
//   name = the name of 'NDAT';
// - "ACAPI_Override_GetOverrideCombination": guid = the combination.

#include <string>
#include <vector>

#include "ACAPinc.h"
#include "HostTesting.hpp"

namespace HostTesting {

struct NavigatorItemInfo {
    API_Guid guid;
    std::string name;  // UTF-8
    Int32 itemType;
    Int32 mapId;
    API_Guid parent;
    API_Guid database;
    Int16 story;
};

API_Guid NavigatorRoot(API_NavigatorMapID map);
// Files an item as the parent's last child; the null GUID when the parent is unknown.
API_Guid AddNavigatorItem(const API_Guid& parent, const std::string& name, Int32 itemType,
                          const API_Guid& database = APINULLGuid, Int16 story = 0);
// An item filed with a raw UTF-16 name (for names no UTF-8 text gives, or longer than a field).
API_Guid AddNavigatorItemUtf16(const API_Guid& parent, const std::u16string& name, Int32 itemType);
// Empties a map down to its root.
void ClearNavigatorMap(API_NavigatorMapID map);
bool GetNavigatorItem(const API_Guid& guid, NavigatorItemInfo* info);
std::vector<NavigatorItemInfo> NavigatorChildren(const API_Guid& parent);

// The saved view opened last (null until one is).
API_Guid CurrentView();

struct DatabaseFixture {
    API_Guid id;
    Int32 type;        // API_DatabaseTypeID
    std::string name;  // UTF-8
};
std::vector<DatabaseFixture> Databases();
API_Guid CurrentDatabase();
// The worksheet a drafting element was drawn in; null for the floor plan's elements.
API_Guid SheetOf(const API_Guid& element);
// Adds a database (a null id gets a fresh one); returns its id.
API_Guid AddDatabase(Int32 type, const std::string& name, const API_Guid& id = APINULLGuid);

struct PublisherSetFixture {
    std::string name;    // UTF-8
    std::string folder;  // where it publishes by default
    Int16 story = 0;     // the plan its page shows
};
// Replaces the publisher sets; returns their root GUIDs in order.
std::vector<API_Guid> SetPublisherSets(const std::vector<PublisherSetFixture>& sets);
std::vector<PublisherSetFixture> PublisherSets();
struct PublishedFile {
    std::string setName;
    std::string path;
};
// What 'PUBL' wrote since the last reset, oldest first.
std::vector<PublishedFile> PublishedFiles();

// Replaces the graphic override combinations (UTF-8 names); returns their GUIDs in order.
std::vector<API_Guid> SetOverrideCombinations(const std::vector<std::string>& names);
// The same with raw UTF-16 names.
std::vector<API_Guid> SetOverrideCombinationsUtf16(const std::vector<std::u16string>& names);

}  // namespace HostTesting
