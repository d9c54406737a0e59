#pragma once
// Ground of the plan tool tests: the family registered on a fresh registry against a fake
// product service, an engine whose current message carries the attachments a test gives it,
// and a private temporary folder that must be empty again after every upload.
#include <memory>
#include <string>
#include <vector>

#include "FakeProductService.hpp"
#include "MainQueue.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"
#include "engine/ModelBridge.hpp"
#include "tools/ToolFamilies.hpp"

using json = nlohmann::json;
using Reply = FakeProductService::Reply;

class PlanToolsTest : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        MainQueue::SetMainThread();
        MainQueue::DiscardPending();
        tmp = std::make_unique<TempDirScope>("quillmere-plan-tmp");
        auto owned = std::make_unique<ToolRegistry>();
        engineRegistry = owned.get();
        bridge = std::make_unique<ModelBridge>(std::move(owned));
        bridge->SetBaseUrls(service.BaseUrl(), service.BaseUrl());
        bridge->SetApiKeys("test-key", "test-key");
        bridge->SetModel("claude-test-model");
        bridge->SetCallbacks([](const std::string&) {}, [](bool) {},
                             [](const std::string&, bool, const std::string&) {});
        for (ToolRegistry* r : {&registry, engineRegistry}) {
            RegisterPlanTools(
                *r,
                [this](const std::string& image, const std::string& download) {
                    previews.push_back({image, download});
                },
                [this](const std::string&, bool, const std::string&) { ++toolResultCalls; }, *bridge);
        }
    }
    void TearDown() override
    {
        bridge.reset();
        MainQueue::DrainUntilIdle();
        EXPECT_EQ(toolResultCalls, 0) << "no plan tool reports through the tool-result callback";
        tmp.reset();
        QuillmereTest::TearDown();
    }

    // One engine turn with these attachment blocks ({media type, base64}), answered by the
    // fake model with plain text: the message's attachments stay current until the next one.
    void Attach(const std::vector<std::pair<std::string, std::string>>& attachments)
    {
        json content = json::array({{{"type", "text"}, {"text", "my plan"}}});
        for (const auto& [mediaType, data] : attachments)
            content.push_back({{"type", mediaType == "application/pdf" ? "document" : "image"},
                               {"source", {{"type", "base64"}, {"media_type", mediaType}, {"data", data}}}});
        service.Script("POST /v1/messages", Reply{200, EndTurn("Seen.")});
        bridge->SendMessageWithAttachments(content);
        ASSERT_TRUE(MainQueue::PumpUntil([&] { return !bridge->IsBusy(); }, std::chrono::seconds(20)));
        service.ClearRequests();
    }
    static std::string EndTurn(const std::string& text)
    {
        return json({{"role", "assistant"},
                     {"content", {{{"type", "text"}, {"text", text}}}},
                     {"stop_reason", "end_turn"}})
            .dump();
    }
    bool TmpEmpty() const { return tmp->Empty(); }
    // Requests to the plan service only (the fake model shares the server).
    std::vector<FakeProductService::Request> PlanRequests() const
    {
        std::vector<FakeProductService::Request> out;
        for (const auto& r : service.Requests())
            if (r.path.rfind("/plans/", 0) == 0) out.push_back(r);
        return out;
    }

    FakeProductService service;
    ServiceUrlScope scope{service.BaseUrl()};
    std::unique_ptr<TempDirScope> tmp;
    ToolRegistry* engineRegistry = nullptr;
    std::unique_ptr<ModelBridge> bridge;
    std::vector<std::pair<std::string, std::string>> previews;
    int toolResultCalls = 0;
};
