// The "data" object of each element type: the angle rules, what grows the box and what the
// memo adds, including memos that do not match their records.

#include "DeepCaptureFixture.hpp"

namespace {

const double kHalfPi = 1.5707963267948966;
const double kRightAngle = 90.00000000000009;  // pi/2 through the add-on's degree factor

json Box(double minX, double minY, double maxX, double maxY)
{
    return {{"max_x", maxX}, {"max_y", maxY}, {"min_x", minX}, {"min_y", minY}};
}

TEST_F(DeepCaptureTest, WallStructureAndPolygon)
{
    API_Element wall = HostTesting::MakeElement(API_WallID);
    wall.wall.angle = 1.0;
    json data = Direct(HostTesting::AddElement(wall))["data"];
    EXPECT_EQ(data["angle"], 1.0);  // the wall's own angle stays in radians
    EXPECT_TRUE(data.contains("building_material"));
    EXPECT_EQ(box.ToJson(), Box(0, 0, 5, 0));
    wall.wall.modelElemStructureType = 1;
    data = Direct(HostTesting::AddElement(wall))["data"];
    EXPECT_EQ(data["structure_type"], "composite");
    EXPECT_FALSE(data.contains("building_material"));
    EXPECT_TRUE(data.contains("composite_index"));

    // Only a polygonal wall shows its polygon, and the polygon never grows the box.
    wall.wall.modelElemStructureType = 0;
    wall.wall.poly = {5, 1, 0};
    for (Int32 type : {1, 2}) {
        wall.wall.type = type;
        data = Direct(AddWithMemo(wall, {{0, 0}, {0, 0}, {9, 0}, {9, 9}, {0, 9}, {0, 0}}, {0, 5}))["data"];
        EXPECT_EQ(data.contains("polygon"), type == 2);
        EXPECT_EQ(box.ToJson(), Box(0, 0, 5, 0));
    }
}

TEST_F(DeepCaptureTest, ColumnsAndBeamsInDegreesWithOrWithoutSegments)
{
    ScopedMemo memo;  // the default column's memo holds one segment
    API_Element column = HostTesting::MakeElement(API_ColumnID, memo.get());
    column.column.axisRotationAngle = 1.0;
    column.column.slantAngle = kHalfPi;
    column.column.origoPos = {3, -2};
    json data = Direct(HostTesting::AddElement(column, memo.get()))["data"];
    EXPECT_EQ(data["axis_rotation_angle"], 57.29577951308238);
    EXPECT_EQ(data["slant_angle"], kRightAngle);
    EXPECT_EQ(data["nominal_width"], 0.3);
    EXPECT_EQ(box.ToJson(), Box(3, -2, 3, -2));
    ScopedMemo none;
    column.column.nSegments = 0;
    data = Direct(HostTesting::AddElement(column, none.get()))["data"];
    EXPECT_FALSE(data.contains("nominal_width"));
    EXPECT_TRUE(data.contains("pen"));
}

TEST_F(DeepCaptureTest, SlabsAndFillsGrowTheBoxByTheirOutline)
{
    API_Element slab = HostTesting::MakeElement(API_SlabID);
    slab.slab.poly = {5, 1, 0};
    json data = Direct(AddWithMemo(slab, kSquare, {0, 5}))["data"];
    EXPECT_EQ(data["polygon"], json::parse("[[[0.0,0.0],[2.0,0.0],[2.0,2.0],[0.0,2.0],[0.0,0.0]]]"));
    EXPECT_EQ(box.ToJson(), Box(0, 0, 2, 2));
    EXPECT_EQ(tracker.fillTypes, std::set<Int32>{4});
    EXPECT_FALSE(Direct(AddWithMemo(slab, {}, {}))["data"].contains("polygon"));
    EXPECT_TRUE(box.empty);

    API_Element fill = HostTesting::MakeElement(API_HatchID);
    fill.hatch.contPen = 0;
    fill.hatch.fillPen = fill.hatch.fillBGPen = 5;
    fill.hatch.poly = {5, 1, 0};
    data = Direct(AddWithMemo(fill, kSquare, {0, 5}))["data"];
    EXPECT_FALSE(data.contains("pen"));
    EXPECT_EQ(tracker.pens, std::set<Int32>{5});
    EXPECT_EQ(box.ToJson(), Box(0, 0, 2, 2));
    EXPECT_FALSE(Direct(AddWithMemo(fill, kSquare, {}))["data"].contains("polygon"));
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
    EXPECT_FALSE(data.contains("level_num"));
    EXPECT_EQ(box.ToJson(), Box(-1, -1, 4, 2));

    roof.roof.roofClass = API_PolyRoofID;
    roof.roof.polyRoof.levelNum = 2;
    ScopedMemo memo;
    memo->coords = Handle(kSquare);
    memo->pends = Handle(std::vector<Int32>{0, 5});
    memo->pivotPolyPends = Handle(std::vector<Int32>{0, 5});
    memo->pivotPolyCoords = Handle(kSquare);
    data = Direct(HostTesting::AddElement(roof, memo.get()))["data"];
    EXPECT_EQ(data["level_num"], 2);
    EXPECT_EQ(data["contour_polygon"].size(), 1u);
    EXPECT_EQ(data["has_pivot_polygon"], true);
    EXPECT_FALSE(data.contains("polygon"));
    EXPECT_TRUE(box.empty);
    EXPECT_FALSE(Direct(AddWithMemo(roof, kSquare, {0, 5}))["data"].contains("has_pivot_polygon"));
}

TEST_F(DeepCaptureTest, OpeningsAndObjectsNameTheirOwners)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    API_Element window = HostTesting::MakeElement(API_WindowID);
    window.window.owner = wall;
    window.window.openingBase.libInd = 4000;  // no such part
    const json windowData = Direct(HostTesting::AddElement(window))["data"];
    EXPECT_TRUE(box.empty);
    EXPECT_EQ(windowData["owner_wall_guid"], Text(wall));
    EXPECT_EQ(windowData["library_part"], "(libInd:4000)");

    API_Element object = HostTesting::MakeElement(API_ObjectID);
    object.object.angle = kHalfPi;
    object.object.pos = {7, 8};
    json data = Direct(HostTesting::AddElement(object))["data"];
    EXPECT_EQ(data["angle"], kRightAngle);
    EXPECT_EQ(box.ToJson(), Box(7, 8, 7, 8));
    EXPECT_FALSE(data.contains("owner_guid"));
    object.object.owner = wall;
    EXPECT_EQ(Direct(HostTesting::AddElement(object))["data"]["owner_guid"], Text(wall));
}

TEST_F(DeepCaptureTest, DraftingMemosAreReadWithinTheirHandles)
{
    // Text: up to the first zero, or the end of a block that has none.
    API_Element text = HostTesting::MakeElement(API_TextID);
    const std::pair<std::vector<char>, const char*> texts[] = {
        {{'a', 'b', 'c'}, "abc"}, {{'a', '\0', 'b'}, "a"}, {{}, nullptr}};
    for (const auto& [bytes, content] : texts) {
        ScopedMemo memo;
        if (!bytes.empty()) memo->textContent = Handle(bytes);
        const json data = Direct(HostTesting::AddElement(text, memo.get()))["data"];
        EXPECT_EQ(data.contains("content"), content != nullptr);
        if (content) {
            EXPECT_EQ(data["content"], content);
        }
    }

    // Polyline: the recorded count, bounded by the handle.
    API_Element polyline = HostTesting::MakeElement(API_PolyLineID);
    for (const auto& [count, vertices] : std::vector<std::pair<Int32, size_t>>{{50, 3}, {-4, 0}}) {
        polyline.polyLine.poly = {count, 1, 0};
        const json data = Direct(AddWithMemo(polyline, {{0, 0}, {1, 1}, {2, 1}, {3, 5}}, {0, 3}))["data"];
        EXPECT_EQ(data["vertices"].size(), vertices) << count;
        EXPECT_EQ(box.empty, vertices == 0);
    }

    // Spline: the handle's size, entry 0 never read.
    API_Element spline = HostTesting::MakeElement(API_SplineID);
    json data = Direct(AddWithMemo(spline, {{0, 0}, {1, 1}, {2, 0}}, {}))["data"];
    EXPECT_EQ(data["control_points"], json::parse("[[1.0,1.0],[2.0,0.0]]"));
    EXPECT_EQ(Direct(AddWithMemo(spline, {{0, 0}}, {}))["data"]["control_points"].size(), 0u);

    // Dimension: the recorded count, bounded by the handle.
    ScopedMemo memo;
    API_Element dimension = HostTesting::MakeElement(API_DimensionID, memo.get());
    dimension.dimension.nDimElem = 40;
    EXPECT_EQ(Direct(HostTesting::AddElement(dimension, memo.get()))["data"]["witness_points"].size(), 2u);
    dimension.dimension.nDimElem = 0;
    EXPECT_FALSE(Direct(HostTesting::AddElement(dimension, memo.get()))["data"].contains("witness_points"));
}

}  // namespace
