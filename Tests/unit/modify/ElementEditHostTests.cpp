// The host's element edit: every geometric field of every editable type follows the transform,
// and bad requests are refused without touching the project.

#include <cmath>
#include <vector>

#include "ModifyTestSupport.hpp"

namespace {

#define EXPECT_AT(point, expected) EXPECT_POINT(point, (expected).x, (expected).y)

class ElementEditHostTest : public ModifyToolTest {
protected:
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

    // Runs one edit of the listed elements inside a command; the first GUID is written back.
    static GSErrCode Edit(API_Guid& guid, const API_EditPars& pars, size_t times = 1)
    {
        return ACAPI_CallUndoableCommand("edit", [&]() -> GSErrCode {
            API_Neig neig;
            BNClear(neig);
            neig.guid = guid;
            GS::Array<API_Neig> items;
            for (size_t i = 0; i < times; ++i)
                items.Push(neig);
            const GSErrCode err = ACAPI_Element_Edit(&items, pars);
            if (times > 0)
                guid = items[0].guid;
            return err;
        });
    }

    template <typename T> static T** NewHandle(const std::vector<T>& records)
    {
        T** handle = reinterpret_cast<T**>(BMAllocateHandle(records.size() * sizeof(T), ALLOCATE_CLEAR, 0));
        std::copy(records.begin(), records.end(), *handle);
        return handle;
    }

    // Stores an element with the given memo, which is disposed here.
    static API_Guid Store(const API_Element& record, API_ElementMemo& memo)
    {
        const API_Guid guid = HostTesting::AddElement(record, &memo);
        ACAPI_DisposeElemMemoHdls(&memo);
        BNClear(memo);
        return guid;
    }

    template <typename T> static std::vector<T> Memo(const API_Guid& guid, T** API_ElementMemo::*member)
    {
        API_ElementMemo memo;
        BNClear(memo);
        EXPECT_TRUE(HostTesting::GetElementMemo(guid, &memo));
        std::vector<T> records;
        if (memo.*member != nullptr)
            records.assign(*(memo.*member), *(memo.*member) + BMGetHandleSize(memo.*member) / sizeof(T));
        ACAPI_DisposeElemMemoHdls(&memo);
        return records;
    }
};

}  // namespace

TEST_F(ElementEditHostTest, RefusesBadRequestsAndChangesNothing)
{
    API_Guid wall = HostTesting::AddWall(0.0, 0.0, 4.0, 0.0);
    const auto before = TakeSnapshot();
    const API_EditPars drag = Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {1, 0});
    API_Neig neig;
    BNClear(neig);
    neig.guid = wall;
    GS::Array<API_Neig> outside {neig};
    EXPECT_EQ(ACAPI_Element_Edit(&outside, drag), APIERR_NEEDSUNDOSCOPE);

    // A rotation about its own begin point, a mirror axis of no length, an unknown edit, a NaN.
    for (const API_EditPars& pars : {Pars(APIEdit_Rotate, true, {1, 1}, {1, 1}, {2, 2}),
                                     Pars(APIEdit_Mirror, true, {3, 3}, {0, 0}, {3, 3}),
                                     Pars(static_cast<API_EditCmdID>(0x58585858), true, {0, 0}, {0, 0}, {1, 0}),
                                     Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {NAN, 0})})
        EXPECT_EQ(Edit(wall, pars), APIERR_BADPARS);
    // The same element twice in one list, and an empty list.
    EXPECT_EQ(Edit(wall, drag, 2), APIERR_BADPARS);
    EXPECT_EQ(Edit(wall, drag, 0), APIERR_BADPARS);
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_TRUE(HostTesting::UndoStepNames().empty());
}

TEST_F(ElementEditHostTest, RotationCarriesMemoPointsDirectionsAndAngles)
{
    const API_Guid polyline = HostTesting::AddFixture(API_PolyLineID);
    const API_Guid dimension = HostTesting::AddFixture(API_DimensionID);
    API_Element record = HostTesting::MakeElement(API_TextID);
    record.text.angle = 0.25;
    const API_Guid text = HostTesting::AddElement(record);
    record = HostTesting::MakeElement(API_ColumnID);
    record.column.axisRotationAngle = 0.5;
    const API_Guid column = HostTesting::AddElement(record);
    const auto before = TakeSnapshot();
    const std::vector<API_Coord> points = Memo(polyline, &API_ElementMemo::coords);
    const std::vector<API_DimElem> witness = Memo(dimension, &API_ElementMemo::dimElems);

    for (API_Guid guid : {polyline, dimension, text, column})
        ASSERT_EQ(Edit(guid, Pars(APIEdit_Rotate, true, {0, 0}, {1, 0}, {0, 1})), NoError);
    auto turned = [](API_Coord p) { return API_Coord {-p.y, p.x}; };  // a quarter turn about the origin

    const std::vector<API_Coord> coords = Memo(polyline, &API_ElementMemo::coords);
    ASSERT_EQ(coords.size(), points.size());
    for (size_t i = 1; i < coords.size(); ++i)
        EXPECT_AT(coords[i], turned(points[i]));
    const API_Element d = Get(dimension);
    EXPECT_AT(d.dimension.refC, turned(before[1].record.dimension.refC));
    EXPECT_AT(d.dimension.direction, turned(before[1].record.dimension.direction));
    const std::vector<API_DimElem> witnessAfter = Memo(dimension, &API_ElementMemo::dimElems);
    ASSERT_EQ(witnessAfter.size(), witness.size());
    for (size_t i = 0; i < witness.size(); ++i)
        EXPECT_AT(witnessAfter[i].base.loc, turned(witness[i].base.loc));
    EXPECT_AT(Get(text).text.loc, turned(before[2].record.text.loc));
    EXPECT_NEAR(Get(text).text.angle, 0.25 + M_PI / 2.0, 1e-12);
    EXPECT_AT(Get(column).column.origoPos, turned(before[3].record.column.origoPos));
    EXPECT_NEAR(Get(column).column.axisRotationAngle, 0.5 + M_PI / 2.0, 1e-12);
}

// Across the line y = x + 1, (x, y) goes to (y - 1, x + 1) and an angle a to pi / 2 - a.
TEST_F(ElementEditHostTest, MirrorAwayFromTheOriginMovesEveryField)
{
    auto mirrored = [](API_Coord p) { return API_Coord {p.y - 1.0, p.x + 1.0}; };
    API_ElementMemo memo;
    BNClear(memo);

    const API_Guid hotspot = HostTesting::AddFixture(API_HotspotID);
    const API_Guid arc = HostTesting::AddFixture(API_ArcID);
    const API_Guid zone = HostTesting::AddFixture(API_ZoneID);
    API_Element record = HostTesting::MakeElement(API_ObjectID);
    record.object.angle = 0.2;
    const API_Guid object = HostTesting::AddElement(record);
    record = HostTesting::MakeElement(API_ColumnID);
    record.column.slantDirectionAngle = 0.3;
    const API_Guid column = HostTesting::AddElement(record);
    // A square slab whose first edge is an arc.
    const std::vector<API_Coord> square = {{0, 0}, {0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}};
    record = HostTesting::MakeElement(API_SlabID);
    record.slab.poly = {5, 1, 1};
    memo.coords = NewHandle(square);
    memo.pends = NewHandle<Int32>({0, 5});
    memo.parcs = NewHandle<API_PolyArc>({{1, 2, 0.5}});
    const API_Guid slab = Store(record, memo);
    record = HostTesting::MakeElement(API_RoofID);
    record.roof.planeRoof.baseLine = {{0.0, 1.0}, {4.0, 1.0}};
    memo.pivotPolyCoords = NewHandle<API_Coord>({{0, 0}, {4, 0}});
    const API_Guid roof = Store(record, memo);
    memo.coords = NewHandle<API_Coord>({{0, 0}, {0, 1}, {2, 1}});
    memo.bezierDirs = NewHandle<API_SplineDir>({{1.0, 1.0, 0.3}, {1.0, 1.0, 0.3}, {1.0, 1.0, 0.3}});
    const API_Guid spline = Store(HostTesting::MakeElement(API_SplineID), memo);
    record = HostTesting::MakeElement(API_HotlinkID);
    const double placedAt[12] = {1, 0, 0, 4, 0, 1, 0, 2, 0, 0, 1, 0};
    std::copy(placedAt, placedAt + 12, record.hotlink.transformation.tmx);
    const API_Guid hotlink = HostTesting::AddElement(record);
    const auto before = TakeSnapshot();

    const API_EditPars mirror = Pars(APIEdit_Mirror, true, {0.0, 1.0}, {0.0, 0.0}, {1.0, 2.0});
    for (API_Guid guid : {arc, zone, object, column, slab, roof, spline, hotlink})
        ASSERT_EQ(Edit(guid, mirror), NoError);
    // A copy gets a new GUID, written back; its source stays.
    API_Guid copy = hotspot;
    API_EditPars mirrorCopy = mirror;
    mirrorCopy.withDelete = false;
    ASSERT_EQ(Edit(copy, mirrorCopy), NoError);
    ASSERT_NE(copy, hotspot);
    EXPECT_EQ(Get(copy).header.guid, copy);
    EXPECT_TRUE(SameRecord(Get(hotspot), before[0].record));
    EXPECT_AT(Get(copy).hotspot.pos, mirrored(before[0].record.hotspot.pos));

    // An arc runs counter-clockwise from begin to end: the image of the old end is the new begin.
    const API_Element a = Get(arc), old = before[1].record;
    auto arcPoint = [](const API_Element& e, double angle) {
        return API_Coord {e.arc.origC.x + e.arc.r * std::cos(angle), e.arc.origC.y + e.arc.r * std::sin(angle)};
    };
    EXPECT_AT(a.arc.origC, mirrored(old.arc.origC));
    EXPECT_AT(arcPoint(a, a.arc.begAng), mirrored(arcPoint(old, old.arc.endAng)));
    EXPECT_AT(arcPoint(a, a.arc.endAng), mirrored(arcPoint(old, old.arc.begAng)));
    EXPECT_AT(Get(zone).zone.pos, mirrored(before[2].record.zone.pos));
    const API_Element o = Get(object);
    EXPECT_AT(o.object.pos, mirrored(before[3].record.object.pos));
    EXPECT_NEAR(o.object.angle, M_PI / 2.0 - 0.2, 1e-12);
    EXPECT_NE(o.object.reflected, before[3].record.object.reflected);
    const API_Element c = Get(column);
    EXPECT_AT(c.column.origoPos, mirrored(before[4].record.column.origoPos));
    EXPECT_NEAR(c.column.slantDirectionAngle, M_PI / 2.0 - 0.3, 1e-12);

    const std::vector<API_Coord> coords = Memo(slab, &API_ElementMemo::coords);
    ASSERT_EQ(coords.size(), square.size());
    for (size_t i = 1; i < coords.size(); ++i)
        EXPECT_AT(coords[i], mirrored(square[i]));
    const std::vector<API_PolyArc> arcs = Memo(slab, &API_ElementMemo::parcs);
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_EQ(arcs[0].arcAngle, -0.5);
    // The roof still rises on the same side of its directed base line.
    const std::vector<API_Coord> pivot = Memo(roof, &API_ElementMemo::pivotPolyCoords);
    ASSERT_EQ(pivot.size(), 2u);
    EXPECT_AT(pivot[1], mirrored(API_Coord {4.0, 0.0}));
    EXPECT_AT(Get(roof).roof.planeRoof.baseLine.c1, mirrored(API_Coord {4.0, 1.0}));
    EXPECT_AT(Get(roof).roof.planeRoof.baseLine.c2, mirrored(API_Coord {0.0, 1.0}));
    const std::vector<API_Coord> splinePoints = Memo(spline, &API_ElementMemo::coords);
    ASSERT_EQ(splinePoints.size(), 3u);
    EXPECT_AT(splinePoints[2], mirrored(API_Coord {2.0, 1.0}));
    for (const API_SplineDir& dir : Memo(spline, &API_ElementMemo::bezierDirs))
        EXPECT_NEAR(dir.dirAng, M_PI / 2.0 - 0.3, 1e-12);
    // The placement (4, 2) goes to (1, 5); the x and y axes swap.
    const double* m = Get(hotlink).hotlink.transformation.tmx;
    const double expected[8] = {0, 1, 0, 1, 1, 0, 0, 5};
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(m[i], expected[i], 1e-12) << i;
}
