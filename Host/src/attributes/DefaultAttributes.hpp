#pragma once

// The default project's attribute catalogue beyond the basic tables: more layers, line types
// and fills, and the building materials, surfaces and composites an office template carries,
// with indices deleted in between as every long-lived project has them.

#include "project/Project.hpp"

namespace HostInternal {

// A zero-filled attribute record with its type, index, name and a stable GUID (the same after
// every reset, so that saved references survive one).
API_Attribute DefaultAttribute(API_AttrTypeID typeID, Int32 index, const char* name);

// Appends the catalogue to the tables already loaded (their indices continue after the last
// one) and marks some indices deleted, so that counts run past unreadable entries.
void LoadDefaultAttributeCatalogue(Project& project);

}  // namespace HostInternal
