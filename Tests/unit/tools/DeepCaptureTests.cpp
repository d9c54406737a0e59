// capture_element_detail and the capture of one element: every kind's values in their units,
// property failures that only leave entries out, and the mended faults: every memo read within
// its handle's real size (contours, counts, text), and the memo released whatever its fetch did.
#include "HostTestingProperties.hpp"
#include "QuillmereTest.hpp"
#include "tools/library/DeepCapture.hpp"

namespace {

// A square of side 2 at the origin as the host stores it: coordinates 1..5, 5 repeating 1.
const std::vector<API_Coord> kSquare = {{0, 0}, {0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}};

template <typename T>
T** Handle(const std::vector<T>& records)
{
    GSHandle h = BMAllocateHandle(GSSize(records.size() * sizeof(T)), ALLOCATE_CLEAR, 0);
    if (!records.empty()) std::memcpy(*h, records.data(), records.size() * sizeof(T));
    return reinterpret_cast<T**>(h);
}

class DeepCapture : public QuillmereTest {
protected:
    json Capture(const API_Guid& guid, bool properties = true)
    {
        json input = {{"element_guid", Text(guid)}};
        if (!properties) input["include_properties"] = false;
        return Data(Run("capture_element_detail", input));
    }
};

// Every kind, its values set apart so that one read from the wrong field shows: lengths in metres and the wall's
// angle in radians as stored, other angles (not the arc's own two) in degrees; no count read past its memo.
TEST_F(DeepCapture, EachKindCapturesEachValueInItsUnit)
{
    const struct {
        API_ElemTypeID type;
        const char* word;
        void (*set)(API_Element&, API_ElementMemo&);
        const char* data;  // null: no data
    } rows[] = {
        {API_WallID, "wall",
         [](auto& e, auto&) { e.wall.angle = 1, e.wall.thickness1 = 0.2, e.wall.oppMat = 3, e.wall.sidMat = 5; },
         R"({"angle":1,"begC":{"x":0,"y":0},"bottomOffset":0,"building_material":"Brick - Common",
             "building_material_index":2,"contour_linetype":"Solid Line","contour_linetype_index":1,"contour_pen":1,
             "contour_pen_3d":1,"endC":{"x":5,"y":0},"flipped":false,"has_door":false,"has_window":false,"height":2.7,
             "offset":0,"opp_material":"Concrete - Smooth","opp_material_index":3,"ref_material":"Paint - White",
             "ref_material_index":1,"reference_line_location":0,"side_material":"Glass - Clear",
             "side_material_index":5,"structure_type":"basic","thickness":0.25,"thickness1":0.2,"topOffset":0,
             "wall_connection_priority":5,"wall_type":"normal"})"},
        {API_ColumnID, "column",
         [](auto& e, auto& m) {
             e.column.axisRotationAngle = 1, e.column.slantAngle = 0.5, e.column.slantDirectionAngle = 0.25,
             e.column.isFlipped = true, m.columnSegments[0].endsMaterial = 5;
         },
         R"({"axis_rotation_angle":57.29577951308238,"bottomOffset":0,"building_material":"Concrete - Structural",
             "building_material_index":1,"circle_based":false,"ends_material":"Glass - Clear","ends_material_index":5,
             "extrusion_surface_material":"Concrete - Smooth","extrusion_surface_material_index":3,"height":2.7,
             "is_flipped":true,"is_slanted":false,"nominal_height":0.3,"nominal_width":0.3,"origoPos":{"x":1,"y":1},
             "pen":1,"slant_angle":28.64788975654119,"slant_direction_angle":14.323944878270595,"topOffset":0})"},
        {API_BeamID, "beam",
         [](auto& e, auto&) { e.beam.slantAngle = 0.5, e.beam.profileAngle = 0.25, e.beam.curveAngle = 1; },
         R"({"beam_shape":0,"begC":{"x":0,"y":0},"bot_material":"Concrete - Smooth","bot_material_index":3,
             "building_material":"Concrete - Structural","building_material_index":1,"curve_angle":57.29577951308238,
             "endC":{"x":4,"y":0},"ends_material":"Concrete - Smooth","ends_material_index":3,"is_flipped":false,
             "is_slanted":false,"left_material":"Concrete - Smooth","left_material_index":3,"level":2.7,
             "nominal_height":0.4,"nominal_width":0.2,"offset":0,"profile_angle":14.323944878270595,
             "right_material":"Concrete - Smooth","right_material_index":3,"slant_angle":28.64788975654119,
             "top_material":"Concrete - Smooth","top_material_index":3})"},
        {API_WindowID, "window", [](auto& e, auto&) { e.window.openingBase.oSide = true; },
         R"({"fix_point":0,"height":1,"library_part":"","library_part_index":0,"linetype":"Solid Line",
             "linetype_index":1,"lower":0.8,"material":"Glass - Clear","material_index":5,"oSide":true,"objLoc":1.5,
             "owner_wall_guid":"00000000-0000-0000-0000-000000000000","pen":1,"reflected":false,"width":1})"},
        {API_DoorID, "door", [](auto& e, auto&) { e.door.openingBase.reflected = true; },
         R"({"fix_point":0,"height":2,"library_part":"","library_part_index":0,"linetype":"Solid Line",
             "linetype_index":1,"lower":0,"material":"Wood - Oak","material_index":4,"oSide":false,"objLoc":3.5,
             "owner_wall_guid":"00000000-0000-0000-0000-000000000000","pen":1,"reflected":true,"width":0.8})"},
        {API_ObjectID, "object", [](auto& e, auto&) { e.object.angle = 1, e.object.yRatio = 2; },
         R"({"angle":57.29577951308238,"level":0,"library_part":"Library Settings","library_part_index":1,
             "linetype":"Solid Line","linetype_index":1,"material":"Paint - White","material_index":1,"pen":1,
             "pos":{"x":2,"y":2},"reflected":false,"xRatio":0.5,"yRatio":2})"},
        {API_SlabID, "slab",
         [](auto& e, auto&) { e.slab.modelElemStructureType = 1, e.slab.composite = 3, e.slab.botMat = 4; },
         R"({"bot_material":"Wood - Oak","bot_material_index":4,"composite":"Concrete Slab 250","composite_index":3,
             "floor_fill":"Concrete","floor_fill_bg_pen":0,"floor_fill_index":4,"floor_fill_pen":1,"level":0.1,
             "linetype":"Solid Line","linetype_index":1,"offsetFromTop":0,"pen":1,
             "polygon":[[[0,0],[4,0],[4,3],[0,3],[0,0]]],"reference_plane_location":0,
             "side_material":"Concrete - Smooth","side_material_index":3,"structure_type":"composite","thickness":0.3,
             "top_material":"Concrete - Smooth","top_material_index":3,"use_floor_fill":false})"},
        {API_RoofID, "roof", [](auto& e, auto&) { e.roof.planeRoof.baseLine.c2.x = 4, e.roof.useFloorFill = true; },
         R"({"angle":30.00000000000003,"base_line_beg":{"x":0,"y":0},"base_line_end":{"x":4,"y":0},
             "bot_material":"Wood - Oak","bot_material_index":4,"building_material":"Timber - Structural",
             "building_material_index":3,"floor_fill":"Wood Grain","floor_fill_index":6,"level":2.7,
             "polygon":[[[0,0],[4,0],[4,3],[0,3],[0,0]]],"roof_class":"plane","sect_cont_linetype":"Solid Line",
             "sect_cont_linetype_index":1,"sect_cont_pen":1,"side_material":"Wood - Oak","side_material_index":4,
             "structure_type":"basic","thickness":0.25,"top_material":"Wood - Oak","top_material_index":4,
             "use_floor_fill":true})"},
        {API_RoofID, "roof",
         [](auto& e, auto&) {
             e.roof.roofClass = API_PolyRoofID, e.roof.modelElemStructureType = 2, e.roof.polyRoof.levelNum = 2,
             e.roof.polyRoof.eavesOverhang = 0.6;
         },
         R"({"bot_material":"Wood - Oak","bot_material_index":4,"contour_polygon":[[[0,0],[4,0],[4,3],[0,3],[0,0]]],
             "eaves_overhang":0.6,"floor_fill":"Wood Grain","floor_fill_index":6,"level":2.7,"level_num":2,
             "roof_class":"poly","sect_cont_linetype":"Solid Line","sect_cont_linetype_index":1,"sect_cont_pen":1,
             "side_material":"Wood - Oak","side_material_index":4,"structure_type":"profiled","thickness":0.25,
             "top_material":"Wood - Oak","top_material_index":4,"use_floor_fill":false})"},
        {API_DimensionID, "dimension", [](auto& e, auto&) { e.dimension.nDimElem = 40; },
         R"({"direction":{"x":1,"y":0},"nDimElem":40,"pen":1,"refC":{"x":0,"y":-1},"witness_points":[{"x":0,
             "y":0},{"x":5,"y":0}]})"},
        {API_TextID, "text",
         [](auto& e, auto& m) {
             e.text.angle = 1, BMKillHandle(&m.textContent), m.textContent = Handle(std::vector<char>{'a', 'b', 'c'});
         },
         R"({"angle":57.29577951308238,"content":"abc","face_bits":0,"font":1,"height":0,"loc":{"x":1,"y":2},"pen":1,
             "size":0.35,"width":0})"},
        {API_ZoneID, "zone", [](auto& e, auto&) { e.zone.roomBaseLev = 0.2; },
         R"({"category_index":1,"floor_fill":"Solid Fill","floor_fill_index":1,"library_part":"",
             "library_part_index":0,"material":"Paint - White","material_index":1,"pen":1,
             "polygon":[[[0,0],[4,0],[4,3],[0,3],[0,0]]],"pos":{"x":2,"y":1.5},"room_base_level":0.2,
             "room_floor_thick":0.1,"room_height":2.7,"room_name":"Room","room_no":"1","room_top_offset":0})"},
        {API_HatchID, "fill", nullptr,
         R"({"building_material":"","building_material_index":0,"contour_pen":1,"fill_bg_pen":0,
             "fill_pattern":"Solid Fill","fill_pattern_index":1,"fill_pen":2,"linetype":"Solid Line",
             "linetype_index":1,"polygon":[[[0,0],[4,0],[4,3],[0,3],[0,0]]]})"},
        {API_LineID, "line", [](auto& e, auto&) { e.line.zoneSeparator = true; },
         R"({"begC":{"x":0,"y":0},"endC":{"x":3,"y":4},"linetype":"Solid Line","linetype_index":1,"pen":1,
             "pen_weight":0.35,"room_separator":true})"},
        {API_PolyLineID, "polyline", [](auto& e, auto&) { e.polyLine.poly.nCoords = 50; },
         R"({"linetype":"Solid Line","linetype_index":1,"pen":1,"pen_weight":0.35,"vertices":[[0,0],[2,0],[2,2]]})"},
        {API_ArcID, "arc", [](auto& e, auto&) { e.arc.angle = 1, e.arc.begAng = 0.5, e.arc.whole = true; },
         R"({"angle":57.29577951308238,"begAng":0.5,"endAng":1.5707963267948966,"linetype":"Solid Line",
             "linetype_index":1,"origC":{"x":1,"y":1},"pen":1,"r":2,"ratio":1,"reflected":false,"whole":true})"},
        {API_SplineID, "spline", [](auto& e, auto&) { e.spline.autoSmooth = false, e.spline.closed = true; },
         R"({"auto_smooth":false,"closed":true,"control_points":[[0,0],[1,1],[2,0]],"linetype":"Solid Line",
             "linetype_index":1,"pen":1})"},
        {API_HotspotID, "hotspot", nullptr, R"({"pen":1,"pos":{"x":3,"y":3}})"},
        {API_CircleID, "unknown", nullptr, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.word);
        ScopedMemo memo;
        API_Element element = HostTesting::MakeElement(row.type, memo.get());
        if (row.set != nullptr) row.set(element, memo.memo);
        const json record = Capture(HostTesting::AddElement(element, memo.get()), false);
        EXPECT_EQ(record["type"], row.word);
        EXPECT_EQ(record.value("data", json()), row.data ? json::parse(row.data) : json());
    }
}

TEST_F(DeepCapture, PolygonsAreReadWithinTheirHandles)
{
    std::vector<API_Coord> two = kSquare;
    for (API_Coord c : {API_Coord{0.5, 0.5}, API_Coord{1, 0.5}, API_Coord{1, 1}, API_Coord{0.5, 0.5}}) two.push_back(c);
    const struct {
        const char* name;
        std::vector<API_Coord> coords;
        std::vector<Int32> pends;
        Int32 contours;
        std::vector<size_t> sizes;
    } rows[] = {
        {"no coordinates", {}, {0, 5}, 1, {}},
        {"two contours", two, {0, 5, 9}, 2, {5, 4}},
        {"end past the coordinates", kSquare, {0, 50}, 1, {5}},
        {"more contours than ends", kSquare, {0, 5}, 4, {5}},
        {"an end that goes back", two, {0, 5, 3, 9}, 3, {5, 4}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedMemo memo;
        if (!row.coords.empty()) memo->coords = Handle(row.coords);
        if (!row.pends.empty()) memo->pends = Handle(row.pends);
        const json contours = ExtractPolygon(memo.memo, API_Polygon{Int32(row.coords.size()) - 1, row.contours, 0});
        std::vector<size_t> sizes;
        for (const json& contour : contours) sizes.push_back(contour.size());
        EXPECT_EQ(sizes, row.sizes);
    }
}

TEST_F(DeepCapture, TheMemoIsReleasedWhateverItsFetchDid)
{
    const API_Guid slab = HostTesting::AddFixture(API_SlabID);
    HostTesting::FailNextCall("ACAPI_Element_GetMemo", APIERR_GENERAL);
    EXPECT_TRUE(Capture(slab, false)["data"].contains("thickness"));
    HostTesting::FailAllocation(2);  // half way, after a handle was handed out: the teardown counts it
    EXPECT_FALSE(Capture(slab, false)["data"].contains("polygon"));
}

TEST_F(DeepCapture, APropertyTheHostCannotReadIsLeftOut)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    const size_t all = Capture(wall)["properties"].size();
    HostTesting::FailureRule one{"ACAPI_Element_GetPropertyValue"};
    one.guid = HostTesting::DefaultPropertyDefinition("General Ratings", "Load Bearing");
    HostTesting::InjectFailure(one);
    EXPECT_EQ(Capture(wall)["properties"].size(), all - 1);
}

}  // namespace
