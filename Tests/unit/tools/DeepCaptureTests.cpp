// capture_element_detail and the capture of one element: the header's names and the tracker,
// the angle rules and what grows the box per type, properties with their defaults, failures
// that only leave entries out; and the mended faults: every memo read within its handle's real
// size (contours, counts, text), and the memo released whatever its fetch did.
#include "HostTestingProperties.hpp"
#include "QuillmereTest.hpp"
#include "tools/library/DeepCapture.hpp"

namespace {

// A square of side 2 at the origin as the host stores it: coordinates 1..5, 5 repeating 1.
const std::vector<API_Coord> kSquare = {{0, 0}, {0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}};
const double kHalfPi = 1.5707963267948966;
const double kRightAngle = 90.00000000000009;  // pi/2 through the add-on's degree factor

template <typename T>
T** Handle(const std::vector<T>& records)
{
    GSHandle h = BMAllocateHandle(GSSize(records.size() * sizeof(T)), ALLOCATE_CLEAR, 0);
    if (!records.empty()) std::memcpy(*h, records.data(), records.size() * sizeof(T));
    return reinterpret_cast<T**>(h);
}

class DeepCapture : public QuillmereTest {
protected:
    json Direct(const API_Guid& guid)
    {
        tracker = AttrTracker();
        box = BBox();
        return DeepCaptureElement(Read(guid), tracker, box, false);
    }
    // Stores the element with exactly this memo, consistent with the record or not.
    static API_Guid AddWithMemo(const API_Element& element, const std::vector<API_Coord>& coords,
                                const std::vector<Int32>& pends)
    {
        ScopedMemo memo;
        if (!coords.empty()) memo->coords = Handle(coords);
        if (!pends.empty()) memo->pends = Handle(pends);
        return HostTesting::AddElement(element, memo.get());
    }
    json Capture(const API_Guid& guid, bool properties = true)
    {
        return Data(Run("capture_element_detail", {{"element_guid", Text(guid)}, {"include_properties", properties}}));
    }
    AttrTracker tracker;
    BBox box;
};

TEST_F(DeepCapture, TheHeaderNamesItsLayerEvenOneTheProjectLacks)
{
    API_Element element = HostTesting::MakeElement(API_LineID);
    element.header.layer = 0;
    EXPECT_EQ(Direct(HostTesting::AddElement(element))["layer_name"], "");
    EXPECT_TRUE(tracker.layers.empty());
    element.header.layer = 77;
    element.header.groupGuid = Guid("11111111-2222-3333-4444-555555555555");
    const json record = Direct(HostTesting::AddElement(element));
    EXPECT_EQ(record["layer_name"], "(index:77)");
    EXPECT_EQ(record["group_guid"], "11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(tracker.layers, std::set<Int32>{77});
    API_Element lamp = HostTesting::MakeElement(API_LineID);
    lamp.header.type = MakeElemType(API_LampID);
    EXPECT_EQ(Capture(HostTesting::AddElement(lamp))["type"], "unknown");
}

TEST_F(DeepCapture, AnglesInDegreesExceptTheWallsAndWhatGrowsTheBox)
{
    API_Element wall = HostTesting::MakeElement(API_WallID);
    wall.wall.angle = 1.0;
    API_Element object = HostTesting::MakeElement(API_ObjectID);
    object.object.angle = kHalfPi;
    object.object.pos = {7, 8};
    API_Element roof = HostTesting::MakeElement(API_RoofID);
    roof.roof.planeRoof.angle = kHalfPi;
    roof.roof.planeRoof.baseLine = {{-1, -1}, {4, -1}};
    roof.roof.poly = {5, 1, 0};
    API_Element window = HostTesting::MakeElement(API_WindowID);
    window.window.owner = HostTesting::AddWall(0, 0, 5, 0);
    const struct {
        const char* name;
        API_Guid guid;
        const char* key;
        json value;
        json box;  // null: the element grows no box
    } rows[] = {
        {"a wall keeps radians",
         HostTesting::AddElement(wall),
         "angle",
         1.0,
         {{"max_x", 5.0}, {"max_y", 0.0}, {"min_x", 0.0}, {"min_y", 0.0}}},
        {"an object in degrees",
         HostTesting::AddElement(object),
         "angle",
         kRightAngle,
         {{"max_x", 7.0}, {"max_y", 8.0}, {"min_x", 7.0}, {"min_y", 8.0}}},
        {"a plane roof by base line and outline",
         AddWithMemo(roof, kSquare, {0, 5}),
         "angle",
         kRightAngle,
         {{"max_x", 4.0}, {"max_y", 2.0}, {"min_x", -1.0}, {"min_y", -1.0}}},
        {"an opening names its wall", HostTesting::AddElement(window), "owner_wall_guid", Text(window.window.owner),
         nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Direct(row.guid)["data"][row.key], row.value);
        EXPECT_EQ(box.empty ? json() : box.ToJson(), row.box);
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

TEST_F(DeepCapture, DraftingMemosAreReadWithinTheirHandles)
{
    API_Element text = HostTesting::MakeElement(API_TextID);
    ScopedMemo unterminated;
    unterminated->textContent = Handle(std::vector<char>{'a', 'b', 'c'});
    EXPECT_EQ(Direct(HostTesting::AddElement(text, unterminated.get()))["data"]["content"], "abc");
    API_Element polyline = HostTesting::MakeElement(API_PolyLineID);
    polyline.polyLine.poly = {50, 1, 0};
    EXPECT_EQ(Direct(AddWithMemo(polyline, {{0, 0}, {1, 1}, {2, 1}, {3, 5}}, {0, 3}))["data"]["vertices"].size(), 3u);
    API_Element spline = HostTesting::MakeElement(API_SplineID);
    EXPECT_EQ(Direct(AddWithMemo(spline, {{0, 0}, {1, 1}, {2, 0}}, {}))["data"]["control_points"],
              json::parse("[[1.0,1.0],[2.0,0.0]]"));
    ScopedMemo memo;
    API_Element dimension = HostTesting::MakeElement(API_DimensionID, memo.get());
    dimension.dimension.nDimElem = 40;
    EXPECT_EQ(Direct(HostTesting::AddElement(dimension, memo.get()))["data"]["witness_points"].size(), 2u);
}

TEST_F(DeepCapture, TheMemoIsReleasedWhateverItsFetchDid)
{
    const API_Guid slab = HostTesting::AddFixture(API_SlabID);
    HostTesting::FailNextCall("ACAPI_Element_GetMemo", APIERR_GENERAL);
    EXPECT_TRUE(Capture(slab, false)["data"].contains("thickness"));
    HostTesting::FailAllocation(2);  // half way, after a handle was handed out: the teardown counts it
    EXPECT_FALSE(Capture(slab, false)["data"].contains("polygon"));
}

TEST_F(DeepCapture, PropertiesTellTheirKindAndDefaultAndFailuresLeaveEntriesOut)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    const API_Guid loadBearing = HostTesting::DefaultPropertyDefinition("General Ratings", "Load Bearing");
    HostTesting::SetPropertyValue(wall, loadBearing, HostTesting::BooleanVariant(true));
    const json properties = Capture(wall)["properties"];
    ASSERT_EQ(properties.size(), 6u);
    EXPECT_EQ(properties[1],
              json::parse(R"({"group":"General Ratings","name":"Load Bearing","type":"boolean","value":true})"));
    EXPECT_EQ(
        properties[5],
        json::parse(R"({"group":"Project Data","is_default":true,"name":"Finish Options","type":"unsupported"})"));
    HostTesting::FailureRule one{"ACAPI_Element_GetPropertyValue"};
    one.guid = loadBearing;
    HostTesting::InjectFailure(one);
    EXPECT_EQ(Capture(wall)["properties"].size(), 5u);
}

}  // namespace
