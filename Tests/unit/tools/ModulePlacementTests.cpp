// Placing modules from the design library: the shared placement routine, the typology skeleton and the stored
// templates. What they compute (counts of what a placement added, templates newest first, what a missing template or
// an unreadable listing answers) and the mended faults: a failed placement leaves no node, the temporary module is a
// fresh file that never outlives the call nor replaces one that was there, unsafe typology names are never sent, a
// module counts only when the same listing has it, and an empty local file counts as absent.
#include <sys/stat.h>

#include "FakeStorage.hpp"
#include "HostTestingModules.hpp"
#include "HostTestingNavigator.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"
#include "tools/library/ModulePlacement.hpp"

namespace {

const std::string kCreated =
    R"({"beams":0,"columns":0,"doors":1,"objects":0,"roofs":0,"slabs":1,"walls":4,"windows":1,"zones":1})";

class ModulePlacement : public QuillmereTest {
protected:
    std::string Dir(const std::string& sub) { return HomeDir() + "/.quillmere/" + sub; }
    size_t Downloads() { return Storage().RequestsTo("GET", "/storage/v1/object/public/Templates/").size(); }
    static std::vector<std::string> Files(const std::string& dir)
    {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(dir, ignored))
            names.push_back(entry.path().filename().string());
        return names;
    }
};

TEST_F(ModulePlacement, EachLibraryReplyCarriesExactlyItsOwnKeys)
{
    // The module brings drafting onto a worksheet and the module upload fails: neither adds a key.
    Run("switch_database", {{"database_guid", Text(HostTesting::AddDatabase(APIWind_WorksheetID, "Notes"))}});
    Storage().Put("T.mod", FixtureModuleBytes());
    Storage().Put("typologies/t/model.mod", FixtureModuleBytes());
    Storage().Put("typologies/t/meta.json", "{}");
    Storage().FailNext("/storage/v1/object/Templates/C.mod", 503, "busy");
    HostTesting::AddWall(0, 0, 1, 0);
    using Keys = std::vector<std::string>;
    const struct {
        const char* tool;
        json input;
        Keys keys;
    } rows[] = {
        {"capture_project_template",
         {{"template_name", "C"}},
         {"counts", "meta_path", "meta_uploaded", "meta_written_local", "mod_export_error_code", "mod_exported",
          "mod_file_size", "mod_target_path", "mod_upload_bytes", "mod_upload_status", "mod_uploaded", "parent_dir",
          "parent_dir_exists", "parent_dir_writable", "storage", "stories_count", "template", "total_elements"}},
        {"apply_template_exact",
         {{"template_name", "T"}},
         {"created", "errors", "method", "model_counts", "source", "template", "total_created", "total_errors"}},
        {"apply_template_exact",
         {{"template_name", "none"}},
         {"artifacts_checked", "error", "instruction", "template"}},
        {"apply_typology_skeleton",
         {{"typology_name", "t"}},
         {"created", "meta", "method", "total_created", "typology", "zones"}},
    };
    for (const auto& row : rows) {
        const json reply = Data(Run(row.tool, row.input));
        Keys keys;
        for (const auto& item : reply.items()) keys.push_back(item.key());
        EXPECT_EQ(keys, row.keys) << row.tool;
    }
    EXPECT_EQ(Data(Run("find_elements", {{"types", {"text"}}, {"story", 0}}))["total"], 2) << "the drafting was placed";
}

TEST_F(ModulePlacement, ABreakTheHostRefusesLeavesNoNode)
{
    TempFolder folder("quillmere-placement");
    TempFolder::Write(folder.Path("placed.mod"), FixtureModuleBytes());
    HostTesting::InjectFailure({"ACAPI_Database", APIERR_GENERAL, 1, 1});
    EXPECT_EQ(Command([&] { return PlaceModuleAsElements(folder.Path("placed.mod"), "x"); }), APIERR_GENERAL);
    EXPECT_EQ(HostTesting::HotlinkNodeCount(), 0u);
    EXPECT_EQ(HostTesting::ElementCount(), 0u);
}

TEST_F(ModulePlacement, TheSkeletonReportsWhatItAddedAndTheProjectsZones)
{
    Storage().Put("typologies/t/model.mod", FixtureModuleBytes());
    Storage().Put("typologies/t/meta.json", R"({"note":"fixture"})");
    const json first = Data(Run("apply_typology_skeleton", {{"typology_name", "t"}}));
    EXPECT_EQ(first["created"].dump(), kCreated);
    EXPECT_EQ(first["meta"], json({{"note", "fixture"}}));
    const json second = Data(Run("apply_typology_skeleton", {{"typology_name", "t"}}));
    EXPECT_EQ(second["created"].dump(), kCreated) << "a second placement counts only itself";
    EXPECT_EQ(second["zones"].size(), 2u);
    EXPECT_EQ(UndoSteps(), std::vector<std::string>(2, "Quillmere: Apply Typology Skeleton"));
    EXPECT_TRUE(Files(Dir("typologies")).empty()) << "the temporary module is gone";
}

TEST_F(ModulePlacement, UnsafeTypologyNamesAreNeverSent)
{
    for (const std::string name : {"../index.json", "%2e%2e", "..", "no-such-house"}) {
        const size_t before = Downloads();
        EXPECT_EQ(Run("apply_typology_skeleton", {{"typology_name", name}}).error,
                  "NO_MOD_FILE: Could not download module for typology '" + name + "'");
        EXPECT_EQ(Downloads() - before, name == "no-such-house" ? 1u : 0u) << name;
    }
}

TEST_F(ModulePlacement, TheTemporaryModuleIsAFreshFileRemovedWhateverTheOutcome)
{
    Storage().Put("typologies/t/model.mod", FixtureModuleBytes());
    std::filesystem::create_directories(Dir("typologies"));
    TempFolder::Write(Dir("typologies/_tmp_typology.mod"), "keep me");  // an older build's fixed name
    TempFolder outside("quillmere-outside");
    ASSERT_EQ(::symlink(outside.Path("target").c_str(), Dir("typologies/_tmp_typology_link.mod").c_str()), 0);
    EXPECT_TRUE(Run("apply_typology_skeleton", {{"typology_name", "t"}}).success);
    HostTesting::FailNextCall("ACAPI_Element_Create", APIERR_MEMFULL);
    EXPECT_EQ(Run("apply_typology_skeleton", {{"typology_name", "t"}}).error,
              "Typology apply failed (error -2130313214)");
    EXPECT_EQ(TempFolder::Read(Dir("typologies/_tmp_typology.mod")), "keep me");
    EXPECT_EQ(Files(Dir("typologies")).size(), 2u);
    EXPECT_TRUE(outside.Files().empty());

    std::filesystem::remove_all(Dir("typologies"));
    TempFolder::Write(Dir("typologies"), "a file where the folder should be");
    HostTesting::ClearCallLog();
    EXPECT_EQ(Run("apply_typology_skeleton", {{"typology_name", "t"}}).error, "Failed to write temp .mod file");
    EXPECT_EQ(HostTesting::CallCount("ACAPI_CallUndoableCommand"), 0);
}

TEST_F(ModulePlacement, TemplatesComeNewestFirstWithAModuleOnlyWhenTheSameListingHasIt)
{
    Storage().Put("a.mod", "module bytes");
    Storage().Put("a.meta.json", R"({"captured_at":"2025-02-28T23:59:59Z","has_mod":false})");
    Storage().Put("b.meta.json", R"({"captured_at":"2025-03-01T10:00:00Z","has_mod":true,"template_name":"x"})");
    Storage().Put("c.meta.json", "{}");  // no capture time: last
    Storage().Put("broken.meta.json", "{not json");
    EXPECT_EQ(Run("list_templates", json::object()).message,
              R"({"count":3,"templates":[{"captured_at":"2025-03-01T10:00:00Z","has_mod":false,"meta_file":)"
              R"("b.meta.json","mod_file":"b.mod","template_name":"b"},{"captured_at":"2025-02-28T23:59:59Z",)"
              R"("has_mod":true,"meta_file":"a.meta.json","mod_file":"a.mod","template_name":"a"},{"has_mod":false,)"
              R"("meta_file":"c.meta.json","mod_file":"c.mod","template_name":"c"}],"unreadable_count":1})");
    const std::tuple<int, const char*, const char*> unreadable[] = {
        {401, R"({"message":"Invalid JWT"})", R"(Supabase list failed (401): {"message":"Invalid JWT"})"},  // whole
        {200, "not json", "Failed to parse Supabase list response"},
        {200, "{}", "Unexpected response"},
        // A listing that never answers: a result the page shows as a warning, as it carries an error.
        {0, "", "Supabase list failed (0): The request timed out."}};
    for (const auto& [status, body, error] : unreadable) {
        Storage().FailNext("/storage/v1/object/list/", status, body);
        Quillmere::SetHttpTimeoutOverrideForTesting(status == 0 ? 300 : 0);
        EXPECT_EQ(Data(Run("list_templates", json::object())), json({{"error", error}, {"templates", json::array()}}));
    }
    Quillmere::SetHttpTimeoutOverrideForTesting(0);
}

TEST_F(ModulePlacement, TemplatesComeFromStorageBeforeTheLocalFolderAndAnEmptyFileCountsAsAbsent)
{
    const std::string module = FixtureModuleBytes();
    std::filesystem::create_directories(Dir("templates"));
    Storage().Put("My_House.mod", module);
    TempFolder::Write(Dir("templates/My_House.mod"), "stale local copy, never read");
    Storage().Put("EmptyStored.mod", "");
    TempFolder::Write(Dir("templates/EmptyStored.mod"), module);
    TempFolder::Write(Dir("templates/_tmp_apply.mod"), "the module of the template named _tmp_apply");
    Run("switch_database", {{"database_guid", Text(HostTesting::AddDatabase(APIWind_WorksheetID, "Notes"))}});
    for (const auto& [name, source] : {std::pair{"My House", "supabase"}, {"EmptyStored", "local"}}) {
        const json result = Data(Run("apply_template_exact", {{"template_name", name}}));
        EXPECT_EQ(result["source"], source) << name;
        EXPECT_EQ(result["created"].dump(), kCreated) << name;
    }
    EXPECT_EQ(UndoSteps(), std::vector<std::string>(2, "Quillmere: Apply Template"));
    EXPECT_EQ(Data(Run("find_elements", {{"types", {"text"}}, {"story", 0}}))["total"], 2) << "on the plan";
    EXPECT_EQ(TempFolder::Read(Dir("templates/_tmp_apply.mod")), "the module of the template named _tmp_apply");
    EXPECT_EQ(Files(Dir("templates")).size(), 3u) << "a temporary module was left behind";
    Storage().Put("Stored.meta.json", R"({"stories":2})");
    TempFolder::Write(Dir("templates/Stored.meta.json"), R"({"stories":9})");
    EXPECT_EQ(
        Run("get_template_layout", {{"template_name", "Stored"}, {"story_filter", 0}, {"include_objects", 0}}).message,
        R"({"ignored_params":["include_objects","story_filter"],"meta":{"stories":2},"note":"Use )"
        R"(apply_template_exact to place this template in the project.","source":"supabase","template":"Stored"})");
    json none = Data(Run("apply_template_exact", {{"template_name", "A/b"}, {"error_policy", 1}, {"story_filter", 2}}));
    EXPECT_EQ(none["artifacts_checked"].at("local_mod"), Dir("templates/A_b.mod"));
    none["artifacts_checked"].erase("local_mod");
    EXPECT_EQ(none.dump(), R"({"artifacts_checked":{"supabase_mod":"A_b.mod"},"error":"NO_MOD_FILE",)"
                           R"("ignored_params":["story_filter","error_policy"],"instruction":"Re-capture with )"
                           R"(capture_project_template to generate a .mod file.","template":"A/b"})");
}

}  // namespace
