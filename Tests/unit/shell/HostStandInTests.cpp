// The host stand-in's page plumbing: bridge objects per document, the request guard, event
// stream lines and the bridge script's place in a page.

#include <array>

#include <gtest/gtest.h>

#include "BridgeScript.hpp"
#include "PaletteHost.hpp"
#include "RequestGuard.hpp"

// fontconfig keeps its configuration for the life of the process: the library's memory, not a leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

TEST(BrowserControl, BridgeObjectsLastUntilTheNextDocumentAndAThrowingOneIsAFailedCall)
{
    // Loading a document drops the bridge objects of the last one; destroying the browser closes its outbox.
    std::shared_ptr<PaletteHost::ScriptOutbox> pageOutbox;
    {
        DG::Palette palette(GS::Guid("11111111-2222-3333-4444-555555555555"), "Test");
        DG::Browser browser(palette);
        JS::Object object("Thing");
        object.AddItem(JS::Function("ping", [](const std::vector<JS::Value>&) { return JS::Value("pong"); }));
        object.AddItem(JS::Function(
            "boom", [](const std::vector<JS::Value>&) -> JS::Value { throw std::runtime_error("bad input"); }));
        browser.LoadURL(GS::UniString("file:///tmp/first.html"));
        ASSERT_TRUE(browser.RegisterAsynchJSObject(object));
        JS::Value result;
        std::string error;
        const auto call = [&](const char* function) {
            return PaletteHost::CallBridgeFunction(browser.GetId(), "Thing", function, {}, result, error);
        };
        ASSERT_TRUE(call("ping")) << error;
        EXPECT_EQ(result.GetString(), "pong");
        EXPECT_FALSE(call("nope"));
        EXPECT_FALSE(call("boom")) << "a throwing bridge function is a failed call, not a crash";
        EXPECT_EQ(error, "bad input");

        browser.LoadURL(GS::UniString("file:///tmp/second.html"));
        EXPECT_EQ(PaletteHost::FindBrowser(browser.GetId())->documentPath, "/tmp/second.html");
        EXPECT_FALSE(call("ping"));
        pageOutbox = PaletteHost::FindBrowser(browser.GetId())->outbox;
        browser.ExecuteJS(GS::UniString("one()"));
        EXPECT_EQ(PaletteHost::ExecutedScripts(browser.GetId()), std::vector<std::string>{"one()"});
    }
    EXPECT_TRUE(pageOutbox->IsClosed());
}

TEST(RequestGuard, LetsInOnlyThisRunsTokenFromThisOrigin)
{
    RequestGuard guard(4321);
    const std::string token = guard.Token(), host = "127.0.0.1:4321", origin = "http://127.0.0.1:4321";
    EXPECT_EQ(token.size(), 64u);
    EXPECT_NE(RequestGuard(4321).Token(), token) << "each run has its own token";
    EXPECT_EQ(guard.Check(token, host, "", ""), "");
    EXPECT_EQ(guard.Check(token, host, origin, "same-origin"), "");

    std::string nearMiss = token;
    nearMiss.back() = nearMiss.back() == 'a' ? 'b' : 'a';
    using Request = std::array<std::string, 4>;  // token, Host, Origin, Sec-Fetch-Site
    for (const auto& [presented, hostHeader, originHeader, site] :
         {Request{"", host, origin, ""}, Request{nearMiss, host, origin, ""},
          Request{token, "evil.example:4321", "", ""}, Request{token, host, "http://127.0.0.1:4322", ""},
          Request{token, host, "", "cross-site"}})
        EXPECT_NE(guard.Check(presented, hostHeader, originHeader, site), "")
            << presented << " | " << hostHeader << " | " << originHeader << " | " << site;
}

TEST(PageServing, EventStreamLinesAndTheBridgeScriptStayInTheirPlace)
{
    EXPECT_EQ(EventStreamMessage(8, "a\nb\r\nc\rd"), "id: 8\ndata: a\ndata: b\ndata: c\ndata: d\n\n");
    // A blank line inside the script must not end the event early.
    EXPECT_EQ(EventStreamMessage(10, "x\n\ny"), "id: 10\ndata: x\ndata: \ndata: y\n\n");
    // The bridge script goes right after the head tag, or first.
    EXPECT_EQ(InjectBridgeScript("<html><head><title>t</title></head></html>", "<script>B</script>"),
              "<html><head>\n<script>B</script><title>t</title></head></html>");
    EXPECT_EQ(InjectBridgeScript("<p>bare</p>", "<script>B</script>"), "<script>B</script><p>bare</p>");
    const std::string script =
        BuildBridgeScript("tok\"en", 3, {{"Quillmere", {"sendMessage"}}, {"</script><b>", {"</script>"}}}, 0);
    EXPECT_EQ(script.rfind("<script>", 0), 0u);
    EXPECT_EQ(script.find("</script", 8), script.size() - 10) << "a name ends the script block before its end";
    EXPECT_NE(script.find("\"tok\\\"en\""), std::string::npos) << "the token is not a proper literal";
    EXPECT_NE(script.find("\"/browser/3\""), std::string::npos);
    EXPECT_NE(script.find("\"sendMessage\""), std::string::npos);
}
