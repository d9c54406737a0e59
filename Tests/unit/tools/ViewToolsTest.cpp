// What the view and export tools compute themselves: the navigator walk (pre-order, into
// folders only, a refused folder listed without its contents), which worksheets and publisher
// sets they find, the database type a word names, and names cut to the host's field without
// splitting a character.
#include <cctype>

#include "HostTestingNavigator.hpp"
#include "PlanViewPdf.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"

namespace {

class ViewTools : public QuillmereTest {
protected:
    static json Entry(const API_Guid& guid, const std::string& name, Int32 type)
    {
        return {{"guid", Text(guid)}, {"name", name}, {"type", type}};
    }
    static void FailNavigator(Int32 code, std::optional<std::string> name, std::optional<API_Guid> guid = {})
    {
        HostTesting::InjectFailure({"ACAPI_Navigator", APIERR_GENERAL, 0, -1, guid, code, std::nullopt, name});
    }
};

TEST_F(ViewTools, TheWalkIsPreOrderAndOpensOnlyFolders)
{
    const API_Guid root = HostTesting::NavigatorRoot(API_PublicViewMap);
    HostTesting::ClearNavigatorMap(API_PublicViewMap);
    const API_Guid folder = HostTesting::AddNavigatorItem(root, "Plans", API_FolderNavItem);
    const API_Guid first = HostTesting::AddNavigatorItem(folder, "Zürich 01", API_StoryNavItem);
    const API_Guid nested = HostTesting::AddNavigatorItem(folder, "Deeper", API_FolderNavItem);
    const API_Guid deep = HostTesting::AddNavigatorItem(nested, "Deep view", 9);
    const API_Guid section = HostTesting::AddNavigatorItem(root, "Section", API_SectionNavItem);
    HostTesting::AddNavigatorItem(section, "Never asked for", API_StoryNavItem);
    json expected = {Entry(folder, "Plans", 24), Entry(first, "Zürich 01", 2), Entry(nested, "Deeper", 24),
                     Entry(deep, "Deep view", 9), Entry(section, "Section", 3)};
    EXPECT_EQ(Data(Run("list_views", json::object())), expected);
    FailNavigator(APINavigator_GetNavigatorChildrenItemsID, std::nullopt, nested);
    expected.erase(3);
    EXPECT_EQ(Data(Run("list_views", json::object())), expected) << "a refused folder is listed without contents";
}

TEST_F(ViewTools, NamesAreCutAtTheFieldWithoutSplittingACharacter)
{
    const std::string view = std::string(API_NavigatorNameCapacity - 2, 'v') + "🏠 end";
    const ToolResult made = Run("create_view", {{"name", view}});
    EXPECT_EQ(made.message, "View \"" + view + "\" created");
    HostTesting::NavigatorItemInfo info;
    ASSERT_TRUE(HostTesting::GetNavigatorItem(Guid(made.elementGuid), &info));
    EXPECT_EQ(info.name, std::string(API_NavigatorNameCapacity - 2, 'v'));

    const std::string sheet = std::string(API_DatabaseNameCapacity - 2, 'w') + "🏗 more";
    EXPECT_EQ(Run("create_worksheet", {{"name", sheet}}).message, "Worksheet \"" + sheet + "\" created");
    EXPECT_EQ(HostTesting::Databases().back().name, std::string(API_DatabaseNameCapacity - 2, 'w'));
}

TEST_F(ViewTools, OnlyWorksheetsDirectlyUnderTheRootAreListed)
{
    const API_Guid root = HostTesting::NavigatorRoot(API_ProjectMap);
    HostTesting::ClearNavigatorMap(API_ProjectMap);
    const API_Guid folder = HostTesting::AddNavigatorItem(root, "Worksheets", API_FolderNavItem);
    HostTesting::AddNavigatorItem(folder, "Filed away", API_WorksheetNavItem);
    const API_Guid top = HostTesting::AddNavigatorItem(root, "Top", API_WorksheetNavItem);
    HostTesting::AddNavigatorItem(root, "A story", API_StoryNavItem);
    EXPECT_EQ(Data(Run("list_worksheets", json::object())), json::array({{{"guid", Text(top)}, {"name", "Top"}}}));
}

TEST_F(ViewTools, TypeWordsNameDatabaseTypesAndAnyOtherWordMeansWorksheet)
{
    const auto idOf = [](Int32 type) {
        for (const auto& d : HostTesting::Databases())
            if (d.type == type) return Text(d.id);
        return std::string();
    };
    const struct {
        const char* word;  // null: no "type" key
        Int32 database;
        Int32 sent;
    } rows[] = {{"floorplan", APIWind_FloorPlanID, 1},
                {"layout", APIWind_LayoutID, 5},
                {nullptr, APIWind_WorksheetID, 12},
                {"Layout", APIWind_LayoutID, 12}};
    for (const auto& row : rows) {
        json input = {{"database_guid", idOf(row.database)}};
        if (row.word) input["type"] = row.word;
        HostTesting::ClearCallLog();
        Run("switch_database", input);
        ASSERT_EQ(HostTesting::CallLog().size(), 1u);
        EXPECT_EQ(HostTesting::CallLog()[0].detail, "code=" + std::to_string(APIDb_ChangeCurrentDatabaseID) + " type=" +
                                                        std::to_string(row.sent) + " guid=" + idOf(row.database));
    }
}

TEST_F(ViewTools, PublishingFindsTheSetByExactNameAndWritesWhereItIsTold)
{
    PlanViewPdf::Install();
    TempFolder folder("quillmere-publish");
    std::filesystem::create_directory(folder.Path("sets"));
    std::filesystem::create_directory(folder.Path("given"));
    HostTesting::SetPublisherSets(
        {{"Plans", folder.Path("sets"), 0}, {"Plans", folder.Path("given"), 1}, {"Lost", folder.Path("gone"), 0}});
    ASSERT_TRUE(Run("publish_to_pdf", {{"publisher_set_name", "Plans"}}).success);
    EXPECT_EQ(folder.Files("sets"), std::vector<std::string>{"Plans.pdf"}) << "the lower index runs";
    ASSERT_TRUE(Run("publish_to_pdf", {{"publisher_set_name", "Lost"}, {"output_path", folder.Path("given")}}).success);
    EXPECT_EQ(folder.Files("given"), std::vector<std::string>{"Lost.pdf"}) << "the given folder wins";
    EXPECT_EQ(Run("publish_to_pdf", {{"publisher_set_name", "plans"}}).error, "Publisher set not found: plans");
    EXPECT_EQ(Run("save_as_module", {{"file_path", folder.Path("no/such/folder.gsm")}}).error,
              "SaveAsModuleFile error: " + std::to_string(APIERR_GENERAL));
    EXPECT_EQ(folder.Files(), (std::vector<std::string>{"given", "sets"}));
}

}  // namespace
