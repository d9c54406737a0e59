// The render tool and the threads that follow its jobs: the start request with the window's
// capture (never left on disk, the strength printed the same in any locale), every ending of a
// job giving exactly one report on the main thread, the job id escaped in the query, and no
// report once the add-on is going; stopping ends sleeps and waiting requests.
#include <locale>
#include <optional>

#include "APIdefs_AddOn.h"
#include "FakeProductService.hpp"
#include "HostTestingWindow.hpp"
#include "MainQueue.hpp"
#include "PlanWindow.hpp"
#include "QuillmereTest.hpp"
#include "tools/recognition/RenderJobs.hpp"

namespace {

using Reply = FakeProductService::Reply;
const char* const kTool = "render_current_view";

Reply Json(const json& body, int status = 200) { return Reply{status, body.dump()}; }
Reply Status(const std::string& word) { return Json({{"status", word}}); }

// A decimal comma, as some host locales print numbers.
struct CommaDecimals : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

class RenderTools : public QuillmereTest {
protected:
    struct Report {
        std::string kind;           // "preview" or "card"
        std::string first, second;  // image and download address, or tool name and detail
        bool onMainThread = false;
    };
    void SetUp() override
    {
        QuillmereTest::SetUp();
        RegisterPaletteTools(Preview(), Card());
    }
    ChatPreview Preview()
    {
        return [this](const std::string& image, const std::string& download) {
            reports.push_back({"preview", image, download, MainQueue::IsMainThread()});
        };
    }
    ChatToolResult Card()
    {
        return [this](const std::string& tool, bool, const std::string& detail) {
            reports.push_back({"card", tool, detail, MainQueue::IsMainThread()});
        };
    }
    std::vector<Report> reports;
};

TEST_F(RenderTools, TheStartSendsItsFieldsAndTheWindowAndReturnsBeforeTheJobEnds)
{
    Service().Script("POST /render/start", Json({{"job_id", "job-7"}}, 201));
    Service().Script("GET /render/status",
                     Reply{200, Status("done").body, "application/json", std::chrono::milliseconds(20000)});
    const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
    const ToolResult result = Run(kTool, {{"preset", "clay"}, {"strength", 0.25}});
    std::locale::global(saved);
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(RenderJobs::Running(), 1u) << "the tool waited for its job";
    EXPECT_TRUE(TmpEmpty()) << "the capture outlived its request";
    const FakeProductService::Request start = Service().Requests().at(0);
    ASSERT_TRUE(start.multipartWellFormed && start.parts.size() == 5u);
    const char* names[] = {"format", "preset", "prompt", "strength"};
    const char* values[] = {"png", "clay", "", "0.250000"};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(std::tie(start.parts[i].name, start.parts[i].content), std::make_tuple(names[i], values[i]));
    EXPECT_EQ(start.parts[4].content.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)), 0) << "no PNG";
    EXPECT_TRUE(RenderJobs::StopAll(std::chrono::seconds(10)));
}

TEST_F(RenderTools, AStartWithoutInputsSendsTheDefaultsAndAFailedOneLeavesNoFileAndNoPoll)
{
    const struct {
        const char* preset;
        bool windows;
        Reply start;
        std::string error;
    } rows[] = {
        {nullptr, false, Json({{"job_id", "x"}}), "Failed to capture viewport image"},
        {nullptr, true, Reply{500, R"({"job_id":"x"})"}, "Render server error: HTTP 500"},
        {nullptr, true, Reply{200, "started"}, "Invalid response from render server"},
        {"Clay", true, Json({{"job_id", "x"}}), "Unknown preset 'Clay'"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error);
        Service().ClearRequests();
        if (!row.windows) {
            HostTesting::SetMainWindow(std::nullopt);
            HostTesting::SetKeyWindow(std::nullopt);
        }
        Service().Script("POST /render/start", row.start);
        EXPECT_EQ(Run(kTool, row.preset ? json{{"preset", row.preset}} : json::object()).error, row.error);
        for (const auto& sent : Service().Requests())
            EXPECT_EQ(sent.parts.at(1).content + " " + sent.parts.at(3).content, "photoreal 0.650000");
        EXPECT_EQ(RenderJobs::Running(), 0u) << "a poll started for a failed start";
        EXPECT_TRUE(TmpEmpty());
        HostTesting::ResetWindows();
        PlanWindow::Install();
    }
}

TEST_F(RenderTools, EveryEndingOfAJobGivesExactlyOneReport)
{
    const std::string img = "https://c.test/r.png", dl = "https://c.test/d.png", js = "javascript:alert(1)";
    const std::string noImage = "Render completed but no image URL returned";
    const Reply done = Status("done"), image = Json({{"image_url", img}, {"download_url", dl}});
    std::vector<Reply> running44(44, Status("running")), lastPoll = running44, tooLate = running44;
    lastPoll.push_back(done);
    tooLate.insert(tooLate.end(), {Status("running"), done});
    const struct {
        const char* name;
        std::vector<Reply> status;
        Reply result;
        std::size_t polls;
        Report expected;
    } rows[] = {
        {"done at the first poll", {done}, image, 1, {"preview", img, dl}},
        {"download not on the web", {done}, Json({{"image_url", img}, {"download_url", js}}), 1, {"preview", img, img}},
        {"image not on the web", {done}, Json({{"image_url", js}}), 1, {"card", kTool, noImage}},
        {"no-object bodies count", {Reply{200, "null"}, Reply{200, "busy"}, done}, image, 3, {"preview", img, dl}},
        {"done at the last poll", lastPoll, image, 45, {"preview", img, dl}},
        {"done after the last poll", tooLate, image, 45, {"card", kTool, "Render timed out after 45s"}},
        {"error without a text", {Status("error")}, image, 1, {"card", kTool, "Unknown render error"}},
        {"error text", {Json({{"status", "error"}, {"error", "GPU lost"}})}, image, 1, {"card", kTool, "GPU lost"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Service().ClearRequests();
        reports.clear();
        Service().Script("GET /render/status", row.status);
        Service().Script("GET /render/result", row.result);
        RenderJobs::StartPolling("a b&admin=1#x", Preview(), Card());
        WaitForRenderJobs();
        EXPECT_EQ(Service().Count("GET /render/status"), row.polls);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(std::make_tuple(reports[0].kind, reports[0].first, reports[0].second, reports[0].onMainThread),
                  std::make_tuple(row.expected.kind, row.expected.first, row.expected.second, true));
        for (const auto& request : Service().Requests())
            EXPECT_EQ(request.target.substr(request.path.size()), "?job_id=a%20b%26admin%3D1%23x");
    }
}

TEST_F(RenderTools, TheReportComesWhenTheBudgetIsSpentAndEachRequestGetsWhatIsLeftOfIt)
{
    // The poll runs on its hand-moved clock: a pause takes no real time, an answer takes the time
    // its row gives it, so each row's timeline is exact on however busy a machine. A status
    // request is due once an interval whatever the last one took, or at once after one that took
    // longer, the ones after it following at the interval from then (no burst to catch up), and
    // the budget ends the poll (neither a request nor a pause after it): the report comes within
    // one interval plus the budget of the start, after exactly the requests the rules allow. A
    // stalled request stalls in real time and gets what is left of the budget as real time; were
    // it not cut, its row would wait 20 s for the report.
    using ms = std::chrono::milliseconds;
    const Reply done = Status("done"), running = Status("running");
    const auto taking = [](Reply reply, ms time) {
        reply.beforeAnswering = [time] { RenderJobs::AdvancePollClockForTesting(time); };
        return reply;
    };
    Reply stalled = done;
    stalled.delay = ms(20000);
    std::vector<Reply> lastPoll(44, running), stallAfterTwo(2, running);
    lastPoll.push_back(done);
    stallAfterTwo.push_back(stalled);
    const Report timedOut{"card", kTool, "Render timed out after 45s"};
    const struct {
        const char* name;
        ms pause, budget;
        std::vector<Reply> status;
        std::size_t polls;
        Report expected;
    } rows[] = {
        {"done at the last poll, the pauses filling the budget",
         ms(40),
         ms(1800),
         lastPoll,
         45,
         {"preview", "https://c.test/r.png", "https://c.test/r.png"}},
        // Asked at 40 ms, answered at 1740: asked again then, at 1780 and at 1820.
        {"the first answer late, the rest at once",
         ms(40),
         ms(1800),
         {taking(running, ms(1700)), running},
         4,
         timedOut},
        {"the first request stalls", ms(500), ms(500), {stalled}, 1, timedOut},
        {"the third request stalls", ms(1), ms(900), stallAfterTwo, 3, timedOut},
        {"every answer taking half the interval", ms(40), ms(1800), {taking(running, ms(20))}, 45, timedOut},
    };
    // A request cut by its row's budget just as it went out may reach the fake during the next
    // row: each row counts its own job's requests.
    int rowIndex = 0;
    const auto polls = [this](const std::string& job) {
        std::size_t count = 0;
        for (const auto& sent : Service().Requests())
            count += sent.path == "/render/status" && sent.target == "/render/status?job_id=" + job;
        return count;
    };
    RenderJobs::SetHandMovedPollClockForTesting(true);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string job = "job" + std::to_string(++rowIndex);
        reports.clear();
        RenderJobs::SetPollInterval(row.pause);
        RenderJobs::SetPollDeadlineForTesting(row.budget);
        Service().Script("GET /render/status", row.status);
        Service().Script("GET /render/result", Json({{"image_url", "https://c.test/r.png"}}));
        const auto started = RenderJobs::PollClockNow();
        RenderJobs::StartPolling(job, Preview(), Card());
        ASSERT_TRUE(MainQueue::PumpUntil([this] { return !reports.empty(); }, std::chrono::seconds(10)));
        const auto took = std::chrono::duration_cast<ms>(RenderJobs::PollClockNow() - started);
        EXPECT_LT(took.count(), (row.pause + row.budget).count()) << "ms to the report";
        EXPECT_TRUE(RenderJobs::StopAll(std::chrono::seconds(10)));
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(std::tie(reports[0].kind, reports[0].first, reports[0].second),
                  std::tie(row.expected.kind, row.expected.first, row.expected.second));
        EXPECT_EQ(polls(job), row.polls) << "status requests";
    }
}

TEST_F(RenderTools, StoppingEndsWaitingRequestsAndSleepsWithoutReports)
{
    // Three polls wait for a reply that takes longer than the stop allows.
    Service().Script("GET /render/status",
                     Reply{200, Status("done").body, "application/json", std::chrono::milliseconds(20000)});
    for (int i = 0; i < 3; ++i) RenderJobs::StartPolling("job", Preview(), Card());
    ASSERT_TRUE(
        MainQueue::PumpUntil([this] { return Service().Count("GET /render/status") == 3; }, std::chrono::seconds(20)));
    EXPECT_TRUE(RenderJobs::StopAll(std::chrono::seconds(10)));
    // A poll asleep before its first request: freeing the add-on wakes and joins it.
    RenderJobs::SetPollInterval(std::chrono::hours(1));
    RenderJobs::StartPolling("job", Preview(), Card());
    EXPECT_EQ(FreeData(), NoError);
    EXPECT_EQ(RenderJobs::Running(), 0u);
    EXPECT_EQ(Service().Count("GET /render/status"), 3u);
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(reports.empty()) << "a report after unload";
}

}  // namespace
