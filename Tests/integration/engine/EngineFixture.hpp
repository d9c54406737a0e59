#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "MainQueue.hpp"
#include "QuillmereTest.hpp"
#include "core/HttpClient.hpp"
#include "engine/ModelBridge.hpp"

using Events = std::vector<std::string>;

// An Anthropic request as it would be without its prompt-cache marks: the system prompt as
// plain text, no "cache_control" anywhere.
inline json Unmarked(json node)
{
    if (node.is_object()) {
        node.erase("cache_control");
        const auto system = node.find("system");
        if (system != node.end() && system->is_array() && system->size() == 1) *system = (*system)[0]["text"];
    }
    if (node.is_structured())
        for (json& child : node) child = Unmarked(std::move(child));
    return node;
}

// Both model services on one 127.0.0.1 port (their paths differ): scripted replies in order,
// then an error reply; every request is recorded.
class FakeModelServer {
public:
    // body: the request without its prompt-cache marks, so that tests of other matters compare
    // only what they test; raw: the bytes as sent, marks and all.
    struct Request {
        std::string path;
        std::map<std::string, std::string> headers;
        json body;
        std::string raw;
    };

    FakeModelServer()
    {
        server.Post(".*", [this](const httplib::Request& in, httplib::Response& out) {
            std::unique_lock<std::mutex> lock(mutex);
            requests.push_back({in.path,
                                {in.headers.begin(), in.headers.end()},
                                Unmarked(json::parse(in.body, nullptr, false)),
                                in.body});
            Reply reply = script.empty() ? unscripted : script.front();
            if (!script.empty()) script.pop_front();
            changed.notify_all();
            changed.wait(lock, [&] { return !reply.stall || released; });
            out.status = reply.status;
            out.set_content(reply.body, "application/json");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::yield();  // a stop() before the accept loop would be lost
    }
    ~FakeModelServer()
    {
        Release();
        server.stop();
        thread.join();
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port); }
    // A string body is sent as it is (not as JSON); a stalled reply waits for Release().
    void Script(const json& body, int status = 200, bool stall = false)
    {
        std::lock_guard<std::mutex> lock(mutex);
        script.push_back({status, body.is_string() ? body.get<std::string>() : body.dump(), stall});
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }
    std::vector<Request> Requests() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return requests;
    }
    bool WaitForRequests(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return requests.size() >= n; });
    }

private:
    struct Reply {
        int status;
        std::string body;
        bool stall;
    };
    httplib::Server server;
    int port = 0;
    std::thread thread;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Reply> script;
    const Reply unscripted{500, R"({"error":{"message":"unscripted request"}})", false};
    std::vector<Request> requests;
    bool released = false;
};

// Replies as the two services write them. A string input is sent as OpenAI's raw arguments.
struct Call {
    std::string id, name;
    json input;
};

inline json AnthropicReply(const std::string& text, const std::vector<Call>& calls = {})
{
    json content = text.empty() ? json::array() : json::array({{{"type", "text"}, {"text", text}}});
    for (const Call& call : calls)
        content.push_back({{"type", "tool_use"}, {"id", call.id}, {"name", call.name}, {"input", call.input}});
    return {{"role", "assistant"}, {"content", content}, {"stop_reason", calls.empty() ? "end_turn" : "tool_use"}};
}

inline json OpenAIReply(const std::string& text, const std::vector<Call>& calls = {})
{
    json message{{"role", "assistant"}, {"content", text.empty() ? json() : json(text)}};
    for (const Call& call : calls) {
        const std::string arguments = call.input.is_string() ? call.input.get<std::string>() : call.input.dump();
        message["tool_calls"].push_back(
            {{"id", call.id}, {"type", "function"}, {"function", {{"name", call.name}, {"arguments", arguments}}}});
    }
    return {
        {"choices", json::array({{{"message", message}, {"finish_reason", calls.empty() ? "stop" : "tool_calls"}}})}};
}

// An engine pointed at the fake services, with the test thread as the main thread: it drains
// the main queue while it waits, so tools and callbacks run on it.
class EngineTest : public QuillmereTest {
public:
    static constexpr const char* kAnthropicKey = "sk-ant-secret-0123456789";
    static constexpr const char* kOpenAIKey = "sk-openai-secret-9876543210";
    static constexpr const char* kWarning = "\xE2\x9A\xA0 ";
    // A request timeout longer than any test may take: a request that ends early was aborted.
    static constexpr long kNoTimeout = 3600L * 1000;

protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        auto owned = std::make_unique<ToolRegistry>();
        bridgeRegistry = owned.get();
        bridge = std::make_unique<ModelBridge>(std::move(owned));
        bridge->SetBaseUrls(server.Url(), server.Url());
        bridge->SetApiKeys(kAnthropicKey, kOpenAIKey);
        bridge->SetModel("claude-test-model");
        bridge->SetCallbacks(
            [this](const std::string& text) {
                Note("text:" + text);
                texts.push_back(text);
            },
            [this](bool busy) {
                Note(busy ? "busy:on" : "busy:off");
                turnsEnded += busy ? 0 : 1;
            },
            [this](const std::string& name, bool ok, const std::string& detail) {
                Note("tool:" + name + (ok ? ":ok:" : ":failed:") + detail);
            });
    }
    void TearDown() override
    {
        bridge.reset();
        Quillmere::SetHttpTimeoutOverrideForTesting(0);
        QuillmereTest::TearDown();
        EXPECT_TRUE(allOnMainThread) << "a callback ran off the main thread";
    }

    void Note(const std::string& event)
    {
        allOnMainThread = allOnMainThread && MainQueue::IsMainThread();
        events.push_back(event);
    }
    bool WaitForTurns(int n)
    {
        return MainQueue::PumpUntil([&] { return turnsEnded >= n; }, std::chrono::seconds(30));
    }
    // Sends a plain message and waits for its turn to end.
    bool Send(const std::string& text)
    {
        const int target = turnsEnded + 1;
        bridge->SendMessage(text);
        return WaitForTurns(target);
    }
    // Keeps the main thread away until the worker has posted the busy flag, the text and the tool call.
    bool WaitForPostedToolCall()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (MainQueue::PendingCount() < 3 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return MainQueue::PendingCount() >= 3;
    }
    void AddTool(const std::string& name, std::function<ToolResult(const json&)> handler)
    {
        bridgeRegistry->Register(
            {name, "Test tool", {{"type", "object"}, {"properties", json::object()}}, std::move(handler)});
    }
    FakeModelServer server;
    // The bridge's own registry (the fixture's registry is not the one the engine runs).
    ToolRegistry* bridgeRegistry = nullptr;
    std::unique_ptr<ModelBridge> bridge;
    Events events, texts;
    int turnsEnded = 0;
    bool allOnMainThread = true;
};
