// The chat palette: its page and bridge object, the settings it saves, the page updates it
// sends, and the reports it takes from the engine's thread while it lives; a recognition job's
// overlay reaching the page as a preview card before the tool card; and turns that do not go as
// planned: an unsent message goes back to the user, settings that were not written do not apply,
// and a render started before the conversation was cleared shows nothing in the new one.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include <nlohmann/json.hpp>

#include "FakeProductService.hpp"
#include "ShellTest.hpp"
#include "core/MainThread.hpp"
#include "tools/recognition/RenderJobs.hpp"

using nlohmann::json;

TEST_F(ShellTest, ConstructionLoadsThePageThenRegistersTheBridgeObject)
{
    WriteSettingsFile(R"({"window_width":512,"window_height":700})");
    std::string pagePath;
    {
        auto other = std::make_unique<ChatPalette>();
        ChatPalette palette;
        pagePath = palette.GetPagePath();
        auto browser = PaletteHost::FindBrowser(palette.GetBrowser().GetId());
        ASSERT_TRUE(browser.has_value());
        EXPECT_EQ(browser->documentPath, pagePath);
        // Loading a document drops earlier objects: the object is there only if registered after the load.
        const std::vector<std::string> functions = {"sendMessage",  "sendMessageWithAttachments",
                                                    "getSettings",  "saveSettings",
                                                    "clearHistory", "replayConversation",
                                                    "signIn",       "cancelSignIn",
                                                    "signOut",      "checkAuth"};
        EXPECT_EQ(browser->functionsByObject["Quillmere"], functions);
        EXPECT_EQ(std::make_pair(palette.GetWidth(), palette.GetHeight()), std::make_pair(512, 700));
        // Each palette has a page file of its own, readable by the user only.
        EXPECT_NE(other->GetPagePath(), pagePath);
        EXPECT_EQ(fs::status(pagePath).permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
        other.reset();
        EXPECT_TRUE(fs::exists(pagePath)) << "one palette removed another's page";
    }
    EXPECT_FALSE(fs::exists(pagePath)) << "the temporary page outlived its palette";
}

TEST_F(ShellTest, TheBridgeObjectSavesWhatThePageShowsAndRefusesUnusableInput)
{
    WriteSettingsFile(
        R"({"provider":"anthropic","model":"claude-a","window_width":512,"user_email":"a@b.c","storage_url":"http://s"})");
    ChatPalette palette;
    json update = {{"provider", "openai"},
                   {"model", "gpt-4.1"},
                   {"anthropicApiKey", "sk-ant-0123456789"},
                   {"openaiApiKey", "sk-oa-2"},
                   {"darkMode", true}};
    EXPECT_TRUE(Call(palette, "saveSettings", {JS::Value(update.dump())}).GetBool());
    // The page sees only masks; sending them back keeps the keys. What the page does not show
    // (window size, sign-in data, storage address) is kept too.
    update["anthropicApiKey"] = "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u20226789";
    update["openaiApiKey"] = "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022";
    EXPECT_EQ(json::parse(Call(palette, "getSettings").GetString()), update);
    EXPECT_TRUE(Call(palette, "saveSettings", {JS::Value(update.dump())}).GetBool());
    const json stored = {{"anthropic_api_key", "sk-ant-0123456789"},
                         {"openai_api_key", "sk-oa-2"},
                         {"window_width", 512},
                         {"user_email", "a@b.c"},
                         {"storage_url", "http://s"}};
    const json file = json::parse(ReadFile(SettingsPath()), nullptr, false);
    for (const auto& [key, value] : stored.items()) EXPECT_EQ(file.value(key, json()), value) << key;

    // Nested beyond what is ever copied safely: refused before anything reads it.
    const std::string deep = R"({"model":)" + std::string(100000, '[') + std::string(100000, ']') + "}";
    for (const std::string& bad : {std::string("[1,2]"), std::string(R"({"provider":"acme"})"), deep})
        EXPECT_FALSE(Call(palette, "saveSettings", {JS::Value(bad)}).GetBool()) << bad;
    // Wrong types are ignored key by key.
    Call(palette, "saveSettings", {JS::Value(R"({"model":42,"darkMode":"yes","anthropicApiKey":null})")});
    EXPECT_EQ(json::parse(Call(palette, "getSettings").GetString()), update);
    EXPECT_EQ(json::parse(ReadFile(SettingsPath()), nullptr, false).value("model", ""), "gpt-4.1");
    // Messages that cannot be sent start no turn; unreadable attachments get one warning.
    EXPECT_FALSE(Call(palette, "sendMessage").GetBool());
    EXPECT_FALSE(Call(palette, "sendMessageWithAttachments", {JS::Value("{not json")}).GetBool());
    const std::string deepBlocks =
        R"([{"type":"text","text":"hi","x":)" + std::string(100000, '[') + std::string(100000, ']') + "}]";
    EXPECT_FALSE(Call(palette, "sendMessageWithAttachments", {JS::Value(deepBlocks)}).GetBool());
    MainQueue::DrainUntilIdle();
    const auto scripts = Scripts(palette);
    ASSERT_EQ(scripts.size(), 2u);
    for (const std::string& script : scripts)
        EXPECT_EQ(script.rfind("QuillmereUI.addAssistantMessage('\xE2\x9A\xA0 ", 0), 0u) << script;
    EXPECT_FALSE(palette.GetBridge().IsBusy());
}

TEST_F(ShellTest, ReportsRunOnTheMainThreadAndOnlyWhileTheirPaletteLives)
{
    // The second palette is made in the very same place: a callback that held only the
    // address would deliver the first one's late reports to it.
    alignas(ChatPalette) unsigned char storage[sizeof(ChatPalette)];
    auto* first = new (storage) ChatPalette();
    auto preview = first->MakePreviewCallback();
    auto toolResult = first->MakeToolResultCallback();
    std::thread([&] {
        preview("https://r.example/i.png", "https://r.example/d.png");
        toolResult("render_view", true, "Render started");
    }).join();
    EXPECT_TRUE(Scripts(*first).empty()) << "a page update ran off the main thread";
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(Scripts(*first).size(), 2u);
    std::thread([&] { preview("https://r.example/late.png", "https://r.example/late.png"); }).join();
    first->~ChatPalette();
    auto* second = new (storage) ChatPalette();
    MainQueue::DrainUntilIdle();
    preview("https://r.example/later.png", "https://r.example/later.png");
    toolResult("render_view", false, "late");
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(Scripts(*second).empty());
    second->~ChatPalette();
}

TEST_F(ShellTest, DestructionJoinsTheEngineWhileATurnIsInFlight)
{
    FakeProductService stall;  // a model that never answers: the palette must still go promptly
    FakeProductService::Reply never;
    never.delay = std::chrono::seconds(60);
    stall.Script("POST /v1/messages", never);
    setenv("QUILLMERE_ANTHROPIC_URL", stall.BaseUrl().c_str(), 1);
    WriteSettingsFile(R"({"anthropic_api_key":"sk-ant-x"})");
    auto palette = std::make_unique<ChatPalette>();
    Call(*palette, "sendMessage", {JS::Value("hello")});
    MainQueue::PumpUntil([&] { return !Scripts(*palette).empty(); }, std::chrono::seconds(20));
    const auto scripts = Scripts(*palette);
    EXPECT_EQ(scripts.empty() ? "none" : scripts[0], "QuillmereUI.setThinking(true)") << "the busy report is lost";
    palette.reset();
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(PaletteHost::Palettes().empty());
}

namespace {

// The conversation a showConversation script gives the page; null when the script is another call.
json ShownConversation(const std::string& script)
{
    const auto text = ShellTest::CallArgument(script, "showConversation");
    return text ? json::parse(*text, nullptr, false) : json();
}

}  // namespace

TEST_F(ShellTest, AReloadedPageIsGivenWhatThePaletteShowedAndClearingEmptiesEveryPage)
{
    ChatPalette palette;
    // Without an engine to take them the user's messages are kept, marked as not sent.
    palette.GetBridge().Shutdown();
    const std::string png = "iVBORw0KGgo=";
    const json blocks = json::array({{{"type", "image"},
                                      {"name", "plan.png"},
                                      {"source", {{"type", "base64"}, {"media_type", "image/png"}, {"data", png}}}},
                                     {{"type", "text"}, {"text", "Walls as in the plan, it's 'urgent'"}}});
    EXPECT_FALSE(Call(palette, "sendMessage", {JS::Value("Hello\nthere")}).GetBool());
    EXPECT_FALSE(Call(palette, "sendMessageWithAttachments", {JS::Value(blocks.dump())}).GetBool());
    palette.SetThinking(true);
    palette.PushAssistantMessage("Working on \"it\"\\now</script>");
    palette.PushRenderPreview("https://r.example/a'b.png", "https://r.example/d\nl");
    palette.PushToolResult("create_wall", true, "Wall \"A\"\\1");
    const std::vector<std::string> updates = {
        // each a single call, every text escaped
        "QuillmereUI.addAssistantMessage('Working on \\\"it\\\"\\\\now</script>')",
        "QuillmereUI.addRenderPreview('https://r.example/a\\'b.png','https://r.example/d\\nl')",
        "QuillmereUI.addToolResult('create_wall',true,'Wall \\\"A\\\"\\\\1')"};
    const std::vector<std::string> scripts = Scripts(palette);
    EXPECT_EQ(std::vector<std::string>(scripts.end() - 3, scripts.end()), updates);

    EXPECT_TRUE(Call(palette, "replayConversation", {JS::Value("page-7")}).GetBool());
    const json expected = {
        {"page", "page-7"},
        {"busy", true},
        {"entries",
         {{{"kind", "user"}, {"text", "Hello\nthere"}, {"files", json::array()}, {"unsent", true}},
          {{"kind", "user"},
           {"text", "Walls as in the plan, it's 'urgent'"},
           {"files", {{{"name", "plan.png"}, {"media_type", "image/png"}, {"data", png}}}},
           {"unsent", true},
           // The newest refusal alone goes back into the box: the one before was sent with it.
           {"box",
            {{"text", "Walls as in the plan, it's 'urgent'"},
             {"files", {{{"name", "plan.png"}, {"media_type", "image/png"}, {"data", png}}}}}}},
          {{"kind", "assistant"}, {"text", "Working on \"it\"\\now</script>"}},
          {{"kind", "preview"}, {"image", "https://r.example/a'b.png"}, {"download", "https://r.example/d\nl"}},
          {{"kind", "tool"}, {"name", "create_wall"}, {"success", true}, {"detail", "Wall \"A\"\\1"}}}}};
    EXPECT_EQ(ShownConversation(Scripts(palette).back()), expected) << Scripts(palette).back();

    // Cleared: every page (no page named) is emptied, busy included, and a later page sees nothing.
    EXPECT_TRUE(Call(palette, "clearHistory").GetBool());
    const json empty = {{"page", nullptr}, {"busy", false}, {"entries", json::array()}};
    EXPECT_EQ(ShownConversation(Scripts(palette).back()), empty);
    Call(palette, "replayConversation", {JS::Value("page-8")});
    EXPECT_EQ(ShownConversation(Scripts(palette).back())["entries"], json::array());
}

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
