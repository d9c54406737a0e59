// The four plan tools that talk to the recognition service: what they send, what they make of
// each kind of reply, and the overlay preview the status tool shows.

#include "PlanToolsTest.hpp"

namespace {

const std::string kPdf("%PDF-1.4\n\x00\xff\xfe binary", 19);
const std::string kPdfBase64 = "JVBERi0xLjQKAP/+IGJp\r\nbmFyeQ==";  // broken into lines as mail does
const std::string kPng = "UE5HMQ==";                                // "PNG1"
const std::string kString302 = "[json.exception.type_error.302] type must be string, but is number";

struct Outcome {
    bool success;
    std::string text;  // the message on success, the error on failure
};

void ExpectOutcome(const ToolResult& r, const Outcome& expected)
{
    EXPECT_EQ(r.success, expected.success) << (r.success ? r.message : r.error);
    EXPECT_EQ(r.success ? r.message : r.error, expected.text);
}

void ExpectPrefixed(const ToolResult& r, const std::string& prefix)
{
    EXPECT_EQ(r.error.rfind(prefix, 0), 0u) << r.error;
    EXPECT_GT(r.error.size(), prefix.size());
}

}  // namespace

TEST_F(PlanToolsTest, TheUploadSendsTheDecodedAttachmentAsItsOnlyFilePartAndLeavesNoFile)
{
    Attach({{"", kPng}, {"application/pdf", kPdfBase64}});
    service.Script("POST /plans/upload",
                   Reply{201, R"({"plan_id":"p-1","filename":"plan.pdf","size_bytes":1234,"stored":true})"});
    const struct {
        int index;
        const char* filename;
        const char* contentType;
        std::string bytes;
    } cases[] = {
        {1, "quillmere_plan_upload.pdf", "application/pdf", kPdf},
        {0, "quillmere_plan_upload.png", "image/png", "PNG1"},  // index left out, no media type given
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
        EXPECT_EQ(sent.method + " " + sent.target + " " + sent.Header("X-Quillmere-Dev"), "POST /plans/upload 1");
        EXPECT_EQ(sent.headers.count("Authorization"), 0u);
        ASSERT_TRUE(sent.multipartWellFormed) << sent.body;
        ASSERT_EQ(sent.parts.size(), 1u) << "no plain fields, one file";
        EXPECT_EQ(std::tie(sent.parts[0].name, sent.parts[0].filename, sent.parts[0].contentType),
                  std::make_tuple("file", c.filename, c.contentType));
        EXPECT_TRUE(sent.parts[0].content == c.bytes);
        EXPECT_TRUE(TmpEmpty()) << "the upload's file or folder was left behind";
    }
}

TEST_F(PlanToolsTest, UploadRefusalsBeforeTheRequestSendNothingAndWriteNothing)
{
    const struct {
        std::vector<std::pair<std::string, std::string>> attachments;
        json input;
        std::string error;
    } cases[] = {
        {{}, json::object(), "No attachment found at index 0"},
        {{{"image/png", kPng}}, {{"attachment_index", -1}}, "No attachment found at index -1"},
        {{}, {{"attachment_index", 1.9}}, "No attachment found at index 1"},  // cut toward zero
        {{{"image/png", "UE5HM"}}, json::object(), "Failed to decode attachment"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.dump());
        Attach(c.attachments);
        ExpectOutcome(Run("upload_reference_plan", c.input), {false, c.error});
        EXPECT_TRUE(PlanRequests().empty());
        EXPECT_TRUE(TmpEmpty());
    }
}

TEST_F(PlanToolsTest, UploadRepliesAreJudgedByStatusThenForm)
{
    Attach({{"image/png", kPng}});
    const struct {
        Reply reply;
        Outcome outcome;
    } cases[] = {
        {{300, R"({"plan_id":"p"})"}, {false, "Upload failed: HTTP 300"}},
        {{299, R"({"plan_id":7,"size_bytes":1e20})"},
         {true, R"({"filename":"","plan_id":7,"size_bytes":2147483647,"status":"uploaded"})"}},
        {{200, R"({"id":"p"})"}, {false, "Invalid response from server"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.body);
        service.Script("POST /plans/upload", c.reply);
        ExpectOutcome(Run("upload_reference_plan", json::object()), c.outcome);
        EXPECT_TRUE(TmpEmpty());
    }

    // A service that drops the connection.
    Reply dropped;
    dropped.close = true;
    service.Script("POST /plans/upload", dropped);
    ExpectPrefixed(Run("upload_reference_plan", json::object()), "Upload failed: ");
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(PlanToolsTest, JobToolsSendTheirRequestsWithTheIdAsOnePathSegment)
{
    service.Script("POST /plans/p-1/extract", Reply{202, "not json at all"});
    service.Script("GET /plans/a%20b..%3Fx%3D1/status", Reply{200, "{}"});
    ExpectOutcome(Run("start_plan_extraction", {{"plan_id", "p-1"}}),
                  {true, R"({"plan_id":"p-1","status":"extracting"})"});
    ExpectOutcome(Run("get_plan_extraction_status", {{"plan_id", "a b..?x=1"}}),
                  {true, R"({"plan_id":"a b..?x=1","progress_pct":0,"stage":"","status":""})"});
    const auto requests = PlanRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method + " " + requests[0].target, "POST /plans/p-1/extract");
    EXPECT_EQ(requests[0].Header("Content-Type") + requests[0].Header("X-Quillmere-Dev"), "application/json1");
    EXPECT_EQ(requests[0].body, "{}");
    EXPECT_EQ(requests[1].method + " " + requests[1].target, "GET /plans/a%20b..%3Fx%3D1/status");
    EXPECT_EQ(requests[1].headers.count("Authorization"), 0u);
}

TEST_F(PlanToolsTest, JobToolsRefuseAMissingIdAndNameTheirFailures)
{
    const struct {
        const char* tool;
        const char* prefix;
        const char* path;
        const char* method;
    } tools[] = {{"start_plan_extraction", "Extract failed: ", "/plans/p/extract", "POST "},
                 {"get_plan_extraction_status", "Status check failed: ", "/plans/p/status", "GET "},
                 {"get_plan_detections", "Failed to fetch detections: ", "/plans/p/detections", "GET "}};
    for (const auto& t : tools) {
        SCOPED_TRACE(t.tool);
        const std::string prefix = t.prefix, route = t.method + std::string(t.path);
        ExpectOutcome(Run(t.tool, json::object()), {false, "plan_id is required"});
        ExpectOutcome(Run(t.tool, {{"plan_id", ""}}), {false, "plan_id is required"});
        ExpectOutcome(Run(t.tool, {{"plan_id", 5}}), {false, kString302});
        ExpectOutcome(Run(t.tool, {{"plan_id", ".."}}),  // the client would send it to the service's root
                      {false, "Invalid plan_id: an id is at most 255 bytes and is not \".\", \"..\" or a path"});
        EXPECT_TRUE(PlanRequests().empty());

        service.Script(route, Reply{300, R"({"status":"done","plan_id":"p"})"});
        ExpectOutcome(Run(t.tool, {{"plan_id", "p"}}), {false, prefix + "HTTP 300"});
        Reply dropped;
        dropped.close = true;
        service.Script(route, dropped);
        ExpectPrefixed(Run(t.tool, {{"plan_id", "p"}}), prefix);
        ::unsetenv("QUILLMERE_SERVICE_URL");
        ExpectOutcome(Run(t.tool, {{"plan_id", "p"}}), {false, prefix + "Invalid URL: " + t.path});
        ::setenv("QUILLMERE_SERVICE_URL", service.BaseUrl().c_str(), 1);
        service.ClearRequests();
    }
    EXPECT_TRUE(previews.empty());
}

TEST_F(PlanToolsTest, StatusRepliesBecomeTheResultTheModelSees)
{
    const struct {
        Reply reply;
        Outcome outcome;
    } cases[] = {
        {{200, R"({"status":"running","progress_pct":42.7,"stage":"walls","overlay_url":"/o.png","x":1})"},
         {true, R"({"plan_id":"p","progress_pct":42,"stage":"walls","status":"running"})"}},
        {{200, R"({"status":"done","progress_pct":true,"wall_count":"12","bbox_est":[0,0,9,7],"error":null})"},
         {true,
          R"({"bbox_est":[0,0,9,7],"error":null,"plan_id":"p","progress_pct":1,"stage":"","status":"done","wall_count":"12"})"}},
        {{200, R"({} {})"}, {false, "Invalid response from server"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.body);
        service.Script("GET /plans/p/status", c.reply);
        ExpectOutcome(Run("get_plan_extraction_status", {{"plan_id", "p"}}), c.outcome);
    }
}

TEST_F(PlanToolsTest, AFinishedJobShowsItsOverlayOnceAfterTheHandlerOnlyForAPathUnderTheService)
{
    const std::string base = service.BaseUrl();
    const struct {
        const char* reply;
        bool success;
        int previews;
    } cases[] = {
        {R"({"status":"done","overlay_url":"/plans/p/overlay.png"})", true, 1},
        {R"({"status":"Done","overlay_url":"/plans/p/overlay.png"})", true, 0},
        {R"({"status":"done","overlay_url":"@evil.example/x.png"})", true, 0},
        {R"({"status":"done","overlay_url":null})", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
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
}

TEST_F(PlanToolsTest, DetectionsReachTheModelCompactWithSortedKeys)
{
    service.Script("GET /plans/p/detections", {Reply{200, " [ {\"y\":2.5,\"x\":-1} ] "}, Reply{200, "walls: 3"}});
    ExpectOutcome(Run("get_plan_detections", {{"plan_id", "p"}}), {true, R"([{"x":-1,"y":2.5}])"});
    ExpectOutcome(Run("get_plan_detections", {{"plan_id", "p"}}), {false, "Invalid detections data"});
}
