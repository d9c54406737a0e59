// The host's element edit: every geometric field of every editable type follows the transform,
// and bad requests are refused without touching the project.

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "QuillmereTest.hpp"

namespace {

API_EditPars Pars(API_EditCmdID type, bool withDelete, API_Coord origin, API_Coord begin, API_Coord end)
{
    API_EditPars pars;
    BNClear(pars);
    pars.typeID = type, pars.withDelete = withDelete, pars.origC = origin;
    pars.begC = {begin.x, begin.y, 0.0}, pars.endC = {end.x, end.y, 0.0};
    return pars;
}

// One edit of the element listed count times, inside a command unless told otherwise; the first
// GUID is written back.
GSErrCode Edit(API_Guid& guid, const API_EditPars& pars, size_t count = 1, bool inCommand = true)
{
    auto edit = [&]() -> GSErrCode {
        API_Neig neig{};
        neig.guid = guid;
        GS::Array<API_Neig> items;
        for (size_t i = 0; i < count; ++i) items.Push(neig);
        const GSErrCode err = ACAPI_Element_Edit(&items, pars);
        guid = count > 0 ? items[0].guid : guid;
        return err;
    };
    return inCommand ? ACAPI_CallUndoableCommand("edit", edit) : edit();
}

template <typename T>
T** NewHandle(std::vector<T> records)
{
    T** handle = reinterpret_cast<T**>(BMAllocateHandle(records.size() * sizeof(T), ALLOCATE_CLEAR, 0));
    std::copy(records.begin(), records.end(), *handle);
    return handle;
}

template <typename T>
std::vector<T> Memo(const API_Guid& guid, T** API_ElementMemo::*part)
{
    API_ElementMemo memo;
    BNClear(memo);
    EXPECT_TRUE(HostTesting::GetElementMemo(guid, &memo));
    std::vector<T> records;
    if (memo.*part != nullptr) records.assign(*(memo.*part), *(memo.*part) + BMGetHandleSize(memo.*part) / sizeof(T));
    ACAPI_DisposeElemMemoHdls(&memo);
    return records;
}

class ElementEdit : public HostTest {};

}  // namespace

// Across the line y = x + 1, (x, y) goes to (y - 1, x + 1) and an angle a to pi / 2 - a.
TEST_F(ElementEdit, HostMirrorAwayFromTheOriginMovesEveryField)
{
    API_Element e = HostTesting::MakeElement(API_ObjectID);
    e.object.angle = 0.2;
    const API_Guid object = HostTesting::AddElement(e);
    // A slab whose first edge is an arc; a roof with a base line and a pivot polygon.
    API_ElementMemo memo;
    BNClear(memo);
    e = HostTesting::MakeElement(API_SlabID, &memo);
    memo.parcs = NewHandle<API_PolyArc>({{1, 2, 0.5}});
    const API_Guid slab = HostTesting::AddElement(e, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    e = HostTesting::MakeElement(API_RoofID, &memo);
    e.roof.planeRoof.baseLine = {{0.0, 1.0}, {4.0, 1.0}};
    memo.pivotPolyCoords = NewHandle<API_Coord>({{0, 0}, {4, 0}});
    const API_Guid roof = HostTesting::AddElement(e, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    const API_Guid column = HostTesting::AddFixture(API_ColumnID), text = HostTesting::AddFixture(API_TextID);
    const API_Guid arc = HostTesting::AddFixture(API_ArcID), zone = HostTesting::AddFixture(API_ZoneID);
    const API_Guid polyline = HostTesting::AddFixture(API_PolyLineID), spline = HostTesting::AddFixture(API_SplineID);
    const API_Guid dimension = HostTesting::AddFixture(API_DimensionID),
                   hotspot = HostTesting::AddFixture(API_HotspotID);
    const auto before = TakeSnapshot();
    std::map<API_Guid, API_Element> was;
    for (const ElementState& state : before) was[state.record.header.guid] = state.record;
    auto mirrored = [](API_Coord p) { return API_Coord{p.y - 1.0, p.x + 1.0}; };
    const API_EditPars mirror = Pars(APIEdit_Mirror, true, {0.0, 1.0}, {0.0, 0.0}, {1.0, 2.0});
    for (API_Guid guid : {object, column, text, slab, roof, arc, zone, polyline, spline, dimension})
        ASSERT_EQ(Edit(guid, mirror), NoError);
    // A copy gets a new GUID, written back; its source stays.
    API_Guid copy = hotspot;
    ASSERT_EQ(Edit(copy, Pars(APIEdit_Mirror, false, {0.0, 1.0}, {0.0, 0.0}, {1.0, 2.0})), NoError);
    ASSERT_NE(copy, hotspot);
    EXPECT_EQ(Read(copy).header.guid, copy);
    EXPECT_TRUE(Same(Read(hotspot), was[hotspot]));
    // Every polygon, polyline and spline point.
    const auto after = TakeSnapshot();
    for (size_t k = 0; k < before.size(); ++k) {
        ASSERT_EQ(after[k].polygon.size(), before[k].polygon.size());
        for (size_t i = 0; i < before[k].polygon.size(); ++i)
            EXPECT_AT(after[k].polygon[i], mirrored(before[k].polygon[i])) << k << ": " << i;
    }
    // An arc runs counter-clockwise from begin to end: the image of the old end is the new begin.
    // A roof still rises on the same side of its directed base line; its pivot polygon follows.
    auto arcPoint = [](const API_Element& a, double angle) {
        return API_Coord{a.arc.origC.x + a.arc.r * std::cos(angle), a.arc.origC.y + a.arc.r * std::sin(angle)};
    };
    const API_Element arcAfter = Read(arc), roofAfter = Read(roof);
    const std::pair<API_Coord, API_Coord> points[] = {
        {Read(copy).hotspot.pos, was[hotspot].hotspot.pos},
        {Read(object).object.pos, was[object].object.pos},
        {Read(column).column.origoPos, was[column].column.origoPos},
        {Read(text).text.loc, was[text].text.loc},
        {Read(zone).zone.pos, was[zone].zone.pos},
        {Read(dimension).dimension.refC, was[dimension].dimension.refC},
        {arcAfter.arc.origC, was[arc].arc.origC},
        {arcPoint(arcAfter, arcAfter.arc.begAng), arcPoint(was[arc], was[arc].arc.endAng)},
        {arcPoint(arcAfter, arcAfter.arc.endAng), arcPoint(was[arc], was[arc].arc.begAng)},
        {roofAfter.roof.planeRoof.baseLine.c1, {4.0, 1.0}},
        {roofAfter.roof.planeRoof.baseLine.c2, {0.0, 1.0}},
        {Memo(roof, &API_ElementMemo::pivotPolyCoords).at(1), {4.0, 0.0}}};
    for (const auto& [moved, source] : points) EXPECT_AT(moved, mirrored(source));
    const double angles[][2] = {{Read(object).object.angle, 0.2},
                                {Read(column).column.axisRotationAngle, was[column].column.axisRotationAngle},
                                {Read(column).column.slantDirectionAngle, was[column].column.slantDirectionAngle},
                                {Read(text).text.angle, was[text].text.angle}};
    for (const auto& [turned, source] : angles) EXPECT_NEAR(turned, M_PI / 2.0 - source, 1e-12);
    // Spline directions (0 in the fixture) turn like angles; a dimension's direction is mirrored
    // without the shift; the arc edge of a polygon turns the other way.
    for (const API_SplineDir& dir : Memo(spline, &API_ElementMemo::bezierDirs))
        EXPECT_NEAR(dir.dirAng, M_PI / 2.0, 1e-12);
    const API_Coord direction = was[dimension].dimension.direction;
    EXPECT_POINT(Read(dimension).dimension.direction, direction.y, direction.x);
    EXPECT_EQ(Memo(slab, &API_ElementMemo::parcs).at(0).arcAngle, -0.5);
    EXPECT_NE(Read(object).object.reflected, was[object].object.reflected);
}

// Huge but finite moves, turns and mirrors once made zero-length walls, beams and lines,
// zero-area slabs, roofs and fills and doors past their wall's end; now the results run the
// host's element checks with its working extent, and an edit is refused whole.
TEST_F(ElementEdit, RefusesResultsTheHostWouldNotStoreAndChangesNothing)
{
    const API_Guid wall = HostTesting::AddWall(0.0, 0.0, 4.0, 0.0);
    API_Element door = HostTesting::MakeElement(API_DoorID);
    door.door.owner = wall;
    door.door.objLoc = 4.0;  // at the very end of its wall
    HostTesting::AddElement(door);
    std::vector<API_Guid> elements = {wall};
    for (API_ElemTypeID type : {API_BeamID, API_LineID, API_SlabID, API_RoofID, API_HatchID, API_ColumnID, API_ArcID})
        elements.push_back(HostTesting::AddFixture(type));
    const double edge = HostTesting::WorkingExtent();
    const API_Guid nearEdge = HostTesting::AddWall(edge - 10.0, 0.0, edge - 6.0, 0.0);
    const auto before = TakeSnapshot();

    // Results past the extent, and requests refused whatever they would move.
    const std::pair<const char*, API_EditPars> cases[] = {
        {"drag by 1e17", Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {1e17, 0})},
        {"drag just past the extent", Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {0, edge + 1.0})},
        {"turn about a far point", Pars(APIEdit_Rotate, true, {1e16, 1e16}, {1e16 + 1, 1e16}, {1e16, 1e16 + 1})},
        {"mirror across a far line", Pars(APIEdit_Mirror, true, {1e18, 0}, {0, 0}, {1e18, 1})},
        {"mirror axis of no length", Pars(APIEdit_Mirror, true, {3, 3}, {0, 0}, {3, 3})},
        {"NaN", Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {NAN, 0})},
    };
    const API_EditPars drag = Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {1, 0});
    EXPECT_EQ(Edit(elements[0], drag, 1, false), APIERR_NEEDSUNDOSCOPE);
    for (const auto& [what, given] : cases) {
        for (bool inPlace : {true, false}) {
            API_EditPars pars = given;
            pars.withDelete = inPlace;
            for (API_Guid guid : elements) {
                API_Guid edited = guid;
                EXPECT_EQ(Edit(edited, pars), APIERR_BADPARS) << what << (inPlace ? "" : " (copy)");
            }
        }
    }
    // Refused whole: a move that suits one element but takes the other past the extent moves neither.
    const API_EditPars east = Pars(APIEdit_Drag, true, {0, 0}, {0, 0}, {20.0, 0});
    for (bool inPlace : {true, false}) {
        API_EditPars pars = east;
        pars.withDelete = inPlace;
        const GSErrCode err = ACAPI_CallUndoableCommand("edit", [&] {
            GS::Array<API_Neig> items;
            for (const API_Guid& guid : {wall, nearEdge}) {
                API_Neig neig{};
                neig.guid = guid;
                items.Push(neig);
            }
            const GSErrCode code = ACAPI_Element_Edit(&items, pars);
            // A caller that carries on regardless still finds nothing done.
            EXPECT_TRUE(SameProject(before, TakeSnapshot()));
            return code == APIERR_BADPARS ? NoError : code;
        });
        EXPECT_EQ(err, NoError);
    }
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    // The same move within the extent goes through, door and all.
    API_Guid moved = wall;
    ASSERT_EQ(Edit(moved, east), NoError);
    EXPECT_POINT(Read(wall).wall.endC, 24.0, 0.0);
}
