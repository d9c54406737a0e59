// The working extent: a point, size, level, offset, placement or memo point that is not finite or
// lies beyond it is refused with the bad-parameters code by create and change alike, and nothing
// is stored. One field of each kind the host checks.

#include <cmath>
#include <limits>

#include "QuillmereTest.hpp"

namespace {

using E = API_Element&;
using M = API_ElementMemo&;
using WorkingExtent = HostTest;

TEST_F(WorkingExtent, CreateAndChangeRefuseEveryPointAndSizeThatIsNotFiniteOrBeyondTheExtent)
{
    const double edge = HostTesting::WorkingExtent(), inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        API_ElemTypeID typeID;
        std::function<void(E, M, double)> set;
    } fields[] = {
        {"wall start", API_WallID, [](E e, M, double v) { e.wall.begC.x = v; }},
        {"column segment width", API_ColumnID,
         [](E, M m, double v) { m.columnSegments[0].nominalWidth = std::fabs(v); }},
        {"slab vertex", API_SlabID, [](E, M m, double v) { (*m.coords)[2].x = v; }},
        {"dimension witness point", API_DimensionID, [](E, M m, double v) { (*m.dimElems)[1].base.loc.x = v; }},
        {"hotlink placement", API_HotlinkID, [](E e, M, double v) { e.hotlink.transformation.tmx[7] = v; }},
    };
    API_Element fullMask;
    std::memset(&fullMask, 0xFF, sizeof fullMask);
    for (const auto& field : fields) {
        ScopedMemo memo;
        API_Element e = HostTesting::MakeElement(field.typeID, memo.get());
        for (double value : {edge * 1.001, inf, std::nan("")}) {
            ScopedMemo spoiled;
            API_Element created = HostTesting::MakeElement(field.typeID, spoiled.get());
            field.set(created, spoiled.memo, value);
            const size_t count = HostTesting::ElementCount();
            EXPECT_EQ(CreateInCommand(created, spoiled.get()), APIERR_BADPARS) << field.what << " = " << value;
            EXPECT_EQ(HostTesting::ElementCount(), count);
        }
        ASSERT_EQ(CreateInCommand(e, memo.get()), NoError) << field.what;
        const API_Element stored = Read(e.header.guid);
        const std::vector<API_Coord> polygon = HostTesting::GetPolygon(e.header.guid);
        for (double value : {edge * 1.001, inf, std::nan("")}) {
            ScopedMemo changedMemo;
            API_Element changed = stored;
            HostTesting::MakeElement(field.typeID, changedMemo.get());
            field.set(changed, changedMemo.memo, value);
            EXPECT_EQ(ChangeInCommand(changed, &fullMask, changedMemo.get(), APIMemoMask_All), APIERR_BADPARS)
                << field.what << " = " << value;
            EXPECT_TRUE(Same(Read(e.header.guid), stored)) << field.what;
            EXPECT_EQ(HostTesting::GetPolygon(e.header.guid), polygon) << field.what;
        }
    }
    // Up to the extent itself is the host's to keep.
    API_Element longWall = HostTesting::MakeElement(API_WallID);
    longWall.wall.begC = {-edge, -edge};
    longWall.wall.endC = {edge, edge};
    EXPECT_EQ(CreateInCommand(longWall), NoError);
    ScopedMemo memo;
    API_Element slab = HostTesting::MakeElement(API_SlabID, memo.get());
    for (Int32 i = 1; i <= slab.slab.poly.nCoords; ++i) (*memo->coords)[i].x -= edge - 4.0;
    EXPECT_EQ(CreateInCommand(slab, memo.get()), NoError);
}

}  // namespace
