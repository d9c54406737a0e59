#pragma once

// Bookkeeping of the host's memory handles and pointers: live counts, bad frees and injected
// allocation failures.

#include "GSRoot.hpp"

namespace HostInternal {

void FailAllocation(int nth, int count);
void ClearAllocationFailures();
Int64 LiveHandleCount();
Int64 BadFreeCount();
void ResetBadFreeCount();

}  // namespace HostInternal
