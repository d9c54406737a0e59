// capture_element_detail: the record frame for every type, input failures, properties and
// classifications, the name resolvers, the polygon reader and the memo's release.

#include "DeepCaptureFixture.hpp"
#include "HostTestingProperties.hpp"

namespace {

const std::pair<API_ElemTypeID, const char*> kKnownTypes[] = {
    {API_WallID, "wall"},           {API_ColumnID, "column"},     {API_BeamID, "beam"}, {API_WindowID, "window"},
    {API_DoorID, "door"},           {API_ObjectID, "object"},     {API_SlabID, "slab"}, {API_RoofID, "roof"},
    {API_DimensionID, "dimension"}, {API_TextID, "text"},         {API_ZoneID, "zone"}, {API_HatchID, "fill"},
    {API_LineID, "line"},           {API_PolyLineID, "polyline"}, {API_ArcID, "arc"},   {API_SplineID, "spline"},
    {API_HotspotID, "hotspot"},
};

TEST_F(DeepCaptureTest, EveryTypeGetsTheCommonKeysAndItsTypeWord)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    for (const auto& [typeID, word] : kKnownTypes) {
        SCOPED_TRACE(word);
        const bool opening = typeID == API_DoorID || typeID == API_WindowID;
        const API_Guid guid =
            typeID == API_WallID ? wall : HostTesting::AddFixture(typeID, 1, opening ? wall : APINULLGuid);
        const API_Element element = Read(guid);
        const json record = Capture(guid, false);
        EXPECT_EQ(Keys(record), (std::vector<std::string>{"data", "guid", "layer_index", "layer_name",
                                                          "renovation_status", "story", "type"}));
        EXPECT_EQ(record["guid"], Text(guid));
        EXPECT_EQ(record["type"], word);
        API_Attribute layer;
        ASSERT_TRUE(HostTesting::GetAttribute(API_LayerID, element.header.layer, &layer));
        EXPECT_EQ(record["layer_name"], layer.header.name);
        EXPECT_TRUE(record["data"].is_object());
    }
    // A type without a writer: no "data", but properties when asked for.
    API_Element lamp = HostTesting::MakeElement(API_LineID);
    lamp.header.type = MakeElemType(API_LampID);
    const json record = Capture(HostTesting::AddElement(lamp));
    EXPECT_EQ(record["type"], "unknown");
    EXPECT_FALSE(record.contains("data"));
    EXPECT_TRUE(record.contains("properties"));
}

TEST_F(DeepCaptureTest, HeaderDetailsLayerZeroGroupsAndRenovation)
{
    API_Element element = HostTesting::MakeElement(API_LineID);
    element.header.layer = 0;
    element.header.renovationStatus = 3;
    element.header.floorInd = -1;
    json record = Direct(HostTesting::AddElement(element));
    EXPECT_EQ(record["layer_name"], "");
    EXPECT_EQ(record["story"], -1);
    EXPECT_FALSE(record.contains("group_guid"));
    EXPECT_TRUE(tracker.layers.empty());

    element.header.layer = 77;  // a layer the project does not have
    element.header.groupGuid = Guid("11111111-2222-3333-4444-555555555555");
    record = Direct(HostTesting::AddElement(element));
    EXPECT_EQ(record["layer_name"], "(index:77)");
    EXPECT_EQ(record["group_guid"], "11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(tracker.layers, std::set<Int32>{77});
    EXPECT_EQ(record.dump().find("{\"data\":"), 0u);  // keys come out in byte order
}

TEST_F(DeepCaptureTest, InputFailuresMakeNoCaptureAndChangeNothing)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    struct Case {
        const char* name;
        json input;
        std::string error;
        bool hostCalled;
    };
    const Case cases[] = {
        {"no guid", json::object(), "element_guid is required", false},
        {"not a guid", {{"element_guid", "not-a-guid"}}, "Element not found: not-a-guid", true},
        {"not an object", json::array({1}), "type_error", false},
    };
    const Footprint before = TakeFootprint();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTesting::ClearCallLog();
        const ToolResult result = Run("capture_element_detail", c.input);
        EXPECT_FALSE(result.success);
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
        EXPECT_EQ(!HostTesting::CallLog().empty(), c.hostCalled);
        EXPECT_EQ(TakeFootprint(), before);
    }
    // A host failure on an existing element reads as not found too.
    HostTesting::FailNextCall("ACAPI_Element_Get", APIERR_GENERAL);
    EXPECT_EQ(Run("capture_element_detail", {{"element_guid", Text(wall)}}).error, "Element not found: " + Text(wall));
}

TEST_F(DeepCaptureTest, PropertiesOfEveryKindWithDefaults)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    HostTesting::SetPropertyValue(wall, HostTesting::DefaultPropertyDefinition("General Ratings", "Load Bearing"),
                                  HostTesting::BooleanVariant(true));
    HostTesting::SetPropertyValue(wall, HostTesting::DefaultPropertyDefinition("Project Data", "Phase"),
                                  HostTesting::StringVariant("Bauphase \xC3\xBC"));
    const json record = Capture(wall);
    EXPECT_EQ(record["properties"], json::parse(R"([
        {"group":"General Ratings","is_default":true,"name":"Fire Resistance Rating","type":"string","value":"Not rated"},
        {"group":"General Ratings","name":"Load Bearing","type":"boolean","value":true},
        {"group":"General Ratings","is_default":true,"name":"Acoustic Rating","type":"integer","value":45},
        {"group":"General Ratings","is_default":true,"name":"Thermal Transmittance","type":"real","value":0.28},
        {"group":"Project Data","name":"Phase","type":"string","value":"Bauphase \u00fc"},
        {"group":"Project Data","is_default":true,"name":"Finish Options","type":"unsupported"},
        {"group":"Project Data","is_default":true,"name":"Status","type":"string","value":""},
        {"group":"Project Data","is_default":true,"name":"Cost Code","type":"string","value":""},
        {"group":"Project Data","is_default":true,"name":"Prefabricated","type":"boolean","value":false}])"));
    EXPECT_FALSE(record.contains("classifications"));  // none made: no empty array
    EXPECT_FALSE(Capture(wall, false).contains("properties"));
}

TEST_F(DeepCaptureTest, PropertyAndClassificationFailuresOnlyLeaveEntriesOut)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    const API_Guid walls = HostTesting::DefaultClassificationItem("QC-10");
    const API_Guid system = HostTesting::AddClassificationSystem("Second");
    const API_Guid second = HostTesting::AddClassificationItem(system, "S-1", "Structure");
    HostTesting::ClassifyElement(wall, walls);
    HostTesting::ClassifyElement(wall, second);

    json record = Capture(wall);
    EXPECT_EQ(record["classifications"][1],
              json({{"id", "S-1"}, {"item_guid", Text(second)}, {"name", "Structure"}, {"system_guid", Text(system)}}));

    struct Case {
        const char* name;
        HostTesting::FailureRule rule;
        size_t properties;
        size_t classifications;
    };
    HostTesting::FailureRule oneDefinition{"ACAPI_Element_GetPropertyValue"};
    oneDefinition.guid = HostTesting::DefaultPropertyDefinition("General Ratings", "Load Bearing");
    const Case cases[] = {
        {"one definition", oneDefinition, 8, 2},
        {"the group list", {"ACAPI_Property_GetPropertyGroups"}, 0, 2},
        {"the element's pairs", {"ACAPI_Element_GetClassificationItems"}, 9, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTesting::ClearFailures();
        HostTesting::InjectFailure(c.rule);
        record = Capture(wall);
        EXPECT_EQ(record.contains("properties"), c.properties > 0);
        if (c.properties > 0) {
            EXPECT_EQ(record["properties"].size(), c.properties);
        }
        EXPECT_EQ(record.contains("classifications"), c.classifications > 0);
        if (c.classifications > 0) {
            EXPECT_EQ(record["classifications"].size(), c.classifications);
        }
    }
}

TEST_F(DeepCaptureTest, PolygonsAreReadWithinTheirHandles)
{
    struct Case {
        const char* name;
        std::vector<API_Coord> coords;
        std::vector<Int32> pends;
        Int32 nSubPolys;
        std::vector<size_t> contourSizes;
    };
    std::vector<API_Coord> twoContours = kSquare;
    for (API_Coord c : {API_Coord{0.5, 0.5}, API_Coord{1, 0.5}, API_Coord{1, 1}, API_Coord{0.5, 0.5}})
        twoContours.push_back(c);
    const Case cases[] = {
        {"no coordinates", {}, {0, 5}, 1, {}},
        {"two contours", twoContours, {0, 5, 9}, 2, {5, 4}},
        // Memos that do not match their records: nothing is read past a handle.
        {"end past the coordinates", kSquare, {0, 50}, 1, {5}},
        {"more contours than ends", kSquare, {0, 5}, 4, {5}},
        {"an end that goes back", twoContours, {0, 5, 3, 9}, 3, {5, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedMemo memo;
        if (!c.coords.empty()) memo->coords = Handle(c.coords);
        if (!c.pends.empty()) memo->pends = Handle(c.pends);
        API_Polygon poly{static_cast<Int32>(c.coords.size()) - 1, c.nSubPolys, 0};
        const json contours = ExtractPolygon(memo.memo, poly);
        ASSERT_EQ(contours.size(), c.contourSizes.size());
        for (size_t i = 0; i < contours.size(); ++i) EXPECT_EQ(contours[i].size(), c.contourSizes[i]);
        if (!contours.empty()) {
            EXPECT_EQ(contours[0].front(), contours[0].back());
        }
    }
}

TEST_F(DeepCaptureTest, TheMemoIsReleasedWhateverItsFetchDid)
{
    const API_Guid slab = HostTesting::AddFixture(API_SlabID);
    // The fetch fails outright: the record is made without the memo's keys.
    HostTesting::FailNextCall("ACAPI_Element_GetMemo", APIERR_GENERAL);
    json data = Data(slab);
    EXPECT_FALSE(data.contains("polygon"));
    EXPECT_TRUE(data.contains("thickness"));
    // The fetch fails half way, after handing out a handle: it is released all the same (the
    // fixture's teardown counts the live handles).
    HostTesting::FailAllocation(2);
    data = Data(slab);
    EXPECT_FALSE(data.contains("polygon"));
    const auto calls = HostTesting::CallLog();
    const auto fetch = std::find_if(calls.rbegin(), calls.rend(), [](const HostTesting::CallRecord& c) {
        return c.function == "ACAPI_Element_GetMemo";
    });
    ASSERT_NE(fetch, calls.rend());
    EXPECT_EQ(fetch->result, APIERR_MEMFULL);
    EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), 2);
}

}  // namespace
