#pragma once

// Where fresh GUIDs come from. Deterministic after a reset, so test runs repeat exactly.

#include "GSRoot.hpp"

namespace HostInternal {

API_Guid NextGuid();
void ResetGuidSource(UInt64 seed);

}  // namespace HostInternal
