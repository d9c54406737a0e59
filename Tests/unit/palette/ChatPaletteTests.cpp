// The chat palette: its page and bridge object, the settings it saves, the page updates it
// sends, and the reports it takes from the engine's thread while it lives; a recognition job's
// overlay reaching the page as a preview card before the tool card; and turns that do not go as
// planned: an unsent message goes back to the user, one refused before it left is kept at once
// with only what can be sent and only while it waits in the box, settings that were not written
// do not apply, a render started before the conversation was cleared shows nothing in the new
// one, and a turn the host stops after a tool ran is kept as far as it went, whichever side
// learns first.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include <nlohmann/json.hpp>

#include "FakeProductService.hpp"
#include "ShellTest.hpp"
#include "core/ConversationFiles.hpp"
#include "core/HttpClient.hpp"
#include "core/MainThread.hpp"
#include "engine/ServiceErrors.hpp"
#include "palette/ConversationRecords.hpp"
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
           // Its files are in the box alone: the message shows no thumbnail of its own.
           {"files", {{{"name", "plan.png"}, {"media_type", "image/png"}, {"data", ""}}}},
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

namespace {

// A message refused before it left: the page's blocks, what the palette answers, the files that
// go back into the box, and whether it was sent while an earlier question's turn ran.
struct RefusedSend {
    const char* name;
    json (*content)();
    std::string answer;
    std::vector<std::string> box;
    bool duringTurn = false;
};
void PrintTo(const RefusedSend& r, std::ostream* out) { *out << r.name; }

json Named(const char* type, const std::string& name, const std::string& mediaType, std::string data)
{
    return {{"type", type},
            {"name", name},
            {"source", {{"type", "base64"}, {"media_type", mediaType}, {"data", std::move(data)}}}};
}

// A small picture, an empty file and the text: the empty file alone is refused.
json WithAnEmptyFile()
{
    return {Named("image", "good.png", "image/png", "QQ=="),
            Named("image", "empty.png", "image/png", ""),
            {{"type", "text"}, {"text", "Trace these"}}};
}

// Two TIFF files of 17 MiB: together more than one message may attach.
json TwoLargeFiles()
{
    const std::string data((17 * 1024 * 1024 + 2) / 3 * 4, 'A');
    return {Named("image", "a.tif", "image/tiff", data),
            Named("image", "b.tif", "image/tiff", data),
            {{"type", "text"}, {"text", "Trace these"}}};
}

std::vector<std::string> FileNames(const json& holder)
{
    std::vector<std::string> names;
    for (const json& file : holder.value("files", json::array())) names.push_back(file.value("name", ""));
    return names;
}

const json* UserEntry(const json& entries, const std::string& text)
{
    if (!entries.is_array()) return nullptr;
    for (const json& entry : entries)
        if (entry.value("kind", "") == "user" && entry.value("text", "") == text) return &entry;
    return nullptr;
}

}  // namespace

class RefusedSendTest : public ShellTest, public ::testing::WithParamInterface<RefusedSend> {
protected:
    FakeProductService model;

    void SetUp() override
    {
        ShellTest::SetUp();
        setenv("QUILLMERE_ANTHROPIC_URL", model.BaseUrl().c_str(), 1);
        WriteSettingsFile(R"({"anthropic_api_key":"sk-ant-test"})");
        const json reply = {{"role", "assistant"},
                            {"content", {{{"type", "text"}, {"text", "Walls drawn."}}}},
                            {"stop_reason", "end_turn"}};
        model.Script("POST /v1/messages", FakeProductService::Reply{200, reply.dump()});
    }

    static void Ask(ChatPalette& palette, const std::string& text)
    {
        ASSERT_TRUE(Call(palette, "sendMessage", {JS::Value(text)}).GetBool());
        ASSERT_TRUE(MainQueue::PumpUntil([&] { return !palette.GetBridge().IsBusy(); }, std::chrono::seconds(20)));
        MainQueue::DrainUntilIdle();
    }

    // The page entries the conversation's file holds, as a restart reads them; null when none.
    static json KeptEntries(const std::string& path)
    {
        DecodedConversation read;
        std::string why;
        return fs::exists(path) && DecodeRecords(ReadFile(path), read, why) ? read.entries : json();
    }

    static std::vector<std::string> Files()
    {
        std::vector<std::string> files;
        for (const auto& file : fs::directory_iterator(LocalStorage::HistoryDir())) files.push_back(file.path());
        return files;
    }
};

// Kept at once with no more than the box needs and waiting for no turn; a question under way is
// not kept as asked meanwhile; once the box is emptied the file costs what it would without it.
TEST_P(RefusedSendTest, IsKeptAtOnceWithWhatGoesBackIntoTheBoxAndOnlyUntilTheBoxIsEmptied)
{
    const RefusedSend& row = GetParam();
    auto palette = std::make_unique<ChatPalette>();
    if (row.duringTurn) {
        ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value("Draw the walls")}).GetBool());
    }
    const JS::Value answer = Call(*palette, "sendMessageWithAttachments", {JS::Value(row.content().dump())});
    ASSERT_TRUE(answer.IsString());
    EXPECT_EQ(answer.GetString(), row.answer);
    std::vector<std::string> files = fs::exists(LocalStorage::HistoryDir()) ? Files() : std::vector<std::string>{};
    if (row.duringTurn) {
        // A crash now comes back as the last finished turn left the conversation.
        for (const std::string& file : files)
            EXPECT_EQ(UserEntry(KeptEntries(file), "Draw the walls"), nullptr) << "kept as asked while unanswered";
        ASSERT_TRUE(MainQueue::PumpUntil([&] { return !palette->GetBridge().IsBusy(); }, std::chrono::seconds(20)));
        MainQueue::DrainUntilIdle();
        files = Files();
    }
    ASSERT_EQ(files.size(), 1u) << "not kept at once";
    const std::string kept = files[0];
    const json keptEntries = KeptEntries(kept);
    const json* refused = UserEntry(keptEntries, "Trace these");
    ASSERT_NE(refused, nullptr) << "not kept at once";
    EXPECT_TRUE(refused->value("unsent", false));
    EXPECT_EQ(FileNames(refused->value("box", json())), row.box);
    for (const json& file : refused->value("files", json::array()))
        EXPECT_EQ(file.value("data", "?"), "") << "kept as a thumbnail besides the box";

    // A reloaded page and a restart put back only what can be sent.
    Call(*palette, "replayConversation", {JS::Value("reloaded")});
    const json shown = ShownConversation(Scripts(*palette).back())["entries"];
    const json* reloaded = UserEntry(shown, "Trace these");
    ASSERT_NE(reloaded, nullptr);
    EXPECT_EQ(FileNames(reloaded->value("box", json())), row.box);
    palette.reset();
    palette = std::make_unique<ChatPalette>();
    const json restarted = ReplayedEntries(*palette);
    ASSERT_NE(UserEntry(restarted, "Trace these"), nullptr) << restarted;
    EXPECT_EQ(FileNames(UserEntry(restarted, "Trace these")->value("box", json())), row.box);
    for (const json& entry : restarted)
        EXPECT_NE(entry.value("text", ""), StoppedBeforeAnswerWarning()) << "the refused message waited for a turn";

    // Sent on: nothing waits for a turn but the new question, and the file holds no more than a
    // conversation without the refusal does, give or take its texts.
    Ask(*palette, "Just the walls");
    palette.reset();
    palette = std::make_unique<ChatPalette>();
    const json after = ReplayedEntries(*palette);
    for (const json& entry : after) EXPECT_FALSE(entry.value("unanswered", false)) << after;
    ASSERT_NE(UserEntry(after, "Trace these"), nullptr) << after;
    EXPECT_FALSE(UserEntry(after, "Trace these")->contains("box"));
    const auto size = fs::file_size(kept);
    Call(*palette, "clearHistory");
    Ask(*palette, "Just the walls");
    const auto others = Files();
    ASSERT_EQ(others.size(), 2u);
    const auto baseline = fs::file_size(others[0] == kept ? others[1] : others[0]);
    EXPECT_LT(size, baseline + 4096) << "the refused message still weighs on the file";
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusedSendTest,
    ::testing::Values(RefusedSend{"AnEmptyFile", WithAnEmptyFile, R"({"refused":[1]})", {"good.png"}},
                      RefusedSend{"MoreThanOneMessageMayAttach", TwoLargeFiles, R"({"refused":[1]})", {"a.tif"}},
                      RefusedSend{"WhileATurnRuns", WithAnEmptyFile, R"({"refused":[1]})", {"good.png"}, true}),
    [](const ::testing::TestParamInfo<RefusedSend>& info) { return std::string(info.param.name); });

TEST_F(ShellTest, ATurnTheHostStopsAfterAToolRanIsKeptWhoeverLearnsFirstAndTheModelAskedToGoOnReadsIt)
{
    enum class First { Palette, EngineUnheard, EngineHeard };
    const struct {
        const char* name;
        bool openai;
        First first;
    } rows[] = {{"the palette closes first", false, First::Palette},
                {"the engine learns first, its reports still on the queue", false, First::EngineUnheard},
                {"the engine learns first and says so", false, First::EngineHeard},
                {"the palette closes first, OpenAI", true, First::Palette}};
    const json wall = {{"start_x", -4}, {"start_y", 0}, {"end_x", 4}, {"end_y", 0}, {"thickness", 0.5}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeProductService model;
        const std::string route = row.openai ? "POST /v1/chat/completions" : "POST /v1/messages";
        const auto reply = [&](const std::string& text) {
            const json call = {{"id", "c1"},
                               {"type", "function"},
                               {"function", {{"name", "create_wall"}, {"arguments", wall.dump()}}}};
            if (row.openai)
                return FakeProductService::Reply{
                    200, json({{"choices",
                                {{{"message", text.empty() ? json({{"role", "assistant"}, {"tool_calls", {call}}})
                                                           : json({{"role", "assistant"}, {"content", text}})},
                                  {"finish_reason", text.empty() ? "tool_calls" : "stop"}}}}})
                             .dump()};
            const json block =
                text.empty() ? json({{"type", "tool_use"}, {"id", "t1"}, {"name", "create_wall"}, {"input", wall}})
                             : json({{"type", "text"}, {"text", text}});
            return FakeProductService::Reply{200, json({{"role", "assistant"},
                                                        {"content", {block}},
                                                        {"stop_reason", text.empty() ? "tool_use" : "end_turn"}})
                                                      .dump()};
        };
        FakeProductService::Reply waits = reply("Too late.");
        waits.delay = std::chrono::seconds(60);  // the second request waits while the host stops
        model.Script(route, {reply(""), waits, reply("Going on.")});
        setenv(row.openai ? "QUILLMERE_OPENAI_URL" : "QUILLMERE_ANTHROPIC_URL", model.BaseUrl().c_str(), 1);
        WriteSettingsFile(json({{"provider", row.openai ? "openai" : "anthropic"},
                                {"model", row.openai ? "gpt-4.1" : "claude-x"},
                                {"anthropic_api_key", "sk-ant-x"},
                                {"openai_api_key", "sk-oa-x"}})
                              .dump());
        {
            auto palette = std::make_unique<ChatPalette>();
            Call(*palette, "clearHistory");
            ASSERT_TRUE(Call(*palette, "sendMessage", {JS::Value("Build a wall")}).GetBool());
            ASSERT_TRUE(MainQueue::PumpUntil(
                [&] { return model.Count(route) == 2 && AnyScriptStartsWith(*palette, "QuillmereUI.addToolResult("); },
                std::chrono::seconds(20)));
            // The card is a reply: the page is told so once, and a page loading now learns it too.
            const auto scripts = Scripts(*palette);
            EXPECT_EQ(std::count(scripts.begin(), scripts.end(), "QuillmereUI.turnReplied()"), 1);
            Call(*palette, "replayConversation", {JS::Value("p")});
            EXPECT_EQ(ShownConversation(Scripts(*palette).back()).value("replied", false), true);
            if (row.first != First::Palette) {
                Quillmere::AbortAllHttpRequests(true);  // the host's quit notice
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (palette->GetBridge().IsBusy() && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                EXPECT_FALSE(palette->GetBridge().IsBusy());
                if (row.first == First::EngineHeard) MainQueue::DrainUntilIdle();
            }
            palette.reset();
            Quillmere::AbortAllHttpRequests(false);
        }
        ChatPalette restarted;
        const json entries = ReplayedEntries(restarted);
        ASSERT_EQ(entries.size(), 3u) << entries;
        EXPECT_EQ(entries[0], json({{"kind", "user"}, {"text", "Build a wall"}, {"files", json::array()}}));
        EXPECT_EQ(entries[1].value("name", ""), "create_wall");
        EXPECT_EQ(entries[2], json({{"kind", "assistant"}, {"text", StoppedPartWayWarning()}})) << "said once";

        ASSERT_TRUE(Call(restarted, "sendMessage", {JS::Value("go on")}).GetBool());
        ASSERT_TRUE(MainQueue::PumpUntil([&] { return !restarted.GetBridge().IsBusy(); }, std::chrono::seconds(20)));
        ASSERT_EQ(model.Count(route), 3u);
        const json sent = json::parse(model.Requests().back().body)["messages"];
        // The question once, the call, its result, then "go on": a history both services take.
        std::vector<std::string> roles;
        for (const json& message : sent) roles.push_back(message.value("role", ""));
        if (row.openai) {
            ASSERT_EQ(roles, (std::vector<std::string>{"system", "user", "assistant", "tool", "user"})) << sent;
            EXPECT_EQ(sent[1]["content"], "Build a wall");
            EXPECT_EQ(sent[2]["tool_calls"][0]["function"]["name"], "create_wall");
            EXPECT_EQ(sent[3]["tool_call_id"], sent[2]["tool_calls"][0]["id"]);
            EXPECT_NE(sent[3]["content"].get<std::string>().find("\"success\":true"), std::string::npos) << sent[3];
            EXPECT_EQ(sent[4]["content"], "go on");
        } else {
            ASSERT_EQ(roles, (std::vector<std::string>{"user", "assistant", "user"})) << sent;
            EXPECT_EQ(sent[0]["content"][0]["text"], "Build a wall");
            EXPECT_EQ(sent[1]["content"][0]["name"], "create_wall");
            const json& answer = sent[2]["content"];
            ASSERT_EQ(answer.size(), 2u) << answer;
            EXPECT_EQ(answer[0]["type"], "tool_result");
            EXPECT_EQ(answer[0]["tool_use_id"], sent[1]["content"][0]["id"]);
            EXPECT_FALSE(answer[0].value("is_error", false)) << answer[0];
            EXPECT_EQ(answer[1]["text"], "go on");
        }
    }
}
