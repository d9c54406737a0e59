#include <string>

#include <gtest/gtest.h>

#include "BridgeScript.hpp"
#include "RequestGuard.hpp"

// What the shell puts around the palette's page and who it lets in.

TEST(RequestGuard, LetsInOnlyThisRunsTokenFromThisOrigin)
{
    RequestGuard guard(4321);
    const std::string host = "127.0.0.1:4321";
    const std::string origin = "http://127.0.0.1:4321";
    EXPECT_EQ(guard.Token().size(), 64u);
    EXPECT_NE(RequestGuard(4321).Token(), guard.Token()) << "each run has its own token";

    EXPECT_EQ(guard.Check(guard.Token(), host, "", ""), "");
    EXPECT_EQ(guard.Check(guard.Token(), host, origin, "same-origin"), "");
    EXPECT_EQ(guard.Check(guard.Token(), host, "", "none"), "");

    std::string nearMiss = guard.Token();
    nearMiss.back() = nearMiss.back() == 'a' ? 'b' : 'a';
    EXPECT_NE(guard.Check("", host, origin, ""), "");
    EXPECT_NE(guard.Check(nearMiss, host, origin, ""), "");
    EXPECT_NE(guard.Check(guard.Token() + "0", host, origin, ""), "");
    EXPECT_NE(guard.Check(guard.Token(), "localhost:4321", origin, ""), "");
    EXPECT_NE(guard.Check(guard.Token(), "evil.example:4321", "", ""), "");
    EXPECT_NE(guard.Check(guard.Token(), host, "http://127.0.0.1:4322", ""), "");
    EXPECT_NE(guard.Check(guard.Token(), host, "null", ""), "");
    EXPECT_NE(guard.Check(guard.Token(), host, "", "cross-site"), "");
    EXPECT_NE(guard.Check(guard.Token(), host, "", "same-site"), "");
}

TEST(EventStream, EveryLineOfAScriptBecomesOneDataLine)
{
    EXPECT_EQ(EventStreamMessage(7, "run()"), "id: 7\ndata: run()\n\n");
    EXPECT_EQ(EventStreamMessage(8, "a\nb\r\nc\rd"), "id: 8\ndata: a\ndata: b\ndata: c\ndata: d\n\n");
    EXPECT_EQ(EventStreamMessage(9, ""), "id: 9\ndata: \n\n");
    // A blank line inside the script must not end the event early.
    EXPECT_EQ(EventStreamMessage(10, "x\n\ny"), "id: 10\ndata: x\ndata: \ndata: y\n\n");
}

TEST(BridgeScript, GoesRightAfterTheHeadTagOrFirst)
{
    EXPECT_EQ(InjectBridgeScript("<html><head><title>t</title></head></html>", "<script>B</script>"),
              "<html><head>\n<script>B</script><title>t</title></head></html>");
    EXPECT_EQ(InjectBridgeScript("<p>bare</p>", "<script>B</script>"), "<script>B</script><p>bare</p>");
}

TEST(BridgeScript, NamesCannotCloseTheScriptBlock)
{
    const std::string script =
        BuildBridgeScript("tok\"en", 3, {{"Quillmere", {"sendMessage"}}, {"</script><b>", {"</script>"}}});
    const std::string body = script.substr(8, script.size() - 8 - 10);  // between <script> and </script>\n
    EXPECT_EQ(script.rfind("<script>", 0), 0u);
    EXPECT_EQ(body.find("</script"), std::string::npos) << "a name ends the script block";
    EXPECT_NE(script.find("\"tok\\\"en\""), std::string::npos) << "the token is not a proper literal";
    EXPECT_NE(script.find("\"/browser/3\""), std::string::npos);
    EXPECT_NE(script.find("\"sendMessage\""), std::string::npos);
}
