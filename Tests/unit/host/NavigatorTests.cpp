// The host's navigator maps, saved views and databases: what the view and worksheet tools
// rely on, at the host's own interface.

#include "HostTestingNavigator.hpp"
#include "QuillmereTest.hpp"

namespace {

class Navigator : public HostTest {
protected:
    static std::vector<std::string> ChildNames(const API_Guid& parent)
    {
        API_NavigatorItem item;
        BNClear(item);
        item.guid = parent;
        GS::Array<API_NavigatorItem> children;
        EXPECT_EQ(ACAPI_Navigator(APINavigator_GetNavigatorChildrenItemsID, &item, nullptr, &children), NoError);
        std::vector<std::string> names;
        for (const API_NavigatorItem& child : children) names.push_back(GS::UniString(child.uName).ToStdString());
        return names;
    }
};

// Walking the maps and reading sets by index are the view and export tools' to check; here,
// names longer than their fields come out cut without splitting a character.
TEST_F(Navigator, LongNamesComeOutCutWithoutSplittingACharacter)
{
    const API_Guid folder =
        HostTesting::AddNavigatorItem(HostTesting::NavigatorRoot(API_PublicViewMap), "B", API_FolderNavItem);
    const std::u16string name(API_NavigatorNameCapacity - 2, u'a');
    HostTesting::AddNavigatorItemUtf16(folder, name + u"\U0001F3E0", API_StoryNavItem);  // a pair across the end
    EXPECT_EQ(ChildNames(folder), std::vector<std::string>{std::string(name.size(), 'a')});
    HostTesting::SetPublisherSets({{std::string(126, 'x') + "é", "/tmp", 0}});  // two bytes across the 8-bit end
    API_NavigatorSet set;
    BNClear(set);
    set.mapId = API_PublisherSets;
    Int32 first = 0;
    ASSERT_EQ(ACAPI_Navigator(APINavigator_GetNavigatorSetID, &set, &first), NoError);
    EXPECT_EQ(std::string(set.name), std::string(126, 'x'));
}

TEST_F(Navigator, SavedViewsKeepTheWindowStateAndOpeningOneRestoresIt)
{
    const API_Guid root = HostTesting::NavigatorRoot(API_PublicViewMap);
    const API_Guid folder = HostTesting::AddNavigatorItem(root, "Mine", API_FolderNavItem);
    const API_Guid section = HostTesting::Databases()[1].id;
    ASSERT_EQ(HostTesting::Databases()[1].type, APIWind_SectionID);

    API_DatabaseInfo db;
    BNClear(db);
    db.typeID = APIWind_SectionID;
    db.databaseUnId = section;
    ASSERT_EQ(ACAPI_Database(APIDb_ChangeCurrentDatabaseID, &db), NoError);
    API_NavigatorItem view;
    BNClear(view);
    GS::ucsncpy(view.uName, u"Section view", API_NavigatorNameCapacity);
    view.mapId = API_PublicViewMap;
    view.itemType = API_StoryNavItem;
    ASSERT_EQ(ACAPI_Navigator(APINavigator_CreateNavigatorVPItemID, &view, const_cast<API_Guid*>(&folder)), NoError);
    HostTesting::NavigatorItemInfo info;
    ASSERT_TRUE(HostTesting::GetNavigatorItem(view.guid, &info));
    EXPECT_EQ(std::tie(info.name, info.parent, info.database, info.itemType),
              std::tie("Section view", folder, section, view.itemType));

    // Back to the floor plan on the first floor through a default saved view, then to ours.
    const auto plans = HostTesting::NavigatorChildren(HostTesting::NavigatorChildren(root)[0].guid);
    ASSERT_GE(plans.size(), 2u);
    ASSERT_EQ(ACAPI_Navigator(APINavigator_ChangeNavigatorViewID, const_cast<API_Guid*>(&plans[1].guid)), NoError);
    EXPECT_EQ(std::make_tuple(HostTesting::CurrentView(), HostTesting::CurrentStory(), HostTesting::CurrentDatabase()),
              std::make_tuple(plans[1].guid, plans[1].story, HostTesting::Databases()[0].id));
    ASSERT_EQ(ACAPI_Navigator(APINavigator_ChangeNavigatorViewID, &view.guid), NoError);
    EXPECT_EQ(HostTesting::CurrentDatabase(), section);

    const API_Guid unknown = GSGuid2APIGuid(GS::Guid("11111111-2222-4333-8444-555555555555"));
    for (API_Guid target : {folder, unknown}) {
        EXPECT_EQ(ACAPI_Navigator(APINavigator_ChangeNavigatorViewID, &target), APIERR_BADID);
        EXPECT_EQ(HostTesting::CurrentView(), view.guid);
    }
}

}  // namespace
