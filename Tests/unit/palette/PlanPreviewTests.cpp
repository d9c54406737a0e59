// The plan family as the palette registers it: a finished recognition job's overlay reaches the
// page as a preview card, before the tool card of the same call. (Its late reports are dropped
// by the palette's own callbacks, tested with the palette.)

#include <algorithm>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "FakeProductService.hpp"
#include "ShellTest.hpp"
#include "core/MainThread.hpp"

using json = nlohmann::json;

TEST_F(ShellTest, ThePlanOverlayShowsAsAPreviewBeforeTheStatusCard)
{
    FakeProductService service;
    setenv("QUILLMERE_ANTHROPIC_URL", service.BaseUrl().c_str(), 1);
    WriteSettingsFile(json({{"anthropic_api_key", "sk-test"}, {"service_url", service.BaseUrl()}}).dump());
    service.Script("GET /plans/p/status",
                   FakeProductService::Reply{200, R"({"status":"done","overlay_url":"/plans/p/overlay.png"})"});
    const auto reply = [](const json& block, const char* stop) {
        return FakeProductService::Reply{
            200, json({{"role", "assistant"}, {"content", {block}}, {"stop_reason", stop}}).dump()};
    };
    service.Script("POST /v1/messages", {reply({{"type", "tool_use"},
                                                {"id", "t1"},
                                                {"name", "get_plan_extraction_status"},
                                                {"input", {{"plan_id", "p"}}}},
                                               "tool_use"),
                                         reply({{"type", "text"}, {"text", "Done."}}, "end_turn")});
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
