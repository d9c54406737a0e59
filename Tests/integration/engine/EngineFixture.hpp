#pragma once

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeModelServer.hpp"
#include "MainQueue.hpp"
#include "core/ModelBridge.hpp"
#include "core/ToolRegistry.hpp"
#include "palette/DebugLog.hpp"

#include <unistd.h>

// An engine pointed at two fake services, with the test thread as the main thread: it
// drains the main queue while it waits, so tools and callbacks run on it.
class EngineTest : public ::testing::Test {
public:
    static constexpr const char* kAnthropicKey = "sk-ant-secret-0123456789";
    static constexpr const char* kOpenAIKey = "sk-openai-secret-9876543210";

protected:

    void SetUp() override
    {
        debugLogPath = "/tmp/quillmere_engine_test_" + std::to_string(::getpid()) + ".log";
        std::remove(debugLogPath.c_str());
        SetDebugLogPath(debugLogPath);
        MainQueue::SetMainThread();
        MainQueue::DiscardPending();
        auto owned = std::make_unique<ToolRegistry>();
        registry = owned.get();
        bridge = std::make_unique<ModelBridge>(std::move(owned));
        bridge->SetBaseUrls(anthropic.BaseUrl(), openai.BaseUrl());
        bridge->SetApiKeys(kAnthropicKey, kOpenAIKey);
        bridge->SetModel("claude-test-model");
        bridge->SetCallbacks(
            [this](const std::string& text) {
                Note("text:" + text);
                texts.push_back(text);
            },
            [this](bool busy) {
                Note(busy ? "busy:on" : "busy:off");
                if (!busy) {
                    ++turnsEnded;
                }
            },
            [this](const std::string& name, bool success, const std::string& detail) {
                Note("tool:" + name + ":" + (success ? "ok" : "failed") + ":" + detail);
            });
    }

    void TearDown() override
    {
        bridge.reset();
        MainQueue::DrainUntilIdle();
        EXPECT_TRUE(everythingOnMainThread) << "a callback ran off the main thread";
        SetDebugLogPath("");
        std::remove(debugLogPath.c_str());
    }

    std::string DebugLogText() const
    {
        std::ifstream in(debugLogPath);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void Note(const std::string& event)
    {
        everythingOnMainThread = everythingOnMainThread && MainQueue::IsMainThread();
        events.push_back(event);
    }

    // Drains the main queue until n turns have ended.
    bool WaitForTurns(int n)
    {
        return MainQueue::PumpUntil([&] { return turnsEnded >= n; }, std::chrono::seconds(30));
    }

    void AddTool(const std::string& name, std::function<ToolResult(const nlohmann::json&)> handler)
    {
        registry->Register(ToolDef{name, "Test tool " + name,
                                   {{"type", "object"}, {"properties", nlohmann::json::object()}},
                                   std::move(handler)});
    }

    // The last message of a recorded request's "messages".
    static nlohmann::json LastMessage(const FakeModelServer::Received& request)
    {
        return request.json.at("messages").back();
    }

    FakeModelServer anthropic;
    FakeModelServer openai;
    ToolRegistry* registry = nullptr;
    std::unique_ptr<ModelBridge> bridge;
    std::vector<std::string> events;
    std::vector<std::string> texts;
    std::string debugLogPath;
    int turnsEnded = 0;
    bool everythingOnMainThread = true;
};
