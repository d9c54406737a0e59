#pragma once

// Placing a module file as plain elements: the one place the add-on touches the host's
// hotlinks. Templates and typologies both place their stored designs this way.

#include <string>

#include "ACAPinc.h"

// Registers the module at modulePath as a hotlink node named displayName ('CHLN'), places one
// instance at the project origin (identity transformation, floor 0, layer 1) and breaks it
// into plain elements ('BHLN'). Returns the first non-zero host code, 0 when all went through.
// Run it only as the body of the caller's undo step; the file must exist for the whole call.
// When the instance cannot be placed, the node just made is deleted again, so a failure never
// leaves an orphan node behind.
GSErrCode PlaceModuleAsElements(const std::string& modulePath, const std::string& displayName);
