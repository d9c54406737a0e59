// Worksheets, databases, publisher sets, publishing and module files through the export tools.
#include <filesystem>

#include "HostTestingModules.hpp"
#include "PlanViewPdf.hpp"
#include "TempFolder.hpp"
#include "ViewsTest.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kGeneral = std::to_string(APIERR_GENERAL);

class ExportTools : public ViewsTest {
protected:
    void SetUp() override
    {
        ViewsTest::SetUp();
        PlanViewPdf::Install();
        fs::create_directory(dir + "/sets");
        fs::create_directory(dir + "/given");
    }
    json Worksheets()
    {
        const ToolResult result = Run("list_worksheets", json::object());
        EXPECT_TRUE(result.success);
        return json::parse(result.message);
    }
    std::vector<std::string> Files(const std::string& path) const
    {
        return path == dir ? folder.Files() : folder.Files(path.substr(dir.size() + 1));
    }
    TempFolder folder{"quillmere-export"};
    const std::string dir = folder.Dir();
};

TEST_F(ExportTools, ACreatedWorksheetIsListedAndSwitchedToByItsListedGuid)
{
    const json before = Worksheets();
    ASSERT_EQ(before.size(), 1u) << "the default project's worksheet at the map's root";

    const ToolResult made = Run("create_worksheet", {{"name", "Dachaufbau – Notizen"}});
    ASSERT_TRUE(made.success) << made.error;
    EXPECT_EQ(made.message, "Worksheet \"Dachaufbau – Notizen\" created");
    const json after = Worksheets();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1], json({{"guid", made.elementGuid}, {"name", "Dachaufbau – Notizen"}}));

    const std::string listed = after[1]["guid"];
    const ToolResult switched = Run("switch_database", {{"database_guid", Lower(listed)}});
    ASSERT_TRUE(switched.success) << switched.error;
    EXPECT_EQ(switched.message, "Switched to worksheet database");
    EXPECT_EQ(switched.elementGuid, Lower(listed));
    EXPECT_EQ(HostTesting::CurrentDatabase(), Guid(listed));

    EXPECT_EQ(Run("create_worksheet", json::object()).message, "Worksheet \"New Worksheet\" created");
    std::string longName(API_DatabaseNameCapacity - 2, 'w');
    longName += "🏗 more";
    const ToolResult cut = Run("create_worksheet", {{"name", longName}});
    EXPECT_EQ(cut.message, "Worksheet \"" + longName + "\" created");
    EXPECT_EQ(Worksheets().back()["name"], std::string(API_DatabaseNameCapacity - 2, 'w'));
}

TEST_F(ExportTools, OnlyWorksheetsDirectlyUnderTheRootAreListedAndHostRefusalsListNothing)
{
    const API_Guid projectRoot = HostTesting::NavigatorRoot(API_ProjectMap);
    HostTesting::ClearNavigatorMap(API_ProjectMap);
    const API_Guid folder = HostTesting::AddNavigatorItem(projectRoot, "Worksheets", API_FolderNavItem);
    HostTesting::AddNavigatorItem(folder, "Filed away", API_WorksheetNavItem);
    EXPECT_EQ(Worksheets(), json::array());
    const API_Guid top = HostTesting::AddNavigatorItem(projectRoot, "Top", API_WorksheetNavItem);
    HostTesting::AddNavigatorItem(projectRoot, "A story", API_StoryNavItem);
    EXPECT_EQ(Worksheets(), json::array({{{"guid", Text(top)}, {"name", "Top"}}}));

    Inject("ACAPI_Navigator", APIERR_GENERAL, kGNSE, "map 1");
    HostTesting::ClearCallLog();
    EXPECT_EQ(Worksheets(), json::array());
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Navigator"), 1);
}

TEST_F(ExportTools, TypeWordsMapToDatabaseTypesAndUnknownWordsMeanWorksheet)
{
    const auto databases = HostTesting::Databases();
    auto idOf = [&](Int32 type) {
        for (const auto& d : databases)
            if (d.type == type) return Text(d.id);
        return std::string();
    };
    const struct {
        const char* word;    // null: no "type" key
        Int32 databaseType;  // the database switched to
        Int32 sent;
        bool succeeds;
    } cases[] = {
        {"floorplan", APIWind_FloorPlanID, 1, true},
        {"layout", APIWind_LayoutID, 5, true},
        {nullptr, APIWind_WorksheetID, 12, true},
        {"Layout", APIWind_LayoutID, 12, false},
    };
    for (const auto& c : cases) {
        const std::string id = idOf(c.databaseType);
        ASSERT_FALSE(id.empty());
        json input = {{"database_guid", id}};
        if (c.word) input["type"] = c.word;
        const std::string word = c.word ? c.word : "worksheet";
        SCOPED_TRACE(word);
        HostTesting::ClearCallLog();
        const ToolResult result = Run("switch_database", input);
        ASSERT_EQ(HostTesting::CallLog().size(), 1u);
        EXPECT_EQ(HostTesting::CallLog()[0].detail, "code=" + std::to_string(APIDb_ChangeCurrentDatabaseID) +
                                                        " type=" + std::to_string(c.sent) + " guid=" + id);
        EXPECT_EQ(result.success, c.succeeds);
        if (c.succeeds) {
            EXPECT_EQ(result.message, "Switched to " + word + " database");
            EXPECT_EQ(HostTesting::CurrentDatabase(), Guid(id));
        } else {
            EXPECT_EQ(result.error, "ChangeCurrentDatabase error: " + std::to_string(APIERR_BADDATABASE));
        }
    }

    const std::string type302 = "[json.exception.type_error.302] type must be string, but is ";
    ExpectFailures({
        {"switch_database", {{"database_guid", ""}, {"type", "layout"}}, "database_guid is required", {}},
        {"switch_database", {{"database_guid", idOf(APIWind_SectionID)}, {"type", 2}}, type302 + "number", {}},
    });
    Inject("ACAPI_Database", APIERR_CANCEL, APIDb_NewDatabaseID);
    const size_t count = HostTesting::Databases().size();
    ExpectFailures({{"create_worksheet",
                     {{"name", "x"}},
                     "NewDatabase error: " + std::to_string(APIERR_CANCEL),
                     {"ACAPI_Database code=" + std::to_string(APIDb_NewDatabaseID) + " type=12 name=x"}}});
    EXPECT_EQ(HostTesting::Databases().size(), count);
}

TEST_F(ExportTools, PublisherSetsAreListedAndPublishedByExactName)
{
    HostTesting::AddWall(0, 0, 5, 0);
    const auto roots = HostTesting::SetPublisherSets({{"Plans", dir + "/sets", 0},
                                                      {"Unreadable", dir + "/sets", 0},
                                                      {"Plans", dir + "/given", 1},
                                                      {"Lost", dir + "/gone", 0}});
    Inject("ACAPI_Navigator", APIERR_GENERAL, kGNSE, "map 5", std::nullopt, 1);
    const json expected = {{{"guid", Text(roots[0])}, {"name", "Plans"}},
                           {{"guid", Text(roots[2])}, {"name", "Plans"}},
                           {{"guid", Text(roots[3])}, {"name", "Lost"}}};
    EXPECT_EQ(Run("list_publisher_sets", {{"any", "thing"}}).message, expected.dump());

    const ToolResult published = Run("publish_to_pdf", {{"publisher_set_name", "Plans"}});
    ASSERT_TRUE(published.success) << published.error;
    EXPECT_EQ(published.message, "Published using set: Plans");
    EXPECT_EQ(Files(dir + "/sets"), std::vector<std::string>{"Plans.pdf"}) << "the lower index runs";

    ASSERT_TRUE(Run("publish_to_pdf", {{"publisher_set_name", "Lost"}, {"output_path", dir + "/given"}}).success);
    EXPECT_EQ(Files(dir + "/given"), std::vector<std::string>{"Lost.pdf"}) << "the given folder wins";

    const std::string publish = "ACAPI_Automate code=" + std::to_string(APIDo_PublishID) + " set=";
    const std::string nsn = "ACAPI_Navigator code=" + std::to_string(kGNSN);
    auto set = [](Int32 i) {
        return "ACAPI_Navigator code=" + std::to_string(kGNSE) + " map 5 index=" + std::to_string(i);
    };
    ExpectFailures({
        {"publish_to_pdf", json::object(), "publisher_set_name is required", {}},
        {"publish_to_pdf",
         {{"publisher_set_name", "Unreadable"}},
         "Publisher set not found: Unreadable",
         {nsn, set(0), set(1), set(2), set(3)}},
        {"publish_to_pdf",
         {{"publisher_set_name", "plans"}},
         "Publisher set not found: plans",
         {nsn, set(0), set(1), set(2), set(3)}},
        {"publish_to_pdf",
         {{"publisher_set_name", "Plans"}, {"output_path", nullptr}},
         "[json.exception.type_error.302] type must be string, but is null",
         {nsn, set(0)}},
        {"publish_to_pdf",
         {{"publisher_set_name", "Lost"}},
         "Publish error: " + std::to_string(APIERR_BADPARS),
         {nsn, set(0), set(1), set(2), set(3), publish + Text(roots[3]) + " path=(null)"}},
    });
    EXPECT_EQ(Files(dir + "/sets"), std::vector<std::string>{"Plans.pdf"});

    HostTesting::ClearFailures();
    Inject("ACAPI_Navigator", APIERR_MEMFULL, kGNSN);
    ExpectFailures({{"list_publisher_sets",
                     json::object(),
                     "GetNavigatorSetNum error: " + std::to_string(APIERR_MEMFULL),
                     {nsn}}});
    HostTesting::SetPublisherSets({});
    HostTesting::ClearFailures();
    EXPECT_EQ(Run("list_publisher_sets", json::object()).message, "[]");
}

TEST_F(ExportTools, SaveAsModuleWritesTheProjectWhereverItIsToldOrNothing)
{
    HostTesting::AddWall(0, 0, 5, 0);
    HostTesting::AddFixture(API_SlabID);
    const std::string path = dir + "/house.module";
    const ToolResult saved = Run("save_as_module", {{"file_path", path}});
    ASSERT_TRUE(saved.success) << saved.error;
    EXPECT_EQ(saved.message, "Module saved: " + path);
    HostTesting::ModuleSummary summary;
    ASSERT_EQ(HostTesting::ReadModuleSummary(path, &summary), NoError);
    EXPECT_EQ(summary.elements.size(), HostTesting::ElementCount());

    ExpectFailures({
        {"save_as_module", json::object(), "file_path is required", {}},
        {"save_as_module",
         {{"file_path", 1}},
         "[json.exception.type_error.302] type must be string, but is number",
         {}},
        {"save_as_module",
         {{"file_path", dir + "/no/such/folder.gsm"}},
         "Not saved: cannot write beside " + dir + "/no/such/folder.gsm",
         {}},
    });
    EXPECT_EQ(Files(dir), (std::vector<std::string>{"given", "house.module", "sets"}));
}

}  // namespace
