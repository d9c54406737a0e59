#pragma once

// Where fresh GUIDs come from: a sequence that starts from a random source, so that a GUID
// kept from an earlier run never names an element of this one; a fixed seed makes it repeat
// exactly (test runs).

#include "GSRoot.hpp"

namespace HostInternal {

API_Guid NextGuid();
void ResetGuidSource(UInt64 seed);
// Starts the sequence again from the random source.
void SeedGuidSourceAtRandom();

}  // namespace HostInternal
