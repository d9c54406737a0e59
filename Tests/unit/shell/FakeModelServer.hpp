#pragma once

// A fake Anthropic Messages endpoint on 127.0.0.1 for the palette tests: answers each
// request with the next scripted reply and records what it received.

#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

class FakeModelServer {
public:
    struct Received {
        std::string apiKey;
        nlohmann::json body;
    };

    FakeModelServer()
    {
        server.Post("/v1/messages", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(Received{req.get_header_value("x-api-key"), nlohmann::json::parse(req.body, nullptr, false)});
            if (replies.empty()) {
                res.status = 500;
                res.set_content(R"({"type":"error","error":{"type":"api_error","message":"unscripted"}})", "application/json");
                return;
            }
            res.set_content(replies.front().dump(), "application/json");
            replies.pop_front();
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
    }

    ~FakeModelServer()
    {
        server.stop();
        thread.join();
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port); }

    void ScriptText(const std::string& text)
    {
        Script({{"id", "msg"}, {"type", "message"}, {"role", "assistant"}, {"model", "m"},
                {"content", {{{"type", "text"}, {"text", text}}}}, {"stop_reason", "end_turn"},
                {"usage", {{"input_tokens", 1}, {"output_tokens", 1}}}});
    }

    void ScriptToolUse(const std::string& name, const nlohmann::json& input)
    {
        Script({{"id", "msg"}, {"type", "message"}, {"role", "assistant"}, {"model", "m"},
                {"content", {{{"type", "tool_use"}, {"id", "toolu_" + std::to_string(++toolIds)}, {"name", name}, {"input", input}}}},
                {"stop_reason", "tool_use"}, {"usage", {{"input_tokens", 1}, {"output_tokens", 1}}}});
    }

    std::vector<Received> Requests()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }

private:
    void Script(const nlohmann::json& reply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        replies.push_back(reply);
    }

    httplib::Server server;
    int port = 0;
    std::thread thread;
    std::mutex mutex;
    std::deque<nlohmann::json> replies;
    std::vector<Received> received;
    int toolIds = 0;
};
