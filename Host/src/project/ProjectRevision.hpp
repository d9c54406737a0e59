#pragma once

// The project's revision: a number that moves on whenever the project changes as a whole (a
// committed command, an undo, a redo, a reset), so that whoever shows the project (the host
// window's plan) redraws only then. Read and awaited from any thread.

#include <cstdint>

namespace HostInternal {

// Main thread, after the change is complete.
void NoteProjectChange();

std::uint64_t ProjectRevision();
// Returns as soon as the revision differs from seen, or when timeoutMs have passed; the
// revision at that moment.
std::uint64_t WaitForProjectChange(std::uint64_t seen, int timeoutMs);

}  // namespace HostInternal
