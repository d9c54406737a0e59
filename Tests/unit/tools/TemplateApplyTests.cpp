// Reading templates back: the bucket listing (newest first, each summary with the four added
// keys, storage failures as an "error" key), one template's summary, and placing a template's
// module from storage or the local folder in one undo step.

#include "TemplateFixture.hpp"

namespace {

class TemplateApply : public TemplateTest {
protected:
    void PutLocal(const std::string& name, const std::string& bytes)
    {
        std::filesystem::create_directories(TemplatesDir());
        TempFolder::Write(TemplatesDir() + "/" + name, bytes);
    }
};

TEST_F(TemplateApply, ListingKeepsSummariesNewestFirstWithTheirAddedKeys)
{
    storage.Put("house.mod", "module bytes");
    storage.Put("house.meta.json", R"({"name":"House","template_name":"other","has_mod":false,"tags":["a"]})");
    storage.Put("new.meta.json", R"({"captured_at":"2025-03-01T10:00:00Z"})");
    storage.Put("old.meta.json", R"({"captured_at":"2025-02-28T23:59:59Z"})");
    storage.Put("gone.meta.json", R"({"captured_at":"2030-01-01T00:00:00Z"})");
    storage.Put("broken.meta.json", "{not json");
    storage.Put(".meta.json", "{}");
    storage.Put("typologies/index.json", "[]");  // listed as the folder "typologies"
    storage.FailNext("/storage/v1/object/public/Templates/gone.meta.json", 404, "");

    const ToolResult r = Run("list_templates", json::object());
    const json result = Data(r);
    EXPECT_EQ(result["count"], 3);
    ASSERT_EQ(result["templates"].size(), 3u);
    EXPECT_EQ(result["templates"][1]["template_name"], "old");
    EXPECT_EQ(
        result["templates"][2].dump(),
        R"({"has_mod":true,"meta_file":"house.meta.json","mod_file":"house.mod","name":"House","tags":["a"],"template_name":"house"})");
    EXPECT_EQ(result["templates"][0]["has_mod"], false) << "no new.mod in the listing";
    EXPECT_EQ(r.message.find(storage.ServiceKey()), std::string::npos);
    const auto lists = storage.RequestsTo("POST", "/storage/v1/object/list/Templates");
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].body, R"({"prefix":"","limit":1000})");
    for (const auto& get : storage.RequestsTo("GET", "/"))
        EXPECT_EQ(get.headers.count("Authorization") + get.headers.count("apikey"), 0u) << "downloads carry no key";
}

TEST_F(TemplateApply, ListingFailuresAreAnErrorKeyInsideASuccess)
{
    struct Case {
        const char* name;
        int status;
        std::string body;
        std::string expected;
    };
    const Case cases[] = {
        {"refused", 401, R"({"error":"Unauthorized"})",
         R"({"error":"Supabase list failed (401): {\"error\":\"Unauthorized\"}","templates":[]})"},
        {"not an array", 200, "{}", R"({"error":"Unexpected response","templates":[]})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        storage.FailNext("/storage/v1/object/list/", c.status, c.body);
        EXPECT_EQ(Run("list_templates", json::object()).message, c.expected);
    }
    storage.Put("house.mod", "bytes");
    EXPECT_EQ(Run("list_templates", json::object()).message, R"({"count":0,"templates":[]})")
        << "modules are never listed alone";
}

TEST_F(TemplateApply, LayoutFromStorageOrTheLocalFolder)
{
    storage.Put("Stored.meta.json", R"({"stories":2})");
    PutLocal("Stored.meta.json", R"({"stories":9})");
    PutLocal("My_House.meta.json", R"([1,2])");
    struct Case {
        json input;
        std::string message;
    };  // success text, or "!" + failure text
    const Case cases[] = {
        {{{"template_name", "Stored"}},
         R"({"meta":{"stories":2},"note":"Use apply_template_exact to place this template in the project.","source":"supabase","template":"Stored"})"},
        {{{"template_name", "My House"}, {"story_filter", 0}, {"include_objects", false}},
         R"({"ignored_params":["include_objects","story_filter"],"meta":[1,2],"note":"Use apply_template_exact to place this template in the project.","source":"local","template":"My_House"})"},
        {{{"template_name", "Nowhere"}}, "!Template meta not found: Nowhere.meta.json"},
        {{{"include_objects", true}}, "!template_name is required"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.dump());
        const ToolResult r = Run("get_template_layout", c.input);
        if (c.message[0] == '!') {
            EXPECT_FALSE(r.success);
            EXPECT_EQ(r.error, c.message.substr(1));
        } else {
            EXPECT_EQ(r.message, c.message);
        }
    }
    EXPECT_EQ(storage.RequestsTo("GET", "/storage/v1/object/public/Templates/My_House.meta.json").size(), 1u);
}

TEST_F(TemplateApply, ApplyPlacesTheModuleFromStorageThenTheLocalFolder)
{
    const std::string module = FixtureModuleBytes();
    const std::string created =
        R"({"beams":0,"columns":0,"doors":1,"objects":0,"roofs":0,"slabs":1,"walls":4,"windows":1,"zones":1})";
    storage.Put("My_House.mod", module);
    PutLocal("My_House.mod", "stale local copy, never read");
    storage.Put("EmptyStored.mod", "");
    PutLocal("EmptyStored.mod", module);
    struct Case {
        json input;
        const char* source;
    };
    const Case cases[] = {
        {{{"template_name", "My House"}, {"story_filter", 2}, {"error_policy", "skip"}}, "supabase"},
        {{{"template_name", "EmptyStored"}}, "local"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.dump());
        HostTesting::ResetProject();
        const json result = Data(Run("apply_template_exact", c.input));
        EXPECT_EQ(result["source"], c.source);
        EXPECT_EQ(result["created"].dump(), created);
        EXPECT_EQ(result["total_created"], 8);
        if (c.input.contains("story_filter"))
            EXPECT_EQ(result["ignored_params"], json::parse(R"(["story_filter","error_policy"])"));
        else
            EXPECT_FALSE(result.contains("ignored_params"));
        EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Apply Template"});
        ASSERT_TRUE(UndoLast());
        EXPECT_EQ(HostTesting::ElementCount(), 0u);
    }
    // Only the stored templates' own files remain: no temporary module is left behind.
    EXPECT_EQ(FilesIn(TemplatesDir()).size(), 2u);
}

TEST_F(TemplateApply, WithoutAModuleTheReportTellsWhereItLooked)
{
    PutLocal("Empty.mod", "");
    const ToolResult r = Run("apply_template_exact", {{"template_name", "Empty"}, {"include_objects", nullptr}});
    EXPECT_TRUE(r.success);
    EXPECT_EQ(
        r.message,
        R"({"artifacts_checked":{"local_mod":")" + TemplatesDir() +
            R"(/Empty.mod","supabase_mod":"Empty.mod"},"error":"NO_MOD_FILE","ignored_params":["include_objects"],)"
            R"("instruction":"Re-capture with capture_project_template to generate a .mod file.","template":"Empty"})");
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_GetElemList"), 0) << "nothing is counted";
    EXPECT_TRUE(UndoSteps().empty());
    EXPECT_EQ(Run("apply_template_exact", json::object()).error, "template_name is required");
}

TEST_F(TemplateApply, ApplyingNeverTouchesAnotherTemplatesModule)
{
    const std::string module = FixtureModuleBytes();
    PutLocal("_tmp_apply.mod", "the module of the template named _tmp_apply");
    storage.Put("house.mod", module);
    EXPECT_TRUE(Run("apply_template_exact", {{"template_name", "house"}}).success);
    HostTesting::FailNextCall("ACAPI_Database", APIERR_MEMFULL);
    EXPECT_EQ(Run("apply_template_exact", {{"template_name", "house"}}).error,
              "Module apply failed (error -2130313214)");
    EXPECT_EQ(TempFolder::Read(TemplatesDir() + "/_tmp_apply.mod"), "the module of the template named _tmp_apply");
    EXPECT_EQ(FilesIn(TemplatesDir()), std::vector<std::string>{"_tmp_apply.mod"});
    EXPECT_EQ(UndoStepCount(), 1u);
}

}  // namespace
