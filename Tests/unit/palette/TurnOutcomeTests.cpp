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
    std::ofstream(root / "home" / ".quillmere") << "a file where the settings folder belongs";
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
    Call(palette, "replayConversation", {JS::Value("p")});
    EXPECT_NE(Scripts(palette).back().find(R"(\"text\":\"Draw a wall\",\"unsent\":true)"), std::string::npos)
        << Scripts(palette).back();
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

TEST_F(ShellTest, TheConversationIsKeptAfterEachTurnAndComesBackWhenThePaletteOpens)
{
    const fs::path history = root / "home" / ".quillmere" / "history";
    fs::create_directories(history);
    std::ofstream(history / "conversation-old.json") << R"({"history":[{"role":"assistant"}]})";
    auto palette = std::make_unique<ChatPalette>();
    EXPECT_TRUE(fs::exists(history / "conversation-old.json.damaged")) << "a damaged file is set aside, not fatal";

    Call(*palette, "sendMessage", {JS::Value("Draw a wall")});  // no key: a turn that ends unsent
    ASSERT_TRUE(MainQueue::PumpUntil([&] { return !palette->GetBridge().IsBusy(); }, std::chrono::seconds(10)));
    MainQueue::DrainUntilIdle();
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(history))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(fs::status(files[0]).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    palette = std::make_unique<ChatPalette>();
    Call(*palette, "replayConversation", {JS::Value("p")});
    EXPECT_NE(Scripts(*palette).back().find("Draw a wall"), std::string::npos) << Scripts(*palette).back();

    // Clear starts a new file on the next turn and leaves the old one.
    Call(*palette, "clearHistory");
    Call(*palette, "sendMessage", {JS::Value("Something else")});
    ASSERT_TRUE(MainQueue::PumpUntil([&] { return !palette->GetBridge().IsBusy(); }, std::chrono::seconds(10)));
    MainQueue::DrainUntilIdle();
    std::size_t kept = 0;
    for (const auto& entry : fs::directory_iterator(history)) kept += entry.path().extension() == ".json";
    EXPECT_EQ(kept, 2u);
    EXPECT_NE(ReadFile(files[0]).find("Draw a wall"), std::string::npos);
}
