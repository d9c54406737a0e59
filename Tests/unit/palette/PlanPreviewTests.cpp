// The plan family as the palette registers it: a finished recognition job's overlay reaches the
// page as a preview card, before the tool card of the same call. (Its late reports are dropped
// by the palette's own callbacks, tested with the palette.)

#include <algorithm>

#include <nlohmann/json.hpp>

#include "FakeProductService.hpp"
#include "ShellTest.hpp"
#include "core/MainThread.hpp"

namespace {

using json = nlohmann::json;

std::string ModelReply(const json& content, const char* stop)
{
    return json({{"role", "assistant"}, {"content", content}, {"stop_reason", stop}}).dump();
}

class PlanPreviewTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        setenv("QUILLMERE_ANTHROPIC_URL", service.BaseUrl().c_str(), 1);
        setenv("QUILLMERE_SERVICE_URL", service.BaseUrl().c_str(), 1);
        WriteSettingsFile(R"({"anthropic_api_key":"sk-test","model":"claude-test-model"})");
        service.Script("GET /plans/p/status",
                       FakeProductService::Reply{200, R"({"status":"done","overlay_url":"/plans/p/overlay.png"})"});
        service.Script(
            "POST /v1/messages",
            {FakeProductService::Reply{200, ModelReply({{{"type", "tool_use"},
                                                         {"id", "t1"},
                                                         {"name", "get_plan_extraction_status"},
                                                         {"input", {{"plan_id", "p"}}}}},
                                                       "tool_use")},
             FakeProductService::Reply{200, ModelReply({{{"type", "text"}, {"text", "Done."}}}, "end_turn")}});
    }
    void TearDown() override
    {
        unsetenv("QUILLMERE_SERVICE_URL");
        ShellTest::TearDown();
    }
    FakeProductService service;
};

}  // namespace

TEST_F(PlanPreviewTest, TheOverlayShowsAsAPreviewBeforeTheStatusCard)
{
    ChatPalette palette;
    palette.GetBridge().SendMessage("is my plan read yet?");
    ASSERT_TRUE(MainQueue::PumpUntil([&] { return !palette.GetBridge().IsBusy(); }, std::chrono::seconds(20)));
    MainQueue::DrainUntilIdle();
    const auto scripts = Scripts(palette);
    const std::string overlay = service.BaseUrl() + "/plans/p/overlay.png";
    const auto preview =
        std::find(scripts.begin(), scripts.end(),
                  "QuillmereUI.addRenderPreview('" + overlay + "','" + overlay + "','Plan recognition overlay')");
    const auto card = std::find_if(scripts.begin(), scripts.end(), [](const std::string& s) {
        return s.rfind("QuillmereUI.addToolResult('get_plan_extraction_status',true,", 0) == 0;
    });
    ASSERT_NE(preview, scripts.end());
    ASSERT_NE(card, scripts.end());
    EXPECT_LT(preview - scripts.begin(), card - scripts.begin());
}

TEST(PlanDispatch, EmptyWorkIsNeverQueued)
{
    MainQueue::SetMainThread();
    MainQueue::DiscardPending();
    DispatchToMainThread(nullptr);
    DispatchToMainThread(std::function<void()>());
    EXPECT_EQ(MainQueue::PendingCount(), 0u);
    int runs = 0;
    DispatchToMainThread([&] { ++runs; });
    EXPECT_EQ(runs, 0) << "never inline, even on the main thread";
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(runs, 1);
}
