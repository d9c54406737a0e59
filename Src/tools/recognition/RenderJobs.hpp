#pragma once

// Following a render job on the product's render service until it ends, on a thread of its
// own, and telling the chat palette: the finished image as a preview, or a failed tool card.
// Exactly one report per job goes to the main queue; none once the add-on is being freed.

#include <chrono>
#include <cstddef>
#include <string>

#include "tools/ToolFamilies.hpp"

namespace RenderJobs {

// Status requests per job before it is reported as timed out.
constexpr int kMaxPolls = 45;
// How long a job is followed, from the moment its first status request is due (one interval
// after the start) until the time-out report: the kMaxPolls requests one interval apart, the
// last with its interval to answer. A request gets only what is left of it and, once it is
// spent, neither a request nor a pause follows, however slowly the service answers.
constexpr std::chrono::seconds kPollDeadline{45};

// For tests: another length for the budget (zero restores kPollDeadline).
void SetPollDeadlineForTesting(std::chrono::nanoseconds deadline);

// The interval between status requests (and before the first): one second, shorter in tests.
void SetPollInterval(std::chrono::nanoseconds interval);
std::chrono::nanoseconds PollInterval();

// For tests: the poll reads its own clock, which is the steady clock unless a test takes it in
// hand. The hand-moved clock stands still but for a pause, which moves it on to the time the
// pause waits for at once, and for AdvancePollClockForTesting (a fake service's answer taking
// its time); a request gets what is left of the budget on that clock as real time. A row's
// timeline is then the same however busy the machine is. One poll at a time while it is in hand.
void SetHandMovedPollClockForTesting(bool handMoved);
void AdvancePollClockForTesting(std::chrono::nanoseconds by);
std::chrono::steady_clock::time_point PollClockNow();

// Polls the job on the calling thread until it ends, then posts its one report to the main
// queue. Returns early, reporting nothing, when StopAll is called meanwhile.
void PollRenderJob(const std::string& jobId, ChatPreview onRenderPreview, ChatToolResult onRenderToolResult);

// Runs PollRenderJob on a new detached thread (copies of all three values) and returns at
// once. Throws std::system_error when no thread can be made.
void StartPolling(const std::string& jobId, ChatPreview onRenderPreview, ChatToolResult onRenderToolResult);

// Freeing the add-on, or clearing the conversation: every running poll stops at its next
// pause (a request in flight is cancelled within about a second) and posts nothing, and a
// report already on the main queue is dropped there. Waits until all poll threads have ended,
// at most timeout (zero: not at all); true when none is left. Jobs started afterwards poll
// normally.
bool StopAll(std::chrono::milliseconds timeout);

// Poll threads that have not ended yet.
std::size_t Running();

}  // namespace RenderJobs
