#pragma once

// Work that a tool or a background thread hands to the host's main thread.

#include <functional>
#include <utility>

#include "MainQueue.hpp"

// Queues work to run once on the main queue and returns at once; never runs it inline, even
// on the main thread, so work posted by a tool handler runs after the handler has returned and
// before the engine's report of the same call. Empty work is ignored.
inline void DispatchToMainThread(std::function<void()> work)
{
    if (work) DispatchAsyncMain(std::move(work));
}
