// The host's element edit and group tool: every geometric field of every editable type follows
// the transform, and bad requests are refused without touching the project.

#include <cmath>
#include <vector>

#include "ProjectSnapshot.hpp"

namespace {

class ElementEditHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HostTesting::ResetProject();
        baselineHandles = HostTesting::LiveHandleCount();
    }
    void TearDown() override { EXPECT_EQ(HostTesting::LiveHandleCount(), baselineHandles); }

    static API_EditPars Pars(API_EditCmdID type, bool withDelete, API_Coord origin, API_Coord begin, API_Coord end)
    {
        API_EditPars pars;
        BNClear(pars);
        pars.typeID = type;
        pars.withDelete = withDelete;
        pars.origC = origin;
        pars.begC = {begin.x, begin.y, 0.0};
        pars.endC = {end.x, end.y, 0.0};
        return pars;
    }
    static API_EditPars Rotation(double ox, double oy, double angle)
    {
        return Pars(APIEdit_Rotate, true, {ox, oy}, {ox + 1.0, oy}, {ox + std::cos(angle), oy + std::sin(angle)});
    }
    static API_EditPars MirrorAcross(API_Coord a, API_Coord b, bool withDelete = true)
    {
        return Pars(APIEdit_Mirror, withDelete, a, {0.0, 0.0}, b);
    }

    // Runs one edit inside a command, as the tools do; guid receives what the host wrote back.
    static GSErrCode Edit(API_Guid& guid, const API_EditPars& pars)
    {
        return ACAPI_CallUndoableCommand("edit", [&]() -> GSErrCode {
            API_Neig neig;
            BNClear(neig);
            neig.guid = guid;
            GS::Array<API_Neig> items;
            items.Push(neig);
            const GSErrCode err = ACAPI_Element_Edit(&items, pars);
            guid = items[0].guid;
            return err;
        });
    }

    static API_Element Get(const API_Guid& guid)
    {
        API_Element element;
        BNClear(element);
        EXPECT_TRUE(HostTesting::GetElement(guid, &element));
        return element;
    }

    template <typename T> static T** NewHandle(const std::vector<T>& records)
    {
        T** handle = reinterpret_cast<T**>(BMAllocateHandle(records.size() * sizeof(T), ALLOCATE_CLEAR, 0));
        for (size_t i = 0; i < records.size(); ++i)
            (*handle)[i] = records[i];
        return handle;
    }

    // Stores an element with the given memo, which is disposed here.
    static API_Guid Store(const API_Element& record, API_ElementMemo& memo)
    {
        const API_Guid guid = HostTesting::AddElement(record, &memo);
        ACAPI_DisposeElemMemoHdls(&memo);
        return guid;
    }

    template <typename T> static std::vector<T> MemoRecords(const API_Guid& guid, T** API_ElementMemo::*member)
    {
        API_ElementMemo memo;
        BNClear(memo);
        EXPECT_TRUE(HostTesting::GetElementMemo(guid, &memo));
        std::vector<T> records;
        if (memo.*member != nullptr) {
            const size_t n = BMGetHandleSize(memo.*member) / sizeof(T);
            records.assign(*(memo.*member), *(memo.*member) + n);
        }
        ACAPI_DisposeElemMemoHdls(&memo);
        return records;
    }

    Int64 baselineHandles = 0;
};

}  // namespace

TEST_F(ElementEditHostTest, RefusesBadRequestsAndChangesNothing)
{
    API_Guid wall = HostTesting::AddWall(0.0, 0.0, 4.0, 0.0);
    const auto before = TakeSnapshot();

    // Outside an undoable command.
    GS::Array<API_Neig> items;
    API_Neig neig;
    BNClear(neig);
    neig.guid = wall;
    items.Push(neig);
    EXPECT_EQ(ACAPI_Element_Edit(&items, Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {1, 0})), APIERR_NEEDSUNDOSCOPE);

    // A rotation whose begin point is its centre has no angle; a mirror axis of no length.
    EXPECT_EQ(Edit(wall, Pars(APIEdit_Rotate, true, {1, 1}, {1, 1}, {2, 2})), APIERR_BADPARS);
    EXPECT_EQ(Edit(wall, MirrorAcross({3, 3}, {3, 3})), APIERR_BADPARS);
    EXPECT_EQ(Edit(wall, Pars(static_cast<API_EditCmdID>(0x58585858), true, {0, 0}, {0, 0}, {1, 0})), APIERR_BADPARS);
    EXPECT_EQ(Edit(wall, Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {NAN, 0})), APIERR_BADPARS);

    // The same element twice in one list, and an empty list.
    EXPECT_EQ(ACAPI_CallUndoableCommand("twice", [&]() -> GSErrCode {
                  GS::Array<API_Neig> twice {neig, neig};
                  return ACAPI_Element_Edit(&twice, Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {1, 0}));
              }),
              APIERR_BADPARS);
    EXPECT_EQ(ACAPI_CallUndoableCommand("none", [&]() -> GSErrCode {
                  GS::Array<API_Neig> none;
                  return ACAPI_Element_Edit(&none, Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {1, 0}));
              }),
              APIERR_BADPARS);

    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_TRUE(HostTesting::UndoStepNames().empty());
}

TEST_F(ElementEditHostTest, CopyWritesTheNewGuidBackAndKeepsTheSource)
{
    const API_Guid source = HostTesting::AddWall(0.0, 0.0, 4.0, 0.0);
    API_Guid guid = source;
    ASSERT_EQ(Edit(guid, Pars(APIEdit_Drag, false, {0, 0}, {1, 1}, {1, 3})), NoError);
    ASSERT_NE(guid, source);
    EXPECT_POINT(Get(source).wall.begC, 0.0, 0.0);
    EXPECT_POINT(Get(guid).wall.begC, 0.0, 2.0);
    EXPECT_POINT(Get(guid).wall.endC, 4.0, 2.0);
    EXPECT_EQ(Get(guid).header.guid, guid);
}

TEST_F(ElementEditHostTest, MirroredArcRunsBetweenTheMirroredEndPoints)
{
    API_Element arc = HostTesting::MakeElement(API_ArcID);
    arc.arc.origC = {1.0, 1.0};
    arc.arc.r = 2.0;
    arc.arc.begAng = 0.0;
    arc.arc.endAng = M_PI / 2.0;
    API_Guid guid = HostTesting::AddElement(arc);

    ASSERT_EQ(Edit(guid, MirrorAcross({0, 0}, {5, 0})), NoError);
    const API_Element m = Get(guid);
    EXPECT_POINT(m.arc.origC, 1.0, -1.0);
    // Counter-clockwise from begin to end: the old end (1, 3) is the new begin (1, -3).
    EXPECT_NEAR(m.arc.origC.x + m.arc.r * std::cos(m.arc.begAng), 1.0, 1e-9);
    EXPECT_NEAR(m.arc.origC.y + m.arc.r * std::sin(m.arc.begAng), -3.0, 1e-9);
    EXPECT_NEAR(m.arc.origC.x + m.arc.r * std::cos(m.arc.endAng), 3.0, 1e-9);
    EXPECT_NEAR(m.arc.origC.y + m.arc.r * std::sin(m.arc.endAng), -1.0, 1e-9);
}

TEST_F(ElementEditHostTest, RotationCarriesMemoPointsDirectionsAndAngles)
{
    // A polyline (0,0) -> (2,0) -> (2,1), rotated a quarter turn about the origin.
    API_ElementMemo memo;
    BNClear(memo);
    API_Element polyline = HostTesting::MakeElement(API_PolyLineID);
    polyline.polyLine.poly = {3, 1, 0};
    memo.coords = NewHandle<API_Coord>({{0, 0}, {0, 0}, {2, 0}, {2, 1}});
    memo.pends = NewHandle<Int32>({0, 3});
    API_Guid polyGuid = Store(polyline, memo);

    API_Element dimension = HostTesting::MakeElement(API_DimensionID);
    dimension.dimension.refC = {0.0, -1.0};
    dimension.dimension.direction = {1.0, 0.0};
    dimension.dimension.nDimElem = 2;
    API_DimElem first, second;
    BNClear(first);
    BNClear(second);
    first.base.loc = {0.0, 0.0};
    second.base.loc = {3.0, 0.0};
    memo.dimElems = NewHandle<API_DimElem>({first, second});
    API_Guid dimGuid = Store(dimension, memo);

    API_Element text = HostTesting::MakeElement(API_TextID);
    text.text.loc = {1.0, 0.0};
    text.text.angle = 0.25;
    API_Guid textGuid = HostTesting::AddElement(text);

    API_Element column = HostTesting::MakeElement(API_ColumnID);
    column.column.origoPos = {0.0, 2.0};
    column.column.axisRotationAngle = 0.0;
    API_Guid columnGuid = HostTesting::AddElement(column);

    for (API_Guid* guid : {&polyGuid, &dimGuid, &textGuid, &columnGuid})
        ASSERT_EQ(Edit(*guid, Rotation(0.0, 0.0, M_PI / 2.0)), NoError);

    const std::vector<API_Coord> coords = MemoRecords(polyGuid, &API_ElementMemo::coords);
    ASSERT_EQ(coords.size(), 4u);
    EXPECT_POINT(coords[1], 0.0, 0.0);
    EXPECT_POINT(coords[2], 0.0, 2.0);
    EXPECT_POINT(coords[3], -1.0, 2.0);
    EXPECT_EQ(MemoRecords(polyGuid, &API_ElementMemo::pends), (std::vector<Int32> {0, 3}));

    const API_Element d = Get(dimGuid);
    EXPECT_POINT(d.dimension.refC, 1.0, 0.0);
    EXPECT_POINT(d.dimension.direction, 0.0, 1.0);
    const std::vector<API_DimElem> witness = MemoRecords(dimGuid, &API_ElementMemo::dimElems);
    ASSERT_EQ(witness.size(), 2u);
    EXPECT_POINT(witness[1].base.loc, 0.0, 3.0);

    EXPECT_POINT(Get(textGuid).text.loc, 0.0, 1.0);
    EXPECT_NEAR(Get(textGuid).text.angle, 0.25 + M_PI / 2.0, 1e-12);
    EXPECT_POINT(Get(columnGuid).column.origoPos, -2.0, 0.0);
    EXPECT_NEAR(Get(columnGuid).column.axisRotationAngle, M_PI / 2.0, 1e-12);
}

TEST_F(ElementEditHostTest, SplineDirectionsAndHotlinkPlacementFollowTheMirror)
{
    API_ElementMemo memo;
    BNClear(memo);
    API_Element spline = HostTesting::MakeElement(API_SplineID);
    memo.coords = NewHandle<API_Coord>({{0, 0}, {0, 1}, {2, 1}});
    API_SplineDir dir {1.0, 1.0, 0.3};
    memo.bezierDirs = NewHandle<API_SplineDir>({dir, dir, dir});
    API_Guid splineGuid = Store(spline, memo);

    API_Element hotlink = HostTesting::MakeElement(API_HotlinkID);
    const double identityAt[12] = {1, 0, 0, 4, 0, 1, 0, 2, 0, 0, 1, 0};
    std::copy(identityAt, identityAt + 12, hotlink.hotlink.transformation.tmx);
    API_Guid hotlinkGuid = HostTesting::AddElement(hotlink);

    for (API_Guid* guid : {&splineGuid, &hotlinkGuid})
        ASSERT_EQ(Edit(*guid, MirrorAcross({0, 0}, {1, 0})), NoError);

    const std::vector<API_Coord> coords = MemoRecords(splineGuid, &API_ElementMemo::coords);
    ASSERT_EQ(coords.size(), 3u);
    EXPECT_POINT(coords[1], 0.0, -1.0);
    EXPECT_POINT(coords[2], 2.0, -1.0);
    for (const API_SplineDir& d : MemoRecords(splineGuid, &API_ElementMemo::bezierDirs))
        EXPECT_NEAR(d.dirAng, -0.3, 1e-12);

    const API_Element placed = Get(hotlinkGuid);
    const double* m = placed.hotlink.transformation.tmx;
    EXPECT_NEAR(m[3], 4.0, 1e-12);
    EXPECT_NEAR(m[7], -2.0, 1e-12);
    EXPECT_NEAR(m[5], -1.0, 1e-12);
    EXPECT_NEAR(m[0], 1.0, 1e-12);
}

TEST_F(ElementEditHostTest, MirroredWallKeepsItsOpeningsAndTurnsTheirSide)
{
    API_Guid wall = HostTesting::AddWall(0.0, 1.0, 6.0, 1.0);
    const API_Guid door = HostTesting::AddFixture(API_DoorID, 0, wall);
    const API_Element wallBefore = Get(wall);
    const API_Element doorBefore = Get(door);

    ASSERT_EQ(Edit(wall, MirrorAcross({0, 0}, {1, 0})), NoError);
    const API_Element w = Get(wall);
    EXPECT_POINT(w.wall.begC, 0.0, -1.0);
    EXPECT_POINT(w.wall.endC, 6.0, -1.0);
    EXPECT_NE(w.wall.flipped, wallBefore.wall.flipped);
    const API_Element d = Get(door);
    EXPECT_EQ(d.door.owner, wall);
    EXPECT_EQ(d.door.objLoc, doorBefore.door.objLoc);
    EXPECT_NE(d.door.openingBase.reflected, doorBefore.door.openingBase.reflected);
}

TEST_F(ElementEditHostTest, MirroredRoofStillRisesFromTheSameSideOfItsBaseLine)
{
    API_Element roof = HostTesting::MakeElement(API_RoofID);
    roof.roof.planeRoof.baseLine = {{0.0, 1.0}, {4.0, 1.0}};
    API_Guid guid = HostTesting::AddElement(roof);
    ASSERT_EQ(Edit(guid, MirrorAcross({0, 0}, {1, 0})), NoError);
    const API_Sector line = Get(guid).roof.planeRoof.baseLine;
    EXPECT_POINT(line.c1, 4.0, -1.0);
    EXPECT_POINT(line.c2, 0.0, -1.0);
}

TEST_F(ElementEditHostTest, MirrorAcrossAnAxisAwayFromTheOriginMovesEveryField)
{
    // The line y = x + 1: (x, y) goes to (y - 1, x + 1), and an angle a to pi / 2 - a.
    const API_Coord axisStart {0.0, 1.0}, axisEnd {1.0, 2.0};

    API_Element hotspot = HostTesting::MakeElement(API_HotspotID);
    hotspot.hotspot.pos = {1.0, 0.0};
    API_Guid hotspotGuid = HostTesting::AddElement(hotspot);

    API_Element object = HostTesting::MakeElement(API_ObjectID);
    object.object.pos = {3.0, 1.0};
    object.object.angle = 0.2;
    object.object.reflected = false;
    API_Guid objectGuid = HostTesting::AddElement(object);

    API_Element column = HostTesting::MakeElement(API_ColumnID);
    column.column.origoPos = {2.0, 0.0};
    column.column.slantDirectionAngle = 0.3;
    API_Guid columnGuid = HostTesting::AddElement(column);

    // A square slab whose first edge is an arc.
    API_ElementMemo memo;
    BNClear(memo);
    API_Element slab = HostTesting::MakeElement(API_SlabID);
    slab.slab.poly = {5, 1, 1};
    memo.coords = NewHandle<API_Coord>({{0, 0}, {0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}});
    memo.pends = NewHandle<Int32>({0, 5});
    memo.parcs = NewHandle<API_PolyArc>({{1, 2, 0.5}});
    API_Guid slabGuid = Store(slab, memo);

    API_Element roof = HostTesting::MakeElement(API_RoofID);
    memo.pivotPolyCoords = NewHandle<API_Coord>({{0, 0}, {4, 0}});
    API_Guid roofGuid = Store(roof, memo);

    API_Element zone = HostTesting::MakeElement(API_ZoneID);
    zone.zone.pos = {0.0, 0.0};
    API_Guid zoneGuid = HostTesting::AddElement(zone);

    for (API_Guid* guid : {&hotspotGuid, &objectGuid, &columnGuid, &slabGuid, &roofGuid, &zoneGuid})
        ASSERT_EQ(Edit(*guid, MirrorAcross(axisStart, axisEnd)), NoError);

    EXPECT_POINT(Get(hotspotGuid).hotspot.pos, -1.0, 2.0);
    const API_Element o = Get(objectGuid);
    EXPECT_POINT(o.object.pos, 0.0, 4.0);
    EXPECT_NEAR(o.object.angle, M_PI / 2.0 - 0.2, 1e-12);
    EXPECT_TRUE(o.object.reflected);
    const API_Element c = Get(columnGuid);
    EXPECT_POINT(c.column.origoPos, -1.0, 3.0);
    EXPECT_NEAR(c.column.slantDirectionAngle, M_PI / 2.0 - 0.3, 1e-12);

    const std::vector<API_Coord> coords = MemoRecords(slabGuid, &API_ElementMemo::coords);
    ASSERT_EQ(coords.size(), 6u);
    EXPECT_POINT(coords[1], -1.0, 1.0);
    EXPECT_POINT(coords[2], -1.0, 3.0);
    EXPECT_POINT(coords[3], 1.0, 3.0);
    EXPECT_POINT(coords[4], 1.0, 1.0);
    const std::vector<API_PolyArc> arcs = MemoRecords(slabGuid, &API_ElementMemo::parcs);
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_EQ(arcs[0].arcAngle, -0.5);

    const std::vector<API_Coord> pivot = MemoRecords(roofGuid, &API_ElementMemo::pivotPolyCoords);
    ASSERT_EQ(pivot.size(), 2u);
    EXPECT_POINT(pivot[1], -1.0, 5.0);
    EXPECT_POINT(Get(zoneGuid).zone.pos, -1.0, 1.0);
}

TEST_F(ElementEditHostTest, MirroredCopyOfAGroupedWallJoinsNoGroupAndTurnsItsOpenings)
{
    const API_Guid source = HostTesting::AddWall(0.0, 1.0, 6.0, 1.0);
    const API_Guid door = HostTesting::AddFixture(API_DoorID, 0, source);
    const API_Guid other = HostTesting::AddWall(6.0, 1.0, 6.0, 5.0);
    ASSERT_EQ(ACAPI_CallUndoableCommand(
                  "g", [&]() { return ACAPI_Element_Tool(GS::Array<API_Guid> {source, door, other}, APITool_Group, nullptr); }),
              NoError);
    const API_Element doorBefore = Get(door);
    const auto before = TakeSnapshot();

    API_Guid copy = source;
    ASSERT_EQ(Edit(copy, MirrorAcross({0, 0}, {1, 0}, false)), NoError);
    ASSERT_NE(copy, source);
    EXPECT_EQ(Get(copy).header.groupGuid, APINULLGuid);
    EXPECT_NE(Get(source).header.groupGuid, APINULLGuid);
    EXPECT_POINT(Get(copy).wall.begC, 0.0, -1.0);

    ASSERT_EQ(HostTesting::ElementCount(API_DoorID), 2u);
    for (const API_Guid& guid : HostTesting::AllElements()) {
        const API_Element element = Get(guid);
        if (element.header.type.typeID != API_DoorID || guid == door)
            continue;
        EXPECT_EQ(element.door.owner, copy);
        EXPECT_EQ(element.header.groupGuid, APINULLGuid);
        EXPECT_EQ(element.door.objLoc, doorBefore.door.objLoc);
        EXPECT_NE(element.door.openingBase.reflected, doorBefore.door.openingBase.reflected);
    }
    EXPECT_TRUE(SameRecord(doorBefore, Get(door)));

    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
}

TEST_F(ElementEditHostTest, GroupToolRefusesOutsideACommandAndUnknownCommands)
{
    const API_Guid a = HostTesting::AddWall(0.0, 0.0, 4.0, 0.0);
    const API_Guid b = HostTesting::AddWall(4.0, 0.0, 4.0, 3.0);
    const GS::Array<API_Guid> both {a, b};
    EXPECT_EQ(ACAPI_Element_Tool(both, APITool_Group, nullptr), APIERR_NEEDSUNDOSCOPE);
    EXPECT_EQ(ACAPI_CallUndoableCommand(
                  "x", [&]() { return ACAPI_Element_Tool(both, static_cast<API_ToolCmdID>(0x4C4F434B), nullptr); }),
              APIERR_BADPARS);
    EXPECT_EQ(Get(a).header.groupGuid, APINULLGuid);

    // Regrouping a member moves it into the new group.
    const API_Guid c = HostTesting::AddWall(0.0, 3.0, 4.0, 3.0);
    ASSERT_EQ(ACAPI_CallUndoableCommand("g", [&]() { return ACAPI_Element_Tool(both, APITool_Group, nullptr); }), NoError);
    ASSERT_EQ(ACAPI_CallUndoableCommand(
                  "g", [&]() { return ACAPI_Element_Tool(GS::Array<API_Guid> {b, c}, APITool_Group, nullptr); }),
              NoError);
    EXPECT_EQ(Get(b).header.groupGuid, Get(c).header.groupGuid);
    EXPECT_NE(Get(a).header.groupGuid, Get(b).header.groupGuid);
}
