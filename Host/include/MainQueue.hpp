#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <thread>

// Stand-in for the platform's main dispatch queue. Work posted here runs once, in posting
// order, on the main thread when that thread drains the queue (the shell's main loop, or a
// test). Nothing run through the queue lets an exception escape into the draining loop.

// Posts work to run later on the main thread and returns at once. Never runs inline, even
// when called on the main thread. Empty work is ignored.
void DispatchAsyncMain(std::function<void()> work);

// Runs work on the main thread and returns when it has finished. On the main thread itself
// it runs inline (waiting for ourselves would never end). Either way an exception thrown by
// the work never reaches the main loop: the caller gets a std::runtime_error carrying its
// what() text ("Unknown error" for exceptions of other types or without text).
void DispatchSyncMain(std::function<void()> work);

namespace MainQueue {

// The main thread is the thread that started the process, unless a test or the shell
// names another one (for example a pump thread).
void SetMainThread(std::thread::id id = std::this_thread::get_id());
bool IsMainThread();

// Runs what is queued now, including anything posted by that work while it runs, until the
// queue is empty. Returns the number of items run. Main thread only.
std::size_t DrainUntilIdle();

// Waits up to timeout for work, then runs it and everything else already queued.
// Returns the number of items run (0 when the wait ended without work). Main thread only.
std::size_t RunFor(std::chrono::milliseconds timeout);

// Drains repeatedly until done() is true or the timeout passes; returns done().
// For tests and the shell's shut-down path. Main thread only.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Number of items waiting.
std::size_t PendingCount();

// Drops everything waiting without running it (a test starting afresh). Returns how many.
std::size_t DiscardPending();

}  // namespace MainQueue
