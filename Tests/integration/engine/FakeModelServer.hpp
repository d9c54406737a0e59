#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

// A language-model service on 127.0.0.1, answering with scripted replies in order and
// recording every request it receives. With the script used up it repeats the fallback.
class FakeModelServer {
public:
    struct Reply {
        int status = 200;
        std::string body;
        bool stall = false;  // hold the request until the server stops or Release() is called
    };

    struct Received {
        std::string path;
        std::map<std::string, std::string> headers;
        std::string body;
        nlohmann::json json;
    };

    FakeModelServer()
    {
        server.Post(".*", [this](const httplib::Request& request, httplib::Response& response) {
            Reply reply = Next(request);
            if (reply.stall) {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [this] { return released; });
            }
            response.status = reply.status;
            response.set_content(reply.body, "application/json");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        // stop() before the accept loop has begun would be lost and the join would hang.
        while (!server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    ~FakeModelServer()
    {
        Release();
        server.stop();
        thread.join();
    }

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port); }

    void Script(Reply reply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        script.push_back(std::move(reply));
    }
    void ScriptJson(const nlohmann::json& body) { Script(Reply{200, body.dump(), false}); }
    void SetFallback(Reply reply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        fallback = std::move(reply);
    }

    void Release()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            released = true;
        }
        changed.notify_all();
    }

    std::vector<Received> Requests() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }
    std::size_t RequestCount() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return received.size();
    }
    // Waits (bounded) until n requests have arrived.
    bool WaitForRequests(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return received.size() >= n; });
    }

private:
    Reply Next(const httplib::Request& request)
    {
        Received entry;
        entry.path = request.path;
        for (const auto& header : request.headers) {
            entry.headers[header.first] = header.second;
        }
        entry.body = request.body;
        entry.json = nlohmann::json::parse(request.body, nullptr, false);
        std::lock_guard<std::mutex> lock(mutex);
        received.push_back(std::move(entry));
        changed.notify_all();
        if (script.empty()) {
            return fallback;
        }
        Reply reply = std::move(script.front());
        script.pop_front();
        return reply;
    }

    httplib::Server server;
    int port = 0;
    std::thread thread;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Reply> script;
    Reply fallback{500, R"({"error":{"message":"unscripted request"}})", false};
    std::vector<Received> received;
    bool released = false;
};

// Reply bodies as the two services write them.
namespace FakeReplies {

inline nlohmann::json AnthropicText(const std::string& text)
{
    return {{"id", "msg_1"},
            {"type", "message"},
            {"role", "assistant"},
            {"content", {{{"type", "text"}, {"text", text}}}},
            {"stop_reason", "end_turn"}};
}

struct Call {
    std::string id;
    std::string name;
    nlohmann::json input;
};

inline nlohmann::json AnthropicTools(const std::string& text, const std::vector<Call>& calls)
{
    nlohmann::json content = nlohmann::json::array();
    if (!text.empty()) {
        content.push_back({{"type", "text"}, {"text", text}});
    }
    for (const Call& call : calls) {
        content.push_back({{"type", "tool_use"}, {"id", call.id}, {"name", call.name}, {"input", call.input}});
    }
    return {{"id", "msg_2"}, {"type", "message"}, {"role", "assistant"}, {"content", content},
            {"stop_reason", "tool_use"}};
}

inline nlohmann::json OpenAIText(const std::string& text)
{
    return {{"id", "chatcmpl-1"},
            {"object", "chat.completion"},
            {"choices",
             {{{"index", 0},
               {"message", {{"role", "assistant"}, {"content", text}}},
               {"finish_reason", "stop"}}}}};
}

inline nlohmann::json OpenAITools(const std::string& text, const std::vector<Call>& calls)
{
    nlohmann::json toolCalls = nlohmann::json::array();
    for (const Call& call : calls) {
        toolCalls.push_back({{"id", call.id},
                             {"type", "function"},
                             {"function", {{"name", call.name}, {"arguments", call.input.dump()}}}});
    }
    nlohmann::json message{{"role", "assistant"},
                           {"content", text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text)},
                           {"tool_calls", toolCalls}};
    return {{"id", "chatcmpl-2"},
            {"object", "chat.completion"},
            {"choices", {{{"index", 0}, {"message", message}, {"finish_reason", "tool_calls"}}}}};
}

}  // namespace FakeReplies
