#pragma once

// Environment records: project information and the story structure.

#include "GSRoot.hpp"

enum API_EnvironmentID : Int32 {
    APIEnv_ProjectID = 0x50524F4A,             // 'PROJ'
    APIEnv_GetStorySettingsID = 0x4753544F,    // 'GSTO'
    APIEnv_ChangeStorySettingsID = 0x4353544F  // 'CSTO'
};

// Filled by 'PROJ'. Pointer members are allocated by the host; the caller deletes them.
struct API_ProjectInfo {
    bool untitled;
    bool teamwork;
    GS::UniString* projectPath;
    GS::UniString* projectName;
    GS::UniString* location;
};

// One story as 'GSTO' reports it.
struct API_StoryType {
    Int16 index;
    double level;  // elevation in metres
    GS::uchar_t uName[256];
};

// Filled by 'GSTO': data is a handle of (lastStory - firstStory + 1) records; the caller kills it.
struct API_StoryInfo {
    Int16 firstStory;
    Int16 lastStory;
    Int16 actStory;
    API_StoryType** data;
};

enum API_StoryCmdID : Int32 {
    APIStory_GoTo = 1,
    APIStory_InsAbove = 2,
    APIStory_InsBelow = 3,
    APIStory_Delete = 4,
    APIStory_Rename = 5,
    APIStory_SetHeight = 6,
    APIStory_SetElevation = 7
};

// Input of 'CSTO'.
struct API_StoryCmdType {
    Int32 action;  // API_StoryCmdID
    Int16 index;
    double height;
    double elevation;
    GS::uchar_t uName[256];
};
