// The host's navigator maps, saved views and databases: what the view and worksheet tools
// rely on, at the host's own interface.

#include "HostTestingNavigator.hpp"
#include "QuillmereTest.hpp"

namespace {

class Navigator : public HostTest {
protected:
    static API_NavigatorSet SetOf(API_NavigatorMapID map)
    {
        API_NavigatorSet set;
        BNClear(set);
        set.mapId = map;
        return set;
    }
    static GSErrCode Children(const API_Guid& parent, std::vector<API_NavigatorItem>* out)
    {
        API_NavigatorItem item;
        BNClear(item);
        item.guid = parent;
        GS::Array<API_NavigatorItem> children;
        GSErrCode err = ACAPI_Navigator(APINavigator_GetNavigatorChildrenItemsID, &item, nullptr, &children);
        out->assign(children.begin(), children.end());
        return err;
    }
    static std::string Name(const API_NavigatorItem& item) { return GS::UniString(item.uName).ToStdString(); }
};

TEST_F(Navigator, MapsGiveTheirRootsAndChildrenComeInStoredOrder)
{
    for (API_NavigatorMapID map : {API_ProjectMap, API_PublicViewMap, API_PublisherSets}) {
        API_NavigatorSet set = SetOf(map);
        ASSERT_EQ(ACAPI_Navigator(APINavigator_GetNavigatorSetID, &set), NoError) << map;
        EXPECT_EQ(set.rootGuid, HostTesting::NavigatorRoot(map));
        EXPECT_NE(set.name[0], '\0');
    }
    API_NavigatorSet bad = SetOf(API_NavigatorMapID(7));
    EXPECT_EQ(ACAPI_Navigator(APINavigator_GetNavigatorSetID, &bad), APIERR_BADPARS);

    const API_Guid root = HostTesting::NavigatorRoot(API_PublicViewMap);
    HostTesting::ClearNavigatorMap(API_PublicViewMap);
    const API_Guid folder = HostTesting::AddNavigatorItem(root, "B folder", API_FolderNavItem);
    HostTesting::AddNavigatorItem(root, "A view", API_StoryNavItem);
    const API_Guid inner = HostTesting::AddNavigatorItem(folder, "inner", API_StoryNavItem);
    std::vector<API_NavigatorItem> items;
    ASSERT_EQ(Children(root, &items), NoError);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(Name(items[0]), "B folder") << "stored order, not sorted";
    EXPECT_EQ(Name(items[1]), "A view");
    ASSERT_EQ(Children(inner, &items), NoError) << "a leaf has no children";
    EXPECT_TRUE(items.empty());
}

TEST_F(Navigator, LongNamesComeOutCutWithoutSplittingACharacter)
{
    const API_Guid root = HostTesting::NavigatorRoot(API_PublicViewMap);
    std::u16string name(API_NavigatorNameCapacity - 2, u'a');
    name += u"\U0001F3E0";  // a surrogate pair across the last slots
    HostTesting::AddNavigatorItemUtf16(root, name, API_StoryNavItem);
    std::vector<API_NavigatorItem> items;
    ASSERT_EQ(Children(root, &items), NoError);
    const API_NavigatorItem& last = items.back();
    EXPECT_EQ(GS::ucslen(last.uName), API_NavigatorNameCapacity - 2) << "the pair is left out whole";
    EXPECT_EQ(last.uName[API_NavigatorNameCapacity - 2], 0);
}

TEST_F(Navigator, PublisherSetsAreCountedAndReadByIndex)
{
    const auto roots = HostTesting::SetPublisherSets({{"One", "/tmp", 0}, {"Two", "/tmp", 1}});
    Int32 count = -1;
    ASSERT_EQ(ACAPI_Navigator(APINavigator_GetNavigatorSetNumID, &count), NoError);
    EXPECT_EQ(count, 2);
    for (Int32 i = 0; i < 2; ++i) {
        API_NavigatorSet set = SetOf(API_PublisherSets);
        ASSERT_EQ(ACAPI_Navigator(APINavigator_GetNavigatorSetID, &set, &i), NoError);
        EXPECT_STREQ(set.name, i == 0 ? "One" : "Two");
        EXPECT_EQ(set.rootGuid, roots[size_t(i)]);
    }
    struct Case {
        API_NavigatorMapID map;
        Int32 index;
        GSErrCode code;
    };
    for (const Case& c : {Case{API_PublisherSets, 2, APIERR_BADINDEX}, Case{API_PublicViewMap, 0, APIERR_BADPARS}}) {
        API_NavigatorSet set = SetOf(c.map);
        EXPECT_EQ(ACAPI_Navigator(APINavigator_GetNavigatorSetID, &set, const_cast<Int32*>(&c.index)), c.code)
            << c.index;
    }

    // A long UTF-8 name is cut at a character boundary in the 8-bit field.
    std::string longName(126, 'x');
    longName += "é";  // two bytes across the last slot
    HostTesting::SetPublisherSets({{longName, "/tmp", 0}});
    API_NavigatorSet cut = SetOf(API_PublisherSets);
    Int32 zero = 0;
    ASSERT_EQ(ACAPI_Navigator(APINavigator_GetNavigatorSetID, &cut, &zero), NoError);
    EXPECT_EQ(std::string(cut.name), std::string(126, 'x'));
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
    EXPECT_EQ(HostTesting::CurrentView(), plans[1].guid);
    EXPECT_EQ(HostTesting::CurrentStory(), plans[1].story);
    EXPECT_EQ(HostTesting::CurrentDatabase(), HostTesting::Databases()[0].id);
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
