#pragma once

// Database records: the floor plan, sections, details, layouts and worksheets, each a
// database of its own with a type and an identifier. 'GEDB' reads the type, identifier and name
// of the database an element is drawn in: par1 the element's API_Guid, par2 the record.

#include "GSRoot.hpp"

enum API_DatabaseID : Int32 {
    APIDb_NewDatabaseID = 0x4E444154,            // 'NDAT'
    APIDb_ChangeCurrentDatabaseID = 0x43444154,  // 'CDAT'
    APIDb_GetCurrentDatabaseID = 0x47434442,     // 'GCDB'
    APIDb_GetContainingDatabaseID = 0x47454442   // 'GEDB'
};

enum API_DatabaseTypeID : Int32 {
    APIWind_FloorPlanID = 1,
    APIWind_SectionID = 2,
    APIWind_DetailID = 3,
    APIWind_LayoutID = 5,
    APIWind_WorksheetID = 12
};

constexpr size_t API_DatabaseNameCapacity = 128;  // UTF-16 units, terminator included

struct API_DatabaseInfo {
    API_DatabaseTypeID typeID;
    Int32 index;
    API_Guid databaseUnId;
    GS::uchar_t name[API_DatabaseNameCapacity];
};

// ---------------------------------------------------------------------------------------------
// Hotlink nodes: a module file registered as a hotlink source ('CHLN'), whose placed instances
// (hotlink elements, type 36) can be broken into plain elements ('BHLN'), or removed ('DHLN').

namespace IO {
class Location;
}

constexpr API_DatabaseID APIDb_CreateHotlinkNodeID = API_DatabaseID(0x43484C4E);  // 'CHLN'
constexpr API_DatabaseID APIDb_BreakHotlinkNodeID = API_DatabaseID(0x42484C4E);   // 'BHLN'
constexpr API_DatabaseID APIDb_DeleteHotlinkNodeID = API_DatabaseID(0x44484C4E);  // 'DHLN'

enum API_HotlinkStoryRangeTypeID : Int32 { APIHotlink_SingleStory = 0, APIHotlink_AllStories = 1 };

constexpr size_t API_HotlinkNodeNameCapacity = 256;  // UTF-16 units, terminator included

// 'CHLN' reads sourceLocation and fills guid; the host may also set serverSourceLocation and
// userData, which the caller then owns (delete the locations, BMKillPtr the block).
struct API_HotlinkNode {
    API_Guid guid;
    Int32 type;            // API_HotlinkTypeID
    Int32 storyRangeType;  // API_HotlinkStoryRangeTypeID
    IO::Location* sourceLocation;
    IO::Location* serverSourceLocation;
    GS::uchar_t name[API_HotlinkNodeNameCapacity];
    GSPtr userData;
};
