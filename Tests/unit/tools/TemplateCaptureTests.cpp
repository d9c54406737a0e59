// capture_project_template against the fake storage: the files it leaves, the requests it
// makes, both reply variants, storage failures, the stale-module case and bad input.

#include "HostTestingModules.hpp"
#include "TemplateFixture.hpp"
#include "core/DebugLog.hpp"

namespace {

class TemplateCaptureTest : public TemplateTest {
protected:
    // Runs the tool; it must succeed with a JSON reply.
    json Capture(const json& input = json::object())
    {
        const ToolResult result = Run("capture_project_template", input);
        EXPECT_TRUE(result.success) << result.error;
        EXPECT_TRUE(result.elementGuid.empty());
        lastMessage = result.message;
        return json::parse(result.message, nullptr, false);
    }
    void FailModuleSave() { HostTesting::FailNextCall("ACAPI_Automate", APIERR_GENERAL); }

    std::string lastMessage;
};

TEST_F(TemplateCaptureTest, CapturesLocallyAndUploadsBothFiles)
{
    HostTesting::SetProjectName("Villa");
    HostTesting::AddWall(0, 0, 10, 0);
    AddZone("Master Bedroom", 5, 3);
    const json reply = Capture({{"template_name", "My House/B"}, {"description", "Two rooms"}});
    const std::string modPath = TemplatesDir() + "/My_House_B.mod";
    const std::string metaPath = TemplatesDir() + "/My_House_B.meta.json";
    EXPECT_EQ(reply["meta_path"], metaPath);
    EXPECT_EQ(reply["counts"], json::parse(R"({"walls":1,"zones":1})"));
    EXPECT_EQ(reply["storage"], "supabase");
    EXPECT_EQ(reply["meta_written_local"], true);

    // The module is the host's own file, read back whole and uploaded as it is.
    const std::string module = ReadFile(modPath);
    HostTesting::ModuleSummary contents;
    ASSERT_EQ(HostTesting::ReadModuleSummary(modPath, &contents), NoError);
    EXPECT_EQ(contents.elements.size(), 2u);
    EXPECT_EQ(reply["mod_upload_bytes"], module.size());
    EXPECT_EQ(storage.Object("My_House_B.mod"), module);

    // The summary: indent 2, no new line at the end, the same text locally and in storage.
    const std::string text = ReadFile(metaPath);
    EXPECT_EQ(storage.Object("My_House_B.meta.json"), text);
    const json summary = json::parse(text);
    EXPECT_EQ(text, summary.dump(2));
    EXPECT_EQ(summary["bedroom_count"], 1);

    const auto requests = storage.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/storage/v1/object/Templates/My_House_B.mod");
    EXPECT_EQ(requests[0].headers.at("Content-Type"), "application/octet-stream");
    for (const auto& request : requests) {
        EXPECT_EQ(request.headers.at("Authorization"), "Bearer " + storage.ServiceKey());
        EXPECT_EQ(request.headers.at("x-upsert"), "true");
    }
    EXPECT_EQ(UndoStepCount(), 0u);  // nothing in the model changed
}

TEST_F(TemplateCaptureTest, TemplateNameFallsBackToTheProjectName)
{
    struct Case {
        const char* name;
        std::optional<std::string> project;
        json input;
        const char* templateName;
        const char* safe;
    };
    const Case cases[] = {
        {"empty project name", std::string(""), json::object(), "", "default"},
        {"only unkept bytes", std::string("Casa"), {{"template_name", "\xC3\xA9 !"}}, "\xC3\xA9 !", "____"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTesting::SetProjectName(c.project);
        const json reply = Capture(c.input);
        EXPECT_EQ(reply["template"], c.templateName);
        EXPECT_EQ(reply["mod_target_path"], TemplatesDir() + "/" + c.safe + ".mod");
        EXPECT_TRUE(Exists(TemplatesDir() + "/" + c.safe + ".meta.json"));
    }
}

TEST_F(TemplateCaptureTest, AnUploadFailureIsToldInsideASuccess)
{
    storage.FailNext("/storage/v1/object/Templates/T.meta.json", 400, "bad \xFF byte");
    const json reply = Capture({{"template_name", "T"}});
    ASSERT_TRUE(reply.is_object()) << lastMessage;
    EXPECT_EQ(reply["mod_upload_status"], 200);
    EXPECT_EQ(reply["mod_uploaded"], true);
    EXPECT_EQ(reply["meta_uploaded"], false);
    EXPECT_EQ(reply["storage"], "local_only");
    // A reply body that is not UTF-8 still makes valid text.
    EXPECT_EQ(reply["supabase_error"], "Supabase upload T.meta.json failed (400): bad \xEF\xBF\xBD byte");
    EXPECT_EQ(reply["meta_written_local"], true);
}

TEST_F(TemplateCaptureTest, WithoutReachableOrConfiguredStorageTheCaptureStaysLocal)
{
    ScopedStorageEnvironment env(FakeStorage::ClosedUrl(), "", kFakeServiceKey);
    const json reply = Capture({{"template_name", "Solo"}});
    EXPECT_EQ(reply["storage"], "local_only");
    EXPECT_EQ(reply["supabase_error"], "Supabase upload Solo.meta.json failed (0): Object storage is not configured");
    EXPECT_TRUE(Exists(TemplatesDir() + "/Solo.mod"));
    EXPECT_TRUE(Exists(TemplatesDir() + "/Solo.meta.json"));
    EXPECT_EQ(storage.RequestCount(), 0u);
}

TEST_F(TemplateCaptureTest, AFailedSaveGivesTheExportFailureAndNeverAStaleModule)
{
    FailModuleSave();
    ToolResult failed = Run("capture_project_template", {{"template_name", "T"}});
    EXPECT_EQ(failed.error, "Template not saved: the module could not be written to " + TemplatesDir() +
                                "/T.mod (error " + std::to_string(APIERR_GENERAL) +
                                "). The .mod export failed. "
                                "Ensure the project is saved to disk (File > Save) and that elements exist. Re-run "
                                "after saving.");
    EXPECT_FALSE(Exists(TemplatesDir() + "/T.meta.json"));
    EXPECT_EQ(storage.RequestCount(), 0u);

    // A module from an earlier capture stays as it was and is not reported as the new one.
    HostTesting::AddWall(0, 0, 1, 0);
    ASSERT_EQ(Capture({{"template_name", "T"}})["mod_exported"], true);
    const std::string modPath = TemplatesDir() + "/T.mod";
    const std::string earlier = ReadFile(modPath);
    storage.Put("T.mod", "earlier upload");
    const size_t requests = storage.RequestCount();

    HostTesting::AddWall(0, 0, 2, 0);
    FailModuleSave();
    failed = Run("capture_project_template", {{"template_name", "T"}});
    EXPECT_FALSE(failed.success);
    EXPECT_EQ(ReadFile(modPath), earlier);  // the earlier template is kept as it was
    EXPECT_FALSE(Exists(modPath + ".prev"));
    EXPECT_EQ(storage.RequestCount(), requests);  // nothing uploaded under the new summary
    EXPECT_EQ(storage.Object("T.mod"), std::optional<std::string>("earlier upload"));

    // A save that works replaces it and leaves nothing beside it.
    const json fresh = Capture({{"template_name", "T"}});
    EXPECT_EQ(fresh["total_elements"], 2);
    EXPECT_NE(ReadFile(modPath), earlier);
    EXPECT_FALSE(Exists(modPath + ".prev"));
}

TEST_F(TemplateCaptureTest, FolderAndSummaryFileProblems)
{
    // The templates folder cannot be made: a file stands in its place.
    std::filesystem::create_directories(home.Path() + "/.quillmere");
    std::ofstream(TemplatesDir()) << "not a folder";
    EXPECT_EQ(Run("capture_project_template", {{"template_name", "T"}}).error,
              "Template not saved: the templates folder " + TemplatesDir() + " does not exist and could not be made");
    std::filesystem::remove(TemplatesDir());

    // The summary cannot replace what stands at its name: not written, still uploaded.
    std::filesystem::create_directories(TemplatesDir() + "/Full.meta.json");
    const json reply = Capture({{"template_name", "Full"}});
    EXPECT_EQ(reply["meta_written_local"], false);
    EXPECT_EQ(reply["meta_uploaded"], true);
    EXPECT_TRUE(storage.Object("Full.meta.json").has_value());
}

TEST_F(TemplateCaptureTest, BadInputFailsBeforeAnyHostCallOrFile)
{
    const char* inputs[] = {R"({"template_name": 5})", R"([1, 2])"};
    for (const char* input : inputs) {
        SCOPED_TRACE(input);
        HostTesting::ClearCallLog();
        const ToolResult result = RunText("capture_project_template", input);
        EXPECT_FALSE(result.success);
        EXPECT_NE(result.error.find("type_error"), std::string::npos) << result.error;
        EXPECT_TRUE(HostTesting::CallLog().empty());
    }
    // A name that is not UTF-8 fails when the summary is written out, before anything is saved.
    const ToolResult result = Run("capture_project_template", {{"template_name", "bad \xFF"}});
    EXPECT_FALSE(result.success);
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Automate"), 0);
    EXPECT_FALSE(Exists(TemplatesDir()));
    EXPECT_EQ(storage.RequestCount(), 0u);
}

TEST_F(TemplateCaptureTest, NoKeyReachesAResultOrTheLog)
{
    DebugLog("capture test start");
    storage.FailNext("/storage/v1/object/Templates/", 401, R"({"message":"invalid key"})", -1);
    Capture({{"template_name", "K"}});
    ScopedStorageEnvironment wrong(storage.Url(), "wrong-public-key-0123", "wrong-service-key-4567");
    Capture({{"template_name", "K"}});
    DebugLog("storage keys " + kFakeAnonKey + " " + kFakeServiceKey);  // redacted even if quoted
    const std::string log = LogText();
    ASSERT_FALSE(log.empty());
    for (const std::string& key :
         {kFakeAnonKey, kFakeServiceKey, std::string("wrong-public-key-0123"), std::string("wrong-service-key-4567")}) {
        EXPECT_EQ(lastMessage.find(key), std::string::npos);
        EXPECT_EQ(log.find(key), std::string::npos);
    }
}

}  // namespace
