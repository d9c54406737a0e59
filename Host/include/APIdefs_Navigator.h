#pragma once

// Navigator records: the project map, the View Map and the publisher sets, each a tree of
// items under one root item.

#include "GSRoot.hpp"

enum API_NavigatorID : Int32 {
    APINavigator_GetNavigatorSetID = 0x474E5345,            // 'GNSE'
    APINavigator_GetNavigatorChildrenItemsID = 0x474E4349,  // 'GNCI'
    APINavigator_GetNavigatorSetNumID = 0x474E534E,         // 'GNSN'
    APINavigator_CreateNavigatorVPItemID = 0x43565049,      // 'CVPI'
    APINavigator_ChangeNavigatorViewID = 0x43484E56         // 'CHNV'
};

enum API_NavigatorMapID : Int32 {
    API_UndefinedMap = 0,
    API_ProjectMap = 1,     // stories, sections, details and worksheets of the project
    API_PublicViewMap = 3,  // the saved views
    API_PublisherSets = 5   // one set per publisher set
};

// Item types with a meaning to this host; others pass through as numbers.
enum API_NavigatorItemTypeID : Int32 {
    API_UndefinedNavItem = 0,
    API_ProjectNavItem = 1,  // the project map's root
    API_StoryNavItem = 2,    // a story's floor plan; in the View Map a saved view of one
    API_SectionNavItem = 3,
    API_DetailNavItem = 5,
    API_LayoutNavItem = 7,
    API_WorksheetNavItem = 22,
    API_FolderNavItem = 24
};

constexpr size_t API_NavigatorNameCapacity = 128;  // UTF-16 units, terminator included

// Filled by 'GNSE'. The name is the record's first field.
struct API_NavigatorSet {
    char name[128];  // UTF-8, NUL-terminated
    API_Guid rootGuid;
    API_NavigatorMapID mapId;
    Int32 reserved;
};

// One navigator item. 'GNCI' fills every field; 'CVPI' reads name, mapId and itemType.
struct API_NavigatorItem {
    GS::uchar_t uName[API_NavigatorNameCapacity];
    API_Guid guid;
    API_NavigatorMapID mapId;
    Int32 itemType;  // API_NavigatorItemTypeID or another number
    API_Guid db;     // the database the item opens (null for folders)
    Int16 floorNum;  // the story a plan item opens
};
