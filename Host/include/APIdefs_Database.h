#pragma once

// Database records: the floor plan, sections, details, layouts and worksheets, each a
// database of its own with a type and an identifier.

#include "GSRoot.hpp"

enum API_DatabaseID : Int32 {
    APIDb_NewDatabaseID = 0x4E444154,            // 'NDAT'
    APIDb_ChangeCurrentDatabaseID = 0x43444154,  // 'CDAT'
    APIDb_GetCurrentDatabaseID = 0x47434442      // 'GCDB'
};

enum API_DatabaseTypeID : Int32 {
    APIWind_FloorPlanID = 1,
    APIWind_SectionID = 2,
    APIWind_DetailID = 3,
    APIWind_LayoutID = 5,
    APIWind_WorksheetID = 12
};

constexpr size_t API_DatabaseNameCapacity = 128;   // UTF-16 units, terminator included

struct API_DatabaseInfo {
    API_DatabaseTypeID typeID;
    Int32 index;
    API_Guid databaseUnId;
    GS::uchar_t name[API_DatabaseNameCapacity];
};
