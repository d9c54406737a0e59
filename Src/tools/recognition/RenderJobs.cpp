// Render job polling: status once an interval, at most kMaxPolls times and within kPollDeadline,
// the result once after "done", one report to the main queue. Poll threads are detached but
// counted, so that freeing the add-on can stop them and wait for them: nothing of ours may run
// once it is unloaded.

#include "tools/recognition/RenderJobs.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

#include "core/AsciiText.hpp"
#include "core/HttpClient.hpp"
#include "core/JsonDepth.hpp"
#include "core/MainThread.hpp"
#include "core/OutsideText.hpp"
#include "core/PercentEncoding.hpp"
#include "services/ProductService.hpp"

namespace Service = Quillmere::ProductService;
using json = nlohmann::json;

namespace {

using Clock = std::chrono::steady_clock;
const char* const kToolName = "render_current_view";

// One generation of poll threads: StopAll stops the current one and starts a fresh one.
struct StopSignal {
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> stop{false};
};

struct Jobs {
    std::mutex mutex;
    std::condition_variable ended;
    std::shared_ptr<StopSignal> signal = std::make_shared<StopSignal>();
    std::size_t running = 0;
    std::atomic<std::chrono::nanoseconds::rep> interval{std::chrono::nanoseconds(std::chrono::seconds(1)).count()};
    std::atomic<std::chrono::nanoseconds::rep> deadline{0};  // 0: kPollDeadline
    // The poll's clock when a test has it in hand: its time since the steady clock's epoch.
    std::atomic<bool> handMoved{false};
    std::atomic<Clock::duration::rep> handTime{0};
};

// Never destroyed: a thread that outlived StopAll's wait still finds it at process exit.
Jobs& TheJobs()
{
    static Jobs* jobs = new Jobs;
    return *jobs;
}

std::shared_ptr<StopSignal> CurrentSignal()
{
    std::lock_guard<std::mutex> lock(TheJobs().mutex);
    return TheJobs().signal;
}

Clock::time_point Now()
{
    const Jobs& jobs = TheJobs();
    return jobs.handMoved ? Clock::time_point(Clock::duration(jobs.handTime.load())) : Clock::now();
}

// The steady clock's time for a time on the poll's clock: libcurl keeps a request's deadline.
Clock::time_point OnTheSteadyClock(Clock::time_point pollTime)
{
    return TheJobs().handMoved ? Clock::now() + (pollTime - Now()) : pollTime;
}

// The pause before a status request, until it is due; false when the poll is to stop instead.
bool PauseUntil(StopSignal& signal, Clock::time_point due)
{
    std::unique_lock<std::mutex> lock(signal.mutex);
    Jobs& jobs = TheJobs();
    if (!jobs.handMoved) return !signal.wake.wait_until(lock, due, [&] { return signal.stop.load(); });
    if (signal.stop) return false;
    // The hand-moved clock goes on to the due time at once, never back.
    const Clock::duration::rep dueTime = due.time_since_epoch().count();
    auto time = jobs.handTime.load();
    while (time < dueTime && !jobs.handTime.compare_exchange_weak(time, dueTime)) continue;
    return true;
}

std::string TextMember(const json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

bool IsWebAddress(const std::string& url)
{
    auto startsWith = [&](const std::string& prefix) {
        return url.size() > prefix.size() && LowerAscii(url.substr(0, prefix.size())) == prefix;
    };
    return startsWith("http://") || startsWith("https://");
}

// The job's one report, made on the main thread with copies of everything it passes.
struct Report {
    bool preview = false;
    std::string imageUrl, downloadUrl, detail;
};

Report Failed(std::string detail) { return Report{false, {}, {}, std::move(detail)}; }

Report FetchResult(const std::string& query)
{
    const Quillmere::HttpResponse response = Service::Get("/render/result?job_id=" + query);
    const json reply = Service::Succeeded(response) ? ParseOutsideJson(response.body) : json();
    // Only a web address reaches the page: the page shows the image and opens the download.
    const std::string image = reply.is_object() ? TextMember(reply, "image_url") : std::string();
    if (!IsWebAddress(image)) return Failed("Render completed but no image URL returned");
    const std::string download = TextMember(reply, "download_url");
    return Report{true, image, IsWebAddress(download) ? download : image, {}};
}

std::chrono::nanoseconds PollDeadline()
{
    const std::chrono::nanoseconds set(TheJobs().deadline.load());
    return set.count() > 0 ? set : std::chrono::nanoseconds(RenderJobs::kPollDeadline);
}

// Polls until the job ends; nothing when told to stop first. A status request is due one
// interval after the one before was due (the first one interval after the start), or as soon as
// that one has answered when it took longer: what a request takes comes out of the next pause,
// not on top of it, so a service answering within the interval is asked kMaxPolls times. The
// budget runs from the first request's due time, which leaves the last request its interval
// like every other; each request gets only what is left of it, and once it is spent no request
// is sent and no pause runs: the time-out report comes then.
std::optional<Report> Follow(const std::string& jobId, StopSignal& signal)
{
    Quillmere::HttpAbortScope cancelOnStop(&signal.stop);
    const std::string query = PercentEncoded(jobId);
    const auto interval = RenderJobs::PollInterval();
    auto due = Now() + interval;
    const auto end = due + PollDeadline();
    for (int polls = 0; polls < RenderJobs::kMaxPolls && due < end; ++polls) {
        if (!PauseUntil(signal, due)) return std::nullopt;
        Quillmere::HttpResponse response;
        {
            const Quillmere::HttpCallDeadline withinTheBudget(OnTheSteadyClock(end));
            response = Service::Get("/render/status?job_id=" + query);
            // libcurl may give up a moment early: a request that ran into the budget spent it.
            due = Quillmere::HttpCallTimeLeft().count() == 0 ? end : std::max(due + interval, Now());
        }
        if (signal.stop) return std::nullopt;
        if (!Service::Succeeded(response)) continue;
        const json reply = ParseOutsideJson(response.body);
        if (!reply.is_object()) continue;
        const std::string status = TextMember(reply, "status");
        if (status == "done") {
            Report report = FetchResult(query);
            if (signal.stop) return std::nullopt;
            return report;
        }
        if (status == "error") {
            const auto error = reply.find("error");
            // The service's own words reach the page: redacted and short.
            return Failed(error != reply.end() && error->is_string() ? QuoteOutsideText(error->get<std::string>())
                                                                     : "Unknown render error");
        }
    }
    return Failed("Render timed out after 45s");
}

void PollWith(const std::string& jobId, const ChatPreview& onRenderPreview, const ChatToolResult& onRenderToolResult,
              const std::shared_ptr<StopSignal>& signal)
{
    std::optional<Report> report;
    try {
        report = Follow(jobId, *signal);
    } catch (...) {
        // Nothing may leave a poll thread; a job that cannot be followed ends as a failure.
        report = Failed("Unknown render error");
    }
    if (!report || signal->stop) return;
    // Checked again on delivery: a stop that came while the report waited on the main queue
    // (the conversation was cleared, say) still drops it.
    if (report->preview)
        DispatchToMainThread([onRenderPreview, signal, image = report->imageUrl, download = report->downloadUrl] {
            if (!signal->stop) onRenderPreview(image, download);
        });
    else
        DispatchToMainThread([onRenderToolResult, signal, detail = report->detail] {
            if (!signal->stop) onRenderToolResult(kToolName, false, detail);
        });
}

}  // namespace

void RenderJobs::SetPollDeadlineForTesting(std::chrono::nanoseconds deadline)
{
    TheJobs().deadline = deadline.count() > 0 ? deadline.count() : 0;
}

void RenderJobs::SetPollInterval(std::chrono::nanoseconds interval) { TheJobs().interval = interval.count(); }

std::chrono::nanoseconds RenderJobs::PollInterval() { return std::chrono::nanoseconds(TheJobs().interval.load()); }

void RenderJobs::SetHandMovedPollClockForTesting(bool handMoved)
{
    Jobs& jobs = TheJobs();
    if (handMoved) jobs.handTime = Clock::now().time_since_epoch().count();
    jobs.handMoved = handMoved;
}

void RenderJobs::AdvancePollClockForTesting(std::chrono::nanoseconds by)
{
    TheJobs().handTime += std::chrono::duration_cast<Clock::duration>(by).count();
}

std::chrono::steady_clock::time_point RenderJobs::PollClockNow() { return Now(); }

void RenderJobs::PollRenderJob(const std::string& jobId, ChatPreview onRenderPreview, ChatToolResult onRenderToolResult)
{
    PollWith(jobId, onRenderPreview, onRenderToolResult, CurrentSignal());
}

void RenderJobs::StartPolling(const std::string& jobId, ChatPreview onRenderPreview, ChatToolResult onRenderToolResult)
{
    Jobs& jobs = TheJobs();
    std::shared_ptr<StopSignal> signal;
    {
        std::lock_guard<std::mutex> lock(jobs.mutex);
        signal = jobs.signal;
        ++jobs.running;
    }
    auto body = [jobId, onRenderPreview = std::move(onRenderPreview),
                 onRenderToolResult = std::move(onRenderToolResult), signal] {
        PollWith(jobId, onRenderPreview, onRenderToolResult, signal);
        Jobs& all = TheJobs();
        std::lock_guard<std::mutex> lock(all.mutex);
        --all.running;
        all.ended.notify_all();
    };
    try {
        std::thread(std::move(body)).detach();
    } catch (...) {
        std::lock_guard<std::mutex> lock(jobs.mutex);
        --jobs.running;
        throw;
    }
}

bool RenderJobs::StopAll(std::chrono::milliseconds timeout)
{
    Jobs& jobs = TheJobs();
    std::shared_ptr<StopSignal> stopping;
    {
        std::lock_guard<std::mutex> lock(jobs.mutex);
        stopping = std::exchange(jobs.signal, std::make_shared<StopSignal>());
    }
    {
        std::lock_guard<std::mutex> lock(stopping->mutex);
        stopping->stop = true;
    }
    stopping->wake.notify_all();
    std::unique_lock<std::mutex> lock(jobs.mutex);
    return jobs.ended.wait_for(lock, timeout, [&] { return jobs.running == 0; });
}

std::size_t RenderJobs::Running()
{
    std::lock_guard<std::mutex> lock(TheJobs().mutex);
    return TheJobs().running;
}
