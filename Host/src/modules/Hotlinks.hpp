#pragma once

// Module hotlinks of the emulated host: nodes made from module files ('CHLN'), the hotlink
// elements placed from them (type 36) and breaking those instances into plain elements
// ('BHLN'). A node keeps the module's content as read when the node was made, so the file may
// go away right after.

#include "ACAPinc.h"

namespace HostInternal {

bool IsHotlinkDatabaseCode(API_DatabaseID code);
// 'CHLN', 'BHLN' and 'DHLN' behind ACAPI_Database (which has logged the call already).
GSErrCode HotlinkDatabase(API_DatabaseID code, void* par1);

// True for a node that exists now (the element checks refuse instances of any other).
bool HotlinkNodeExists(const API_Guid& node);
size_t HotlinkNodeCount();
// Forgets every node (a new project has none).
void ClearHotlinkNodes();

}  // namespace HostInternal
