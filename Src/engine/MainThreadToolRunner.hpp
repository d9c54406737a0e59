#pragma once

// Runs the model's tool calls on the main thread for the engine's worker, which waits for
// each one. Tool handlers touch the host, and the host is only ever called from the main
// thread; the worker must still be able to stop while a call is queued there.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "core/ToolRegistry.hpp"
#include "engine/ModelProvider.hpp"

class MainThreadToolRunner {
public:
    // A call is not started on the main thread while abandon reads true (the engine's turn
    // was cleared away); abandon must outlive every Run.
    MainThreadToolRunner(const ToolRegistry& registry, const std::atomic<bool>& abandon);
    MainThreadToolRunner(const MainThreadToolRunner&) = delete;
    MainThreadToolRunner& operator=(const MainThreadToolRunner&) = delete;

    // Worker thread. Runs call and waits for it; a call whose arguments could not be read is
    // answered with their error and not run. On true, result is the outcome and resultText
    // what the model receives (invalid UTF-8 replaced). False once Stop has been called, or
    // when abandon was set before the call started: the call did not run, or its outcome is
    // not wanted any more.
    bool Run(const ToolCall& call, ToolResult& result, std::string& resultText);

    // Any thread. A call handed to the main thread but not started there never runs, the
    // waiting Run returns at once, and no later call runs. Idempotent.
    void Stop();

private:
    struct Handoff;

    const ToolRegistry& registry;
    const std::atomic<bool>& abandon;
    std::mutex mutex;
    bool stopped = false;
    std::shared_ptr<Handoff> inFlight;  // the call the worker waits for
};
