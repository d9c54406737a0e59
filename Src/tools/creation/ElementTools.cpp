// Element tools: walls, slabs, columns, beams and roofs, each created from the host's
// current defaults in one undoable command.
#include <string>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

namespace {

// One undo step that fetches the type's defaults with their memo, lets fill write the tool's
// fields into both and creates the element; answers with its GUID text or the prefix and the
// host's code.
template <typename Fill>
ToolResult CreateFromDefaults(const char* undoName, const char* prefix, const char* message, API_ElemTypeID type,
                              Fill fill)
{
    std::string guidText;
    return UndoableCommand(
        undoName, prefix,
        [&]() -> GSErrCode {
            API_Element element = BlankElement(type);
            MemoHolder memo;
            GSErrCode code = ACAPI_Element_GetDefaults(&element, memo.Get());
            if (code == NoError) code = fill(element, *memo);
            if (code == NoError) code = ACAPI_Element_Create(&element, memo.Get());
            if (code == NoError) guidText = GuidToStr(element.header.guid);
            return code;
        },
        [&] { return ToolResult::Ok(guidText, message); });
}

// Start and end points of a wall or a beam, read in that order before the tool's other inputs.
struct Segment {
    API_Coord begin;
    API_Coord end;
};

Segment ReadSegment(const json& input)
{
    Segment segment;
    segment.begin.x = NumberInput(input, "start_x", 0.0);
    segment.begin.y = NumberInput(input, "start_y", 0.0);
    segment.end.x = NumberInput(input, "end_x", 0.0);
    segment.end.y = NumberInput(input, "end_y", 0.0);
    return segment;
}

ToolResult CreateWall(const json& input)
{
    const Segment segment = ReadSegment(input);
    const double height = NumberInput(input, "height", 3.0);
    const double thickness = NumberInput(input, "thickness", 0.3);
    const int story = IntInput(input, "story", 0);

    // A wall needs no memo: its defaults are read and created without one.
    std::string guidText;
    return UndoableCommand(
        "Quillmere: Create Wall", "CreateWall",
        [&]() -> GSErrCode {
            API_Element element = BlankElement(API_WallID);
            GSErrCode code = ACAPI_Element_GetDefaults(&element, nullptr);
            if (code != NoError) return code;
            element.wall.begC = segment.begin;
            element.wall.endC = segment.end;
            element.wall.height = height;
            element.wall.thickness = thickness;
            element.header.floorInd = StoryBits(story);
            code = ACAPI_Element_Create(&element, nullptr);
            if (code == NoError) guidText = GuidToStr(element.header.guid);
            return code;
        },
        [&] { return ToolResult::Ok(guidText, "Wall created"); });
}

ToolResult CreateColumn(const json& input)
{
    const double x = NumberInput(input, "x", 0.0);
    const double y = NumberInput(input, "y", 0.0);
    const double height = NumberInput(input, "height", 3.0);
    const double radius = NumberInput(input, "radius", 0.15);
    const int story = IntInput(input, "story", 0);

    return CreateFromDefaults("Quillmere: Create Column", "CreateColumn", "Column created", API_ColumnID,
                              [&](API_Element& element, API_ElementMemo& memo) {
                                  element.column.origoPos = {x, y};
                                  element.column.height = height;
                                  element.header.floorInd = StoryBits(story);
                                  if (memo.columnSegments != nullptr) {
                                      API_ColumnSegmentType& first = memo.columnSegments[0];
                                      first.circleBased = true;
                                      first.nominalWidth = 2.0 * radius;
                                      first.nominalHeight = 2.0 * radius;
                                  }
                                  return NoError;
                              });
}

ToolResult CreateBeam(const json& input)
{
    const Segment segment = ReadSegment(input);
    const double height = NumberInput(input, "height", 0.3);
    const double width = NumberInput(input, "width", 0.15);
    const int story = IntInput(input, "story", 0);

    return CreateFromDefaults("Quillmere: Create Beam", "CreateBeam", "Beam created", API_BeamID,
                              [&](API_Element& element, API_ElementMemo& memo) {
                                  element.beam.begC = segment.begin;
                                  element.beam.endC = segment.end;
                                  element.header.floorInd = StoryBits(story);
                                  if (memo.beamSegments != nullptr) {
                                      API_BeamSegmentType& first = memo.beamSegments[0];
                                      first.nominalWidth = width;
                                      first.nominalHeight = height;
                                  }
                                  return NoError;
                              });
}

// Slabs and roofs: four corners, passed in the given order as one closed contour.
Points ReadCorners(const json& input)
{
    Points corners;
    for (const char* n : {"1", "2", "3", "4"}) {
        const double x = NumberInput(input, std::string("x") + n, 0.0);
        const double y = NumberInput(input, std::string("y") + n, 0.0);
        corners.emplace_back(x, y);
    }
    return corners;
}

// The element's polygon record for one closed contour of the corners, and its memo.
GSErrCode AttachPolygon(API_Polygon& poly, API_ElementMemo& memo, const Points& corners)
{
    poly.nCoords = static_cast<Int32>(corners.size()) + 1;
    poly.nSubPolys = 1;
    poly.nArcs = 0;
    return BuildPolygonMemo(memo, corners, true) ? NoError : APIERR_MEMFULL;
}

ToolResult CreateSlab(const json& input)
{
    const Points corners = ReadCorners(input);
    const double thickness = NumberInput(input, "thickness", 0.3);
    const double elevation = NumberInput(input, "elevation", 0.0);
    const int story = IntInput(input, "story", 0);

    return CreateFromDefaults("Quillmere: Create Slab", "CreateSlab", "Slab created", API_SlabID,
                              [&](API_Element& element, API_ElementMemo& memo) {
                                  element.header.floorInd = StoryBits(story);
                                  element.slab.thickness = thickness;
                                  element.slab.level = elevation;
                                  return AttachPolygon(element.slab.poly, memo, corners);
                              });
}

ToolResult CreateRoof(const json& input)
{
    const Points corners = ReadCorners(input);
    const double angle = NumberInput(input, "angle", 30.0);
    const double thickness = NumberInput(input, "thickness", 0.3);
    const int story = IntInput(input, "story", 0);

    return CreateFromDefaults("Quillmere: Create Roof", "CreateRoof", "Roof created", API_RoofID,
                              [&](API_Element& element, API_ElementMemo& memo) {
                                  element.roof.roofClass = API_PlaneRoofID;
                                  element.roof.thickness = thickness;
                                  element.roof.planeRoof.angle = angle * kDegreesToRadians;
                                  element.header.floorInd = StoryBits(story);
                                  return AttachPolygon(element.roof.poly, memo, corners);
                              });
}

// Start and end points of a wall or a beam.
std::function<void(Tool&)> SegmentProperties(const std::string& noun)
{
    return [noun](Tool& tool) {
        tool.Number("start_x", noun + " start X (metres)")
            .Number("start_y", noun + " start Y (metres)")
            .Number("end_x", noun + " end X (metres)")
            .Number("end_y", noun + " end Y (metres)");
    };
}

void Corners(Tool& tool)
{
    for (const std::string n : {"1", "2", "3", "4"})
        tool.Number("x" + n, "Corner " + n + " X").Number("y" + n, "Corner " + n + " Y");
}

}  // namespace

void RegisterElementTools(ToolRegistry& registry)
{
    const std::vector<std::string> pointKeys = {"start_x", "start_y", "end_x", "end_y"};
    const std::vector<std::string> cornerKeys = {"x1", "y1", "x2", "y2", "x3", "y3", "x4", "y4"};

    Tool(registry, "create_wall",
         "Create a straight wall between two points in ArchiCAD. Coordinates are in metres from the project origin.")
        .With(SegmentProperties("Wall"))
        .Number("height", "Wall height in metres (default 3.0)")
        .Number("thickness", "Wall thickness in metres (default 0.3)")
        .Integer("story", "Story index: 0 = ground floor (default 0)")
        .Required(pointKeys)
        .Handler(CreateWall);

    Tool(registry, "create_slab",
         "Create a rectangular floor or ceiling slab in ArchiCAD. Provide four corners in counter-clockwise order "
         "(metres).")
        .With(Corners)
        .Number("thickness", "Slab thickness in metres (default 0.3)")
        .Number("elevation", "Slab top elevation above story level in metres (default 0.0)")
        .Integer("story", "Story index (default 0)")
        .Required(cornerKeys)
        .Handler(CreateSlab);

    Tool(registry, "create_column",
         "Create a circular column at a given position. Coordinates in metres from project origin.")
        .Number("x", "Column centre X (metres)")
        .Number("y", "Column centre Y (metres)")
        .Number("height", "Column height in metres (default 3.0)")
        .Number("radius", "Column radius in metres (default 0.15)")
        .Integer("story", "Story index (default 0)")
        .Required({"x", "y"})
        .Handler(CreateColumn);

    Tool(registry, "create_beam", "Create a beam between two points. Coordinates in metres.")
        .With(SegmentProperties("Beam"))
        .Number("height", "Beam cross-section height (default 0.3)")
        .Number("width", "Beam cross-section width (default 0.15)")
        .Integer("story", "Story index (default 0)")
        .Required(pointKeys)
        .Handler(CreateBeam);

    Tool(registry, "create_roof",
         "Create a single-plane roof from a 4-corner polygon. Corners in counter-clockwise order, metres.")
        .With(Corners)
        .Number("angle", "Roof pitch angle in degrees (default 30)")
        .Number("thickness", "Roof thickness in metres (default 0.3)")
        .Integer("story", "Story index (default 0)")
        .Required(cornerKeys)
        .Handler(CreateRoof);
}
