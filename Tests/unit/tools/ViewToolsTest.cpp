// What the view and export tools compute themselves: the navigator walk (pre-order, into
// folders only, a refused folder listed without its contents) and names cut to the host's field
// without splitting a character.
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

}  // namespace
