#pragma once

// The test interface of the host's module files: write the open project or a fixture project
// as a module, look into a module, and replace the open project with one. Tests use it with
// HostTesting.hpp; the add-on never includes it.

#include <string>
#include <vector>

#include "ACAPinc.h"
#include "HostTesting.hpp"

namespace HostTesting {

// Writes the open project as 'SMOD' does, without the call log or injected failures.
GSErrCode WriteProjectModule(const std::string& path);

// Writes a module of a small two-storey fixture project built apart from the open project
// (which stays as it is): on the ground floor a 6 x 4 m room of four walls on layer
// "Structural - Bearing" with a door and a window, a slab, a zone named "Living" and a text;
// on the first floor a polyline and a fill. extraWalls more walls follow on the ground floor.
GSErrCode WriteFixtureModule(const std::string& path, size_t extraWalls = 0);

struct ModuleElementInfo {
    API_Guid guid;
    API_ElemTypeID typeID;
    Int16 floorInd;
};

struct ModuleSummary {
    UInt32 version = 0;
    std::string projectName;
    std::vector<StoryFixture> stories;
    std::vector<API_Attribute> attributes;
    std::vector<ModuleElementInfo> elements;  // in file order
};

// Reads a module as the host's reader does; why receives the reason of a refusal.
GSErrCode ReadModuleSummary(const std::string& path, ModuleSummary* summary, std::string* why = nullptr);

// Empties the open project and loads the module into it: its stories, attributes and elements
// (with their GUIDs and memos). Element defaults and the library stay empty until the next
// ResetProject.
GSErrCode LoadModuleAsProject(const std::string& path);

// Hotlink nodes that exist now ('CHLN' makes them; breaking or deleting one removes it).
size_t HotlinkNodeCount();

}  // namespace HostTesting
