// Poll threads against the things they report to: a palette that goes away while a job runs
// gets nothing, and freeing the add-on stops every poll promptly and waits for it.
#include "APIdefs_AddOn.h"
#include "PaletteHost.hpp"
#include "RenderToolsTest.hpp"
#include "palette/ChatPalette.hpp"

namespace {

bool HasScript(ChatPalette& palette, const std::string& prefix)
{
    for (const std::string& script : PaletteHost::ExecutedScripts(palette.GetBrowser().GetId()))
        if (script.rfind(prefix, 0) == 0) return true;
    return false;
}

}  // namespace

TEST_F(RenderToolsTest, APaletteGoneMidPollGetsNoReportAndThePollEnds)
{
    service.Script("GET /render/status",
                   Reply{200, json({{"status", "done"}}).dump(), "application/json", std::chrono::milliseconds(200)});
    service.Script("GET /render/result", Json({{"image_url", "https://cdn.test/late.png"}}));
    auto leaving = std::make_unique<ChatPalette>();
    ChatPalette staying;
    RenderJobs::StartPolling("gone", leaving->MakePreviewCallback(), leaving->MakeToolResultCallback());
    RenderJobs::StartPolling("kept", staying.MakePreviewCallback(), staying.MakeToolResultCallback());
    leaving.reset();
    WaitForPolls();
    EXPECT_EQ(RenderJobs::Running(), 0u);
    EXPECT_EQ(service.Count("GET /render/result"), 2u) << "both jobs ran to their end";
    EXPECT_TRUE(HasScript(staying, "QuillmereUI.addRenderPreview('https://cdn.test/late.png'"));
}

TEST_F(RenderToolsTest, StoppingForUnloadEndsSleepingAndWaitingPollsPromptlyWithoutReports)
{
    struct Case {
        std::string name;
        std::chrono::milliseconds interval;
        Reply status;
    };
    const std::vector<Case> cases = {
        {"waiting for a slow reply", std::chrono::milliseconds(1),
         Reply{200, json({{"status", "done"}}).dump(), "application/json", std::chrono::milliseconds(20000)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RenderJobs::SetPollInterval(c.interval);
        service.Script("GET /render/status", c.status);
        for (int i = 0; i < 3; ++i) RenderJobs::StartPolling("job", PreviewRecorder(), CardRecorder());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(RenderJobs::StopAll(std::chrono::seconds(10)));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
        EXPECT_EQ(RenderJobs::Running(), 0u);
        MainQueue::DrainUntilIdle();
        EXPECT_TRUE(reports.empty()) << "a report after unload";
    }
    // Jobs started afterwards poll as before.
    RenderJobs::SetPollInterval(std::chrono::milliseconds(1));
    service.Script("GET /render/status", Status("done"));
    service.Script("GET /render/result", Json({{"image_url", "https://cdn.test/next.png"}}));
    RenderJobs::StartPolling("next", PreviewRecorder(), CardRecorder());
    WaitForPolls();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, "https://cdn.test/next.png");
}

TEST_F(RenderToolsTest, FreeingTheAddOnWaitsForARunningPoll)
{
    RenderJobs::SetPollInterval(std::chrono::milliseconds(20000));
    service.Script("GET /render/status", Status("running"));
    RenderJobs::StartPolling("job", PreviewRecorder(), CardRecorder());
    ASSERT_EQ(RenderJobs::Running(), 1u);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(FreeData(), NoError);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_EQ(RenderJobs::Running(), 0u);
    EXPECT_EQ(service.Count("GET /render/status"), 0u);
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(reports.empty());
}
