// What the palette does when a turn does not go as planned: a message the model never saw
// goes back to the user, settings that were not written do not apply, and a render started
// before the conversation was cleared shows nothing in the new one.
#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "FakeProductService.hpp"
#include "ShellTest.hpp"
#include "tools/recognition/RenderJobs.hpp"

using nlohmann::json;

namespace {

bool AnyScriptStartsWith(ChatPalette& palette, const std::string& prefix)
{
    for (const std::string& script : PaletteHost::ExecutedScripts(palette.GetBrowser().GetId()))
        if (script.rfind(prefix, 0) == 0) return true;
    return false;
}

}  // namespace

TEST_F(ShellTest, UnsavedSettingsDoNotApplyAndAnUnsentMessageGoesBackToThePage)
{
    ChatPalette palette;
    const std::string before = Call(palette, "getSettings").GetString();
    std::ofstream(SettingsPath().parent_path()) << "a file where the settings folder belongs";
    const json update = {{"provider", "anthropic"}, {"model", "claude-x"}, {"anthropicApiKey", "sk-ant-new"}};
    EXPECT_FALSE(Call(palette, "saveSettings", {JS::Value(update.dump())}).GetBool());
    EXPECT_EQ(Call(palette, "getSettings").GetString(), before);

    // Still without a key, the engine cannot send: the message comes back, marked unsent.
    ASSERT_TRUE(Call(palette, "sendMessage", {JS::Value("Draw a wall")}).GetBool());
    ASSERT_TRUE(MainQueue::PumpUntil([&] { return AnyScriptStartsWith(palette, "QuillmereUI.messageNotSent("); },
                                     std::chrono::seconds(10)));
    EXPECT_TRUE(AnyScriptStartsWith(palette, "QuillmereUI.addAssistantMessage('\xE2\x9A\xA0 No Anthropic API key"));
    EXPECT_TRUE(
        AnyScriptStartsWith(palette, R"(QuillmereUI.messageNotSent('{\"files\":[],\"text\":\"Draw a wall\"}'))"));
    Call(palette, "replayConversation", {JS::Value("p")});  // a reloaded page marks it too
    EXPECT_NE(Scripts(palette).back().find(R"(\"unsent\":true)"), std::string::npos) << Scripts(palette).back();
}

TEST_F(ShellTest, ARenderReportWaitingWhenTheConversationIsClearedIsDropped)
{
    FakeProductService service;
    ServiceUrlScope scope(service.BaseUrl());
    service.Script("GET /render/status", FakeProductService::Reply{200, R"({"status":"done"})"});
    service.Script("GET /render/result", FakeProductService::Reply{200, R"({"image_url":"https://cdn.test/r.png"})"});
    RenderJobs::SetPollInterval(std::chrono::milliseconds(1));
    ChatPalette palette;
    RenderJobs::StartPolling("job", palette.MakePreviewCallback(), palette.MakeToolResultCallback());
    // The poll ends once its report is on the main queue, which nothing drains meanwhile.
    while (RenderJobs::Running() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(service.Count("GET /render/result"), 1u);
    Call(palette, "clearHistory");
    MainQueue::DrainUntilIdle();
    EXPECT_FALSE(AnyScriptStartsWith(palette, "QuillmereUI.addRenderPreview("));
    RenderJobs::SetPollInterval(std::chrono::seconds(1));
}

TEST_F(ShellTest, EachTurnKeepsTheConversationInItsOwnFileAndClearStartsAnother)
{
    const fs::path history = SettingsPath().parent_path() / "history";
    fs::create_directories(history);
    std::ofstream(history / "conversation-old.json") << R"({"history":[{"role":"assistant"}]})";
    ChatPalette palette;
    EXPECT_TRUE(fs::exists(history / "conversation-old.json.damaged")) << "a damaged file is set aside, not fatal";
    const auto turn = [&](const char* text) {  // without a key every turn ends unsent
        Call(palette, "sendMessage", {JS::Value(text)});
        ASSERT_TRUE(MainQueue::PumpUntil([&] { return !palette.GetBridge().IsBusy(); }, std::chrono::seconds(10)));
        MainQueue::DrainUntilIdle();
    };
    const auto files = [&] {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(history))
            if (entry.path().extension() == ".json") found.push_back(entry.path());
        return found;
    };
    turn("Draw a wall");
    ASSERT_EQ(files().size(), 1u);
    const fs::path first = files()[0];
    EXPECT_EQ(fs::status(first).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    Call(palette, "clearHistory");
    turn("Something else");
    EXPECT_EQ(files().size(), 2u);
    EXPECT_NE(ReadFile(first).find("Draw a wall"), std::string::npos);
    EXPECT_EQ(ReadFile(first).find("Something else"), std::string::npos);
}
