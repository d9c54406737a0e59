// Saved views and graphic override combinations through the view tools.
#include "ViewsTest.hpp"

namespace {

const std::string kGeneral = std::to_string(APIERR_GENERAL);
const std::string kBadId = std::to_string(APIERR_BADID);

class ViewTools : public ViewsTest {
protected:
    void SetUp() override
    {
        ViewsTest::SetUp();
        root = HostTesting::NavigatorRoot(API_PublicViewMap);
    }
    json List()
    {
        const ToolResult result = Run("list_views", json::object());
        EXPECT_TRUE(result.success) << result.error;
        EXPECT_TRUE(result.elementGuid.empty());
        return json::parse(result.message);
    }
    static json Entry(const API_Guid& guid, const std::string& name, Int32 type)
    {
        return {{"guid", Text(guid)}, {"name", name}, {"type", type}};
    }
    API_Guid root;
};

TEST_F(ViewTools, TheWalkIsPreOrderInStoredOrderAndOpensOnlyFolders)
{
    HostTesting::ClearNavigatorMap(API_PublicViewMap);
    EXPECT_EQ(Run("list_views", json::object()).message, "[]");

    const API_Guid folder = HostTesting::AddNavigatorItem(root, "Plans", API_FolderNavItem);
    const API_Guid first = HostTesting::AddNavigatorItem(folder, "Zürich 01", API_StoryNavItem);
    const API_Guid nested = HostTesting::AddNavigatorItem(folder, "Deeper", API_FolderNavItem);
    const API_Guid deep = HostTesting::AddNavigatorItem(nested, "Deep view", 9);
    const API_Guid second = HostTesting::AddNavigatorItem(folder, "A second", API_StoryNavItem);
    const API_Guid section = HostTesting::AddNavigatorItem(root, "Section", API_SectionNavItem);
    HostTesting::AddNavigatorItem(section, "Never asked for", API_StoryNavItem);
    const API_Guid sibling = HostTesting::AddNavigatorItem(root, "Sibling", -7);
    const API_Guid emptyFolder = HostTesting::AddNavigatorItem(root, "", API_FolderNavItem);

    HostTesting::ClearCallLog();
    const json expected = {Entry(folder, "Plans", 24),    Entry(first, "Zürich 01", 2), Entry(nested, "Deeper", 24),
                           Entry(deep, "Deep view", 9),   Entry(second, "A second", 2), Entry(section, "Section", 3),
                           Entry(sibling, "Sibling", -7), Entry(emptyFolder, "", 24)};
    const ToolResult result = Run("list_views", {{"ignored", 1}});
    ASSERT_TRUE(result.success);
    EXPECT_EQ(result.message, expected.dump());
    EXPECT_NE(result.message.find("Zürich"), std::string::npos) << "written unescaped";
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Navigator"), 1 + 4) << "the set, the root and the three folders";

    // A folder whose contents the host refuses is listed without them; a refused root is "[]".
    Inject("ACAPI_Navigator", APIERR_GENERAL, kGNCI, std::nullopt, nested);
    json withoutDeep = expected;
    withoutDeep.erase(3);
    EXPECT_EQ(List(), withoutDeep);
    Inject("ACAPI_Navigator", APIERR_GENERAL, kGNCI, std::nullopt, root);
    EXPECT_EQ(List(), json::array());
}

TEST_F(ViewTools, CreatedViewsAreSavedUnderTheRootAndSwitchingOpensThem)
{
    const ToolResult made = Run("create_view", {{"name", "Étage – Présentation"}});
    ASSERT_TRUE(made.success) << made.error;
    EXPECT_EQ(made.message, "View \"Étage – Présentation\" created");
    const json views = List();
    EXPECT_EQ(views.back(), Entry(Guid(made.elementGuid), "Étage – Présentation", 2)) << "last child of the root";

    const auto unnamed = Run("create_view", json::object());
    EXPECT_EQ(unnamed.message, "View \"New View\" created");

    std::string longName(API_NavigatorNameCapacity - 2, 'v');
    longName += "🏠 end";
    const ToolResult cut = Run("create_view", {{"name", longName}});  // cut at the field, never inside a character
    HostTesting::NavigatorItemInfo info;
    ASSERT_TRUE(cut.success);
    EXPECT_EQ(cut.message, "View \"" + longName + "\" created");
    ASSERT_TRUE(HostTesting::GetNavigatorItem(Guid(cut.elementGuid), &info));
    EXPECT_EQ(info.name, std::string(API_NavigatorNameCapacity - 2, 'v'));

    // Switching: the first floor's view moves the window there; lower-case text comes back as given.
    HostTesting::ClearCallLog();
    const std::string upper = views[3]["guid"];
    ASSERT_EQ(views[3]["type"], 2);
    const ToolResult switched = Run("switch_view", {{"view_guid", Lower(upper)}});
    ASSERT_TRUE(switched.success) << switched.error;
    EXPECT_EQ(switched.elementGuid, Lower(upper));
    EXPECT_EQ(switched.message, "View activated");
    EXPECT_EQ(HostTesting::CurrentView(), Guid(upper));
    HostTesting::NavigatorItemInfo opened;
    ASSERT_TRUE(HostTesting::GetNavigatorItem(Guid(upper), &opened));
    EXPECT_EQ(HostTesting::CurrentStory(), opened.story);
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Navigator"), 1) << "the View Map is not searched first";
}

TEST_F(ViewTools, FailuresNameTheHostOperationAndStopThere)
{
    const std::string type302 = "[json.exception.type_error.302] type must be string, but is ";
    ExpectFailures({
        {"switch_view", json::object(), "view_guid is required", {}},
        {"switch_view", {{"view_guid", 7}}, type302 + "number", {}},
        {"switch_view",
         {{"view_guid", "not a guid"}},
         "ChangeNavigatorView error: " + kBadId,
         {"ACAPI_Navigator code=" + std::to_string(APINavigator_ChangeNavigatorViewID) +
          " guid=00000000-0000-0000-0000-000000000000"}},
    });

    const size_t before = HostTesting::NavigatorChildren(root).size();
    Inject("ACAPI_Navigator", APIERR_GENERAL, kGNSE, "map 3");
    ExpectFailures({{"list_views",
                     json::object(),
                     "GetNavigatorSet error: " + kGeneral,
                     {"ACAPI_Navigator code=" + std::to_string(kGNSE) + " map 3"}}});
    HostTesting::ClearFailures();
    Inject("ACAPI_Navigator", APIERR_CANCEL, kCVPI);
    ExpectFailures({{"create_view",
                     {{"name", "x"}},
                     "CreateNavigatorItem error: " + std::to_string(APIERR_CANCEL),
                     {"ACAPI_Navigator code=" + std::to_string(kGNSE) + " map 3",
                      "ACAPI_Navigator code=" + std::to_string(kCVPI) + " map 3 guid=" + Text(root)}}});
    EXPECT_EQ(HostTesting::NavigatorChildren(root).size(), before);
}

TEST_F(ViewTools, OverrideListingSkipsUnreadableCombinationsAndLookupNamesOne)
{
    HostTesting::SetOverrideCombinations({});
    EXPECT_EQ(Run("list_graphic_overrides", json::object()).message, "[]");
    const auto guids = HostTesting::SetOverrideCombinations({"Rénovation", "Broken", "", "Rénovation"});
    Inject("ACAPI_Override_GetOverrideCombination", APIERR_GENERAL, std::nullopt, std::nullopt, guids[1]);
    const json expected = {{{"guid", Text(guids[0])}, {"name", "Rénovation"}},
                           {{"guid", Text(guids[2])}, {"name", ""}},
                           {{"guid", Text(guids[3])}, {"name", "Rénovation"}}};
    const ToolResult list = Run("list_graphic_overrides", json::object());
    ASSERT_TRUE(list.success);
    EXPECT_EQ(list.message, expected.dump());

    const ToolResult found = Run("set_graphic_override", {{"combination_guid", Lower(Text(guids[3]))}});
    ASSERT_TRUE(found.success);
    EXPECT_EQ(found.elementGuid, Lower(Text(guids[3])));
    EXPECT_EQ(found.message, "Graphic override combination found: Rénovation. Apply it via the current view settings.");
    HostTesting::ClearCallLog();
    const ToolResult cleared = Run("set_graphic_override", {{"clear", true}, {"combination_guid", 5}});
    EXPECT_EQ(cleared.message, "Use ArchiCAD UI to clear graphic overrides");
    EXPECT_TRUE(HostTesting::CallLog().empty());

    const std::string getOne = "ACAPI_Override_GetOverrideCombination ";
    ExpectFailures({
        {"set_graphic_override", json::object(), "combination_guid is required (or set clear=true)", {}},
        {"set_graphic_override",
         {{"clear", "yes"}},
         "[json.exception.type_error.302] type must be boolean, but is string",
         {}},
        {"set_graphic_override",
         {{"combination_guid", Text(guids[1])}},
         "Override combination not found: " + Text(guids[1]),
         {getOne + Text(guids[1])}},
    });
    Inject("ACAPI_Override_GetOverrideCombinationList", APIERR_GENERAL);
    ExpectFailures({{"list_graphic_overrides",
                     json::object(),
                     "GetOverrideCombinationList error: " + kGeneral,
                     {"ACAPI_Override_GetOverrideCombinationList "}}});
}

}  // namespace
