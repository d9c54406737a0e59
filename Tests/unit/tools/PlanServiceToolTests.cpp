// The four plan tools that talk to the recognition service: what they send, what they make of
// each kind of reply, and the overlay preview the status tool shows.

#include "PlanToolsTest.hpp"

#include "core/HttpClient.hpp"

namespace {

const std::string kPdf("%PDF-1.4\n\x00\xff\xfe binary", 19);
const std::string kPdfBase64 = "JVBERi0xLjQKAP/+IGJp\r\nbmFyeQ==";  // broken into lines as mail does
const std::string kPng = "UE5HMQ==";                                // "PNG1"

struct Outcome {
    bool success;
    std::string text;  // the message on success, the error on failure
};

void ExpectOutcome(const ToolResult& r, const Outcome& expected)
{
    EXPECT_EQ(r.success, expected.success) << (r.success ? r.message : r.error);
    EXPECT_EQ(r.success ? r.message : r.error, expected.text);
    EXPECT_EQ(r.elementGuid, "");
}

}  // namespace

TEST_F(PlanToolsTest, TheUploadSendsTheDecodedAttachmentAsItsOnlyFilePartAndLeavesNoFile)
{
    Attach({{"image/png", kPng}, {"application/pdf", kPdfBase64}, {"", kPng}, {"image/jpeg", kPng}});
    service.Script("POST /plans/upload",
                   Reply{201, R"({"plan_id":"p-1","filename":"plan.pdf","size_bytes":1234,"stored":true})"});
    const struct {
        int index;
        const char* filename;
        const char* contentType;
        std::string bytes;
    } cases[] = {
        {1, "quillmere_plan_upload.pdf", "application/pdf", kPdf},
        {2, "quillmere_plan_upload.png", "image/png", "PNG1"},  // no media type given
        {3, "quillmere_plan_upload.jpg", "image/jpeg", "PNG1"},
        {0, "quillmere_plan_upload.png", "image/png", "PNG1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filename);
        service.ClearRequests();
        const ToolResult result = c.index == 0 ? Run("upload_reference_plan", json::object())
                                               : Run("upload_reference_plan", {{"attachment_index", c.index}});
        ExpectOutcome(result,
                      {true, R"({"filename":"plan.pdf","plan_id":"p-1","size_bytes":1234,"status":"uploaded"})"});
        const auto requests = PlanRequests();
        ASSERT_EQ(requests.size(), 1u);
        const auto& sent = requests[0];
        EXPECT_EQ(sent.method + " " + sent.target, "POST /plans/upload");
        EXPECT_EQ(sent.Header("X-Quillmere-Dev"), "1");
        EXPECT_EQ(sent.headers.count("Authorization"), 0u);
        ASSERT_TRUE(sent.multipartWellFormed) << sent.body;
        ASSERT_EQ(sent.parts.size(), 1u) << "no plain fields, one file";
        EXPECT_EQ(sent.parts[0].name, "file");
        EXPECT_EQ(sent.parts[0].filename, c.filename);
        EXPECT_EQ(sent.parts[0].contentType, c.contentType);
        EXPECT_TRUE(sent.parts[0].content == c.bytes);
        EXPECT_TRUE(TmpEmpty()) << "the upload's file or folder was left behind";
    }
}

TEST_F(PlanToolsTest, UploadRefusalsBeforeTheRequestSendNothingAndWriteNothing)
{
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> attachments;
        json input;
        std::string error;
    } cases[] = {
        {"no attachments", {}, json::object(), "No attachment found at index 0"},
        {"negative index", {{"image/png", kPng}}, {{"attachment_index", -1}}, "No attachment found at index -1"},
        {"index past the end", {{"image/png", kPng}}, {{"attachment_index", 1}}, "No attachment found at index 1"},
        {"fraction cut toward zero", {}, {{"attachment_index", 1.9}}, "No attachment found at index 1"},
        {"not base64 at all", {{"image/png", "@@@@"}}, json::object(), "Failed to decode attachment"},
        {"cut short", {{"image/png", "UE5HM"}}, json::object(), "Failed to decode attachment"},
        {"index of the wrong type",
         {{"image/png", kPng}},
         {{"attachment_index", "0"}},
         "[json.exception.type_error.302] type must be number, but is string"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Attach(c.attachments);
        ExpectOutcome(Run("upload_reference_plan", c.input), {false, c.error});
        EXPECT_TRUE(PlanRequests().empty());
        EXPECT_TRUE(TmpEmpty());
    }
}

TEST_F(PlanToolsTest, UploadRepliesAreJudgedByStatusThenForm)
{
    Attach({{"image/png", kPng}});
    Quillmere::SetHttpTimeoutOverrideForTesting(300);
    const struct {
        const char* what;
        Reply reply;
        Outcome outcome;
    } cases[] = {
        {"not found", {404, R"({"plan_id":"p"})"}, {false, "Upload failed: HTTP 404"}},
        {"server error with a plan id", {500, R"({"plan_id":"p"})"}, {false, "Upload failed: HTTP 500"}},
        {"just above success", {300, R"({"plan_id":"p"})"}, {false, "Upload failed: HTTP 300"}},
        {"last success status",
         {299, R"({"plan_id":"p"})"},
         {true, R"({"filename":"","plan_id":"p","size_bytes":0,"status":"uploaded"})"}},
        {"numeric plan id only",
         {200, R"({"plan_id":7})"},
         {true, R"({"filename":"","plan_id":7,"size_bytes":0,"status":"uploaded"})"}},
        {"null plan id, size as true",
         {200, R"({"plan_id":null,"size_bytes":true})"},
         {true, R"({"filename":"","plan_id":null,"size_bytes":1,"status":"uploaded"})"}},
        {"size with a fraction",
         {200, R"({"plan_id":"p","size_bytes":42.7})"},
         {true, R"({"filename":"","plan_id":"p","size_bytes":42,"status":"uploaded"})"}},
        {"size beyond 32 bits",
         {200, R"({"plan_id":"p","size_bytes":1e20})"},
         {true, R"({"filename":"","plan_id":"p","size_bytes":2147483647,"status":"uploaded"})"}},
        {"array", {200, R"([{"plan_id":"p"}])"}, {false, "Invalid response from server"}},
        {"plain text", {200, "uploaded"}, {false, "Invalid response from server"}},
        {"no plan id", {200, R"({"id":"p"})"}, {false, "Invalid response from server"}},
        {"comment in the JSON", {200, R"({"plan_id":"p"} // ok)"}, {false, "Invalid response from server"}},
        {"file name of the wrong type",
         {200, R"({"plan_id":"p","filename":5})"},
         {false, "[json.exception.type_error.302] type must be string, but is number"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        service.Script("POST /plans/upload", c.reply);
        ExpectOutcome(Run("upload_reference_plan", json::object()), c.outcome);
        EXPECT_TRUE(TmpEmpty());
    }

    // A service that drops the connection, one that stalls past the timeout, none listening.
    Reply dropped;
    dropped.close = true;
    Reply stalled{200, R"({"plan_id":"late"})"};
    stalled.delay = std::chrono::milliseconds(3000);
    for (const Reply& reply : {dropped, stalled}) {
        service.Script("POST /plans/upload", reply);
        const ToolResult result = Run("upload_reference_plan", json::object());
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error.rfind("Upload failed: ", 0), 0u) << result.error;
        EXPECT_GT(result.error.size(), std::string("Upload failed: ").size());
        EXPECT_TRUE(TmpEmpty());
    }
    Quillmere::SetHttpTimeoutOverrideForTesting(0);
    ::setenv("QUILLMERE_SERVICE_URL", FakeProductService::ClosedBaseUrl().c_str(), 1);
    const ToolResult refused = Run("upload_reference_plan", json::object());
    EXPECT_EQ(refused.error.rfind("Upload failed: ", 0), 0u);
    EXPECT_GT(refused.error.size(), 15u);
    ::unsetenv("QUILLMERE_SERVICE_URL");
    ExpectOutcome(Run("upload_reference_plan", json::object()), {false, "Upload failed: Invalid URL: /plans/upload"});
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(PlanToolsTest, JobToolsSendTheirRequestsWithTheIdAsOnePathSegment)
{
    service.Script("POST /plans/p-1/extract", Reply{202, "not json at all"});
    service.Script("GET /plans/p-1/status", Reply{200, R"({"status":"running"})"});
    service.Script("GET /plans/p-1/detections", Reply{200, "[]"});
    service.Script("GET /plans/a%20b%2F..%3Fx%3D1/status", Reply{200, "{}"});
    ExpectOutcome(Run("start_plan_extraction", {{"plan_id", "p-1"}}),
                  {true, R"({"plan_id":"p-1","status":"extracting"})"});
    EXPECT_TRUE(Run("get_plan_extraction_status", {{"plan_id", "p-1"}}).success);
    EXPECT_TRUE(Run("get_plan_detections", {{"plan_id", "p-1"}}).success);
    ExpectOutcome(Run("get_plan_extraction_status", {{"plan_id", "a b/..?x=1"}}),
                  {true, R"({"plan_id":"a b/..?x=1","progress_pct":0,"stage":"","status":""})"});
    const auto requests = PlanRequests();
    ASSERT_EQ(requests.size(), 4u);
    const std::string host = service.BaseUrl().substr(7);
    using Headers = std::multimap<std::string, std::string>;
    const struct {
        const char* line;
        Headers headers;
        const char* body;
    } expected[] = {
        {"POST /plans/p-1/extract",
         {{"Host", host}, {"Content-Length", "2"}, {"Content-Type", "application/json"}, {"X-Quillmere-Dev", "1"}},
         "{}"},
        {"GET /plans/p-1/status", {{"Host", host}, {"X-Quillmere-Dev", "1"}}, ""},
        {"GET /plans/p-1/detections", {{"Host", host}, {"X-Quillmere-Dev", "1"}}, ""},
        {"GET /plans/a%20b%2F..%3Fx%3D1/status", {{"Host", host}, {"X-Quillmere-Dev", "1"}}, ""},
    };
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(requests[i].method + " " + requests[i].target, expected[i].line);
        EXPECT_EQ(requests[i].headers, expected[i].headers) << expected[i].line;
        EXPECT_EQ(requests[i].body, expected[i].body);
    }
}

TEST_F(PlanToolsTest, JobToolsRefuseAMissingIdAndNameTheirFailures)
{
    const char* tools[] = {"start_plan_extraction", "get_plan_extraction_status", "get_plan_detections"};
    const char* prefixes[] = {"Extract failed: ", "Status check failed: ", "Failed to fetch detections: "};
    const char* routes[] = {"POST /plans/p/extract", "GET /plans/p/status", "GET /plans/p/detections"};
    const char* paths[] = {"/plans/p/extract", "/plans/p/status", "/plans/p/detections"};
    for (int t = 0; t < 3; ++t) {
        SCOPED_TRACE(tools[t]);
        ExpectOutcome(Run(tools[t], json::object()), {false, "plan_id is required"});
        ExpectOutcome(Run(tools[t], {{"plan_id", ""}}), {false, "plan_id is required"});
        ExpectOutcome(Run(tools[t], {{"plan_id", 5}}),
                      {false, "[json.exception.type_error.302] type must be string, but is number"});
        EXPECT_TRUE(PlanRequests().empty());

        for (int status : {404, 300, 503}) {
            service.Script(routes[t], Reply{status, R"({"status":"done","plan_id":"p"})"});
            ExpectOutcome(Run(tools[t], {{"plan_id", "p"}}),
                          {false, prefixes[t] + std::string("HTTP ") + std::to_string(status)});
        }
        Reply dropped;
        dropped.close = true;
        service.Script(routes[t], dropped);
        const ToolResult result = Run(tools[t], {{"plan_id", "p"}});
        EXPECT_EQ(result.error.rfind(prefixes[t], 0), 0u) << result.error;
        EXPECT_GT(result.error.size(), std::string(prefixes[t]).size());
        ::unsetenv("QUILLMERE_SERVICE_URL");
        ExpectOutcome(Run(tools[t], {{"plan_id", "p"}}),
                      {false, prefixes[t] + std::string("Invalid URL: ") + paths[t]});
        ::setenv("QUILLMERE_SERVICE_URL", service.BaseUrl().c_str(), 1);
        service.ClearRequests();
    }
    EXPECT_TRUE(previews.empty());
}

TEST_F(PlanToolsTest, StatusRepliesBecomeTheResultTheModelSees)
{
    const struct {
        const char* what;
        Reply reply;
        Outcome outcome;
    } cases[] = {
        {"empty object", {200, "{}"}, {true, R"({"plan_id":"p","progress_pct":0,"stage":"","status":""})"}},
        {"running",
         {200, R"({"status":"running","progress_pct":42.7,"stage":"walls","overlay_url":"/o.png","x":1})"},
         {true, R"({"plan_id":"p","progress_pct":42,"stage":"walls","status":"running"})"}},
        {"done with counts",
         {200,
          R"({"status":"done","progress_pct":100,"wall_count":"12","room_count":[1],"opening_count":{"d":2},"bbox_est":[0,0,9,7],"error":null})"},
         {true,
          R"({"bbox_est":[0,0,9,7],"error":null,"opening_count":{"d":2},"plan_id":"p","progress_pct":100,"room_count":[1],"stage":"","status":"done","wall_count":"12"})"}},
        {"failed job",
         {200, R"({"status":"failed","error":"unreadable drawing"})"},
         {true, R"({"error":"unreadable drawing","plan_id":"p","progress_pct":0,"stage":"","status":"failed"})"}},
        {"progress as true",
         {200, R"({"progress_pct":true})"},
         {true, R"({"plan_id":"p","progress_pct":1,"stage":"","status":""})"}},
        {"empty body", {200, ""}, {false, "Invalid response from server"}},
        {"cut short", {200, R"({"status":"do)"}, {false, "Invalid response from server"}},
        {"trailing text", {200, R"({} {})"}, {false, "Invalid response from server"}},
        {"array", {200, "[1]"}, {false, "[json.exception.type_error.306] cannot use value() with array"}},
        {"status of the wrong type",
         {200, R"({"status":1})"},
         {false, "[json.exception.type_error.302] type must be string, but is number"}},
        {"progress as text",
         {200, R"({"progress_pct":"5"})"},
         {false, "[json.exception.type_error.302] type must be number, but is string"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        service.Script("GET /plans/p/status", c.reply);
        ExpectOutcome(Run("get_plan_extraction_status", {{"plan_id", "p"}}), c.outcome);
    }
    MainQueue::DrainUntilIdle();
    EXPECT_TRUE(previews.empty()) << "only a finished job shows its overlay";
}

TEST_F(PlanToolsTest, AFinishedJobShowsItsOverlayOnceAfterTheHandlerOnlyForAPathUnderTheService)
{
    const std::string base = service.BaseUrl();
    const struct {
        const char* what;
        const char* reply;
        bool success;
        int previews;
    } cases[] = {
        {"done with a path", R"({"status":"done","overlay_url":"/plans/p/overlay.png"})", true, 1},
        {"done, progress of the wrong type",
         R"({"status":"done","overlay_url":"/plans/p/overlay.png","progress_pct":"x"})", false, 1},
        {"capital D", R"({"status":"Done","overlay_url":"/plans/p/overlay.png"})", true, 0},
        {"done without an overlay", R"({"status":"done"})", true, 0},
        {"empty overlay", R"({"status":"done","overlay_url":""})", true, 0},
        {"overlay naming another host", R"({"status":"done","overlay_url":"@evil.example/x.png"})", true, 0},
        {"overlay of null", R"({"status":"done","overlay_url":null})", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        previews.clear();
        service.Script("GET /plans/p/status", Reply{200, c.reply});
        EXPECT_EQ(Run("get_plan_extraction_status", {{"plan_id", "p"}}).success, c.success);
        EXPECT_TRUE(previews.empty()) << "the preview runs after the handler, never inside it";
        MainQueue::DrainUntilIdle();
        ASSERT_EQ(previews.size(), size_t(c.previews));
        if (c.previews == 1) {
            EXPECT_EQ(previews[0], std::make_pair(base + "/plans/p/overlay.png", base + "/plans/p/overlay.png"));
        }
    }
    // Every call that sees the finished job shows it again.
    previews.clear();
    service.Script("GET /plans/p/status", Reply{200, cases[0].reply});
    Run("get_plan_extraction_status", {{"plan_id", "p"}});
    Run("get_plan_extraction_status", {{"plan_id", "p"}});
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(previews.size(), 2u);
}

TEST_F(PlanToolsTest, TheOverlayReachesThePaletteBeforeTheCardOfTheSameCall)
{
    service.Script("GET /plans/p/status", Reply{200, R"({"status":"done","overlay_url":"/o.png"})"});
    service.Script("POST /v1/messages", {Reply{200, ToolUse("t1", "get_plan_extraction_status", {{"plan_id", "p"}})},
                                         Reply{200, EndTurn("Done.")}});
    bridge->SendMessage("how is my plan?");
    ASSERT_TRUE(MainQueue::PumpUntil([&] { return !bridge->IsBusy(); }, std::chrono::seconds(20)));
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(events, (std::vector<std::string>{"preview", "card:get_plan_extraction_status:ok"}));
}

TEST_F(PlanToolsTest, DetectionsReachTheModelCompactWithSortedKeys)
{
    const struct {
        const char* body;
        Outcome outcome;
    } cases[] = {
        {R"({ "b": 1, "a": [1, 2] })", {true, R"({"a":[1,2],"b":1})"}},
        {"null", {true, "null"}},
        {" [ {\"y\":2.5,\"x\":-1} ] ", {true, R"([{"x":-1,"y":2.5}])"}},
        {"7", {true, "7"}},
        {"", {false, "Invalid detections data"}},
        {"walls: 3", {false, "Invalid detections data"}},
    };
    for (const auto& c : cases) {
        service.Script("GET /plans/p/detections", Reply{200, c.body});
        ExpectOutcome(Run("get_plan_detections", {{"plan_id", "p"}}), c.outcome);
    }
}

TEST_F(PlanToolsTest, TheFamilyIsSixToolsInTheNameOrderedListAndRegisteringAgainReplacesThem)
{
    const size_t before = registry.tools.size();
    RegisterPlanTools(
        registry, [](const std::string&, const std::string&) {}, nullptr, *bridge);
    EXPECT_EQ(registry.tools.size(), before);
    std::vector<std::string> names;
    for (const json& def : registry.GetToolDefinitions())
        names.push_back(def["name"]);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    for (const char* tool : {"upload_reference_plan", "start_plan_extraction", "get_plan_extraction_status",
                             "get_plan_detections", "build_from_layout", "create_walls_batch"})
        EXPECT_EQ(registry.tools.count(tool), 1u) << tool;
    const json& upload = registry.tools.at("upload_reference_plan").inputSchema;
    EXPECT_EQ(
        upload.dump(),
        R"x({"properties":{"attachment_index":{"description":"Index of the attachment to upload (default 0, first attachment)","type":"integer"}},"required":[],"type":"object"})x");
    EXPECT_EQ(registry.tools.at("build_from_layout").description.size(), 521u);
    EXPECT_EQ(registry.tools.at("get_plan_detections").inputSchema["required"], json::array({"plan_id"}));
}
