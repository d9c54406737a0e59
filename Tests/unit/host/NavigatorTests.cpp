// The host's navigator maps, saved views and databases: what the view and worksheet tools
// rely on, at the host's own interface.

#include "HostTestingNavigator.hpp"
#include "QuillmereTest.hpp"

namespace {

class Navigator : public HostTest {
protected:
    // Reads the map's set (a publisher set by index); the caller gets the host's code.
    static GSErrCode GetSet(API_NavigatorMapID map, API_NavigatorSet* set, Int32* index = nullptr)
    {
        BNClear(*set);
        set->mapId = map;
        return ACAPI_Navigator(APINavigator_GetNavigatorSetID, set, index);
    }
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

TEST_F(Navigator, MapsAndSetsGiveTheirRootsChildrenInStoredOrderAndNamesCutWhole)
{
    API_NavigatorSet set;
    for (API_NavigatorMapID map : {API_ProjectMap, API_PublicViewMap}) {
        ASSERT_EQ(GetSet(map, &set), NoError) << map;
        EXPECT_EQ(set.rootGuid, HostTesting::NavigatorRoot(map));
    }
    const API_Guid root = HostTesting::NavigatorRoot(API_PublicViewMap);
    HostTesting::ClearNavigatorMap(API_PublicViewMap);
    const API_Guid folder = HostTesting::AddNavigatorItem(root, "B folder", API_FolderNavItem);
    HostTesting::AddNavigatorItem(root, "A view", API_StoryNavItem);
    const API_Guid inner = HostTesting::AddNavigatorItem(folder, "inner", API_StoryNavItem);
    std::u16string name(API_NavigatorNameCapacity - 2, u'a');
    HostTesting::AddNavigatorItemUtf16(folder, name + u"\U0001F3E0", API_StoryNavItem);  // a pair across the end
    EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"B folder", "A view"})) << "stored order, not sorted";
    EXPECT_EQ(ChildNames(folder), (std::vector<std::string>{"inner", std::string(name.size(), 'a')}))
        << "a long name is cut without splitting a character";
    EXPECT_TRUE(ChildNames(inner).empty());

    // Publisher sets by index; a long UTF-8 name is cut at a character boundary in its 8-bit field.
    const auto roots = HostTesting::SetPublisherSets({{"One", "/tmp", 0}, {std::string(126, 'x') + "é", "/tmp", 1}});
    Int32 count = -1;
    ASSERT_EQ(ACAPI_Navigator(APINavigator_GetNavigatorSetNumID, &count), NoError);
    EXPECT_EQ(count, 2);
    const struct {
        API_NavigatorMapID map;
        Int32 index;
        GSErrCode code;
        std::string name;
    } cases[] = {{API_PublisherSets, 0, NoError, "One"},
                 {API_PublisherSets, 1, NoError, std::string(126, 'x')},
                 {API_PublisherSets, 2, APIERR_BADINDEX, ""},
                 {API_PublicViewMap, 0, APIERR_BADPARS, ""},
                 {API_NavigatorMapID(7), 0, APIERR_BADPARS, ""}};
    for (const auto& c : cases) {
        Int32 index = c.index;
        ASSERT_EQ(GetSet(c.map, &set, c.map == API_NavigatorMapID(7) ? nullptr : &index), c.code) << c.index;
        if (c.code != NoError) continue;
        EXPECT_EQ(std::string(set.name), c.name);
        EXPECT_EQ(set.rootGuid, roots[size_t(c.index)]);
    }
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
    API_Guid leaf = view.guid;
    EXPECT_EQ(ACAPI_Navigator(APINavigator_CreateNavigatorVPItemID, &view, &leaf), APIERR_BADPARS)
        << "views hold no views";
    EXPECT_EQ(HostTesting::NavigatorChildren(folder).size(), 1u);
}

}  // namespace
