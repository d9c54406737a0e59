// The hand-off of one tool call at a time from the engine's worker to the main thread.
#include "engine/MainThreadToolRunner.hpp"

#include <condition_variable>
#include <exception>
#include <utility>

#include <nlohmann/json.hpp>

#include "MainQueue.hpp"
#include "core/CompactJson.hpp"

namespace {

std::string ValidUtf8(const std::string& text)
{
    const std::string quoted = CompactJson(nlohmann::json(text));
    return nlohmann::json::parse(quoted).get<std::string>();
}

// The text the model receives for a result. A tool that reports text which is not valid UTF-8
// (a name read from the project, say) still did its work: the model is told so, with the bad
// bytes replaced, rather than being told the call failed and trying it again.
std::string ResultText(ToolResult& result)
{
    try {
        return result.toJson();
    } catch (const nlohmann::json::exception&) {
        result.elementGuid = ValidUtf8(result.elementGuid);
        result.message = ValidUtf8(result.message);
        result.error = ValidUtf8(result.error);
        return result.toJson();
    }
}

}  // namespace

// One tool call handed to the main thread. The worker waits for it unless the runner stops
// before the main thread has started it; then it never runs.
struct MainThreadToolRunner::Handoff {
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    bool done = false;
    bool stopping = false;
    ToolResult result;
    std::string resultText;  // made on the main thread with the call
};

MainThreadToolRunner::MainThreadToolRunner(const ToolRegistry& tools, const std::atomic<bool>& abandonFlag)
    : registry(tools), abandon(abandonFlag)
{}

bool MainThreadToolRunner::Run(const ToolCall& call, ToolResult& result, std::string& resultText)
{
    if (!call.argumentError.empty()) {
        result = ToolResult::Fail(call.argumentError);
        resultText = ResultText(result);
        return true;
    }
    auto run = std::make_shared<Handoff>();
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopped) {
            return false;
        }
        inFlight = run;
    }
    const ToolRegistry* tools = &registry;
    const std::atomic<bool>* abandoned = &abandon;
    DispatchAsyncMain([run, tools, abandoned, name = call.name, input = call.input] {
        {
            std::lock_guard<std::mutex> lock(run->mutex);
            if (run->stopping) {
                return;  // the engine has gone; the registry may have gone with it
            }
            // Not stopping, so the worker still waits in Run and the engine (and its flag) lives.
            if (abandoned->load()) {
                run->stopping = true;
            } else {
                run->started = true;
            }
        }
        if (!run->started) {
            run->changed.notify_all();
            return;
        }
        ToolResult outcome;
        std::string text;
        try {
            outcome = tools->ExecuteTool(name, input);
            text = ResultText(outcome);
        } catch (const std::exception& e) {
            outcome = ToolResult::Fail(ValidUtf8(e.what()));
            text = outcome.toJson();
        } catch (...) {
            outcome = ToolResult::Fail("Unknown error");
            text = outcome.toJson();
        }
        {
            std::lock_guard<std::mutex> lock(run->mutex);
            run->result = std::move(outcome);
            run->resultText = std::move(text);
            run->done = true;
        }
        run->changed.notify_all();
    });

    bool finished = false;
    {
        std::unique_lock<std::mutex> lock(run->mutex);
        run->changed.wait(lock, [&] { return run->done || (run->stopping && !run->started); });
        finished = run->done;
        if (finished) {
            result = std::move(run->result);
            resultText = std::move(run->resultText);
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    inFlight.reset();
    return finished && !stopped;
}

void MainThreadToolRunner::Stop()
{
    std::shared_ptr<Handoff> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopped = true;
        waiting = inFlight;
    }
    if (waiting) {
        {
            std::lock_guard<std::mutex> lock(waiting->mutex);
            waiting->stopping = true;
        }
        waiting->changed.notify_all();
    }
}
