// Following a started job: every way a job can end gives exactly one report on the main
// queue, within 45 status requests and at most one result request.
#include "RenderToolsTest.hpp"

namespace {

const char* const kTool = "render_current_view";

}  // namespace

TEST_F(RenderToolsTest, EveryEndingOfAJobGivesExactlyOneReport)
{
    struct Case {
        std::string name;
        std::vector<Reply> status;
        std::vector<Reply> result;
        std::size_t statusRequests;
        std::size_t resultRequests;
        Report expected;
    };
    const Reply doneReply = Status("done");
    const Reply image =
        Json({{"image_url", "https://cdn.test/r.png"}, {"download_url", "https://cdn.test/r.png?dl=1"}});
    const std::vector<Reply> running44(44, Status("running"));
    auto then = [](std::vector<Reply> first, const Reply& last) {
        first.push_back(last);
        return first;
    };
    const std::vector<Case> cases = {
        {"done at the first poll",
         {doneReply},
         {image},
         1,
         1,
         {"preview", "https://cdn.test/r.png", "https://cdn.test/r.png?dl=1", true}},
        {"download address not on the web",
         {doneReply},
         {Json({{"image_url", "https://cdn.test/a.png"}, {"download_url", "javascript:alert(1)"}})},
         1,
         1,
         {"preview", "https://cdn.test/a.png", "https://cdn.test/a.png", true}},
        {"image address not on the web",
         {doneReply},
         {Json({{"image_url", "javascript:alert(1)"}})},
         1,
         1,
         {"card", kTool, "Render completed but no image URL returned"}},
        {"error with text",
         {Json({{"status", "error"}, {"error", "GPU quota exceeded"}})},
         {},
         1,
         0,
         {"card", kTool, "GPU quota exceeded"}},
        {"done in other letters", {Status("DONE")}, {}, 45, 0, {"card", kTool, "Render timed out after 45s"}},
        {"bodies that are no object count",
         {Reply{200, "null"}, Reply{200, "[]"}, Reply{200, "busy"}, doneReply},
         {image},
         4,
         1,
         {"preview", "https://cdn.test/r.png", "https://cdn.test/r.png?dl=1", true}},
        {"done at the last poll",
         then(running44, doneReply),
         {image},
         45,
         1,
         {"preview", "https://cdn.test/r.png", "https://cdn.test/r.png?dl=1", true}},
        {"done after the last poll",
         then(then(running44, Status("running")), doneReply),
         {image},
         45,
         0,
         {"card", kTool, "Render timed out after 45s"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service.ClearRequests();
        reports.clear();
        service.Script("GET /render/status", c.status);
        service.Script("GET /render/result", c.result.empty() ? std::vector<Reply>{Reply{500, ""}} : c.result);
        RenderJobs::StartPolling("job-1", PreviewRecorder(), CardRecorder());
        WaitForPolls();
        EXPECT_EQ(service.Count("GET /render/status"), c.statusRequests);
        EXPECT_EQ(service.Count("GET /render/result"), c.resultRequests);
        ASSERT_EQ(reports.size(), 1u);
        const Report& got = reports.front();
        EXPECT_EQ(std::tie(got.kind, got.first, got.second, got.success),
                  std::tie(c.expected.kind, c.expected.first, c.expected.second, c.expected.success));
        EXPECT_TRUE(got.onMainThread);
        for (const auto& request : service.Requests()) {
            EXPECT_EQ(request.Header("X-Quillmere-Dev"), "1");
            EXPECT_EQ(request.target.substr(request.path.size()), "?job_id=job-1");
        }
    }
}

TEST_F(RenderToolsTest, TheJobIdGoesIntoTheQueryEscapedOnlyWhereItMustBe)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"a b&admin=1#x", "a%20b%26admin%3D1%23x"},
    };
    service.Script("GET /render/status", Status("done"));
    service.Script("GET /render/result", Json({{"image_url", "https://cdn.test/r.png"}}));
    for (const auto& [jobId, query] : cases) {
        SCOPED_TRACE(jobId);
        service.ClearRequests();
        RenderJobs::StartPolling(jobId, PreviewRecorder(), CardRecorder());
        WaitForPolls();
        const auto requests = service.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].target, "/render/status?job_id=" + query);
        EXPECT_EQ(requests[1].target, "/render/result?job_id=" + query);
    }
}

TEST_F(RenderToolsTest, TheToolReturnsBeforeTheJobEndsAndItsPollReportsLater)
{
    // The first status reply comes slowly: the tool's result must not wait for it.
    service.Script("POST /render/start", Json({{"job_id", ""}}));
    service.Script("GET /render/status",
                   Reply{200, json({{"status", "done"}}).dump(), "application/json", std::chrono::milliseconds(1000)});
    service.Script("GET /render/result", Json({{"image_url", "https://cdn.test/e.png"}}));
    const auto started = std::chrono::steady_clock::now();
    const ToolResult result = Run("render_current_view", json::object());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(json::parse(result.message)["job_id"], "");
    EXPECT_TRUE(reports.empty());
    WaitForPolls();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, "https://cdn.test/e.png");
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].target, "/render/status?job_id=");
}
