#pragma once

// The test interface of the host's library and of the markers of doors and windows.
// Tests use it with HostTesting.hpp; the add-on never includes it.

#include <string>
#include <utility>
#include <vector>

#include "ACAPinc.h"

namespace HostTesting {

struct LibraryPartFixture {
    Int32 typeID = APILib_ObjectID;  // API_LibTypeID
    std::string name;                // UTF-8
    std::string unID;
    double a = 1.0;  // default size along x
    double b = 1.0;  // default size along y
    std::vector<std::pair<std::string, double>> params;
    bool placeable = true;
};

// Appends a part to the loaded library; returns its index.
Int32 AddLibraryPart(const LibraryPartFixture& part);
// Unloads every part (the count becomes 0).
void ClearLibrary();
Int32 LibraryPartCount();
// The index of the part with exactly this name, or 0.
Int32 FindLibraryPart(const std::string& name);
std::vector<API_AddParType> LibraryPartParams(Int32 index);

// The marker part a kind of opening uses (its unique id; empty: the opening has none).
void SetMarkerPart(API_ElemTypeID openingType, const std::string& unID);
// Whether the marker defaults already carry a parameter list.
void SetMarkerDefaultsCarryParams(API_ElemTypeID openingType, bool carry);
std::vector<API_AddParType> MarkerDefaultParams(API_ElemTypeID openingType);

// The marker an existing door or window was created with; false when it has none.
bool GetMarker(const API_Guid& opening, Int32* libInd, std::vector<API_AddParType>* params);

}  // namespace HostTesting
