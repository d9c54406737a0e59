// The "data" object of each element type: its keys, the angle rules, what grows the box and
// what the memo adds, including memos that do not match their records.

#include <cmath>

#include "DeepCaptureFixture.hpp"

namespace {

const double kHalfPi = 1.5707963267948966;
const double kRightAngle = 90.00000000000009;   // pi/2 through the add-on's degree factor

json BoxOf(const BBox& box) { return box.ToJson(); }
json Box(double minX, double minY, double maxX, double maxY)
{
    return {{"max_x", maxX}, {"max_y", maxY}, {"min_x", minX}, {"min_y", minY}};
}

// ---- Construction elements ----------------------------------------------------------------

TEST_F(DeepCaptureTest, WallKeysStructureAndPolygon)
{
    API_Element wall = HostTesting::MakeElement(API_WallID);
    wall.wall.angle = 1.0;
    json data = Direct(HostTesting::AddElement(wall))["data"];
    EXPECT_EQ(Keys(data), (std::vector<std::string>{
        "angle", "begC", "bottomOffset", "building_material", "building_material_index", "contour_linetype",
        "contour_linetype_index", "contour_pen", "contour_pen_3d", "endC", "flipped", "has_door", "has_window", "height",
        "offset", "opp_material", "opp_material_index", "ref_material", "ref_material_index", "reference_line_location",
        "side_material", "side_material_index", "structure_type", "thickness", "thickness1", "topOffset",
        "wall_connection_priority", "wall_type"}));
    EXPECT_EQ(data["angle"], 1.0);   // the wall's own angle stays in radians
    EXPECT_EQ(data["begC"], json::parse(R"({"x":0.0,"y":0.0})"));
    EXPECT_EQ(data["wall_type"], "normal");
    EXPECT_EQ(data["structure_type"], "basic");
    EXPECT_EQ(BoxOf(box), Box(0, 0, 5, 0));

    struct Case { Int32 structure; const char* word; bool material; bool composite; };
    const Case structures[] = {{1, "composite", false, true}, {2, "profiled", false, false},
                               {3, "unknown", false, false}, {-1, "unknown", false, false}};
    for (const Case& c : structures) {
        wall.wall.modelElemStructureType = c.structure;
        data = Direct(HostTesting::AddElement(wall))["data"];
        EXPECT_EQ(data["structure_type"], c.word) << c.structure;
        EXPECT_EQ(data.contains("building_material"), c.material);
        EXPECT_EQ(data.contains("composite_index"), c.composite);
    }

    // Only a polygonal wall shows its polygon, and the polygon never grows the box.
    wall.wall.modelElemStructureType = 0;
    wall.wall.poly = {5, 1, 0};
    const std::pair<Int32, const char*> types[] = {{1, "trapezoid"}, {2, "polygonal"}, {7, "unknown"}};
    for (const auto& [type, word] : types) {
        wall.wall.type = type;
        data = Direct(AddWithMemo(wall, {{0, 0}, {0, 0}, {9, 0}, {9, 9}, {0, 9}, {0, 0}}, {0, 5}))["data"];
        EXPECT_EQ(data["wall_type"], word);
        EXPECT_EQ(data.contains("polygon"), type == 2);
        EXPECT_EQ(BoxOf(box), Box(0, 0, 5, 0));
    }
}

TEST_F(DeepCaptureTest, ColumnSegmentsAndDegrees)
{
    // The default column's memo holds one segment.
    ScopedMemo memo;
    API_Element column = HostTesting::MakeElement(API_ColumnID, memo.get());
    column.column.axisRotationAngle = 1.0;
    column.column.slantAngle = kHalfPi;
    column.column.origoPos = {3, -2};
    json data = Direct(HostTesting::AddElement(column, memo.get()))["data"];
    EXPECT_EQ(data["axis_rotation_angle"], 57.29577951308238);
    EXPECT_EQ(data["slant_angle"], kRightAngle);
    EXPECT_EQ(data["origoPos"], json::parse(R"({"x":3.0,"y":-2.0})"));
    EXPECT_EQ(data["nominal_width"], 0.3);
    for (const char* key : {"circle_based", "nominal_height", "building_material_index", "extrusion_surface_material",
                            "ends_material", "pen"})
        EXPECT_TRUE(data.contains(key)) << key;
    EXPECT_EQ(BoxOf(box), Box(3, -2, 3, -2));

    // Three segments: the first is reported.
    std::vector<API_ColumnSegmentType> segments(3);
    for (auto& s : segments) BNClear(s);
    segments[0].nominalWidth = 0.45;
    segments[1].nominalWidth = 0.9;
    ScopedMemo three;
    three->columnSegments = reinterpret_cast<API_ColumnSegmentType*>(BMAllocatePtr(GSSize(3 * sizeof segments[0]), 0, 0));
    std::memcpy(three->columnSegments, segments.data(), 3 * sizeof segments[0]);
    column.column.nSegments = 3;
    EXPECT_EQ(Direct(HostTesting::AddElement(column, three.get()))["data"]["nominal_width"], 0.45);

    // No segments: only the segment keys go.
    ScopedMemo none;
    column.column.nSegments = 0;
    data = Direct(HostTesting::AddElement(column, none.get()))["data"];
    for (const char* key : {"circle_based", "nominal_width", "nominal_height", "building_material", "ends_material"})
        EXPECT_FALSE(data.contains(key)) << key;
    EXPECT_TRUE(data.contains("pen"));
}

TEST_F(DeepCaptureTest, BeamWithAndWithoutSegments)
{
    ScopedMemo memo;
    API_Element beam = HostTesting::MakeElement(API_BeamID, memo.get());
    beam.beam.curveAngle = kHalfPi;
    json data = Direct(HostTesting::AddElement(beam, memo.get()))["data"];
    EXPECT_EQ(data["curve_angle"], kRightAngle);
    EXPECT_EQ(data["nominal_height"], 0.4);
    EXPECT_EQ(data["bot_material_index"], 3);
    EXPECT_FALSE(data.contains("pen"));
    EXPECT_FALSE(data.contains("circle_based"));
    EXPECT_EQ(BoxOf(box), Box(0, 0, 4, 0));

    ScopedMemo none;
    beam.beam.nSegments = 0;
    data = Direct(HostTesting::AddElement(beam, none.get()))["data"];
    EXPECT_EQ(Keys(data), (std::vector<std::string>{"beam_shape", "begC", "curve_angle", "endC", "is_flipped",
                                                    "is_slanted", "level", "offset", "profile_angle", "slant_angle"}));
}

TEST_F(DeepCaptureTest, SlabOutlineFillsAndBox)
{
    API_Element slab = HostTesting::MakeElement(API_SlabID);
    slab.slab.useFloorFill = false;
    slab.slab.poly = {5, 1, 0};
    json data = Direct(AddWithMemo(slab, kSquare, {0, 5}))["data"];
    EXPECT_EQ(data["polygon"], json::parse("[[[0.0,0.0],[2.0,0.0],[2.0,2.0],[0.0,2.0],[0.0,0.0]]]"));
    EXPECT_EQ(BoxOf(box), Box(0, 0, 2, 2));
    for (const char* key : {"floor_fill", "floor_fill_index", "floor_fill_pen", "floor_fill_bg_pen"})
        EXPECT_TRUE(data.contains(key)) << key;
    EXPECT_EQ(data["use_floor_fill"], false);
    EXPECT_EQ(tracker.fillTypes, std::set<Int32>{4});

    data = Direct(AddWithMemo(slab, {}, {}))["data"];
    EXPECT_FALSE(data.contains("polygon"));
    EXPECT_TRUE(box.empty);
}

TEST_F(DeepCaptureTest, PlaneAndPolyRoofs)
{
    API_Element roof = HostTesting::MakeElement(API_RoofID);
    roof.roof.planeRoof.angle = kHalfPi;
    roof.roof.planeRoof.baseLine = {{-1, -1}, {4, -1}};
    roof.roof.poly = {5, 1, 0};
    json data = Direct(AddWithMemo(roof, kSquare, {0, 5}))["data"];
    EXPECT_EQ(data["roof_class"], "plane");
    EXPECT_EQ(data["angle"], kRightAngle);
    EXPECT_EQ(data["base_line_end"], json::parse(R"({"x":4.0,"y":-1.0})"));
    EXPECT_TRUE(data.contains("polygon"));
    for (const char* key : {"level_num", "eaves_overhang", "contour_polygon", "has_pivot_polygon", "floor_fill_pen"})
        EXPECT_FALSE(data.contains(key)) << key;
    EXPECT_EQ(BoxOf(box), Box(-1, -1, 4, 2));

    roof.roof.roofClass = API_PolyRoofID;
    roof.roof.polyRoof.levelNum = 2;
    roof.roof.polyRoof.eavesOverhang = 0.6;
    ScopedMemo memo;
    memo->coords = Handle(kSquare);
    memo->pends = Handle(std::vector<Int32>{0, 5});
    memo->pivotPolyCoords = Handle(kSquare);
    memo->pivotPolyPends = Handle(std::vector<Int32>{0, 5});
    data = Direct(HostTesting::AddElement(roof, memo.get()))["data"];
    EXPECT_EQ(data["roof_class"], "poly");
    EXPECT_EQ(data["level_num"], 2);
    EXPECT_EQ(data["eaves_overhang"], 0.6);
    EXPECT_EQ(data["contour_polygon"].size(), 1u);
    EXPECT_EQ(data["has_pivot_polygon"], true);
    for (const char* key : {"angle", "base_line_beg", "base_line_end", "polygon"}) EXPECT_FALSE(data.contains(key)) << key;
    EXPECT_TRUE(box.empty);

    data = Direct(AddWithMemo(roof, kSquare, {0, 5}))["data"];
    EXPECT_FALSE(data.contains("has_pivot_polygon"));
    EXPECT_EQ(HostTesting::MakeElement(API_RoofID).roof.roofClass, API_PlaneRoofID);
}

// ---- Openings, objects, zones --------------------------------------------------------------

TEST_F(DeepCaptureTest, DoorsAndWindowsShareTheirFifteenKeys)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    API_Element window = HostTesting::MakeElement(API_WindowID);
    window.window.owner = wall;
    window.window.openingBase.libInd = 4000;   // no such part
    API_Element door = HostTesting::MakeElement(API_DoorID);
    door.door.openingBase = window.window.openingBase;
    door.door.owner = wall;
    door.door.objLoc = window.window.objLoc;
    door.door.lower = window.window.lower;
    door.door.fixPoint = window.window.fixPoint;
    const json windowData = Direct(HostTesting::AddElement(window))["data"];
    EXPECT_TRUE(box.empty);
    const json doorData = Direct(HostTesting::AddElement(door))["data"];
    EXPECT_EQ(windowData, doorData);
    EXPECT_EQ(windowData.size(), 15u);
    EXPECT_EQ(windowData["owner_wall_guid"], Text(wall));
    EXPECT_EQ(windowData["library_part"], "(libInd:4000)");

    window.window.owner = APINULLGuid;
    EXPECT_EQ(Direct(HostTesting::AddElement(window))["data"]["owner_wall_guid"], Text(APINULLGuid));
}

TEST_F(DeepCaptureTest, ObjectsAddTheirPlacementPointAndOwner)
{
    API_Element object = HostTesting::MakeElement(API_ObjectID);
    object.object.angle = kHalfPi;
    object.object.pos = {7, 8};
    object.object.xRatio = 40;
    json data = Direct(HostTesting::AddElement(object))["data"];
    EXPECT_EQ(data["angle"], kRightAngle);
    EXPECT_EQ(BoxOf(box), Box(7, 8, 7, 8));
    EXPECT_FALSE(data.contains("owner_guid"));
    EXPECT_EQ(data["library_part_index"], 1);

    object.object.owner = HostTesting::AddWall(0, 0, 1, 0);
    EXPECT_EQ(Direct(HostTesting::AddElement(object))["data"]["owner_guid"], Text(object.object.owner));
}

TEST_F(DeepCaptureTest, ZonesNamesPolygonAndBox)
{
    API_Element zone = HostTesting::MakeElement(API_ZoneID);
    GS::ucsncpy(zone.zone.roomName, u"K\u00fcche", 256);
    GS::ucsncpy(zone.zone.roomNoStr, u"", 256);
    zone.zone.pos = {5, 5};
    zone.zone.catInd = 3;
    zone.zone.poly = {9, 2, 0};
    std::vector<API_Coord> coords = kSquare;
    for (API_Coord c : {API_Coord{-1, 0.5}, API_Coord{1, 0.5}, API_Coord{1, 1}, API_Coord{-1, 0.5}}) coords.push_back(c);
    json data = Direct(AddWithMemo(zone, coords, {0, 5, 9}))["data"];
    EXPECT_EQ(data["room_name"], "K\xC3\xBC" "che");
    EXPECT_EQ(data["room_no"], "");
    EXPECT_EQ(data["category_index"], 3);
    EXPECT_FALSE(data.contains("category"));
    EXPECT_EQ(data["polygon"].size(), 2u);
    EXPECT_EQ(BoxOf(box), Box(-1, 0, 5, 5));   // the hole's points count too

    data = Direct(AddWithMemo(zone, {}, {}))["data"];
    EXPECT_FALSE(data.contains("polygon"));
    EXPECT_EQ(BoxOf(box), Box(5, 5, 5, 5));
}

// ---- Drafting elements ----------------------------------------------------------------------

TEST_F(DeepCaptureTest, LinesArcsAndHotspots)
{
    json data = Direct(HostTesting::AddFixture(API_LineID))["data"];
    EXPECT_EQ(Keys(data), (std::vector<std::string>{"begC", "endC", "linetype", "linetype_index", "pen", "pen_weight",
                                                    "room_separator"}));
    EXPECT_EQ(BoxOf(box), Box(0, 0, 3, 4));

    API_Element arc = HostTesting::MakeElement(API_ArcID);
    arc.arc.origC = {0, 0};
    arc.arc.r = 5;
    arc.arc.angle = kHalfPi;
    arc.arc.begAng = 0;
    arc.arc.endAng = 3.141592653589793;
    arc.arc.ltypeInd = 7777;
    data = Direct(HostTesting::AddElement(arc))["data"];
    EXPECT_EQ(data["angle"], kRightAngle);
    EXPECT_EQ(data["endAng"], 3.141592653589793);
    EXPECT_EQ(data["begAng"], 0.0);
    EXPECT_EQ(data["linetype"], "(index:7777)");
    EXPECT_EQ(tracker.lineTypes, std::set<Int32>{7777});
    EXPECT_EQ(BoxOf(box), Box(0, 0, 0, 0));   // the centre only

    data = Direct(HostTesting::AddFixture(API_HotspotID))["data"];
    EXPECT_EQ(Keys(data), (std::vector<std::string>{"pen", "pos"}));
    EXPECT_EQ(BoxOf(box), Box(3, 3, 3, 3));
}

TEST_F(DeepCaptureTest, TextContentWithinItsHandle)
{
    API_Element text = HostTesting::MakeElement(API_TextID);
    text.text.faceBits = 0x8001;
    text.text.font = -1;
    json data = Direct(HostTesting::AddFixture(API_TextID))["data"];
    EXPECT_EQ(data["content"], "Fixture text");

    struct Case { const char* name; std::vector<char> bytes; const char* content; };
    const Case cases[] = {
        {"no terminator in the block", {'a', 'b', 'c'}, "abc"},
        {"stops at the first zero", {'a', '\0', 'b', '\0'}, "a"},
        {"empty block", {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedMemo memo;
        if (!c.bytes.empty()) memo->textContent = Handle(c.bytes);
        data = Direct(HostTesting::AddElement(text, memo.get()))["data"];
        EXPECT_EQ(data.contains("content"), c.content != nullptr);
        if (c.content) {
            EXPECT_EQ(data["content"], c.content);
        }
        EXPECT_EQ(data["face_bits"], 0x8001);
        EXPECT_EQ(data["font"], -1);
        EXPECT_EQ(BoxOf(box), Box(1, 2, 1, 2));
    }
}

TEST_F(DeepCaptureTest, PolylineVerticesWithinTheirHandle)
{
    API_Element polyline = HostTesting::MakeElement(API_PolyLineID);
    const std::vector<API_Coord> coords = {{0, 0}, {1, 1}, {2, 1}, {3, 5}};
    struct Case { const char* name; Int32 nCoords; size_t vertices; };
    const Case cases[] = {{"as recorded", 3, 3}, {"count 0", 0, 0}, {"count past the handle", 50, 3}, {"negative", -4, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        polyline.polyLine.poly = {c.nCoords, 1, 0};
        const json data = Direct(AddWithMemo(polyline, coords, {0, 3}))["data"];
        EXPECT_EQ(data["vertices"].size(), c.vertices);
        EXPECT_EQ(box.empty, c.vertices == 0);
    }
    EXPECT_EQ(BoxOf(box), json(nullptr));
    polyline.polyLine.poly = {3, 1, 0};
    EXPECT_FALSE(Direct(AddWithMemo(polyline, {}, {}))["data"].contains("vertices"));
}

TEST_F(DeepCaptureTest, SplineControlPointsFromTheHandleSize)
{
    API_Element spline = HostTesting::MakeElement(API_SplineID);
    struct Case { std::vector<API_Coord> coords; size_t points; };
    const Case cases[] = {{{{0, 0}, {1, 1}, {2, 0}}, 2}, {{{0, 0}}, 0}, {{{9, 9}, {1, 1}, {2, 2}, {3, 1}}, 3}};
    for (const Case& c : cases) {
        const json data = Direct(AddWithMemo(spline, c.coords, {}))["data"];
        EXPECT_EQ(data["control_points"].size(), c.points);
        if (c.points > 0) {
            EXPECT_EQ(data["control_points"][0], json::parse("[1.0,1.0]"));   // entry 0 is never read
        }
    }
    EXPECT_FALSE(Direct(AddWithMemo(spline, {}, {}))["data"].contains("control_points"));
}

TEST_F(DeepCaptureTest, FillPensPatternAndPolygon)
{
    API_Element fill = HostTesting::MakeElement(API_HatchID);
    fill.hatch.contPen = 0;
    fill.hatch.fillPen = fill.hatch.fillBGPen = 5;
    fill.hatch.poly = {5, 1, 0};
    json data = Direct(AddWithMemo(fill, kSquare, {0, 5}))["data"];
    EXPECT_FALSE(data.contains("pen"));
    EXPECT_EQ(data["contour_pen"], 0);
    EXPECT_EQ(tracker.pens, std::set<Int32>{5});
    EXPECT_TRUE(data.contains("fill_pattern_index"));
    EXPECT_TRUE(data.contains("building_material_index"));
    EXPECT_EQ(BoxOf(box), Box(0, 0, 2, 2));

    data = Direct(AddWithMemo(fill, kSquare, {}))["data"];
    EXPECT_FALSE(data.contains("polygon"));
    EXPECT_TRUE(box.empty);
}

TEST_F(DeepCaptureTest, DimensionWitnessPointsWithinTheirHandle)
{
    json data = Direct(HostTesting::AddFixture(API_DimensionID))["data"];
    EXPECT_EQ(data["witness_points"], json::parse(R"([{"x":0.0,"y":0.0},{"x":5.0,"y":0.0}])"));
    EXPECT_EQ(data["direction"], json::parse(R"({"x":1.0,"y":0.0})"));
    EXPECT_EQ(BoxOf(box), Box(0, -1, 5, 0));

    ScopedMemo memo;
    API_Element dimension = HostTesting::MakeElement(API_DimensionID, memo.get());
    struct Case { Int32 count; size_t points; };
    for (const Case& c : {Case{0, 0}, Case{1, 1}, Case{40, 2}}) {
        dimension.dimension.nDimElem = c.count;
        data = Direct(HostTesting::AddElement(dimension, memo.get()))["data"];
        EXPECT_EQ(data.contains("witness_points"), c.count > 0) << c.count;
        if (c.count > 0) {
            EXPECT_EQ(data["witness_points"].size(), c.points) << c.count;
        }
    }
}

}  // namespace
