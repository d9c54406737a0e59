// What the host refuses to store, with its codes, and that a refusal stores nothing.

#include <cmath>
#include <limits>

#include "HostFixture.hpp"

namespace {

class ElementRefusals : public HostTest {
protected:
    // Creates e with memo inside a command; on refusal checks that nothing was stored.
    GSErrCode TryCreate(API_Element e, API_ElementMemo* memo = nullptr)
    {
        const size_t count = HostTesting::ElementCount();
        GSErrCode code = Command([&] { return ACAPI_Element_Create(&e, memo); });
        if (code != NoError) {
            EXPECT_EQ(HostTesting::ElementCount(), count) << "a refused element was stored";
        }
        return code;
    }

    GSErrCode TryCreateWithFixtureMemo(API_ElemTypeID typeID, const std::function<void(API_Element&, API_ElementMemo&)>& spoil)
    {
        ScopedMemo memo;
        API_Element e = HostTesting::MakeElement(typeID, memo.get());
        spoil(e, memo.memo);
        return TryCreate(e, memo.get());
    }
};

TEST_F(ElementRefusals, OutsideAnUndoableCommandNothingIsCreated)
{
    API_Element wall = HostTesting::MakeElement(API_WallID);
    EXPECT_EQ(ACAPI_Element_Create(&wall, nullptr), APIERR_NEEDSUNDOSCOPE);
    EXPECT_EQ(HostTesting::ElementCount(), 0u);
}

TEST_F(ElementRefusals, OutsideAnUndoableCommandNothingChangesOrGoes)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    API_Element change = Read(wall);
    change.wall.height = 9;
    API_Element mask;
    BNClear(mask);
    ACAPI_ELEMENT_MASK_SET(mask, wall, height);
    EXPECT_EQ(ACAPI_Element_Change(&change, &mask), APIERR_NEEDSUNDOSCOPE);
    EXPECT_EQ(Read(wall).wall.height, 2.7);
    GS::Array<API_Guid> list;
    list.Push(wall);
    EXPECT_EQ(ACAPI_Element_Delete(list), APIERR_NEEDSUNDOSCOPE);
    EXPECT_TRUE(HostTesting::ElementExists(wall));
}

TEST_F(ElementRefusals, DegenerateWalls)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    API_Element wall = HostTesting::MakeElement(API_WallID);
    API_Element e = wall;
    e.wall.endC = e.wall.begC;
    EXPECT_EQ(TryCreate(e), APIERR_BADPARS) << "zero length";
    e = wall;
    e.wall.thickness = 0;
    EXPECT_EQ(TryCreate(e), APIERR_BADPARS) << "zero thickness";
    e = wall;
    e.wall.height = -1;
    EXPECT_EQ(TryCreate(e), APIERR_BADPARS) << "negative height";
    e = wall;
    e.wall.endC.x = nan;
    EXPECT_EQ(TryCreate(e), APIERR_BADPARS) << "NaN coordinate";
    e = wall;
    e.wall.height = std::numeric_limits<double>::infinity();
    EXPECT_EQ(TryCreate(e), APIERR_BADPARS) << "infinite height";
    EXPECT_EQ(TryCreate(wall), NoError);
}

TEST_F(ElementRefusals, DegenerateColumnsAndBeams)
{
    EXPECT_EQ(TryCreateWithFixtureMemo(API_ColumnID, [](API_Element& e, API_ElementMemo&) { e.column.height = 0; }), APIERR_BADPARS);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_ColumnID, [](API_Element&, API_ElementMemo& m) { m.columnSegments[0].nominalWidth = 0; }),
              APIERR_BADPARS);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_BeamID, [](API_Element& e, API_ElementMemo&) { e.beam.endC = e.beam.begC; }), APIERR_BADPARS);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_BeamID, [](API_Element&, API_ElementMemo& m) { m.beamSegments[0].nominalHeight = -0.2; }),
              APIERR_BADPARS);
}

TEST_F(ElementRefusals, StoryAndLayerMustExist)
{
    API_Element wall = HostTesting::MakeElement(API_WallID);
    API_Element e = wall;
    e.header.floorInd = 3;
    EXPECT_EQ(TryCreate(e), APIERR_BADINDEX);
    e.header.floorInd = -1;
    EXPECT_EQ(TryCreate(e), APIERR_BADINDEX);
    e = wall;
    e.header.layer = 0;
    EXPECT_EQ(TryCreate(e), APIERR_BADINDEX);
    e.header.layer = 5000;
    EXPECT_EQ(TryCreate(e), APIERR_BADINDEX);
    HostTesting::DeleteAttribute(API_LayerID, 4);
    e.header.layer = 4;
    EXPECT_EQ(TryCreate(e), APIERR_BADINDEX) << "a deleted layer";
}

TEST_F(ElementRefusals, InconsistentPolygons)
{
    auto spoilers = std::vector<std::pair<const char*, std::function<void(API_Element&, API_ElementMemo&)>>>{
        {"no coordinates", [](API_Element&, API_ElementMemo& m) { BMKillHandle(&m.coords); }},
        {"no contour ends", [](API_Element&, API_ElementMemo& m) { BMKillHandle(&m.pends); }},
        {"count beyond the handle", [](API_Element& e, API_ElementMemo&) { e.slab.poly.nCoords = 9; }},
        {"contour end disagrees", [](API_Element&, API_ElementMemo& m) { (*m.pends)[1] = 4; }},
        {"open contour", [](API_Element&, API_ElementMemo& m) { (*m.coords)[5] = {9, 9}; }},
        {"two distinct vertices", [](API_Element&, API_ElementMemo& m) { (*m.coords)[3] = (*m.coords)[2]; (*m.coords)[4] = (*m.coords)[1]; }},
        {"zero area", [](API_Element&, API_ElementMemo& m) { (*m.coords)[3] = {8, 0}; (*m.coords)[4] = {2, 0}; }},
        {"arcs without an arc list", [](API_Element& e, API_ElementMemo&) { e.slab.poly.nArcs = 1; }},
    };
    for (auto& spoiler : spoilers)
        EXPECT_EQ(TryCreateWithFixtureMemo(API_SlabID, spoiler.second), APIERR_BADPOLY) << spoiler.first;
    EXPECT_EQ(TryCreateWithFixtureMemo(API_SlabID, [](API_Element& e, API_ElementMemo&) { e.slab.thickness = 0; }), APIERR_BADPARS);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_ZoneID, [](API_Element& e, API_ElementMemo&) { e.zone.poly.nCoords = 3; }), APIERR_BADPOLY);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_RoofID, [](API_Element& e, API_ElementMemo&) { e.roof.poly.nSubPolys = 2; }), APIERR_BADPOLY);
    EXPECT_EQ(TryCreate(HostTesting::MakeElement(API_HatchID)), APIERR_BADPOLY) << "no memo at all";
}

TEST_F(ElementRefusals, OpeningsNeedAnExistingWallAndRoomInIt)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 4, 0, 1);
    API_Guid slab = HostTesting::AddFixture(API_SlabID);
    API_Element door = HostTesting::MakeElement(API_DoorID);
    door.door.objLoc = 1.0;
    API_Element e = door;
    EXPECT_EQ(TryCreate(e), APIERR_BADID) << "no owner";
    e.door.owner = slab;
    EXPECT_EQ(TryCreate(e), APIERR_BADPARS) << "owner is no wall";
    e.door.owner = wall;
    e.door.objLoc = 4.5;
    EXPECT_EQ(TryCreate(e), APIERR_BADPARS) << "beyond the wall's end";
    e.door.objLoc = 1.0;
    e.door.openingBase.width = 0;
    EXPECT_EQ(TryCreate(e), APIERR_BADPARS) << "zero width";
    e = door;
    e.door.owner = wall;
    ASSERT_EQ(Command([&] { return ACAPI_Element_Create(&e, nullptr); }), NoError);
    EXPECT_EQ(Read(e.header.guid).header.floorInd, 1) << "an opening stands on its wall's story";
}

TEST_F(ElementRefusals, DraftingElementChecks)
{
    EXPECT_EQ(TryCreateWithFixtureMemo(API_ArcID, [](API_Element& e, API_ElementMemo&) { e.arc.r = 0; }), APIERR_BADPARS);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_LineID, [](API_Element& e, API_ElementMemo&) { e.line.endC = e.line.begC; }), APIERR_BADPARS);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_DimensionID, [](API_Element& e, API_ElementMemo&) { e.dimension.nDimElem = 3; }),
              APIERR_BADPARS);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_DimensionID, [](API_Element& e, API_ElementMemo&) { e.dimension.direction = {0, 0}; }),
              APIERR_BADPARS);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_SplineID, [](API_Element&, API_ElementMemo& m) { BMKillHandle(&m.bezierDirs); }),
              APIERR_BADPARS);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_PolyLineID, [](API_Element& e, API_ElementMemo&) { e.polyLine.poly.nCoords = 1; }),
              APIERR_BADPOLY);
    EXPECT_EQ(TryCreateWithFixtureMemo(API_HatchID, [](API_Element& e, API_ElementMemo&) { e.hatch.fillInd = 77; }), APIERR_BADINDEX);
    // A text without content is an empty text, not an error.
    EXPECT_EQ(TryCreate(HostTesting::MakeElement(API_TextID)), NoError);
}

TEST_F(ElementRefusals, ObjectsNeedALoadedLibraryPart)
{
    const Int32 table = HostTesting::AddLibraryPart(APILib_ObjectID, "Table", 1.6, 0.9);
    API_Element object = HostTesting::MakeElement(API_ObjectID);
    object.object.libInd = table + 1;
    EXPECT_EQ(TryCreate(object), APIERR_BADINDEX) << "past the last loaded part";
    object.object.libInd = 0;
    EXPECT_EQ(TryCreate(object), APIERR_BADINDEX);
    object.object.libInd = table;
    EXPECT_EQ(TryCreate(object), NoError);
    object.object.xRatio = 0;
    EXPECT_EQ(TryCreate(object), APIERR_BADPARS);
}

TEST_F(ElementRefusals, UnsupportedTypesAreBadIds)
{
    API_Element e;
    BNClear(e);
    EXPECT_EQ(ACAPI_Element_GetDefaults(&e, nullptr), APIERR_BADID);
    e.header.type.typeID = API_CameraID;
    EXPECT_EQ(ACAPI_Element_GetDefaults(&e, nullptr), APIERR_BADID);
    e.header.layer = 1;
    EXPECT_EQ(TryCreate(e), APIERR_BADID);
    GS::Array<API_Guid> list;
    EXPECT_EQ(ACAPI_Element_GetElemList(API_ElemTypeID(99), &list), APIERR_BADID);
}

TEST_F(ElementRefusals, NullArgumentsAreBadParameters)
{
    EXPECT_EQ(ACAPI_Element_Get(nullptr), APIERR_BADPARS);
    EXPECT_EQ(ACAPI_Element_GetDefaults(nullptr, nullptr), APIERR_BADPARS);
    EXPECT_EQ(ACAPI_Element_GetElemList(API_WallID, nullptr), APIERR_BADPARS);
    EXPECT_EQ(Command([] { return ACAPI_Element_Create(nullptr, nullptr); }), APIERR_BADPARS);
    EXPECT_EQ(ACAPI_DisposeElemMemoHdls(nullptr), NoError);
}

class ElementDefaults : public HostTest {};

TEST_F(ElementDefaults, DefaultsFillTheRecordAndKeepTheCallersTypeAndStory)
{
    API_Element e;
    BNClear(e);
    e.header.type.typeID = API_WallID;
    e.header.floorInd = 2;
    ASSERT_EQ(ACAPI_Element_GetDefaults(&e, nullptr), NoError);
    EXPECT_EQ(e.wall.height, 2.7);
    EXPECT_EQ(e.wall.thickness, 0.25);
    EXPECT_EQ(e.header.layer, 1);
    EXPECT_EQ(e.header.floorInd, 2);
    EXPECT_EQ(e.header.guid, APINULLGuid);
}

TEST_F(ElementDefaults, TestsCanReplaceDefaults)
{
    API_Element d = HostTesting::GetDefaults(API_SlabID);
    d.slab.thickness = 0.42;
    d.header.layer = 3;
    HostTesting::SetDefaults(d);
    API_Element e;
    BNClear(e);
    e.header.type.typeID = API_SlabID;
    ASSERT_EQ(ACAPI_Element_GetDefaults(&e, nullptr), NoError);
    EXPECT_EQ(e.slab.thickness, 0.42);
    EXPECT_EQ(e.header.layer, 3);
}

TEST_F(ElementDefaults, SegmentCountFollowsTheSetting)
{
    for (Int32 count : {0, 1, 3}) {
        HostTesting::SetDefaultSegmentCount(API_ColumnID, count);
        API_Element e;
        BNClear(e);
        e.header.type.typeID = API_ColumnID;
        ScopedMemo memo;
        ASSERT_EQ(ACAPI_Element_GetDefaults(&e, memo.get()), NoError);
        EXPECT_EQ(e.column.nSegments, count);
        if (count == 0) {
            EXPECT_EQ(memo->columnSegments, nullptr);
        } else {
            ASSERT_NE(memo->columnSegments, nullptr);
            EXPECT_EQ(BMGetPtrSize(reinterpret_cast<GSPtr>(memo->columnSegments)), GSSize(count * sizeof(API_ColumnSegmentType)));
            EXPECT_EQ(memo->columnSegments[count - 1].nominalWidth, 0.3);
        }
    }
}

TEST_F(ElementDefaults, DefaultMemoHandlesAreHandedOutAsFreshCopies)
{
    API_Element d = HostTesting::GetDefaults(API_TextID);
    API_ElementMemo seed;
    BNClear(seed);
    seed.textContent = BMAllocateHandle(6, 0, 0);
    std::memcpy(*seed.textContent, "Label", 6);
    HostTesting::SetDefaults(d, &seed);
    ACAPI_DisposeElemMemoHdls(&seed);

    ScopedMemo first, second;
    API_Element e;
    BNClear(e);
    e.header.type.typeID = API_TextID;
    ASSERT_EQ(ACAPI_Element_GetDefaults(&e, first.get()), NoError);
    ASSERT_EQ(ACAPI_Element_GetDefaults(&e, second.get()), NoError);
    ASSERT_NE(first->textContent, nullptr);
    EXPECT_NE(first->textContent, second->textContent);
    EXPECT_STREQ(*first->textContent, "Label");
}

}  // namespace
