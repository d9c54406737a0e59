// capture_element_detail and the capture of one element: property failures that only leave
// entries out, and the mended faults: every memo read within its handle's real size (contours,
// counts, text), and the memo released whatever its fetch did.
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
