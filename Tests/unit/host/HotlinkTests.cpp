// Module hotlinks: a node made from a module file, an instance placed from it and broken into
// plain elements with new GUIDs on their own stories; files that are not modules, unknown
// nodes and calls outside an undo step are refused with nothing changed.

#include <cstdio>

#include "HostTestingModules.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"

namespace {

class Hotlinks : public HostTest {
protected:
    // Makes a node from path; the caller's record is released here as an add-on would.
    static GSErrCode CreateNode(const std::string& path, API_Guid* node)
    {
        API_HotlinkNode record;
        BNClear(record);
        record.type = APIHotlink_Module;
        record.storyRangeType = APIHotlink_AllStories;
        record.sourceLocation = new IO::Location(path);
        GS::ucsncpy(record.name, u"Fixture", API_HotlinkNodeNameCapacity);
        const GSErrCode err = ACAPI_Database(APIDb_CreateHotlinkNodeID, &record);
        *node = record.guid;
        delete record.sourceLocation;
        delete record.serverSourceLocation;
        BMKillPtr(&record.userData);
        return err;
    }
    static GSErrCode PlaceInstance(const API_Guid& node, API_Tranmat transformation = Identity())
    {
        API_Element instance = Cleared(API_HotlinkID);
        instance.header.layer = 1;
        instance.hotlink.type = APIHotlink_Module;
        instance.hotlink.hotlinkNodeGuid = node;
        instance.hotlink.transformation = transformation;
        return ACAPI_Element_Create(&instance, nullptr);
    }
    static API_Tranmat Identity() { return API_Tranmat{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}}; }
    static GSErrCode Break(API_Guid node) { return ACAPI_Database(APIDb_BreakHotlinkNodeID, &node); }

    std::string WriteFixture()
    {
        const std::string path = folder.Path("fixture.mod");
        EXPECT_EQ(HostTesting::WriteFixtureModule(path), NoError);
        return path;
    }

    TempFolder folder{"quillmere-hotlinks"};
};

TEST_F(Hotlinks, BrokenInstanceLeavesPlainElementsWithNewGuidsOnTheirStories)
{
    const std::string path = WriteFixture();
    HostTesting::ModuleSummary module;
    ASSERT_EQ(HostTesting::ReadModuleSummary(path, &module), NoError);

    ASSERT_EQ(Command(
                  [&]() -> GSErrCode {
                      API_Guid node;
                      if (GSErrCode err = CreateNode(path, &node)) return err;
                      std::remove(path.c_str());  // read when the node was made: the file may go
                      if (GSErrCode err = PlaceInstance(node)) return err;
                      return Break(node);
                  },
                  "Place Module"),
              NoError);

    const std::vector<API_Guid> placed = HostTesting::AllElements();
    ASSERT_EQ(placed.size(), module.elements.size());
    for (size_t i = 0; i < placed.size(); ++i) {
        SCOPED_TRACE(i);
        const API_Element e = Read(placed[i]);
        EXPECT_NE(placed[i], module.elements[i].guid) << "a broken hotlink's elements get new GUIDs";
        EXPECT_EQ(e.header.type.typeID, module.elements[i].typeID);
        EXPECT_EQ(e.header.floorInd, module.elements[i].floorInd);
        EXPECT_EQ(e.header.groupGuid, APINULLGuid) << "plain elements, not a group";
        if (e.header.type.typeID == API_DoorID || e.header.type.typeID == API_WindowID) {
            const API_Guid owner = e.header.type.typeID == API_DoorID ? e.door.owner : e.window.owner;
            ASSERT_TRUE(HostTesting::ElementExists(owner)) << "an opening hangs on the new copy of its wall";
            EXPECT_EQ(Read(owner).header.type.typeID, API_WallID);
        }
    }
    EXPECT_EQ(HostTesting::ElementCount(API_HotlinkID), 0u);
    EXPECT_EQ(HostTesting::HotlinkNodeCount(), 0u);
}

TEST_F(Hotlinks, RefusalsChangeNothing)
{
    const std::string module = WriteFixture();
    const API_Guid stranger = HostTesting::AddWall(0, 0, 1, 0);  // a GUID that names no node
    struct Case {
        const char* name;
        std::function<GSErrCode()> call;
        GSErrCode expected;
    };
    const Case cases[] = {
        {"missing file",
         [&] {
             API_Guid n;
             return CreateNode(folder.Path("absent.mod"), &n);
         },
         APIERR_BADPARS},
        {"break of an unknown node", [&] { return Break(stranger); }, APIERR_BADID},
        {"instance away from the origin",
         [&] {
             API_Guid n;
             if (GSErrCode err = CreateNode(module, &n)) return err;
             if (GSErrCode err = PlaceInstance(n, API_Tranmat{{1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0}})) return err;
             return Break(n);
         },
         APIERR_NOTSUPPORTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<ElementState> before = TakeSnapshot();
        const size_t steps = UndoStepCount();
        EXPECT_EQ(Command(c.call), c.expected);
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
        EXPECT_EQ(UndoStepCount(), steps);
        EXPECT_EQ(HostTesting::HotlinkNodeCount(), 0u);
    }
    API_Guid node;
    EXPECT_EQ(CreateNode(module, &node), APIERR_NEEDSUNDOSCOPE) << "outside an undo step";
    EXPECT_EQ(HostTesting::HotlinkNodeCount(), 0u);
}

TEST_F(Hotlinks, DeletingANodeTakesItsInstancesAlong)
{
    const std::string path = WriteFixture();
    ASSERT_EQ(Command([&]() -> GSErrCode {
                  API_Guid node;
                  if (GSErrCode err = CreateNode(path, &node)) return err;
                  if (GSErrCode err = PlaceInstance(node)) return err;
                  return ACAPI_Database(APIDb_DeleteHotlinkNodeID, &node);
              }),
              NoError);
    EXPECT_EQ(HostTesting::ElementCount(), 0u);
    EXPECT_EQ(HostTesting::HotlinkNodeCount(), 0u);
}

}  // namespace
