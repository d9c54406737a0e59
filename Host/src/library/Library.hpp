#pragma once

// The loaded library and the markers of doors and windows: what the library functions,
// ACAPI_Element_GetDefaultsExt and ACAPI_Element_CreateExt share.

#include <map>
#include <string>
#include <vector>

#include "ACAPinc.h"
#include "project/Project.hpp"

namespace HostInternal {

// The marker a door or window carries: its library part and parameter list as created.
struct StoredMarker {
    Int32 libInd = 0;
    std::vector<API_AddParType> params;
    bool hadParams = false;  // whether the creation saw a parameter list at all
};

// Per opening type (door, window): the unique id of its marker part and the parameter list
// that the marker defaults hand out.
struct MarkerSetup {
    std::string markerUnID;
    std::vector<API_AddParType> defaultParams;
    bool defaultsCarryParams = true;
};

std::map<Int32, MarkerSetup>& MarkerSetups();
// Markers of the openings in the project, by opening GUID (kept in step with undo).
std::map<API_Guid, StoredMarker>& Markers();

// The embedded default project's library and marker setup; called when the project is loaded.
void LoadDefaultLibrary(Project& project);

// A parameter record from a name and a numeric or text value.
API_AddParType MakeParameter(const char* name, API_AddParID type, double value, const char* text = nullptr);

}  // namespace HostInternal
