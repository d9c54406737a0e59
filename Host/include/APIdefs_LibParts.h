#pragma once

// Library parts: the loaded doors, windows, objects, lamps, zone stamps and labels.

#include "GSRoot.hpp"
#include "InputOutput.hpp"

enum API_LibTypeID : Int32 {
    API_ZombieLibID = 0,
    APILib_SpecID = 1,
    APILib_WindowID = 2,
    APILib_DoorID = 3,
    APILib_ObjectID = 4,
    APILib_LampID = 5,
    APILib_RoomID = 6,
    APILib_PropertyID = 7,
    APILib_PlanSignID = 8,
    APILib_LabelID = 9,
    APILib_MacroID = 10,
    APILib_PictID = 11
};

struct API_LibPart {
    Int32 typeID;                 // API_LibTypeID
    Int32 index;                  // 1 .. ACAPI_LibPart_GetNum
    GS::uchar_t docu_UName[256];  // the part's name, NUL-terminated
    GS::uchar_t file_UName[256];
    IO::Location* location;  // allocated by Get and Search; the caller deletes it
    char ownUnID[128];       // the part's unique id
    char parentUnID[128];
    bool isPlaceable;
    bool missingDef;  // a reference to a part the library lacks
};
