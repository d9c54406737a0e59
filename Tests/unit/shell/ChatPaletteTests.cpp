#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "FakeModelServer.hpp"
#include "PaletteHost.hpp"
#include "ShellTestEnvironment.hpp"

namespace {

using nlohmann::json;

std::vector<std::string> Scripts(ChatPalette& palette) { return PaletteHost::ExecutedScripts(palette.GetBrowser().GetId()); }

bool CallBridge(ChatPalette& palette, const std::string& function, std::vector<JS::Value> args, JS::Value& result)
{
    std::string error;
    return PaletteHost::CallBridgeFunction(palette.GetBrowser().GetId(), "Quillmere", function, args, result, error);
}

bool WaitForScript(ChatPalette& palette, const std::string& script)
{
    return MainQueue::PumpUntil(
        [&] {
            auto scripts = Scripts(palette);
            return std::find(scripts.begin(), scripts.end(), script) != scripts.end();
        },
        std::chrono::seconds(20));
}

json ReadJsonFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    return json::parse(in, nullptr, false);
}

}  // namespace

class ChatPaletteTest : public ShellTest {};

TEST_F(ChatPaletteTest, ConstructionLoadsThePageBeforeRegisteringTheBridgeObject)
{
    std::string pagePath;
    {
        ChatPalette palette;
        pagePath = palette.GetPagePath();
        auto browser = PaletteHost::FindBrowser(palette.GetBrowser().GetId());
        ASSERT_TRUE(browser.has_value());
        EXPECT_EQ(browser->documentPath, pagePath);

        std::ifstream page(pagePath);
        std::string html((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
        EXPECT_NE(html.find("window.QuillmereUI"), std::string::npos);

        // Loading a document drops earlier objects, so the object is only there if it was
        // registered after the load.
        const std::vector<std::string> expected = {"sendMessage", "sendMessageWithAttachments", "getSettings",
                                                   "saveSettings", "clearHistory"};
        EXPECT_EQ(browser->functionsByObject["Quillmere"], expected);
        EXPECT_TRUE(palette.IsProcessingEvents());
        EXPECT_FALSE(palette.IsVisible());
    }
    EXPECT_FALSE(std::filesystem::exists(pagePath)) << "the temporary page outlived its palette";
}

TEST_F(ChatPaletteTest, StoredSettingsReachTheEngineAndItsReportsReachThePage)
{
    FakeModelServer model;
    setenv("QUILLMERE_ANTHROPIC_URL", model.Url().c_str(), 1);
    WriteSettingsFile(R"({"provider":"anthropic","model":"claude-unit","anthropic_api_key":"sk-ant-unit-key"})");
    model.ScriptToolUse("no_such_tool", json::object());
    model.ScriptText("It's done.\nAll \"fine\".");

    ChatPalette palette;
    JS::Value result;
    ASSERT_TRUE(CallBridge(palette, "sendMessage", {JS::Value("Build a wall")}, result));
    EXPECT_TRUE(result.GetBool());
    ASSERT_TRUE(WaitForScript(palette, "QuillmereUI.setThinking(false)"));

    const auto scripts = Scripts(palette);
    const std::vector<std::string> expected = {
        "QuillmereUI.setThinking(true)",
        "QuillmereUI.addToolResult('no_such_tool',false,'Unknown tool: no_such_tool')",
        "QuillmereUI.addAssistantMessage('It\\'s done.\\nAll \\\"fine\\\".')",
        "QuillmereUI.setThinking(false)",
    };
    EXPECT_EQ(scripts, expected);

    const auto requests = model.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].apiKey, "sk-ant-unit-key");
    EXPECT_EQ(requests[0].body.value("model", ""), "claude-unit");
}

TEST_F(ChatPaletteTest, SettingsTravelBetweenPageAndFileInTheirOwnNames)
{
    WriteSettingsFile(R"({"provider":"anthropic","model":"claude-a","anthropic_api_key":"sk-ant-1",
                          "openai_api_key":"","dark_mode":false,"window_width":512,"user_email":"a@b.c"})");
    ChatPalette palette;
    JS::Value result;
    ASSERT_TRUE(CallBridge(palette, "getSettings", {}, result));
    const json page = json::parse(result.GetString());
    EXPECT_EQ(page, json({{"provider", "anthropic"}, {"model", "claude-a"}, {"anthropicApiKey", "sk-ant-1"},
                          {"openaiApiKey", ""}, {"darkMode", false}}));

    const json update = {{"provider", "openai"}, {"model", "gpt-4.1"}, {"anthropicApiKey", "sk-ant-2"},
                         {"openaiApiKey", "sk-oa-2"}, {"darkMode", true}};
    ASSERT_TRUE(CallBridge(palette, "saveSettings", {JS::Value(update.dump())}, result));
    EXPECT_TRUE(result.GetBool());
    const json file = ReadJsonFile(root / "home" / ".quillmere" / "settings.json");
    EXPECT_EQ(file.value("provider", ""), "openai");
    EXPECT_EQ(file.value("model", ""), "gpt-4.1");
    EXPECT_EQ(file.value("anthropic_api_key", ""), "sk-ant-2");
    EXPECT_EQ(file.value("openai_api_key", ""), "sk-oa-2");
    EXPECT_EQ(file.value("dark_mode", false), true);
    // What the page does not show is kept.
    EXPECT_EQ(file.value("window_width", 0), 512);
    EXPECT_EQ(file.value("user_email", ""), "a@b.c");
    ASSERT_TRUE(CallBridge(palette, "getSettings", {}, result));
    EXPECT_EQ(json::parse(result.GetString()), update);
}

TEST_F(ChatPaletteTest, UnusableSettingsFromThePageChangeNothing)
{
    WriteSettingsFile(R"({"provider":"anthropic","model":"claude-a","anthropic_api_key":"sk-ant-1"})");
    ChatPalette palette;
    JS::Value before;
    ASSERT_TRUE(CallBridge(palette, "getSettings", {}, before));
    const json fileBefore = ReadJsonFile(root / "home" / ".quillmere" / "settings.json");

    for (const std::string& bad : {std::string("not json"), std::string("[1,2]"), std::string(R"({"provider":"acme"})")}) {
        JS::Value result;
        ASSERT_TRUE(CallBridge(palette, "saveSettings", {JS::Value(bad)}, result));
        EXPECT_FALSE(result.GetBool()) << bad;
    }
    // Wrong types are ignored key by key.
    JS::Value result;
    ASSERT_TRUE(CallBridge(palette, "saveSettings", {JS::Value(R"({"model":42,"darkMode":"yes","anthropicApiKey":null})")}, result));
    JS::Value after;
    ASSERT_TRUE(CallBridge(palette, "getSettings", {}, after));
    EXPECT_EQ(after.GetString(), before.GetString());
    EXPECT_EQ(ReadJsonFile(root / "home" / ".quillmere" / "settings.json").value("model", ""),
              fileBefore.value("model", ""));
}

TEST_F(ChatPaletteTest, BridgeCallsWithBadArgumentsFailWithoutStartingATurn)
{
    ChatPalette palette;
    JS::Value result;
    ASSERT_TRUE(CallBridge(palette, "sendMessage", {}, result));
    EXPECT_FALSE(result.GetBool());
    ASSERT_TRUE(CallBridge(palette, "sendMessage", {JS::Value(3.0)}, result));
    EXPECT_FALSE(result.GetBool());
    ASSERT_TRUE(CallBridge(palette, "sendMessageWithAttachments", {JS::Value("{not json")}, result));
    EXPECT_FALSE(result.GetBool());
    MainQueue::DrainUntilIdle();
    const auto scripts = Scripts(palette);
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(scripts[0].rfind("QuillmereUI.addAssistantMessage('\xE2\x9A\xA0 ", 0), 0u) << scripts[0];
    EXPECT_FALSE(palette.GetBridge().IsBusy());
}

TEST_F(ChatPaletteTest, PageUpdatesAreSingleEscapedCalls)
{
    ChatPalette palette;
    palette.PushRenderPreview("https://r.example/a'b.png", "https://r.example/d\nl");
    palette.PushToolResult("create_wall", true, "Wall \"A\"\\1");
    palette.PushToolResult("x", false, "");
    palette.SetThinking(true);
    palette.PushAssistantMessage("</script>");
    const std::vector<std::string> expected = {
        "QuillmereUI.addRenderPreview('https://r.example/a\\'b.png','https://r.example/d\\nl')",
        "QuillmereUI.addToolResult('create_wall',true,'Wall \\\"A\\\"\\\\1')",
        "QuillmereUI.addToolResult('x',false,'')",
        "QuillmereUI.setThinking(true)",
        "QuillmereUI.addAssistantMessage('</script>')",
    };
    EXPECT_EQ(Scripts(palette), expected);
}

TEST_F(ChatPaletteTest, UiCallbacksRunOnTheMainThreadOnly)
{
    ChatPalette palette;
    auto preview = palette.MakePreviewCallback();
    auto toolResult = palette.MakeToolResultCallback();
    std::thread worker([&] {
        preview("https://r.example/i.png", "https://r.example/d.png");
        toolResult("render_view", true, "Render started");
    });
    worker.join();
    EXPECT_TRUE(Scripts(palette).empty()) << "a page update ran off the main thread";
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(Scripts(palette).size(), 2u);
}

TEST_F(ChatPaletteTest, ReportsDueAfterDestructionNeverReachAPalette)
{
    // A new palette made in the very same place must not receive the old one's reports:
    // a callback that held only the address would deliver them.
    alignas(ChatPalette) unsigned char storage[sizeof(ChatPalette)];
    auto* first = new (storage) ChatPalette();
    auto preview = first->MakePreviewCallback();
    auto toolResult = first->MakeToolResultCallback();
    std::thread worker([&] { preview("https://r.example/late.png", "https://r.example/late.png"); });
    worker.join();  // queued while the palette lived
    first->~ChatPalette();

    auto* second = new (storage) ChatPalette();
    MainQueue::DrainUntilIdle();
    preview("https://r.example/later.png", "https://r.example/later.png");
    toolResult("render_view", false, "late");
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(Scripts(*second).empty());
    second->~ChatPalette();
}

TEST_F(ChatPaletteTest, DestructionJoinsTheEngineWhileATurnIsInFlight)
{
    // A model that never answers in time: the palette must still go promptly.
    httplib::Server stall;
    stall.Post("/v1/messages", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        res.set_content("{}", "application/json");
    });
    const int port = stall.bind_to_any_port("127.0.0.1");
    std::thread server([&] { stall.listen_after_bind(); });
    setenv("QUILLMERE_ANTHROPIC_URL", ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
    WriteSettingsFile(R"({"anthropic_api_key":"sk-ant-x"})");

    auto palette = std::make_unique<ChatPalette>();
    JS::Value result;
    ASSERT_TRUE(CallBridge(*palette, "sendMessage", {JS::Value("hello")}, result));
    MainQueue::PumpUntil([&] { return !Scripts(*palette).empty(); }, std::chrono::seconds(5));
    palette.reset();
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(PaletteHost::Palettes().empty());
    stall.stop();
    server.join();
}

TEST_F(ChatPaletteTest, EachPaletteWritesItsOwnPrivatePageFile)
{
    auto first = std::make_unique<ChatPalette>();
    ChatPalette second;
    ASSERT_FALSE(first->GetPagePath().empty());
    EXPECT_NE(first->GetPagePath(), second.GetPagePath());
    const auto permissions = std::filesystem::status(second.GetPagePath()).permissions();
    EXPECT_EQ(permissions & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);
    first.reset();
    EXPECT_TRUE(std::filesystem::exists(second.GetPagePath())) << "one palette removed another's page";
}

TEST_F(ChatPaletteTest, TheWindowTakesItsSizeFromTheSettings)
{
    WriteSettingsFile(R"({"window_width":512,"window_height":700})");
    ChatPalette sized;
    EXPECT_EQ(sized.GetWidth(), 512);
    EXPECT_EQ(sized.GetHeight(), 700);
}
