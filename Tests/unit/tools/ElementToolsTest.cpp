// Walls, columns, beams, slabs and roofs: what reaches the record and the memo, and what the
// host refuses.
#include "ToolsTest.hpp"

namespace {

TEST_F(ToolsTest, ElementRecordsHoldToolValuesAndHostDefaultsElsewhere)
{
    // Defaults unlike every value the tools write (story 1 included), so that a field the tool
    // should leave alone is seen to keep the host's value and a default input is seen written.
    const auto mark = [](API_ElemTypeID type, const std::function<void(API_Element&)>& change) {
        API_Element defaults = HostTesting::GetDefaults(type);
        defaults.header.floorInd = 1;
        change(defaults);
        HostTesting::SetDefaults(defaults);
    };
    mark(API_WallID, [](API_Element& e) {
        e.wall.height = 2.7;
        e.wall.thickness = 0.25;
        e.wall.bottomOffset = 0.125;
    });
    mark(API_ColumnID, [](API_Element& e) { e.column.height = 2.5; });
    mark(API_BeamID, [](API_Element& e) { e.beam.level = 2.85; });
    mark(API_SlabID, [](API_Element& e) {
        e.slab.thickness = 0.2;
        e.slab.level = 0.1;
    });
    mark(API_RoofID, [](API_Element& e) {
        e.roof.roofClass = API_PolyRoofID;
        e.roof.thickness = 0.2;
    });

    const struct {
        const char* tool;
        json input;
        API_ElemTypeID type;
        Int16 story;
        std::function<void(API_Element&)> fields;
    } cases[] = {
        {"create_wall",
         {{"start_x", 1}, {"start_y", 2}, {"end_x", 6.5}, {"end_y", 2}},
         API_WallID,
         0,
         [](API_Element& e) {
             e.wall.begC = {1, 2};
             e.wall.endC = {6.5, 2};
             e.wall.height = 3.0;
             e.wall.thickness = 0.3;
         }},
        {"create_wall",
         {{"start_x", -2.5},
          {"start_y", 0.5},
          {"end_x", -2.5},
          {"end_y", 7},
          {"height", 2.4},
          {"thickness", 0.2},
          {"story", 2},
          {"colour", "red"}},
         API_WallID,
         2,
         [](API_Element& e) {
             e.wall.begC = {-2.5, 0.5};
             e.wall.endC = {-2.5, 7};
             e.wall.height = 2.4;
             e.wall.thickness = 0.2;
         }},
        {"create_column",
         {{"x", 3}, {"y", 4}},
         API_ColumnID,
         0,
         [](API_Element& e) {
             e.column.origoPos = {3, 4};
             e.column.height = 3.0;
         }},
        {"create_beam",
         {{"start_x", 0}, {"start_y", 1}, {"end_x", 4}, {"end_y", 1}},
         API_BeamID,
         0,
         [](API_Element& e) {
             e.beam.begC = {0, 1};
             e.beam.endC = {4, 1};
         }},
        {"create_slab", Square(3), API_SlabID, 0,
         [](API_Element& e) {
             e.slab.thickness = 0.3;
             e.slab.level = 0.0;
         }},
        // Angles compared bit for bit: degrees times the stored constant.
        {"create_roof", Square(6), API_RoofID, 0,
         [](API_Element& e) {
             e.roof.roofClass = API_PlaneRoofID;
             e.roof.thickness = 0.3;
             e.roof.planeRoof.angle = 30 * kStoredDegree;
         }},
        {"create_roof", With(Square(6), {{"angle", -15}, {"thickness", 0.25}, {"story", 2}}), API_RoofID, 2,
         [](API_Element& e) {
             e.roof.roofClass = API_PlaneRoofID;
             e.roof.thickness = 0.25;
             e.roof.planeRoof.angle = -15 * kStoredDegree;
         }},
    };
    for (const auto& c : cases) {
        ExpectOnlyToolFields(c.tool, c.input, c.type, [&](API_Element& e) {
            c.fields(e);
            e.header.floorInd = c.story;
            if (c.type == API_SlabID) e.slab.poly = {5, 1, 0};
            if (c.type == API_RoofID) e.roof.poly = {5, 1, 0};
        });
    }
}

TEST_F(ToolsTest, StoryKeepsTheLow16BitsOfAnyNumberOrBoolean)
{
    HostTesting::SetStories({{-1, -3.0, "Basement"}, {0, 0.0, "Ground"}, {1, 3.0, "First"}, {2, 6.0, "Second"}});
    const std::vector<std::pair<json, Int16>> stories = {{2.7, 2}, {65538, 2}};
    for (const auto& [tool, input] : std::vector<std::pair<const char*, json>>{{"create_wall", {{"end_x", 3}}},
                                                                               {"create_column", json::object()},
                                                                               {"create_beam", {{"end_x", 3}}},
                                                                               {"create_slab", Square(3)},
                                                                               {"create_roof", Square(3)},
                                                                               {"place_object", {{"name", "Chair"}}}}) {
        for (const auto& [story, expected] : stories) {
            SCOPED_TRACE(std::string(tool) + " story " + story.dump());
            const ToolResult result = Run(tool, With(input, {{"story", story}}));
            ASSERT_TRUE(result.success) << result.error;
            EXPECT_EQ(Element(result.elementGuid).header.floorInd, expected);
        }
    }
}

TEST_F(ToolsTest, SlabAndRoofPolygonsAreClosedInTheGivenOrder)
{
    // Defaults that already carry a polygon: the tool replaces it without leaking it.
    API_ElementMemo preset;
    BNClear(preset);
    preset.coords = reinterpret_cast<API_Coord**>(BMAllocateHandle(4 * sizeof(API_Coord), ALLOCATE_CLEAR, 0));
    preset.pends = reinterpret_cast<Int32**>(BMAllocateHandle(2 * sizeof(Int32), ALLOCATE_CLEAR, 0));
    API_ElementMemo empty;
    BNClear(empty);
    const double corners[4][2] = {{0, 0}, {0, 4}, {5, 4}, {5, 0}};  // clockwise: nothing reorders them
    const json input = {{"x1", 0}, {"y1", 0}, {"x2", 0}, {"y2", 4}, {"x3", 5}, {"y3", 4}, {"x4", 5}, {"y4", 0}};
    for (const auto& [tool, type, prefix] :
         {std::tuple{"create_slab", API_SlabID, "CreateSlab"}, std::tuple{"create_roof", API_RoofID, "CreateRoof"}}) {
        SCOPED_TRACE(tool);
        HostTesting::SetDefaults(HostTesting::GetDefaults(type), &preset);
        const ToolResult result = Run(tool, input);
        ASSERT_TRUE(result.success) << result.error;
        const std::vector<API_Coord> polygon = HostTesting::GetPolygon(Guid(result.elementGuid));
        ASSERT_EQ(polygon.size(), 5u);
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(polygon[i].x == corners[i % 4][0] && polygon[i].y == corners[i % 4][1]) << "coordinate " << i;
        EXPECT_EQ(Memo(result.elementGuid).pends, (std::vector<Int32>{0, 5}));

        // A failed polygon allocation (defaults that allocate nothing, so the polygon's are the
        // first): memory full, nothing created, the memo handed back once.
        HostTesting::SetDefaults(HostTesting::GetDefaults(type), &empty);
        for (int nth : {1, 2}) {
            const Footprint before = TakeFootprint();
            HostTesting::ClearCallLog();
            HostTesting::FailAllocation(nth);
            EXPECT_EQ(Run(tool, input).error, std::string(prefix) + " ACAPI error: -2130313214") << nth;
            HostTesting::ClearFailures();
            EXPECT_EQ(TakeFootprint(), before);
            EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 0);
            EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), 1);
            for (const HostTesting::CallRecord& call : HostTesting::CallLog())
                EXPECT_TRUE(call.function != "ACAPI_Element_GetDefaults" || call.result == NoError)
                    << "the failure must be the polygon's";
        }
    }
    ACAPI_DisposeElemMemoHdls(&preset);
}

TEST_F(ToolsTest, ColumnAndBeamWriteOnlyTheirFirstSegment)
{
    // Three rectangular default segments that no input below produces.
    API_ElementMemo memo;
    BNClear(memo);
    memo.columnSegments =
        reinterpret_cast<API_ColumnSegmentType*>(BMAllocatePtr(sizeof(API_ColumnSegmentType), ALLOCATE_CLEAR, 0));
    *memo.columnSegments = {false, 0.35, 0.45};
    memo.beamSegments =
        reinterpret_cast<API_BeamSegmentType*>(BMAllocatePtr(sizeof(API_BeamSegmentType), ALLOCATE_CLEAR, 0));
    *memo.beamSegments = {0.33, 0.44, 1};
    for (API_ElemTypeID type : {API_ColumnID, API_BeamID}) {
        HostTesting::SetDefaults(HostTesting::GetDefaults(type), &memo);
        HostTesting::SetDefaultSegmentCount(type, 3);
    }
    ACAPI_DisposeElemMemoHdls(&memo);

    for (const auto& [input, diameter] :
         std::vector<std::pair<json, double>>{{{{"radius", 0.4}}, 0.8}, {json::object(), 0.3}}) {
        const auto s = Memo(Run("create_column", input).elementGuid).columnSegments;
        ASSERT_EQ(s.size(), 3u);
        EXPECT_TRUE(s[0].circleBased && s[0].nominalWidth == diameter && s[0].nominalHeight == diameter) << input;
        for (size_t i = 1; i < 3; ++i)
            EXPECT_TRUE(!s[i].circleBased && s[i].nominalWidth == 0.35 && s[i].nominalHeight == 0.45) << input << i;
    }
    const json given = {{"end_x", 5}, {"height", 0.6}, {"width", 0.2}};
    for (const auto& [input, width, height] :
         std::vector<std::tuple<json, double, double>>{{given, 0.2, 0.6}, {{{"end_x", 5}}, 0.15, 0.3}}) {
        const auto s = Memo(Run("create_beam", input).elementGuid).beamSegments;
        ASSERT_EQ(s.size(), 3u);
        EXPECT_TRUE(s[0].nominalWidth == width && s[0].nominalHeight == height && s[0].shape == 1) << input;
        for (size_t i = 1; i < 3; ++i)
            EXPECT_TRUE(s[i].nominalWidth == 0.33 && s[i].nominalHeight == 0.44) << input << i;
    }

    // Defaults without segments: the element is still created.
    HostTesting::SetDefaultSegmentCount(API_ColumnID, 0);
    HostTesting::SetDefaultSegmentCount(API_BeamID, 0);
    EXPECT_TRUE(Memo(Run("create_column", {{"x", 1}, {"radius", 0.5}}).elementGuid).columnSegments.empty());
    EXPECT_TRUE(Memo(Run("create_beam", {{"end_x", 5}, {"width", 0.5}}).elementGuid).beamSegments.empty());
}

TEST_F(ToolsTest, ElementHostRefusalsComeBackAsPrefixAndSignedCode)
{
    const std::string badPoly = std::to_string(APIERR_BADPOLY);
    ExpectFailures({
        {"create_wall",
         {{"start_x", 2}, {"start_y", 2}, {"end_x", 2}, {"end_y", 2}},
         "CreateWall ACAPI error: -2130313112"},
        {"create_wall", {{"end_x", 3}, {"story", 7}}, "CreateWall ACAPI error: " + std::to_string(APIERR_BADINDEX)},
        {"create_beam", json::object(), "CreateBeam ACAPI error: -2130313112"},
        {"create_slab", {{"thickness", 0.2}}, "CreateSlab ACAPI error: " + badPoly},
        {"create_roof", json::object(), "CreateRoof ACAPI error: " + badPoly},
    });
}

}  // namespace
