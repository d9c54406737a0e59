// The host's element edit: every geometric field of every editable type follows the transform,
// and bad requests are refused without touching the project.

#include <algorithm>
#include <cmath>
#include <vector>

#include "ModifyTestSupport.hpp"

namespace {

API_EditPars Pars(API_EditCmdID type, bool withDelete, API_Coord origin, API_Coord begin, API_Coord end)
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

// One edit of the element, listed count times, inside a command; the first GUID is written back.
GSErrCode Edit(API_Guid& guid, const API_EditPars& pars, size_t count = 1)
{
    return ACAPI_CallUndoableCommand("edit", [&]() -> GSErrCode {
        API_Neig neig;
        BNClear(neig);
        neig.guid = guid;
        GS::Array<API_Neig> items;
        for (size_t i = 0; i < count; ++i)
            items.Push(neig);
        const GSErrCode err = ACAPI_Element_Edit(&items, pars);
        guid = count > 0 ? items[0].guid : guid;
        return err;
    });
}

template <typename T> T** NewHandle(const std::vector<T>& records)
{
    T** handle = reinterpret_cast<T**>(BMAllocateHandle(records.size() * sizeof(T), ALLOCATE_CLEAR, 0));
    std::copy(records.begin(), records.end(), *handle);
    return handle;
}

template <typename T> std::vector<T> Memo(const API_Guid& guid, T** API_ElementMemo::*member)
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

}  // namespace

TEST_F(ModifyToolTest, HostEditRefusesBadRequestsAndChangesNothing)
{
    API_Guid wall = HostTesting::AddWall(0.0, 0.0, 4.0, 0.0);
    const auto before = TakeSnapshot();
    const API_EditPars drag = Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {1, 0});
    API_Neig neig;
    BNClear(neig);
    neig.guid = wall;
    GS::Array<API_Neig> outsideACommand {neig};
    EXPECT_EQ(ACAPI_Element_Edit(&outsideACommand, drag), APIERR_NEEDSUNDOSCOPE);
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
    EXPECT_EQ(UndoStepCount(), 0u);
}

// Across the line y = x + 1, (x, y) goes to (y - 1, x + 1) and an angle a to pi / 2 - a.
TEST_F(ModifyToolTest, HostMirrorAwayFromTheOriginMovesEveryField)
{
    auto mirrored = [](API_Coord p) { return API_Coord {p.y - 1.0, p.x + 1.0}; };
    const API_Guid hotspot = HostTesting::AddFixture(API_HotspotID), arc = HostTesting::AddFixture(API_ArcID);
    const API_Guid zone = HostTesting::AddFixture(API_ZoneID), polyline = HostTesting::AddFixture(API_PolyLineID);
    const API_Guid dimension = HostTesting::AddFixture(API_DimensionID);
    API_Element e = HostTesting::MakeElement(API_ObjectID);
    e.object.angle = 0.2;
    const API_Guid object = HostTesting::AddElement(e);
    e = HostTesting::MakeElement(API_ColumnID);
    e.column.axisRotationAngle = 0.5;
    e.column.slantDirectionAngle = 0.3;
    const API_Guid column = HostTesting::AddElement(e);
    e = HostTesting::MakeElement(API_TextID);
    e.text.angle = 0.25;
    const API_Guid text = HostTesting::AddElement(e);
    e = HostTesting::MakeElement(API_HotlinkID);
    const double placedAt[12] = {1, 0, 0, 4, 0, 1, 0, 2, 0, 0, 1, 0};
    std::copy(placedAt, placedAt + 12, e.hotlink.transformation.tmx);
    const API_Guid hotlink = HostTesting::AddElement(e);
    // A square slab whose first edge is an arc, a roof with a pivot polygon, a spline.
    API_ElementMemo memo;
    BNClear(memo);
    e = HostTesting::MakeElement(API_SlabID);
    e.slab.poly = {5, 1, 1};
    memo.coords = NewHandle<API_Coord>({{0, 0}, {0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}});
    memo.pends = NewHandle<Int32>({0, 5});
    memo.parcs = NewHandle<API_PolyArc>({{1, 2, 0.5}});
    const API_Guid slab = HostTesting::AddElement(e, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    e = HostTesting::MakeElement(API_RoofID);
    e.roof.planeRoof.baseLine = {{0.0, 1.0}, {4.0, 1.0}};
    memo.pivotPolyCoords = NewHandle<API_Coord>({{0, 0}, {4, 0}});
    const API_Guid roof = HostTesting::AddElement(e, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    memo.coords = NewHandle<API_Coord>({{0, 0}, {0, 1}, {2, 1}});
    memo.bezierDirs = NewHandle<API_SplineDir>({{1.0, 1.0, 0.3}, {1.0, 1.0, 0.3}, {1.0, 1.0, 0.3}});
    const API_Guid spline = HostTesting::AddElement(HostTesting::MakeElement(API_SplineID), &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    const auto before = TakeSnapshot();
    auto record = [&](size_t i) { return before[i].record; };
    const std::vector<API_Coord> polylinePoints = Memo(polyline, &API_ElementMemo::coords);
    const std::vector<API_DimElem> witness = Memo(dimension, &API_ElementMemo::dimElems);

    const API_EditPars mirror = Pars(APIEdit_Mirror, true, {0.0, 1.0}, {0.0, 0.0}, {1.0, 2.0});
    for (API_Guid guid : {arc, zone, polyline, dimension, object, column, text, hotlink, slab, roof, spline})
        ASSERT_EQ(Edit(guid, mirror), NoError);
    // A copy gets a new GUID, written back; its source stays.
    API_Guid copy = hotspot;
    API_EditPars mirrorCopy = mirror;
    mirrorCopy.withDelete = false;
    ASSERT_EQ(Edit(copy, mirrorCopy), NoError);
    ASSERT_NE(copy, hotspot);
    EXPECT_EQ(Get(copy).header.guid, copy);
    EXPECT_TRUE(SameRecord(Get(hotspot), record(0)));
    EXPECT_AT(Get(copy).hotspot.pos, mirrored(record(0).hotspot.pos));

    // An arc runs counter-clockwise from begin to end: the image of the old end is the new begin.
    auto arcPoint = [](const API_Element& a, double angle) {
        return API_Coord {a.arc.origC.x + a.arc.r * std::cos(angle), a.arc.origC.y + a.arc.r * std::sin(angle)};
    };
    EXPECT_AT(Get(arc).arc.origC, mirrored(record(1).arc.origC));
    EXPECT_AT(arcPoint(Get(arc), Get(arc).arc.begAng), mirrored(arcPoint(record(1), record(1).arc.endAng)));
    EXPECT_AT(arcPoint(Get(arc), Get(arc).arc.endAng), mirrored(arcPoint(record(1), record(1).arc.begAng)));
    EXPECT_AT(Get(zone).zone.pos, mirrored(record(2).zone.pos));
    const std::vector<API_Coord> points = Memo(polyline, &API_ElementMemo::coords);
    ASSERT_EQ(points.size(), polylinePoints.size());
    for (size_t i = 1; i < points.size(); ++i)
        EXPECT_AT(points[i], mirrored(polylinePoints[i]));
    // A dimension's direction turns with the linear part only.
    EXPECT_AT(Get(dimension).dimension.refC, mirrored(record(4).dimension.refC));
    EXPECT_POINT(Get(dimension).dimension.direction, record(4).dimension.direction.y, record(4).dimension.direction.x);
    const std::vector<API_DimElem> witnessAfter = Memo(dimension, &API_ElementMemo::dimElems);
    ASSERT_EQ(witnessAfter.size(), witness.size());
    for (size_t i = 0; i < witness.size(); ++i)
        EXPECT_AT(witnessAfter[i].base.loc, mirrored(witness[i].base.loc));
    EXPECT_AT(Get(object).object.pos, mirrored(record(5).object.pos));
    EXPECT_NEAR(Get(object).object.angle, M_PI / 2.0 - 0.2, 1e-12);
    EXPECT_NE(Get(object).object.reflected, record(5).object.reflected);
    EXPECT_AT(Get(column).column.origoPos, mirrored(record(6).column.origoPos));
    EXPECT_NEAR(Get(column).column.axisRotationAngle, M_PI / 2.0 - 0.5, 1e-12);
    EXPECT_NEAR(Get(column).column.slantDirectionAngle, M_PI / 2.0 - 0.3, 1e-12);
    EXPECT_AT(Get(text).text.loc, mirrored(record(7).text.loc));
    EXPECT_NEAR(Get(text).text.angle, M_PI / 2.0 - 0.25, 1e-12);
    // The placement (4, 2) goes to (1, 5); the x and y axes swap.
    const double placed[8] = {0, 1, 0, 1, 1, 0, 0, 5};
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(Get(hotlink).hotlink.transformation.tmx[i], placed[i], 1e-12) << i;

    const std::vector<API_Coord> square = Memo(slab, &API_ElementMemo::coords);
    const API_Coord corners[] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}};
    ASSERT_EQ(square.size(), 6u);
    for (size_t i = 1; i < square.size(); ++i)
        EXPECT_AT(square[i], mirrored(corners[i - 1]));
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
}
