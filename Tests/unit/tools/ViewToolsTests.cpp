// What the view and export tools compute themselves: the navigator walk (pre-order, into
// folders only, a refused folder listed without its contents) and names cut to the host's field
// without splitting a character; the story list read only within its handle (a short or missing
// list lists nothing and creates nothing), story names cut without splitting a surrogate pair,
// and the switch going to the low 16 bits of the index given.
#include "HostTestingNavigator.hpp"
#include "QuillmereTest.hpp"

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

using StoryTools = QuillmereTest;

TEST_F(StoryTools, ADamagedStoryListListsNothingAndCreatesNothing)
{
    const struct {
        const char* name;
        HostTesting::StoryListShape shape;
        std::vector<HostTesting::StoryFixture> stories;
        int last;
    } rows[] = {
        {"short handle", HostTesting::StoryListShape::Short, {{0, 0.0, "G"}, {1, 3.0, "F"}}, 1},
        {"no handle", HostTesting::StoryListShape::Null, {{0, 0.0, "G"}}, 0},
        {"no stories", HostTesting::StoryListShape::Full, {}, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HostTesting::SetStories(row.stories);
        HostTesting::SetStoryListShape(row.shape);
        const json listed = Data(Run("list_stories", json::object()));
        EXPECT_EQ(listed["stories"], json::array());
        EXPECT_EQ(listed["last_story"], row.last);
        EXPECT_EQ(Run("create_story", json::object()).error, "GetStorySettings error: no stories");
        EXPECT_EQ(HostTesting::GetStories().size(), row.stories.size());
    }
}

TEST_F(StoryTools, ALongNameIsCutBeforeASurrogatePairThatWouldNotFit)
{
    const std::string name = std::string(254, 'x') + "\U0001F3E0";  // the pair straddles the buffer's end
    EXPECT_EQ(Run("create_story", {{"name", name}}).message, "Story \"" + name + "\" created at elevation 9.000000");
    EXPECT_EQ(HostTesting::GetStories().back().name, std::string(254, 'x'));
}

TEST_F(StoryTools, SwitchingGoesToTheLow16BitsOfTheIndex)
{
    HostTesting::SetStories({{0, 0.0, "G"}, {1, 3.0, "F"}, {4464, 99.0, "Far"}});
    EXPECT_EQ(Run("set_current_story", {{"story_index", 70000}}).message, "Switched to story 4464");
    EXPECT_EQ(HostTesting::CurrentStory(), 4464);
    EXPECT_EQ(Run("set_current_story", {{"story_index", 2}}).error, "SetCurrentStory error: -2130313112");
    EXPECT_EQ(HostTesting::CurrentStory(), 4464);
    // From a worksheet, a story is its floor plan again (the window's story tabs go the same way).
    const API_Guid plan = HostTesting::CurrentDatabase();
    Run("switch_database", {{"database_guid", Text(HostTesting::AddDatabase(APIWind_WorksheetID, "Notes"))}});
    EXPECT_TRUE(Run("set_current_story", {{"story_index", 1}}).success);
    EXPECT_EQ(HostTesting::CurrentDatabase(), plan);
}

}  // namespace
