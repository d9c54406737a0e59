// Walls, columns, beams, slabs and roofs created through the registry against the emulated
// project: what reaches the record, what the host refuses, and the undo history.
#include <cstring>
#include <functional>
#include <map>

#include "ToolTestFixture.hpp"

using json = nlohmann::json;

namespace {

constexpr double kStoredDegree = 0.017453292519943278;

class ElementToolsTest : public ToolTestFixture {
protected:
    // Defaults that differ from every value the tools write, so that a field the tool should
    // leave alone is seen to keep the host's value.
    void MarkWallDefaults()
    {
        API_Element wall = HostTesting::GetDefaults(API_WallID);
        wall.wall.height = 2.7;
        wall.wall.thickness = 0.25;
        wall.wall.bottomOffset = 0.125;
        wall.wall.offset = -0.0625;
        wall.wall.referenceLineLocation = 2;
        HostTesting::SetDefaults(wall);
    }

    std::vector<API_ColumnSegmentType> ColumnSegments(const std::string& guidText)
    {
        API_ElementMemo memo;
        BNClear(memo);
        EXPECT_TRUE(HostTesting::GetElementMemo(Guid(guidText), &memo));
        std::vector<API_ColumnSegmentType> segments;
        if (memo.columnSegments != nullptr) {
            const size_t n = static_cast<size_t>(BMGetPtrSize(reinterpret_cast<GSConstPtr>(memo.columnSegments))) /
                             sizeof(API_ColumnSegmentType);
            segments.assign(memo.columnSegments, memo.columnSegments + n);
        }
        ACAPI_DisposeElemMemoHdls(&memo);
        return segments;
    }

    std::vector<API_BeamSegmentType> BeamSegments(const std::string& guidText)
    {
        API_ElementMemo memo;
        BNClear(memo);
        EXPECT_TRUE(HostTesting::GetElementMemo(Guid(guidText), &memo));
        std::vector<API_BeamSegmentType> segments;
        if (memo.beamSegments != nullptr) {
            const size_t n = static_cast<size_t>(BMGetPtrSize(reinterpret_cast<GSConstPtr>(memo.beamSegments))) /
                             sizeof(API_BeamSegmentType);
            segments.assign(memo.beamSegments, memo.beamSegments + n);
        }
        ACAPI_DisposeElemMemoHdls(&memo);
        return segments;
    }

    std::vector<Int32> ContourEnds(const std::string& guidText)
    {
        API_ElementMemo memo;
        BNClear(memo);
        EXPECT_TRUE(HostTesting::GetElementMemo(Guid(guidText), &memo));
        std::vector<Int32> ends;
        if (memo.pends != nullptr) {
            const size_t n = static_cast<size_t>(BMGetHandleSize(memo.pends)) / sizeof(Int32);
            ends.assign(*memo.pends, *memo.pends + n);
        }
        ACAPI_DisposeElemMemoHdls(&memo);
        return ends;
    }

    static json Square(double size)
    {
        return {{"x1", 0}, {"y1", 0}, {"x2", size}, {"y2", 0}, {"x3", size}, {"y3", size}, {"x4", 0}, {"y4", size}};
    }
};

// ---- what the record receives ---------------------------------------------------------------

TEST_F(ElementToolsTest, WallFromRequiredKeysTakesToolDefaultsAndKeepsHostDefaultsElsewhere)
{
    MarkWallDefaults();
    const API_Element defaults = HostTesting::GetDefaults(API_WallID);

    const ToolResult result = Run("create_wall", {{"start_x", 1}, {"start_y", 2}, {"end_x", 6.5}, {"end_y", 2}});

    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Wall created");
    EXPECT_TRUE(result.error.empty());
    const API_Element wall = Element(result.elementGuid);
    EXPECT_EQ(Text(wall.header.guid), result.elementGuid);
    EXPECT_EQ(wall.header.type.typeID, API_WallID);
    EXPECT_DOUBLE_EQ(wall.wall.begC.x, 1.0);
    EXPECT_DOUBLE_EQ(wall.wall.begC.y, 2.0);
    EXPECT_DOUBLE_EQ(wall.wall.endC.x, 6.5);
    EXPECT_DOUBLE_EQ(wall.wall.endC.y, 2.0);
    EXPECT_DOUBLE_EQ(wall.wall.height, 3.0);
    EXPECT_DOUBLE_EQ(wall.wall.thickness, 0.3);
    EXPECT_EQ(wall.header.floorInd, 0);
    EXPECT_EQ(wall.header.layer, defaults.header.layer);
    EXPECT_DOUBLE_EQ(wall.wall.bottomOffset, 0.125);
    EXPECT_DOUBLE_EQ(wall.wall.offset, -0.0625);
    EXPECT_EQ(wall.wall.referenceLineLocation, 2);
}

TEST_F(ElementToolsTest, WallTakesEveryGivenValueIntegersIncluded)
{
    const ToolResult result = Run("create_wall", {{"start_x", -2.5}, {"start_y", 0.5}, {"end_x", -2.5}, {"end_y", 7},
                                                  {"height", 2.4}, {"thickness", 0.2}, {"story", 1}, {"colour", "red"}});
    ASSERT_TRUE(result.success) << result.error;
    const API_Element wall = Element(result.elementGuid);
    EXPECT_DOUBLE_EQ(wall.wall.begC.x, -2.5);
    EXPECT_DOUBLE_EQ(wall.wall.endC.y, 7.0);   // given as the integer 7
    EXPECT_DOUBLE_EQ(wall.wall.height, 2.4);
    EXPECT_DOUBLE_EQ(wall.wall.thickness, 0.2);
    EXPECT_EQ(wall.header.floorInd, 1);
}

TEST_F(ElementToolsTest, ColumnGetsCircularFirstSegmentFromRadius)
{
    const ToolResult result = Run("create_column", {{"x", 3}, {"y", 4}, {"radius", 0.25}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Column created");
    const API_Element column = Element(result.elementGuid);
    EXPECT_DOUBLE_EQ(column.column.origoPos.x, 3.0);
    EXPECT_DOUBLE_EQ(column.column.origoPos.y, 4.0);
    EXPECT_DOUBLE_EQ(column.column.height, 3.0);
    const auto segments = ColumnSegments(result.elementGuid);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_TRUE(segments[0].circleBased);
    EXPECT_DOUBLE_EQ(segments[0].nominalWidth, 0.5);
    EXPECT_DOUBLE_EQ(segments[0].nominalHeight, 0.5);
}

TEST_F(ElementToolsTest, ColumnDefaultRadiusGivesThirtyCentimetreSection)
{
    const ToolResult result = Run("create_column", json::object());
    ASSERT_TRUE(result.success) << result.error;
    const auto segments = ColumnSegments(result.elementGuid);
    ASSERT_FALSE(segments.empty());
    EXPECT_DOUBLE_EQ(segments[0].nominalWidth, 0.3);
    EXPECT_DOUBLE_EQ(segments[0].nominalHeight, 0.3);
}

TEST_F(ElementToolsTest, ColumnAndBeamChangeOnlyTheirFirstSegment)
{
    // Rectangular default sections that no input below produces.
    API_ColumnSegmentType columnSegment;
    BNClear(columnSegment);
    columnSegment.circleBased = false;
    columnSegment.nominalWidth = 0.35;
    columnSegment.nominalHeight = 0.45;
    API_ElementMemo columnMemo;
    BNClear(columnMemo);
    columnMemo.columnSegments = reinterpret_cast<API_ColumnSegmentType*>(BMAllocatePtr(sizeof(columnSegment), ALLOCATE_CLEAR, 0));
    *columnMemo.columnSegments = columnSegment;
    HostTesting::SetDefaults(HostTesting::GetDefaults(API_ColumnID), &columnMemo);
    ACAPI_DisposeElemMemoHdls(&columnMemo);

    API_BeamSegmentType beamSegment;
    BNClear(beamSegment);
    beamSegment.nominalWidth = 0.33;
    beamSegment.nominalHeight = 0.44;
    beamSegment.shape = 1;
    API_ElementMemo beamMemo;
    BNClear(beamMemo);
    beamMemo.beamSegments = reinterpret_cast<API_BeamSegmentType*>(BMAllocatePtr(sizeof(beamSegment), ALLOCATE_CLEAR, 0));
    *beamMemo.beamSegments = beamSegment;
    HostTesting::SetDefaults(HostTesting::GetDefaults(API_BeamID), &beamMemo);
    ACAPI_DisposeElemMemoHdls(&beamMemo);

    HostTesting::SetDefaultSegmentCount(API_ColumnID, 3);
    HostTesting::SetDefaultSegmentCount(API_BeamID, 3);

    const ToolResult column = Run("create_column", {{"x", 1}, {"y", 1}, {"radius", 0.4}});
    ASSERT_TRUE(column.success) << column.error;
    const auto columnSegments = ColumnSegments(column.elementGuid);
    ASSERT_EQ(columnSegments.size(), 3u);
    EXPECT_TRUE(columnSegments[0].circleBased);
    EXPECT_DOUBLE_EQ(columnSegments[0].nominalWidth, 0.8);
    EXPECT_DOUBLE_EQ(columnSegments[0].nominalHeight, 0.8);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_FALSE(columnSegments[i].circleBased) << "segment " << i;
        EXPECT_DOUBLE_EQ(columnSegments[i].nominalWidth, 0.35) << "segment " << i;
        EXPECT_DOUBLE_EQ(columnSegments[i].nominalHeight, 0.45) << "segment " << i;
    }

    const ToolResult beam = Run("create_beam", {{"start_x", 0}, {"start_y", 0}, {"end_x", 5}, {"end_y", 0},
                                                {"height", 0.6}, {"width", 0.2}});
    ASSERT_TRUE(beam.success) << beam.error;
    const auto beamSegments = BeamSegments(beam.elementGuid);
    ASSERT_EQ(beamSegments.size(), 3u);
    EXPECT_DOUBLE_EQ(beamSegments[0].nominalWidth, 0.2);
    EXPECT_DOUBLE_EQ(beamSegments[0].nominalHeight, 0.6);
    EXPECT_EQ(beamSegments[0].shape, 1) << "the section's shape is not the tool's to change";
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(beamSegments[i].nominalWidth, 0.33) << "segment " << i;
        EXPECT_DOUBLE_EQ(beamSegments[i].nominalHeight, 0.44) << "segment " << i;
    }
}

TEST_F(ElementToolsTest, ColumnWithoutDefaultSegmentsIsStillCreated)
{
    HostTesting::SetDefaultSegmentCount(API_ColumnID, 0);
    const ToolResult result = Run("create_column", {{"x", 1}, {"y", 2}, {"radius", 0.5}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Column created");
    EXPECT_TRUE(ColumnSegments(result.elementGuid).empty());
}

TEST_F(ElementToolsTest, BeamKeepsDefaultLevelAndShape)
{
    API_Element defaults = HostTesting::GetDefaults(API_BeamID);
    defaults.beam.level = 2.85;
    HostTesting::SetDefaults(defaults);

    const ToolResult result = Run("create_beam", {{"start_x", 0}, {"start_y", 1}, {"end_x", 4}, {"end_y", 1}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Beam created");
    const API_Element beam = Element(result.elementGuid);
    EXPECT_DOUBLE_EQ(beam.beam.level, 2.85);
    EXPECT_DOUBLE_EQ(beam.beam.endC.x, 4.0);
    const auto segments = BeamSegments(result.elementGuid);
    ASSERT_FALSE(segments.empty());
    EXPECT_DOUBLE_EQ(segments[0].nominalWidth, 0.15);
    EXPECT_DOUBLE_EQ(segments[0].nominalHeight, 0.3);
}

TEST_F(ElementToolsTest, SlabPolygonIsClosedInGivenOrder)
{
    // Clockwise on purpose: nothing reorders the corners.
    const json input = {{"x1", 0}, {"y1", 0}, {"x2", 0}, {"y2", 4}, {"x3", 5}, {"y3", 4}, {"x4", 5}, {"y4", 0},
                        {"elevation", 0.45}, {"thickness", 0.22}, {"story", 2}};
    const ToolResult result = Run("create_slab", input);
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Slab created");

    const API_Element slab = Element(result.elementGuid);
    EXPECT_DOUBLE_EQ(slab.slab.thickness, 0.22);
    EXPECT_DOUBLE_EQ(slab.slab.level, 0.45);
    EXPECT_EQ(slab.header.floorInd, 2);
    EXPECT_EQ(slab.slab.poly.nCoords, 5);
    EXPECT_EQ(slab.slab.poly.nSubPolys, 1);
    EXPECT_EQ(slab.slab.poly.nArcs, 0);

    const std::vector<API_Coord> polygon = HostTesting::GetPolygon(Guid(result.elementGuid));
    ASSERT_EQ(polygon.size(), 5u);
    const double expected[4][2] = {{0, 0}, {0, 4}, {5, 4}, {5, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(polygon[i].x, expected[i][0]) << "corner " << i + 1;
        EXPECT_DOUBLE_EQ(polygon[i].y, expected[i][1]) << "corner " << i + 1;
    }
    EXPECT_DOUBLE_EQ(polygon[4].x, polygon[0].x);
    EXPECT_DOUBLE_EQ(polygon[4].y, polygon[0].y);
    EXPECT_EQ(ContourEnds(result.elementGuid), (std::vector<Int32> {0, 5}));
}

TEST_F(ElementToolsTest, SlabDefaultsAndHandlesLeftByTheDefaults)
{
    // Defaults that already carry a polygon: the tool replaces it without leaking it.
    API_ElementMemo preset;
    BNClear(preset);
    preset.coords = reinterpret_cast<API_Coord**>(BMAllocateHandle(4 * sizeof(API_Coord), ALLOCATE_CLEAR, 0));
    preset.pends = reinterpret_cast<Int32**>(BMAllocateHandle(2 * sizeof(Int32), ALLOCATE_CLEAR, 0));
    HostTesting::SetDefaults(HostTesting::GetDefaults(API_SlabID), &preset);
    ACAPI_DisposeElemMemoHdls(&preset);

    json input = Square(3);
    const ToolResult result = Run("create_slab", input);
    ASSERT_TRUE(result.success) << result.error;
    const API_Element slab = Element(result.elementGuid);
    EXPECT_DOUBLE_EQ(slab.slab.thickness, 0.3);
    EXPECT_DOUBLE_EQ(slab.slab.level, 0.0);
    EXPECT_EQ(slab.header.floorInd, 0);
    EXPECT_EQ(HostTesting::GetPolygon(Guid(result.elementGuid)).size(), 5u);
}

TEST_F(ElementToolsTest, RoofPitchUsesTheStoredDegreeConstant)
{
    API_Element defaults = HostTesting::GetDefaults(API_RoofID);
    defaults.roof.planeRoof.baseLine = {{0.5, 0.25}, {7.5, 0.25}};
    defaults.roof.roofClass = API_PolyRoofID;   // the tool always makes a plane roof
    HostTesting::SetDefaults(defaults);

    for (double angle : {30.0, 90.0, 0.0, -15.0}) {
        json input = Square(6);
        input["angle"] = angle;
        const ToolResult result = Run("create_roof", input);
        ASSERT_TRUE(result.success) << angle << ": " << result.error;
        EXPECT_EQ(result.message, "Roof created");
        const API_Element roof = Element(result.elementGuid);
        const double expected = angle * kStoredDegree;
        EXPECT_EQ(std::memcmp(&roof.roof.planeRoof.angle, &expected, sizeof(double)), 0)
            << "angle " << angle << " stored as " << roof.roof.planeRoof.angle;
        EXPECT_EQ(roof.roof.roofClass, API_PlaneRoofID);
        EXPECT_DOUBLE_EQ(roof.roof.thickness, 0.3);
        EXPECT_DOUBLE_EQ(roof.roof.planeRoof.baseLine.c1.x, 0.5);
        EXPECT_DOUBLE_EQ(roof.roof.planeRoof.baseLine.c2.x, 7.5);
        EXPECT_EQ(roof.roof.poly.nCoords, 5);
        EXPECT_EQ(ContourEnds(result.elementGuid), (std::vector<Int32> {0, 5}));
    }
}

TEST_F(ElementToolsTest, OnlyTheToolsFieldsDifferFromTheHostDefaults)
{
    struct Case {
        const char* tool;
        json input;
        API_ElemTypeID type;
        std::function<void(API_Element&)> toolFields;
    };
    const Case cases[] = {
        {"create_wall", {{"start_x", 1}, {"start_y", 1}, {"end_x", 4}, {"end_y", 5}}, API_WallID,
         [](API_Element& e) {
             e.wall.begC = {1, 1};
             e.wall.endC = {4, 5};
             e.wall.height = 3.0;
             e.wall.thickness = 0.3;
             e.header.floorInd = 0;
         }},
        {"create_column", {{"x", 2}, {"y", 3}, {"story", 1}}, API_ColumnID,
         [](API_Element& e) {
             e.column.origoPos = {2, 3};
             e.column.height = 3.0;
             e.header.floorInd = 1;
         }},
        {"create_beam", {{"start_x", 0}, {"start_y", 2}, {"end_x", 3}, {"end_y", 2}}, API_BeamID,
         [](API_Element& e) {
             e.beam.begC = {0, 2};
             e.beam.endC = {3, 2};
             e.header.floorInd = 0;
         }},
        {"create_slab", Square(2), API_SlabID,
         [](API_Element& e) {
             e.slab.thickness = 0.3;
             e.slab.level = 0.0;
             e.slab.poly = {5, 1, 0};
             e.header.floorInd = 0;
         }},
        {"create_roof", Square(2), API_RoofID,
         [](API_Element& e) {
             e.roof.roofClass = API_PlaneRoofID;
             e.roof.thickness = 0.3;
             e.roof.planeRoof.angle = 30.0 * kStoredDegree;
             e.roof.poly = {5, 1, 0};
             e.header.floorInd = 0;
         }},
    };
    for (const Case& c : cases) {
        const ToolResult result = Run(c.tool, c.input);
        ASSERT_TRUE(result.success) << c.tool << ": " << result.error;
        API_Element expected = HostTesting::GetDefaults(c.type);
        c.toolFields(expected);
        const API_Element stored = Element(result.elementGuid);
        expected.header.guid = stored.header.guid;
        const size_t firstDifference = FirstDifference(expected, stored);
        EXPECT_EQ(firstDifference, sizeof(API_Element)) << c.tool << " differs from the defaults at byte " << firstDifference;
    }
}

// ---- reading the inputs -----------------------------------------------------------------

TEST_F(ElementToolsTest, StoryAcceptsNumbersAndBooleansAndKeepsLow16Bits)
{
    HostTesting::SetStories({{-1, -3.0, "Basement"}, {0, 0.0, "Ground"}, {1, 3.0, "First"}, {2, 6.0, "Second"}});
    const struct {
        json story;
        Int16 expected;
    } cases[] = {{2.7, 2}, {true, 1}, {false, 0}, {-1, -1}, {65538, 2}, {-65535, 1}};
    const struct {
        const char* tool;
        json input;
    } tools[] = {
        {"create_wall", {{"end_x", 3}}},
        {"create_column", json::object()},
        {"create_beam", {{"end_x", 3}}},
        {"create_slab", Square(3)},
        {"create_roof", Square(3)},
    };
    for (const auto& tool : tools) {
        for (const auto& c : cases) {
            json input = tool.input;
            input["story"] = c.story;
            const ToolResult result = Run(tool.tool, input);
            ASSERT_TRUE(result.success) << tool.tool << " " << c.story.dump() << ": " << result.error;
            EXPECT_EQ(Element(result.elementGuid).header.floorInd, c.expected) << tool.tool << " " << c.story.dump();
        }
    }
}

TEST_F(ElementToolsTest, StoryOutside32BitsFailsBeforeTheHost)
{
    HostTesting::ClearCallLog();
    const Footprint before = TakeFootprint();
    for (const json& story : {json(1e20), json(4294967296LL), json(-3000000000.0)}) {
        const ToolResult result = Run("create_column", {{"x", 1}, {"y", 1}, {"story", story}});
        EXPECT_FALSE(result.success) << story.dump();
        EXPECT_NE(result.error.find("story"), std::string::npos) << result.error;
    }
    EXPECT_EQ(TakeFootprint(), before);
    EXPECT_TRUE(HostTesting::CallLog().empty());
}

TEST_F(ElementToolsTest, WrongJsonTypesFailWithTheLibraryTextAndChangeNothing)
{
    HostTesting::ClearCallLog();
    const Footprint before = TakeFootprint();
    const struct {
        const char* tool;
        json input;
        const char* error;
    } cases[] = {
        {"create_wall", {{"start_x", 0}, {"end_x", 3}, {"height", "3"}}, "[json.exception.type_error.302] type must be number, but is string"},
        {"create_wall", {{"end_x", 3}, {"height", true}}, "[json.exception.type_error.302] type must be number, but is boolean"},
        {"create_wall", {{"end_x", 3}, {"story", "1"}}, "[json.exception.type_error.302] type must be number, but is string"},
        {"create_wall", {{"end_x", 3}, {"story", nullptr}}, "[json.exception.type_error.302] type must be number, but is null"},
        {"create_wall", json::array({1, 2}), "[json.exception.type_error.306] cannot use value() with array"},
        {"create_column", {{"radius", json::array()}}, "[json.exception.type_error.302] type must be number, but is array"},
        {"create_beam", {{"width", json::object()}}, "[json.exception.type_error.302] type must be number, but is object"},
        {"create_slab", {{"x3", "5"}}, "[json.exception.type_error.302] type must be number, but is string"},
        {"create_slab", "corners", "[json.exception.type_error.306] cannot use value() with string"},
        {"create_roof", {{"angle", false}}, "[json.exception.type_error.302] type must be number, but is boolean"},
    };
    for (const auto& c : cases) {
        const ToolResult result = Run(c.tool, c.input);
        EXPECT_FALSE(result.success) << c.tool << " " << c.input.dump();
        EXPECT_EQ(result.error, c.error) << c.tool << " " << c.input.dump();
        EXPECT_TRUE(result.elementGuid.empty());
        EXPECT_TRUE(result.message.empty());
    }
    EXPECT_EQ(TakeFootprint(), before);
    EXPECT_TRUE(HostTesting::CallLog().empty()) << "a host call was made before the inputs were read";
}

// ---- the host's answers -------------------------------------------------------------------

TEST_F(ElementToolsTest, HostRefusalsComeBackAsPrefixAndSignedCode)
{
    const Footprint before = TakeFootprint();
    const struct {
        const char* tool;
        json input;
        std::string error;
    } cases[] = {
        {"create_wall", {{"start_x", 2}, {"start_y", 2}, {"end_x", 2}, {"end_y", 2}}, "CreateWall ACAPI error: -2130313112"},
        {"create_wall", json::object(), "CreateWall ACAPI error: -2130313112"},
        {"create_wall", {{"end_x", 3}, {"thickness", -0.1}}, "CreateWall ACAPI error: -2130313112"},
        {"create_column", {{"height", 0}}, "CreateColumn ACAPI error: -2130313112"},
        {"create_column", {{"radius", -0.2}}, "CreateColumn ACAPI error: -2130313112"},
        {"create_beam", json::object(), "CreateBeam ACAPI error: -2130313112"},
        {"create_slab", {{"thickness", 0.2}}, "CreateSlab ACAPI error: " + std::to_string(APIERR_BADPOLY)},
        {"create_roof", json::object(), "CreateRoof ACAPI error: " + std::to_string(APIERR_BADPOLY)},
        {"create_wall", {{"end_x", 3}, {"story", 7}}, "CreateWall ACAPI error: " + std::to_string(APIERR_BADINDEX)},
    };
    for (const auto& c : cases) {
        const ToolResult result = Run(c.tool, c.input);
        EXPECT_FALSE(result.success) << c.tool << " " << c.input.dump();
        EXPECT_EQ(result.error, c.error) << c.tool << " " << c.input.dump();
        EXPECT_TRUE(result.elementGuid.empty());
    }
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(ElementToolsTest, FailureAtEachHostStepLeavesNothingBehind)
{
    // memos: how many memos the tool hands back to the host once its body has run (a host
    // may leave handles in a memo even when it refuses, so every path must dispose).
    const struct {
        const char* tool;
        json input;
        const char* prefix;
        int memos;
    } tools[] = {
        {"create_wall", {{"end_x", 4}}, "CreateWall ACAPI error: ", 0},
        {"create_column", {{"x", 1}}, "CreateColumn ACAPI error: ", 1},
        {"create_beam", {{"end_x", 4}}, "CreateBeam ACAPI error: ", 1},
        {"create_slab", Square(3), "CreateSlab ACAPI error: ", 1},
        {"create_roof", Square(3), "CreateRoof ACAPI error: ", 1},
    };
    const struct {
        const char* function;
        bool bodyRuns;
    } steps[] = {{"ACAPI_Element_GetDefaults", true}, {"ACAPI_Element_Create", true}, {"ACAPI_CallUndoableCommand", false}};
    for (const auto& tool : tools) {
        for (const auto& step : steps) {
            const Footprint before = TakeFootprint();
            HostTesting::ClearCallLog();
            HostTesting::FailNextCall(step.function, APIERR_GENERAL);
            const ToolResult result = Run(tool.tool, tool.input);
            EXPECT_FALSE(result.success) << tool.tool << " at " << step.function;
            EXPECT_EQ(result.error, tool.prefix + std::to_string(APIERR_GENERAL)) << tool.tool << " at " << step.function;
            EXPECT_EQ(TakeFootprint(), before) << tool.tool << " at " << step.function;
            EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), step.bodyRuns ? tool.memos : 0)
                << tool.tool << " at " << step.function;
            HostTesting::ClearFailures();
        }
        HostTesting::ClearCallLog();
        EXPECT_TRUE(Run(tool.tool, tool.input).success) << tool.tool << " after the failures";
        EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), tool.memos) << tool.tool;
    }
}

TEST_F(ElementToolsTest, FailedPolygonAllocationReportsMemoryFull)
{
    // Defaults without memo data, so that the first allocations are the polygon's own.
    API_ElementMemo empty;
    BNClear(empty);
    HostTesting::SetDefaults(HostTesting::GetDefaults(API_SlabID), &empty);
    HostTesting::SetDefaults(HostTesting::GetDefaults(API_RoofID), &empty);

    for (const char* tool : {"create_slab", "create_roof"}) {
        for (int nth : {1, 2}) {
            const Footprint before = TakeFootprint();
            HostTesting::ClearCallLog();
            HostTesting::FailAllocation(nth);
            const ToolResult result = Run(tool, Square(3));
            HostTesting::ClearFailures();
            const std::string prefix = std::string(tool) == "create_slab" ? "CreateSlab" : "CreateRoof";
            EXPECT_EQ(result.error, prefix + " ACAPI error: -2130313214") << tool << " allocation " << nth;
            EXPECT_EQ(TakeFootprint(), before);
            EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 0) << "created despite the failed polygon";
            EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), 1);
            for (const HostTesting::CallRecord& call : HostTesting::CallLog()) {
                if (call.function == "ACAPI_Element_GetDefaults") {
                    EXPECT_EQ(call.result, NoError);
                }
            }
        }
    }
}

// ---- undo ---------------------------------------------------------------------------------

TEST_F(ElementToolsTest, EachCreationIsOneNamedUndoStepThatUndoes)
{
    const struct {
        const char* tool;
        json input;
        const char* step;
    } cases[] = {
        {"create_wall", {{"end_x", 4}}, "Quillmere: Create Wall"},
        {"create_slab", Square(3), "Quillmere: Create Slab"},
        {"create_column", {{"x", 1}}, "Quillmere: Create Column"},
        {"create_beam", {{"end_y", 4}}, "Quillmere: Create Beam"},
        {"create_roof", Square(3), "Quillmere: Create Roof"},
    };
    for (const auto& c : cases) {
        const Footprint before = TakeFootprint();
        const ToolResult result = Run(c.tool, c.input);
        ASSERT_TRUE(result.success) << c.tool << ": " << result.error;
        EXPECT_EQ(HostTesting::ElementCount(), before.elements + 1);
        ASSERT_EQ(UndoStepCount(), before.undoSteps + 1);
        EXPECT_EQ(UndoSteps().back(), c.step);
        EXPECT_TRUE(HostTesting::ElementExists(Guid(result.elementGuid)));

        ASSERT_TRUE(UndoLast());
        EXPECT_FALSE(HostTesting::ElementExists(Guid(result.elementGuid))) << c.tool;
        EXPECT_EQ(TakeFootprint(), before);
    }
}

// ---- catalogue ----------------------------------------------------------------------------

TEST_F(ElementToolsTest, CatalogueEntriesAreWellFormed)
{
    const json catalogue = registry.GetToolDefinitions();
    std::map<std::string, json> byName;
    for (const json& def : catalogue)
        byName[def.at("name").get<std::string>()] = def;

    for (const char* name : {"create_wall", "create_slab", "create_column", "create_beam", "create_roof"}) {
        ASSERT_EQ(byName.count(name), 1u) << name;
        const json& schema = byName[name].at("input_schema");
        EXPECT_EQ(schema.at("type"), "object") << name;
        ASSERT_TRUE(schema.at("properties").is_object()) << name;
        for (const json& key : schema.at("required"))
            EXPECT_TRUE(schema.at("properties").contains(key.get<std::string>())) << name << " requires " << key;
        for (const auto& property : schema.at("properties").items()) {
            EXPECT_TRUE(property.value().at("description").is_string()) << name << "." << property.key();
            const std::string expectedType = property.key() == "story" ? "integer" : "number";
            EXPECT_EQ(property.value().at("type"), expectedType) << name << "." << property.key();
        }
    }
    const json cornerKeys = json::array({"x1", "y1", "x2", "y2", "x3", "y3", "x4", "y4"});
    EXPECT_EQ(byName["create_slab"]["input_schema"]["required"], cornerKeys);
    EXPECT_EQ(byName["create_roof"]["input_schema"]["required"], cornerKeys);
}

}  // namespace
