// Create, read, change and delete for every element type, through the host functions.

#include "HostFixture.hpp"

namespace {

class ElementLifecycle : public HostTest, public ::testing::WithParamInterface<API_ElemTypeID> {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        HostTesting::AddLibraryPart(APILib_ObjectID, "Fixture Chair", 0.5, 0.6);
        wall_ = HostTesting::AddWall(0, 0, 6, 0, 1);
    }

    // A record of the type ready for Create; doors and windows sit in wall_.
    API_Element Prepare(API_ElemTypeID typeID, API_ElementMemo* memo)
    {
        API_Element e = HostTesting::MakeElement(typeID, memo);
        if (typeID == API_WindowID) e.window.owner = wall_;
        if (typeID == API_DoorID) e.door.owner = wall_;
        return e;
    }

    API_Guid wall_ = APINULLGuid;
};

TEST_P(ElementLifecycle, CreateStoresRecordAndMemoAndGetReadsThemBack)
{
    const API_ElemTypeID typeID = GetParam();
    API_ElementMemo memo;
    BNClear(memo);
    API_Element e = Prepare(typeID, &memo);
    ASSERT_EQ(CreateInCommand(e, &memo), NoError);
    // The host copied the memo: the caller's handles can go at once.
    std::vector<API_Coord> sentCoords;
    if (memo.coords != nullptr) {
        size_t n = size_t(BMGetHandleSize(memo.coords)) / sizeof(API_Coord);
        sentCoords.assign(*memo.coords, *memo.coords + n);
    }
    ACAPI_DisposeElemMemoHdls(&memo);

    EXPECT_NE(e.header.guid, APINULLGuid);
    API_Element got;
    BNClear(got);
    got.header.guid = e.header.guid;
    got.header.type.typeID = API_WallID;   // ignored: the GUID decides
    ASSERT_EQ(ACAPI_Element_Get(&got), NoError);
    EXPECT_EQ(got.header.type.typeID, typeID);
    EXPECT_EQ(std::memcmp(&got, &e, sizeof got), 0) << "the stored record differs from the created one";

    ScopedMemo back;
    ASSERT_EQ(ACAPI_Element_GetMemo(e.header.guid, back.get()), NoError);
    if (!sentCoords.empty()) {
        ASSERT_NE(back->coords, nullptr);
        size_t n = size_t(BMGetHandleSize(back->coords)) / sizeof(API_Coord);
        ASSERT_EQ(n, sentCoords.size());
        for (size_t i = 1; i < n; ++i) {
            EXPECT_EQ((*back->coords)[i].x, sentCoords[i].x);
            EXPECT_EQ((*back->coords)[i].y, sentCoords[i].y);
        }
    }
    EXPECT_EQ(ListOf(typeID).back(), e.header.guid);
}

TEST_P(ElementLifecycle, ChangeOfTheLayerAloneLeavesEverythingElse)
{
    const API_ElemTypeID typeID = GetParam();
    API_ElementMemo memo;
    BNClear(memo);
    API_Element e = Prepare(typeID, &memo);
    ASSERT_EQ(CreateInCommand(e, &memo), NoError);
    ACAPI_DisposeElemMemoHdls(&memo);
    const API_Element before = Read(e.header.guid);

    API_Element change = before;
    change.header.layer = 5;
    change.header.floorInd = 2;            // not flagged: must stay
    API_Element mask;
    BNClear(mask);
    ACAPI_ELEMENT_MASK_SET(mask, header, layer);
    ASSERT_EQ(Command([&] { return ACAPI_Element_Change(&change, &mask, nullptr, 0, true); }), NoError);

    API_Element after = Read(e.header.guid);
    EXPECT_EQ(after.header.layer, 5);
    after.header.layer = before.header.layer;
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);
}

TEST_P(ElementLifecycle, DeleteRemovesTheElementFromListAndLookup)
{
    const API_ElemTypeID typeID = GetParam();
    API_ElementMemo memo;
    BNClear(memo);
    API_Element e = Prepare(typeID, &memo);
    ASSERT_EQ(CreateInCommand(e, &memo), NoError);
    ACAPI_DisposeElemMemoHdls(&memo);
    GS::Array<API_Guid> doomed;
    doomed.Push(e.header.guid);
    ASSERT_EQ(Command([&] { return ACAPI_Element_Delete(doomed); }), NoError);
    API_Element gone;
    BNClear(gone);
    gone.header.guid = e.header.guid;
    EXPECT_EQ(ACAPI_Element_Get(&gone), APIERR_BADID);
    for (const API_Guid& g : ListOf(typeID)) EXPECT_NE(g, e.header.guid);
}

INSTANTIATE_TEST_SUITE_P(EveryType, ElementLifecycle,
                         ::testing::Values(API_WallID, API_ColumnID, API_BeamID, API_WindowID, API_DoorID, API_ObjectID,
                                           API_SlabID, API_RoofID, API_DimensionID, API_TextID, API_ZoneID, API_HatchID,
                                           API_LineID, API_PolyLineID, API_ArcID, API_SplineID, API_HotspotID, API_HotlinkID),
                         [](const ::testing::TestParamInfo<API_ElemTypeID>& info) { return "Type" + std::to_string(int(info.param)); });

class ElementChange : public HostTest {};

TEST_F(ElementChange, AFlaggedPointCopiesBothCoordinatesAndNothingElse)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    API_Element change = Read(wall);
    change.wall.begC = {1.5, -2.0};
    change.wall.endC = {9, 9};        // not flagged
    change.wall.height = 4.0;         // not flagged
    API_Element mask;
    BNClear(mask);
    ACAPI_ELEMENT_MASK_SET(mask, wall, begC);
    ASSERT_EQ(Command([&] { return ACAPI_Element_Change(&change, &mask); }), NoError);
    API_Element after = Read(wall);
    EXPECT_EQ(after.wall.begC.x, 1.5);
    EXPECT_EQ(after.wall.begC.y, -2.0);
    EXPECT_EQ(after.wall.endC.x, 5.0);
    EXPECT_EQ(after.wall.endC.y, 0.0);
    EXPECT_EQ(after.wall.height, 2.7);
}

TEST_F(ElementChange, OnlyTheFirstByteOfAFieldFlagsIt)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    API_Element change = Read(wall);
    change.wall.height = 3.3;
    change.wall.thickness = 0.4;
    API_Element mask;
    BNClear(mask);
    // A non-0xFF first byte and 0xFF elsewhere in the field do not flag it.
    unsigned char* thickness = reinterpret_cast<unsigned char*>(&mask.wall.thickness);
    thickness[0] = 0x01;
    thickness[1] = 0xFF;
    reinterpret_cast<unsigned char*>(&mask.wall.height)[0] = 0xFF;
    ASSERT_EQ(Command([&] { return ACAPI_Element_Change(&change, &mask); }), NoError);
    API_Element after = Read(wall);
    EXPECT_EQ(after.wall.height, 3.3);
    EXPECT_EQ(after.wall.thickness, 0.25);
}

TEST_F(ElementChange, IdentityFieldsCannotBeChanged)
{
    API_Guid column = HostTesting::AddFixture(API_ColumnID);
    const API_Element before = Read(column);
    API_Element change = before;
    change.header.type.typeID = API_WallID;
    change.header.guid.time_low ^= 1;
    API_Element mask;
    BNClear(mask);
    ACAPI_ELEMENT_MASK_SET(mask, header, type);
    ACAPI_ELEMENT_MASK_SET(mask, header, guid);
    EXPECT_EQ(Command([&] { return ACAPI_Element_Change(&change, &mask); }), APIERR_BADID);   // GUID names nothing
    change.header.guid = before.header.guid;
    EXPECT_EQ(Command([&] { return ACAPI_Element_Change(&change, &mask); }), NoError);
    API_Element after = Read(column);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

TEST_F(ElementChange, EmptyMaskChangesNothingAndSucceeds)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    const API_Element before = Read(wall);
    API_Element change = before;
    change.wall.height = 99;
    API_Element mask;
    BNClear(mask);
    EXPECT_EQ(Command([&] { return ACAPI_Element_Change(&change, &mask); }), NoError);
    API_Element after = Read(wall);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

TEST_F(ElementChange, AMemoReplacesThePolygonAndKeepsTheRecord)
{
    API_Guid slab = HostTesting::AddFixture(API_SlabID);
    const API_Element before = Read(slab);
    API_Element change = before;
    API_ElementMemo memo;
    BNClear(memo);
    PutPolygon(memo, {{0, 0}, {8, 0}, {8, 6}, {0, 6}});
    ASSERT_EQ(Command([&] { return ACAPI_Element_Change(&change, nullptr, &memo, 0, true); }), NoError);
    ACAPI_DisposeElemMemoHdls(&memo);
    std::vector<API_Coord> poly = HostTesting::GetPolygon(slab);
    ASSERT_EQ(poly.size(), 5u);
    EXPECT_EQ(poly[1].x, 8.0);
    EXPECT_EQ(poly[2].y, 6.0);
    EXPECT_EQ(Read(slab).slab.thickness, before.slab.thickness);
}

TEST_F(ElementChange, FlaggedHeaderFieldsAreChecked)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    const API_Element before = Read(wall);
    API_Element change = before;
    API_Element mask;
    BNClear(mask);
    ACAPI_ELEMENT_MASK_SET(mask, header, layer);
    change.header.layer = 999;
    EXPECT_EQ(Command([&] { return ACAPI_Element_Change(&change, &mask); }), APIERR_BADINDEX);
    BNClear(mask);
    ACAPI_ELEMENT_MASK_SET(mask, header, floorInd);
    change = before;
    change.header.floorInd = 7;
    EXPECT_EQ(Command([&] { return ACAPI_Element_Change(&change, &mask); }), APIERR_BADINDEX);
    change.header.floorInd = 2;
    EXPECT_EQ(Command([&] { return ACAPI_Element_Change(&change, &mask); }), NoError);
    EXPECT_EQ(Read(wall).header.floorInd, 2);
}

TEST_F(ElementChange, AChangeThatBreaksTheGeometryIsRefusedWhole)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    const API_Element before = Read(wall);
    API_Element change = before;
    change.wall.endC = change.wall.begC;
    change.wall.height = 3.0;
    API_Element mask;
    BNClear(mask);
    ACAPI_ELEMENT_MASK_SET(mask, wall, endC);
    ACAPI_ELEMENT_MASK_SET(mask, wall, height);
    EXPECT_EQ(Command([&] { return ACAPI_Element_Change(&change, &mask); }), APIERR_BADPARS);
    API_Element after = Read(wall);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

class ElementQueries : public HostTest {};

TEST_F(ElementQueries, ElemListHoldsEveryStoryAndLayerInCreationOrder)
{
    API_Element hiddenLayerWall = HostTesting::MakeElement(API_WallID);
    hiddenLayerWall.header.layer = 10;   // "Hidden Guides"
    std::vector<API_Guid> made;
    made.push_back(HostTesting::AddWall(0, 0, 1, 0, 2));
    made.push_back(HostTesting::AddFixture(API_SlabID));
    made.push_back(HostTesting::AddElement(hiddenLayerWall));
    made.push_back(HostTesting::AddWall(0, 0, 1, 0, 0));
    std::vector<API_Guid> walls = ListOf(API_WallID);
    ASSERT_EQ(walls.size(), 3u);
    EXPECT_EQ(walls[0], made[0]);
    EXPECT_EQ(walls[1], made[2]);
    EXPECT_EQ(walls[2], made[3]);
    EXPECT_TRUE(ListOf(API_ColumnID).empty());
}

TEST_F(ElementQueries, ElemListAppendsToWhatTheArrayHolds)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 1, 0);
    GS::Array<API_Guid> list;
    list.Push(APINULLGuid);
    ASSERT_EQ(ACAPI_Element_GetElemList(API_WallID, &list), NoError);
    ASSERT_EQ(list.GetSize(), 2u);
    EXPECT_EQ(list[1], wall);
}

TEST_F(ElementQueries, UnknownAndNullGuidsAreBadIds)
{
    API_Element e;
    BNClear(e);
    EXPECT_EQ(ACAPI_Element_Get(&e), APIERR_BADID);
    e.header.guid = GSGuid2APIGuid(GS::Guid("12345678-1234-1234-1234-123456789ABC"));
    EXPECT_EQ(ACAPI_Element_Get(&e), APIERR_BADID);
    ScopedMemo memo;
    EXPECT_EQ(ACAPI_Element_GetMemo(e.header.guid, memo.get()), APIERR_BADID);
    EXPECT_EQ(memo->coords, nullptr);
}

TEST_F(ElementQueries, GetMemoOfAnElementWithoutMemoGivesNullHandles)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 1, 0);
    ScopedMemo memo;
    EXPECT_EQ(ACAPI_Element_GetMemo(wall, memo.get()), NoError);
    EXPECT_EQ(memo->coords, nullptr);
    EXPECT_EQ(memo->textContent, nullptr);
}

TEST_F(ElementQueries, GetMemoThatRunsOutOfMemoryLeavesNothingBehind)
{
    API_Guid slab = HostTesting::AddFixture(API_SlabID);
    HostTesting::FailAllocation(2);
    ScopedMemo memo;
    EXPECT_EQ(ACAPI_Element_GetMemo(slab, memo.get()), APIERR_MEMFULL);
    EXPECT_EQ(memo->coords, nullptr);
    EXPECT_EQ(memo->pends, nullptr);
}

class ElementDelete : public HostTest {};

TEST_F(ElementDelete, AnUnknownGuidDeletesNothing)
{
    API_Guid a = HostTesting::AddWall(0, 0, 1, 0);
    GS::Array<API_Guid> list;
    list.Push(a);
    list.Push(GSGuid2APIGuid(GS::Guid("not a guid")));
    EXPECT_EQ(Command([&] { return ACAPI_Element_Delete(list); }), APIERR_BADID);
    EXPECT_TRUE(HostTesting::ElementExists(a));
}

TEST_F(ElementDelete, DuplicatesAreDeletedOnceAndWallsTakeTheirOpenings)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 6, 0);
    API_Guid other = HostTesting::AddWall(0, 5, 6, 5);
    API_Guid door = HostTesting::AddFixture(API_DoorID, 0, wall);
    API_Guid window = HostTesting::AddFixture(API_WindowID, 0, wall);
    API_Guid keptWindow = HostTesting::AddFixture(API_WindowID, 0, other);
    GS::Array<API_Guid> list;
    list.Push(wall);
    list.Push(wall);
    list.Push(door);
    ASSERT_EQ(Command([&] { return ACAPI_Element_Delete(list); }), NoError);
    EXPECT_FALSE(HostTesting::ElementExists(wall));
    EXPECT_FALSE(HostTesting::ElementExists(door));
    EXPECT_FALSE(HostTesting::ElementExists(window));
    EXPECT_TRUE(HostTesting::ElementExists(other));
    EXPECT_TRUE(HostTesting::ElementExists(keptWindow));
}

}  // namespace
