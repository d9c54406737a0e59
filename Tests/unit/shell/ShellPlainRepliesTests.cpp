// The shell's replies go out uncompressed whatever the browser offers: on 127.0.0.1 compressing
// a page costs far more time than its bytes take to travel.

#include <gtest/gtest.h>
#include <httplib.h>

#include "MainQueue.hpp"
#include "ShellServer.hpp"

namespace {

TEST(ShellPlainReplies, TextRepliesAreSentAsTheyAreToABrowserOfferingCompression)
{
    MainQueue::SetMainThread();
    ShellServer server;
    ASSERT_TRUE(server.Start(0, {"Quillmere", "test"}));
    httplib::Client client("127.0.0.1", server.Port());
    client.set_decompress(false);

    const struct {
        const char* name;
        std::string path;
        int status;
        std::string bodyStart;
    } cases[] = {
        {"window page", "/?token=" + server.Token(), 200, "<!DOCTYPE html>"},
        {"refused request", "/host/state", 403, "{\"error\":\"Forbidden"},
    };
    for (const auto& c : cases) {
        const auto reply = client.Get(c.path.c_str(), {{"Accept-Encoding", "br, gzip, deflate"}});
        ASSERT_TRUE(reply) << c.name;
        EXPECT_EQ(reply->status, c.status) << c.name;
        EXPECT_FALSE(reply->has_header("Content-Encoding"))
            << c.name << ": " << reply->get_header_value("Content-Encoding");
        EXPECT_EQ(reply->body.substr(0, c.bodyStart.size()), c.bodyStart) << c.name;
    }
    server.Stop();
}

}  // namespace
