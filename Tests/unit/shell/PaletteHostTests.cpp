#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "PaletteHost.hpp"

// The host side of browser controls: what the shell's event stream and bridge rely on.

TEST(ScriptOutbox, ReadersGetScriptsInOrderAfterTheirPosition)
{
    PaletteHost::ScriptOutbox outbox;
    outbox.Push("a");
    outbox.Push("b");
    outbox.Push("c");
    auto all = outbox.WaitAfter(0, 0);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].second, "a");
    EXPECT_EQ(all[2].second, "c");
    EXPECT_LT(all[0].first, all[1].first);
    auto rest = outbox.WaitAfter(all[0].first, 0);
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0].second, "b");
    EXPECT_EQ(outbox.LastTaken(), all[2].first);
    EXPECT_TRUE(outbox.WaitAfter(all[2].first, 0).empty());
}

TEST(ScriptOutbox, AWaitingReaderWakesForANewScriptAndForClosing)
{
    PaletteHost::ScriptOutbox outbox;
    std::vector<std::pair<std::uint64_t, std::string>> got;
    std::thread reader([&] { got = outbox.WaitAfter(0, 60000); });
    outbox.Push("late");
    reader.join();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].second, "late");

    std::thread waiter([&] { got = outbox.WaitAfter(got[0].first, 60000); });
    outbox.Close();
    waiter.join();
    EXPECT_TRUE(got.empty());
    EXPECT_TRUE(outbox.IsClosed());
    outbox.Push("after close");
    EXPECT_TRUE(outbox.WaitAfter(0, 0).size() == 1u) << "nothing is queued once closed";
}

TEST(BrowserControl, LoadingADocumentDropsTheBridgeObjectsOfTheLastOne)
{
    DG::Palette palette(GS::Guid("11111111-2222-3333-4444-555555555555"), "Test");
    DG::Browser browser(palette);
    JS::Object object("Thing");
    object.AddItem(JS::Function("ping", [](const std::vector<JS::Value>&) { return JS::Value("pong"); }));
    browser.LoadURL(GS::UniString("file:///tmp/first.html"));
    ASSERT_TRUE(browser.RegisterAsynchJSObject(object));

    JS::Value result;
    std::string error;
    ASSERT_TRUE(PaletteHost::CallBridgeFunction(browser.GetId(), "Thing", "ping", {}, result, error)) << error;
    EXPECT_EQ(result.GetString(), "pong");
    EXPECT_FALSE(PaletteHost::CallBridgeFunction(browser.GetId(), "Thing", "nope", {}, result, error));

    browser.LoadURL(GS::UniString("file:///tmp/second.html"));
    EXPECT_EQ(PaletteHost::FindBrowser(browser.GetId())->documentPath, "/tmp/second.html");
    EXPECT_FALSE(PaletteHost::CallBridgeFunction(browser.GetId(), "Thing", "ping", {}, result, error));
}

TEST(BrowserControl, AThrowingBridgeFunctionIsAFailedCallNotACrash)
{
    DG::Palette palette(GS::Guid("11111111-2222-3333-4444-555555555556"), "Test");
    DG::Browser browser(palette);
    browser.LoadURL(GS::UniString("/tmp/page.html"));
    JS::Object object("Thing");
    object.AddItem(JS::Function("boom", [](const std::vector<JS::Value>&) -> JS::Value { throw std::runtime_error("bad input"); }));
    browser.RegisterAsynchJSObject(object);
    JS::Value result;
    std::string error;
    EXPECT_FALSE(PaletteHost::CallBridgeFunction(browser.GetId(), "Thing", "boom", {}, result, error));
    EXPECT_EQ(error, "bad input");
}

TEST(BrowserControl, DestroyingTheBrowserClosesItsEventStream)
{
    std::shared_ptr<PaletteHost::ScriptOutbox> outbox;
    {
        DG::Palette palette(GS::Guid("11111111-2222-3333-4444-555555555557"), "Test");
        DG::Browser browser(palette);
        outbox = PaletteHost::FindBrowser(browser.GetId())->outbox;
        browser.ExecuteJS(GS::UniString("one()"));
        EXPECT_EQ(PaletteHost::ExecutedScripts(browser.GetId()), std::vector<std::string>{"one()"});
    }
    EXPECT_TRUE(outbox->IsClosed());
}
