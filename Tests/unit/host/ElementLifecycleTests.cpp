// Create, read, change and delete for every element type, through the host functions.

#include "QuillmereTest.hpp"

namespace {

class Elements : public HostTest {};

TEST_F(Elements, EveryTypeIsCreatedReadChangedOnItsLayerAloneAndDeleted)
{
    HostTesting::AddLibraryPart(APILib_ObjectID, "Fixture Chair", 0.5, 0.6);
    const API_Guid wall = HostTesting::AddWall(0, 0, 6, 0, 1);
    for (API_ElemTypeID typeID : {API_WallID, API_ColumnID, API_BeamID, API_WindowID, API_DoorID, API_ObjectID,
                                  API_SlabID, API_RoofID, API_DimensionID, API_TextID, API_ZoneID, API_HatchID,
                                  API_LineID, API_PolyLineID, API_ArcID, API_SplineID, API_HotspotID, API_HotlinkID}) {
        SCOPED_TRACE(typeID);
        ScopedMemo memo, back;
        API_Element e = HostTesting::MakeElement(typeID, memo.get());  // the fixture the host accepts
        if (typeID == API_WindowID) e.window.owner = wall;
        if (typeID == API_DoorID) e.door.owner = wall;
        ASSERT_EQ(CreateInCommand(e, memo.get()), NoError);
        const std::vector<API_Coord> sent = MemoCoords(memo.memo);
        ACAPI_DisposeElemMemoHdls(memo.get());  // the host copied the memo: the caller's handles can go at once
        API_Element got = Cleared(API_WallID);  // the type is ignored: the GUID decides
        got.header.guid = e.header.guid;
        ASSERT_EQ(ACAPI_Element_Get(&got), NoError);
        EXPECT_TRUE(Same(got, e)) << "the stored record differs from the created one";
        ASSERT_EQ(ACAPI_Element_GetMemo(e.header.guid, back.get()), NoError);
        EXPECT_EQ(MemoCoords(back.memo), sent);
        EXPECT_EQ(ListOf(typeID).back(), e.header.guid);

        API_Element change = got, mask = Cleared();
        change.header.layer = 5;
        change.header.floorInd = 2;  // not flagged: must stay
        ACAPI_ELEMENT_MASK_SET(mask, header, layer);
        ASSERT_EQ(ChangeInCommand(change, &mask), NoError);
        got.header.layer = 5;
        EXPECT_TRUE(Same(Read(e.header.guid), got)) << "only the layer changed";
        ASSERT_EQ(DeleteInCommand({e.header.guid}), NoError);
        EXPECT_EQ(ACAPI_Element_Get(&got), APIERR_BADID);
        for (const API_Guid& g : ListOf(typeID)) EXPECT_NE(g, e.header.guid);
    }
}

// Writes the value into the field and flags it in the mask.
#define FIELD(type, member, field, ...)                                                                                \
    {                                                                                                                  \
        type, #member "." #field, [](auto& v, auto& m) {                                                               \
            v.member.field = __VA_ARGS__;                                                                              \
            ACAPI_ELEMENT_MASK_SET(m, member, field);                                                                  \
        }                                                                                                              \
    }

TEST_F(Elements, OneFlaggedFieldPerTypeChangesAndTheRestStays)
{
    struct FieldChange {
        API_ElemTypeID typeID;
        const char* field;
        std::function<void(API_Element& value, API_Element& mask)> set;
    };
    const std::vector<FieldChange> changes = {
        FIELD(API_WallID, wall, thickness, 0.31),
        FIELD(API_WindowID, window, objLoc, 2.5),
        FIELD(API_SplineID, spline, closed, true),
        {API_ZoneID, "zone.roomName",
         [](API_Element& v, API_Element& m) {
             std::memset(v.zone.roomName, 0, sizeof v.zone.roomName);
             GS::ucsncpy(v.zone.roomName, u"Kitchen", 256);
             ACAPI_ELEMENT_MASK_SET(m, zone, roomName);
         }},
    };
    API_Guid wall = HostTesting::AddWall(0, 0, 6, 0);
    for (const FieldChange& change : changes) {
        SCOPED_TRACE(change.field);
        API_Guid guid = change.typeID == API_WallID ? HostTesting::AddWall(0, 0, 5, 0)
                                                    : HostTesting::AddFixture(change.typeID, 0, wall);
        const API_Element before = Read(guid);
        API_Element value = before, expected = before, mask = Cleared(), unusedMask = Cleared();
        // Unflagged noise in every other type field must not leak into the element.
        std::memset(reinterpret_cast<char*>(&value) + sizeof(API_Elem_Head), 0x5A,
                    sizeof value - sizeof(API_Elem_Head));
        change.set(value, mask);
        change.set(expected, unusedMask);
        ASSERT_FALSE(Same(expected, before)) << "the new value must differ from the stored one";
        ASSERT_EQ(ChangeInCommand(value, &mask), NoError);
        EXPECT_TRUE(Same(Read(guid), expected)) << "the flagged field changes, everything else stays byte for byte";
    }
}
#undef FIELD

TEST_F(Elements, RefusedOrIneffectiveChangesLeaveTheElementAsItWas)
{
    using E = API_Element&;
    struct Attempt {
        const char* what;
        std::function<void(E value, E mask)> set;
        GSErrCode code;
    };
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    const API_Element before = Read(wall);
    for (const Attempt& a : std::vector<Attempt>{{"an empty mask", [](E e, E) { e.wall.height = 99; }, NoError},
                                                 {"a field whose first mask byte is not 0xFF",
                                                  [](E e, E m) {
                                                      e.wall.thickness = 0.4;
                                                      reinterpret_cast<unsigned char*>(&m.wall.thickness)[0] = 0x01;
                                                      reinterpret_cast<unsigned char*>(&m.wall.thickness)[1] = 0xFF;
                                                  },
                                                  NoError},
                                                 {"an unknown GUID",
                                                  [](E e, E m) {
                                                      e.header.guid.time_low ^= 1;
                                                      ACAPI_ELEMENT_MASK_SET(m, header, guid);
                                                  },
                                                  APIERR_BADID},
                                                 {"no such layer",
                                                  [](E e, E m) {
                                                      e.header.layer = 999;
                                                      ACAPI_ELEMENT_MASK_SET(m, header, layer);
                                                  },
                                                  APIERR_BADINDEX},
                                                 {"a zero length with a valid height",
                                                  [](E e, E m) {
                                                      e.wall.endC = e.wall.begC;
                                                      e.wall.height = 3.0;
                                                      ACAPI_ELEMENT_MASK_SET(m, wall, endC);
                                                      ACAPI_ELEMENT_MASK_SET(m, wall, height);
                                                  },
                                                  APIERR_BADPARS}}) {
        API_Element change = before, mask = Cleared();
        a.set(change, mask);
        EXPECT_EQ(ChangeInCommand(change, &mask), a.code) << a.what;
        EXPECT_TRUE(Same(Read(wall), before)) << a.what << " changed the element";
    }
}

TEST_F(Elements, AMemoReplacesThePolygonAndNothingElseWithoutMaskBits)
{
    ScopedMemo arced, rectangle, stored, segments;
    API_Element slab = HostTesting::MakeElement(API_SlabID, arced.get());
    arced->parcs = reinterpret_cast<API_PolyArc**>(BMAllocateHandle(sizeof(API_PolyArc), ALLOCATE_CLEAR, 0));
    (*arced->parcs)[0] = API_PolyArc{1, 2, 0.5};
    slab.slab.poly.nArcs = 1;
    ASSERT_EQ(CreateInCommand(slab, arced.get()), NoError);
    API_Element change = Read(slab.header.guid);
    PutPolygon(rectangle.memo, kRectangle8x6);
    ASSERT_EQ(ChangeInCommand(change, nullptr, rectangle.get()), NoError);
    EXPECT_EQ(HostTesting::GetPolygon(slab.header.guid), MemoCoords(rectangle.memo));
    EXPECT_EQ(Read(slab.header.guid).slab.thickness, slab.slab.thickness);
    EXPECT_EQ(Read(slab.header.guid).slab.poly.nArcs, 0) << "a polygon without arcs drops the old ones";
    ASSERT_EQ(ACAPI_Element_GetMemo(slab.header.guid, stored.get()), NoError);
    EXPECT_EQ(stored->parcs, nullptr);

    API_Guid column = HostTesting::AddFixture(API_ColumnID);
    auto storedWidth = [&] {
        ScopedMemo memo;
        EXPECT_EQ(ACAPI_Element_GetMemo(column, memo.get()), NoError);
        return memo->columnSegments ? memo->columnSegments[0].nominalWidth : -1.0;
    };
    const double widthBefore = storedWidth();
    change = Read(column);
    segments->columnSegments =
        reinterpret_cast<API_ColumnSegmentType*>(BMAllocatePtr(sizeof(API_ColumnSegmentType), ALLOCATE_CLEAR, 0));
    segments->columnSegments[0].nominalWidth = segments->columnSegments[0].nominalHeight = 0.9;
    // Without memo mask bits only a polygon is taken, and a column has none.
    ASSERT_EQ(ChangeInCommand(change, nullptr, segments.get()), NoError);
    EXPECT_EQ(storedWidth(), widthBefore);
}

TEST_F(Elements, ElemListAppendsInOrderGetMemoFollowsTheMaskAndDeleteIsAllOrNothing)
{
    API_Element hiddenLayerWall = HostTesting::MakeElement(API_WallID);
    hiddenLayerWall.header.layer = 10;  // "Hidden Guides"
    const API_Guid first = HostTesting::AddWall(0, 0, 1, 0, 2);
    HostTesting::AddFixture(API_SlabID);
    const API_Guid second = HostTesting::AddElement(hiddenLayerWall);
    const API_Guid third = HostTesting::AddWall(0, 0, 1, 0, 0);
    EXPECT_EQ(ListOf(API_WallID), (std::vector<API_Guid>{first, second, third}));
    GS::Array<API_Guid> list{APINULLGuid};
    ASSERT_EQ(ACAPI_Element_GetElemList(API_WallID, &list), NoError);
    EXPECT_EQ(list, (GS::Array<API_Guid>{APINULLGuid, first, second, third})) << "the list is appended to";
    ScopedMemo text, polygon, starved;
    API_Guid slab = HostTesting::AddFixture(API_SlabID);
    ASSERT_EQ(ACAPI_Element_GetMemo(slab, text.get(), APIMemoMask_TextContent), NoError);
    EXPECT_TRUE(text->coords == nullptr && text->pends == nullptr);
    ASSERT_EQ(ACAPI_Element_GetMemo(slab, polygon.get(), APIMemoMask_Polygon), NoError);
    EXPECT_TRUE(polygon->coords != nullptr && polygon->pends != nullptr);
    HostTesting::FailAllocation(2);
    EXPECT_EQ(ACAPI_Element_GetMemo(slab, starved.get()), APIERR_MEMFULL);
    EXPECT_TRUE(starved->coords == nullptr && starved->pends == nullptr)
        << "running out of memory leaves nothing behind";

    const std::vector<API_Guid> kept = HostTesting::AllElements();
    API_Guid wall = HostTesting::AddWall(0, 0, 6, 0), other = HostTesting::AddWall(0, 5, 6, 5);
    API_Guid door = HostTesting::AddFixture(API_DoorID, 0, wall);
    HostTesting::AddFixture(API_WindowID, 0, wall);
    API_Guid keptWindow = HostTesting::AddFixture(API_WindowID, 0, other);
    EXPECT_EQ(DeleteInCommand({wall, GSGuid2APIGuid(GS::Guid("not a guid"))}), APIERR_BADID);
    EXPECT_EQ(HostTesting::ElementCount(), kept.size() + 5);
    ASSERT_EQ(DeleteInCommand({wall, wall, door}), NoError);
    std::vector<API_Guid> left = kept;
    left.insert(left.end(), {other, keptWindow});
    EXPECT_EQ(HostTesting::AllElements(), left) << "the wall's window goes too";
}

}  // namespace
