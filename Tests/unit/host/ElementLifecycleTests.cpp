// Changes through the host functions: what a mask lets through, what a memo replaces.

#include "QuillmereTest.hpp"

namespace {

class Elements : public HostTest {};

using E = API_Element&;
// Writes the value into the field and flags it in the mask.
#define FIELD(member, field, ...)                                                                                      \
    [](E v, E m) { v.member.field = __VA_ARGS__, ACAPI_ELEMENT_MASK_SET(m, member, field); }

// A change takes the flagged field only (unflagged noise in every other field stays out); a
// refused or unflagged one leaves the element as it was.
TEST_F(Elements, AChangeTakesOnlyItsFlaggedFieldAndARefusedOneNothing)
{
    struct Change {
        const char* what;
        API_ElemTypeID typeID;
        std::function<void(E value, E mask)> set;
        GSErrCode code;
        bool takes;
    };
    const std::vector<Change> changes = {
        {"wall thickness", API_WallID, FIELD(wall, thickness, 0.31), NoError, true},
        {"window position", API_WindowID, FIELD(window, objLoc, 2.5), NoError, true},
        {"spline closed", API_SplineID, FIELD(spline, closed, true), NoError, true},
        {"zone name", API_ZoneID,
         [](E v, E m) {
             std::memset(v.zone.roomName, 0, sizeof v.zone.roomName);
             GS::ucsncpy(v.zone.roomName, u"Kitchen", 256);
             ACAPI_ELEMENT_MASK_SET(m, zone, roomName);
         },
         NoError, true},
        {"an empty mask", API_WallID, [](E e, E) { e.wall.height = 99; }, NoError, false},
        {"a first mask byte not 0xFF", API_WallID,
         [](E e, E m) {
             e.wall.thickness = 0.4;
             reinterpret_cast<unsigned char*>(&m.wall.thickness)[0] = 0x01;
             reinterpret_cast<unsigned char*>(&m.wall.thickness)[1] = 0xFF;
         },
         NoError, false},
        {"an unknown GUID", API_WallID,
         [](E e, E m) { e.header.guid.time_low ^= 1, ACAPI_ELEMENT_MASK_SET(m, header, guid); }, APIERR_BADID, false},
        {"no such layer", API_WallID, FIELD(header, layer, 999), APIERR_BADINDEX, false},
        {"a zero length with a valid height", API_WallID,
         [](E e, E m) {
             e.wall.endC = e.wall.begC, e.wall.height = 3.0;
             ACAPI_ELEMENT_MASK_SET(m, wall, endC), ACAPI_ELEMENT_MASK_SET(m, wall, height);
         },
         APIERR_BADPARS, false},
    };
    const API_Guid wall = HostTesting::AddWall(0, 0, 6, 0);
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        const API_Guid guid =
            c.typeID == API_WallID ? HostTesting::AddWall(0, 0, 5, 0) : HostTesting::AddFixture(c.typeID, 0, wall);
        const API_Element before = Read(guid);
        API_Element value = before, expected = before, mask = Cleared(), unusedMask = Cleared();
        if (c.takes) {
            std::memset(reinterpret_cast<char*>(&value) + sizeof(API_Elem_Head), 0x5A,
                        sizeof value - sizeof(API_Elem_Head));
            c.set(expected, unusedMask);
            ASSERT_FALSE(Same(expected, before)) << "the new value must differ from the stored one";
        }
        c.set(value, mask);
        EXPECT_EQ(ChangeInCommand(value, &mask), c.code);
        EXPECT_TRUE(Same(Read(guid), expected));
    }
}
#undef FIELD

TEST_F(Elements, AMemoReplacesThePolygonAndNothingElseWithoutMaskBits)
{
    ScopedMemo arced, rectangle, stored;
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
}

}  // namespace
