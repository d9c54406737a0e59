// The plan tools that talk to the recognition service: the upload's one file part decoded from the attachment and
// never left on disk, plan ids sent as one path segment, what each reply becomes for the model, the overlay shown
// only for a path under the service; and a missing input refused in each tool's own words, the library's tools too.
#include "FakeProductService.hpp"
#include "FakeStorage.hpp"
#include "MainQueue.hpp"
#include "QuillmereTest.hpp"

namespace {

using Reply = FakeProductService::Reply;
const std::string kPdf("%PDF-1.4\n\x00\xff\xfe binary", 19);
const std::string kPdfBase64 = "JVBERi0xLjQKAP/+IGJp\r\nbmFyeQ==";  // broken into lines as mail does
const std::string kPng = "UE5HMQ==";                                // "PNG1"

class PlanTools : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        RegisterPaletteTools([this](const std::string& image, const std::string&) { previews.push_back(image); });
    }
    // Requests to the plan service only (the fake model shares the server).
    std::vector<FakeProductService::Request> PlanRequests()
    {
        std::vector<FakeProductService::Request> out;
        for (const auto& r : Service().Requests())
            if (r.path.rfind("/plans/", 0) == 0) out.push_back(r);
        return out;
    }
    static std::string Outcome(const ToolResult& r) { return r.success ? r.message : "!" + r.error; }
    std::vector<std::string> previews;
};

TEST_F(PlanTools, TheUploadSendsTheDecodedAttachmentAsItsOnlyFilePartAndLeavesNoFile)
{
    Attach({{"", kPng}, {"application/pdf", kPdfBase64}, {"text/plain", "QUJD"}});
    Service().Script("POST /plans/upload", Reply{201, R"({"plan_id":"p-1","filename":"plan.pdf","size_bytes":1e20})"});
    const struct {
        json input;
        const char* filename;
        const char* contentType;
        std::string bytes;
    } rows[] = {
        {{{"attachment_index", 1}}, "quillmere_plan_upload.pdf", "application/pdf", kPdf},
        {json::object(), "quillmere_plan_upload.png", "image/png", "PNG1"},             // no media type given
        {{{"attachment_index", 2}}, "quillmere_plan_upload.png", "text/plain", "ABC"},  // the service judges it
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.filename);
        Service().ClearRequests();
        EXPECT_EQ(Outcome(Run("upload_reference_plan", row.input)),
                  R"({"filename":"plan.pdf","plan_id":"p-1","size_bytes":2147483647,"status":"uploaded"})");
        const auto requests = PlanRequests();
        ASSERT_EQ(requests.size(), 1u);
        ASSERT_TRUE(requests[0].multipartWellFormed && requests[0].parts.size() == 1u);
        const auto& part = requests[0].parts[0];
        EXPECT_EQ(std::tie(part.name, part.filename, part.contentType),
                  std::make_tuple("file", row.filename, row.contentType));
        EXPECT_TRUE(part.content == row.bytes);
        EXPECT_TRUE(TmpEmpty()) << "the upload's file or folder was left behind";
    }
    Attach({{"image/png", "UE5HM"}});
    EXPECT_EQ(Outcome(Run("upload_reference_plan", json::object())), "!Failed to decode attachment");
    EXPECT_TRUE(PlanRequests().empty() && TmpEmpty());
    // A file the service cannot read is its to refuse, in its own words.
    Attach({{"text/plain", "QUJD"}});
    Service().Script("POST /plans/upload", Reply{415, "{}"});
    EXPECT_EQ(Outcome(Run("upload_reference_plan", json::object())), "!Upload failed: HTTP 415");
    EXPECT_EQ(PlanRequests().size(), 1u);
}

TEST_F(PlanTools, RepliesBecomeTheResultTheModelSees)
{
    Attach({{"image/png", kPng}});
    const std::string path = "/plans/a%20b%3Fx%3D1";  // the plan id "a b?x=1" as one path segment
    const struct {
        const char* tool;
        Reply reply;
        std::string outcome;
    } rows[] = {
        {"get_plan_extraction_status", {200, "{} {}"}, "!Invalid response from server"},
        {"get_plan_extraction_status", {200, "{}"}, R"({"plan_id":"a b?x=1","progress_pct":0,"stage":"","status":""})"},
        {"start_plan_extraction", {202, "not json at all"}, R"({"plan_id":"a b?x=1","status":"extracting"})"},
        {"get_plan_detections", {200, " [ {\"y\":2.5,\"x\":-1} ] "}, R"([{"x":-1,"y":2.5}])"},
        {"get_plan_detections", {200, "walls: 3"}, "!Invalid detections data"},
        {"upload_reference_plan",
         {200, R"({"plan_id":7})"},
         R"({"filename":"","plan_id":7,"size_bytes":0,"status":"uploaded"})"},
        {"upload_reference_plan", {200, "[]"}, "!Invalid response from server"},
        {"upload_reference_plan", {500, R"({"plan_id":7})"}, "!Upload failed: HTTP 500"},
        {"start_plan_extraction", {404, "{}"}, "!Extract failed: HTTP 404"},
        {"get_plan_extraction_status", {503, "{}"}, "!Status check failed: HTTP 503"},
        {"get_plan_detections", {500, "[]"}, "!Failed to fetch detections: HTTP 500"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply.body);
        for (const std::string& route : {std::string("POST /plans/upload"), "POST " + path + "/extract",
                                         "GET " + path + "/status", "GET " + path + "/detections"})
            Service().Script(route, row.reply);
        EXPECT_EQ(Outcome(Run(row.tool, {{"plan_id", "a b?x=1"}})), row.outcome);
    }
}

TEST_F(PlanTools, AMissingInputIsRefusedInTheToolsOwnWordsBeforeAnyRequest)
{
    const std::pair<const char*, std::vector<const char*>> rows[] = {
        {"No attachment found at index 0", {"upload_reference_plan"}},
        {"plan_id is required", {"start_plan_extraction", "get_plan_extraction_status", "get_plan_detections"}},
        {"element_guid is required", {"capture_element_detail"}},
        {"template_name is required", {"get_template_layout", "apply_template_exact"}},
        {"typology_name is required", {"apply_typology_skeleton"}},
        {"No operations provided", {"adapt_typology"}},
    };
    for (const auto& [error, tools] : rows)
        for (const char* tool : tools) EXPECT_EQ(Run(tool, json::object()).error, error) << tool;
    EXPECT_TRUE(PlanRequests().empty() && Storage().RequestCount() == 0);
}

TEST_F(PlanTools, AFinishedJobShowsItsOverlayAfterTheHandlerOnlyForAPathUnderTheService)
{
    const struct {
        const char* reply;
        size_t previews;
    } rows[] = {
        {R"({"status":"done","overlay_url":"/plans/p/overlay.png"})", 1},
        {R"({"status":"Done","overlay_url":"/plans/p/overlay.png"})", 0},
        {R"({"status":"done","overlay_url":"@evil.example/x.png"})", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        previews.clear();
        Service().Script("GET /plans/p/status", Reply{200, row.reply});
        EXPECT_TRUE(Run("get_plan_extraction_status", {{"plan_id", "p"}}).success);
        EXPECT_TRUE(previews.empty()) << "the preview runs after the handler, never inside it";
        MainQueue::DrainUntilIdle();
        EXPECT_EQ(previews, std::vector<std::string>(row.previews, Service().BaseUrl() + "/plans/p/overlay.png"));
    }
}

}  // namespace
