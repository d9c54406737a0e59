#include "MainQueue.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

namespace {

struct QueueState {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> items;
    std::thread::id mainThread;
};

QueueState& State()
{
    static QueueState state;
    return state;
}

// Static initialisation runs on the thread that starts the process: that is the main thread
// until someone says otherwise.
[[maybe_unused]] const bool g_mainThreadRecorded = [] {
    QueueState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.mainThread = std::this_thread::get_id();
    return true;
}();

// One item of work, with every exception stopped here: the main loop must survive anything.
void RunGuarded(std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "main queue: work ended with an exception: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "main queue: work ended with an exception of unknown type\n");
    }
}

bool PopOne(std::function<void()>& out)
{
    QueueState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.items.empty()) {
        return false;
    }
    out = std::move(state.items.front());
    state.items.pop_front();
    return true;
}

}  // namespace

void DispatchAsyncMain(std::function<void()> work)
{
    if (!work) {
        return;
    }
    QueueState& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.items.push_back(std::move(work));
    }
    state.wake.notify_all();
}

void DispatchSyncMain(std::function<void()> work)
{
    if (!work) {
        return;
    }
    // The outcome crosses threads as plain data (no exception_ptr): the failure's text is all
    // a caller on another thread can use, and it keeps the hand-over simple to reason about.
    struct Outcome {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        std::string error;  // empty when the work succeeded
    };
    auto outcome = std::make_shared<Outcome>();
    auto run = [work = std::move(work), outcome]() mutable {
        std::string error;
        try {
            work();
        } catch (const std::exception& e) {
            error = *e.what() != '\0' ? e.what() : "Unknown error";
        } catch (...) {
            error = "Unknown error";
        }
        {
            std::lock_guard<std::mutex> lock(outcome->mutex);
            outcome->done = true;
            outcome->error = std::move(error);
        }
        outcome->finished.notify_all();
    };
    if (MainQueue::IsMainThread()) {
        run();  // waiting for ourselves would never end
    } else {
        DispatchAsyncMain(std::move(run));
    }
    std::unique_lock<std::mutex> lock(outcome->mutex);
    outcome->finished.wait(lock, [&] { return outcome->done; });
    if (!outcome->error.empty()) {
        throw std::runtime_error(outcome->error);
    }
}

namespace MainQueue {

void SetMainThread(std::thread::id id)
{
    QueueState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.mainThread = id;
}

bool IsMainThread()
{
    QueueState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.mainThread == std::this_thread::get_id();
}

std::size_t DrainUntilIdle()
{
    std::size_t count = 0;
    std::function<void()> work;
    while (PopOne(work)) {
        RunGuarded(work);
        work = nullptr;  // release captures before the next item, as the platform would
        ++count;
    }
    return count;
}

std::size_t RunFor(std::chrono::milliseconds timeout)
{
    QueueState& state = State();
    {
        std::unique_lock<std::mutex> lock(state.mutex);
        state.wake.wait_for(lock, timeout, [&] { return !state.items.empty(); });
    }
    return DrainUntilIdle();
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        DrainUntilIdle();
        if (done()) {
            return true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        RunFor(std::min(left, std::chrono::milliseconds(10)));
    }
}

std::size_t PendingCount()
{
    QueueState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.items.size();
}

std::size_t DiscardPending()
{
    std::deque<std::function<void()>> dropped;
    {
        QueueState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        dropped.swap(state.items);
    }
    return dropped.size();  // captures are released here, outside the lock
}

}  // namespace MainQueue
