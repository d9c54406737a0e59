#pragma once
// Ground of the render tests: the render family on a fresh registry against a fake product
// service, the plan view installed as the host window's picture, polls paced at a millisecond,
// a private temporary folder that must be empty again after every call, and the reports the
// poll threads post, as the palette would receive them on the main thread.
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "FakeProductService.hpp"
#include "HostTestingWindow.hpp"
#include "MainQueue.hpp"
#include "PlanWindow.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/recognition/RenderJobs.hpp"

using Reply = FakeProductService::Reply;

class RenderToolsTest : public QuillmereTest {
protected:
    struct Report {
        std::string kind;           // "preview" or "card"
        std::string first, second;  // image and download address, or tool name and detail
        bool success = false;
        bool onMainThread = false;
    };

    void SetUp() override
    {
        QuillmereTest::SetUp();
        MainQueue::SetMainThread();
        HostTesting::SetMainThread();
        MainQueue::DiscardPending();
        HostTesting::ResetWindows();
        PlanWindow::Install();
        RenderJobs::SetPollInterval(std::chrono::milliseconds(1));
        tmp = std::make_unique<TempDirScope>("quillmere-render-tmp");
        RegisterRenderTools(registry, PreviewRecorder(), CardRecorder());
    }
    void TearDown() override
    {
        EXPECT_TRUE(RenderJobs::StopAll(std::chrono::seconds(10)));
        MainQueue::DrainUntilIdle();
        RenderJobs::SetPollInterval(std::chrono::seconds(1));
        HostTesting::ResetWindows();
        tmp.reset();
        QuillmereTest::TearDown();
    }

    ChatPreview PreviewRecorder()
    {
        return [this](const std::string& image, const std::string& download) {
            reports.push_back({"preview", image, download, true, MainQueue::IsMainThread()});
        };
    }
    ChatToolResult CardRecorder()
    {
        return [this](const std::string& tool, bool success, const std::string& detail) {
            reports.push_back({"card", tool, detail, success, MainQueue::IsMainThread()});
        };
    }

    // Pumps the main queue until every poll thread has ended and its report has run.
    void WaitForPolls()
    {
        ASSERT_TRUE(MainQueue::PumpUntil([] { return RenderJobs::Running() == 0; }, std::chrono::seconds(20)));
        MainQueue::DrainUntilIdle();
    }

    static std::string CaptureName() { return "quillmere_capture_" + std::to_string(::getpid()) + ".png"; }
    static Reply Json(const json& body, int status = 200) { return Reply{status, body.dump()}; }
    static Reply Status(const std::string& word) { return Json({{"status", word}}); }
    bool TmpEmpty() const { return tmp->Empty(); }
    std::size_t Count(const std::string& route) const { return service.Count(route); }

    FakeProductService service;
    ServiceUrlScope scope{service.BaseUrl()};
    std::unique_ptr<TempDirScope> tmp;
    std::vector<Report> reports;
};
