// The shell's server as a connection sees it: its port is its own, a request is refused on its
// headers before any body is read, idle connections give their threads back, a call nested too
// deeply is refused, and the window hears of every change of the project.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "ACAPinc.h"
#include "MainQueue.hpp"
#include "PaletteHost.hpp"
#include "QuillmereTest.hpp"
#include "ShellServer.hpp"

namespace {

using nlohmann::json;

// A plain TCP connection to 127.0.0.1:port; -1 when it cannot connect.
int Connect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// What the server sends until it closes the connection, until no byte comes for timeoutMs or,
// with until, until the text arrived; closed tells whether the server closed.
std::string ReadUntilClosed(int fd, int timeoutMs, bool& closed, const std::string& until = "")
{
    const timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string received;
    char buffer[4096];
    ssize_t n = 0;
    while ((until.empty() || received.find(until) == std::string::npos) &&
           (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        received.append(buffer, size_t(n));
    closed = n == 0;
    return received;
}

// Runs request on another thread while this (the main) thread drains the main queue for it.
template <typename Fn>
auto WhilePumping(Fn request) -> decltype(request())
{
    auto result = std::async(std::launch::async, request);
    MainQueue::PumpUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                         std::chrono::seconds(30));
    return result.get();
}

class ShellServerTest : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        ASSERT_TRUE(server.Start(0, {"Quillmere", "test"}));
        port = server.Port();
    }
    void TearDown() override
    {
        server.Stop();
        QuillmereTest::TearDown();
    }
    std::string Head(const std::string& requestLine, const std::string& extraHeaders = "", bool withToken = true) const
    {
        const std::string target = requestLine + (withToken ? "?token=" + server.Token() : "");
        return target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + extraHeaders + "\r\n";
    }
    httplib::Client Client() const
    {
        httplib::Client client("127.0.0.1", port);
        client.set_default_headers({{"X-Quillmere-Token", server.Token()}});
        client.set_read_timeout(10, 0);
        return client;
    }
    json State()
    {
        return WhilePumping([this] {
            auto reply = Client().Get("/host/state");
            return reply && reply->status == 200 ? json::parse(reply->body) : json();
        });
    }

    ShellServer server;
    int port = 0;
};

TEST(ShellServerPorts, APortInUseIsNeverSharedAndOnlyAServerAllowedToFallBackMovesToAFreeOne)
{
    MainQueue::SetMainThread();
    ShellServer first;
    ASSERT_TRUE(first.Start(0, {"Quillmere", "test"}));
    const int taken = first.Port();
    ASSERT_GT(taken, 0);
    ShellServer second;
    EXPECT_FALSE(second.Start(taken, {"Quillmere", "test"})) << "two hosts answered on one port";
    EXPECT_EQ(second.Port(), 0);
    ShellServer third;
    ASSERT_TRUE(third.Start(taken, {"Quillmere", "test"}, true));
    EXPECT_NE(third.Port(), taken);
    EXPECT_GT(third.Port(), 0);

    // A program that shares its port with anyone who asks does not get to share it with us.
    const int sharing = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(sharing, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    ::setsockopt(sharing, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(sharing, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(sharing, 4), 0);
    ASSERT_EQ(::getsockname(sharing, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ShellServer fourth;
    EXPECT_FALSE(fourth.Start(ntohs(address.sin_port), {"Quillmere", "test"}));
    ::close(sharing);
    first.Stop();
    third.Stop();
}

// A request is refused on its headers without waiting for its body, and the body then sent ends
// the connection; one that never sends, stops in its headers or never sends its announced body
// is closed too (the waits are only a safety net), and the window still answers.
TEST_F(ShellServerTest, RefusedIdleAndSlowConnectionsAreClosedAndTheWindowStillAnswers)
{
    struct Case {
        const char* what;
        std::string request;
        const char* status;  // empty: no reply expected
    };
    const std::vector<Case> cases = {
        {"absurd length", Head("POST /browser/1/call", "Content-Length: 99999999999999999\r\n"), " 413 "},
        {"unreadable length", Head("POST /host/menu", "Content-Length: 12abc\r\n"), " 400 "},
        {"no token, large body", Head("POST /browser/1/call", "Content-Length: 150000000\r\n", false), " 403 "},
        {"silent", "", ""},
        {"headers cut short", "GET /host/state HTTP/1.1\r\nHost: 127.0", ""},
        {"body never sent", Head("POST /host/menu", "Content-Length: 100\r\n"), ""},
    };
    for (const Case& c : cases) {
        const int fd = Connect(port);
        ASSERT_GE(fd, 0);
        if (!c.request.empty()) ::send(fd, c.request.data(), c.request.size(), 0);
        bool closed = false;
        if (*c.status != '\0') {
            const std::string reply = ReadUntilClosed(fd, 30000, closed, "}");
            EXPECT_NE(reply.find(c.status), std::string::npos) << c.what << ": " << reply.substr(0, 80);
            const std::string body(64 * 1024, 'x');
            ::send(fd, body.data(), body.size(), MSG_NOSIGNAL);
        }
        ReadUntilClosed(fd, 60000, closed);
        EXPECT_TRUE(closed) << c.what;
        ::close(fd);
    }
    EXPECT_TRUE(State().contains("stories"));
}

TEST_F(ShellServerTest, ABridgeCallNestedTooDeeplyIsRefusedAndTheServerGoesOn)
{
    // Nested far beyond any page request: copying it would recurse once per level.
    const int levels = 200000;
    const std::string nested = std::string(levels, '[') + std::string(levels, ']');
    const std::string call = R"({"object":"Quillmere","function":"getSettings","args":)" + nested + "}";
    // Brackets inside a string are text, not nesting.
    const std::string quoted =
        R"({"object":"Quillmere","function":"getSettings","args":[")" + std::string(1000, '[') + R"("]})";
    const auto post = [&](const std::string& body) {
        return WhilePumping([&] {
            auto reply = Client().Post("/browser/1/call", body, "application/json");
            return reply ? reply->status : 0;
        });
    };
    EXPECT_EQ(post(call), 400) << "refused as a call that names no function";
    EXPECT_NE(post(quoted), 400) << "a string full of brackets was taken for nesting";
    EXPECT_TRUE(State().is_object()) << "the server stopped answering";
}

TEST_F(ShellServerTest, TheWindowHearsTheRevisionAtOnceAndAgainOnlyWhenTheProjectChanges)
{
    const std::uint64_t first = HostTesting::ProjectRevision();
    std::promise<void> firstHeard;
    std::mutex mutex;
    std::vector<std::uint64_t> heard;
    auto count = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return heard.size();
    };
    auto reader = std::async(std::launch::async, [&] {
        httplib::Client client = Client();
        client.Get("/host/events", [&](const char* data, size_t length) {
            const std::string chunk(data, length);
            std::lock_guard<std::mutex> lock(mutex);
            for (size_t at = chunk.find("data: "); at != std::string::npos; at = chunk.find("data: ", at + 1)) {
                heard.push_back(std::stoull(chunk.substr(at + 6)));
                if (heard.size() == 1) firstHeard.set_value();
            }
            return heard.size() < 2;
        });
    });
    ASSERT_EQ(firstHeard.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    // Nothing changes for longer than a wait of the stream: nothing is sent.
    MainQueue::PumpUntil([] { return false; }, std::chrono::milliseconds(1300));
    ASSERT_EQ(count(), 1u);
    EXPECT_EQ(heard[0], first);
    ASSERT_EQ(ACAPI_CallUndoableCommand("Quillmere: Create Wall",
                                        [] {
                                            API_Element e = HostTesting::MakeElement(API_WallID);
                                            return ACAPI_Element_Create(&e, nullptr);
                                        }),
              NoError);
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1], HostTesting::ProjectRevision());
    EXPECT_NE(heard[1], first);
}

// Replies go out uncompressed whatever the browser offers.
TEST_F(ShellServerTest, TextRepliesAreSentAsTheyAreToABrowserOfferingCompression)
{
    httplib::Client client("127.0.0.1", port);
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
}

}  // namespace

// A reloaded page hears every script since its document was served, even one that the stream
// of the page it replaces took while going away (the replay of the conversation, say).
TEST_F(ShellServerTest, ANewPageHearsEveryScriptSinceItsDocumentWasServed)
{
    const std::string document = HomeDir() + "/page.html";
    std::ofstream(document) << "<html><head></head><body></body></html>";
    DG::Palette palette(GS::Guid("11111111-2222-3333-4444-555555555555"), "Test");
    DG::Browser browser(palette);
    browser.LoadURL(GS::UniString(("file://" + document).c_str()));
    const std::string base = "/browser/" + std::to_string(browser.GetId());
    const auto outbox = PaletteHost::FindBrowser(browser.GetId())->outbox;
    browser.ExecuteJS(GS::UniString("before()"));
    outbox->WaitAfter(0, 0);  // the old page's stream takes it
    const auto page = Client().Get(base + "/page");
    ASSERT_TRUE(page && page->status == 200);
    const size_t at = page->body.find("var AFTER = ");
    ASSERT_NE(at, std::string::npos);
    const std::string after = page->body.substr(at + 12, page->body.find(';', at) - at - 12);
    browser.ExecuteJS(GS::UniString("replay()"));
    outbox->WaitAfter(outbox->LastTaken(), 0);  // ... and this one too, before the browser closes it
    std::string heard;
    Client().Get(base + "/events?token=" + server.Token() + "&after=" + after, [&](const char* data, size_t length) {
        heard.append(data, length);
        return heard.find("\n\n") == std::string::npos;
    });
    EXPECT_NE(heard.find("data: replay()"), std::string::npos) << heard;
    EXPECT_EQ(heard.find("before()"), std::string::npos) << "a script for the old document";
}
