// Element tools: walls, slabs, columns, beams and roofs, each created from the host's
// current defaults in one undoable command.
#include <string>
#include <utility>
#include <vector>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "core/ToolInput.hpp"
#include "core/ToolRegistry.hpp"
#include "tools/ToolCommon.hpp"
#include "tools/ToolFamilies.hpp"

using json = nlohmann::json;

namespace {

void ZeroElement(API_Element& element, API_ElemTypeID type)
{
    BNClear(element);
    element.header.type.typeID = type;
}

// Runs body (which creates the element and writes its GUID text) as one undo step and
// reports the outcome: the new GUID, or the prefix with the host's signed code.
template <typename Body>
ToolResult CreateInUndoStep(const char* undoName, const char* failurePrefix, const char* successMessage, Body body)
{
    std::string guidText;
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString(undoName), [&]() -> GSErrCode { return body(guidText); });
    if (err != NoError)
        return ToolResult::Fail(failurePrefix + std::to_string(err));
    return ToolResult::Ok(guidText, successMessage);
}

// Fetches the defaults with their memo, lets fill write the tool's fields into both,
// creates the element and disposes of the memo once on every path: a host may leave
// handles in it even when it refuses.
template <typename Fill>
GSErrCode CreateFromDefaults(API_ElemTypeID type, std::string& guidText, Fill fill)
{
    API_Element element;
    API_ElementMemo memo;
    ZeroElement(element, type);
    BNClear(memo);
    GSErrCode code = ACAPI_Element_GetDefaults(&element, &memo);
    if (code == NoError)
        code = fill(element, memo);
    if (code == NoError)
        code = ACAPI_Element_Create(&element, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    if (code == NoError)
        guidText = GuidToStr(element.header.guid);
    return code;
}

ToolResult CreateWall(const json& input)
{
    const double startX = input.value("start_x", 0.0);
    const double startY = input.value("start_y", 0.0);
    const double endX = input.value("end_x", 0.0);
    const double endY = input.value("end_y", 0.0);
    const double height = input.value("height", 3.0);
    const double thickness = input.value("thickness", 0.3);
    const int story = IntInput(input, "story", 0);

    return CreateInUndoStep("Quillmere: Create Wall", "CreateWall ACAPI error: ", "Wall created", [&](std::string& guidText) {
        API_Element element;
        ZeroElement(element, API_WallID);
        GSErrCode code = ACAPI_Element_GetDefaults(&element, nullptr);
        if (code != NoError)
            return code;
        element.wall.begC = {startX, startY};
        element.wall.endC = {endX, endY};
        element.wall.height = height;
        element.wall.thickness = thickness;
        element.header.floorInd = StoryBits(story);
        code = ACAPI_Element_Create(&element, nullptr);
        if (code == NoError)
            guidText = GuidToStr(element.header.guid);
        return code;
    });
}

ToolResult CreateColumn(const json& input)
{
    const double x = input.value("x", 0.0);
    const double y = input.value("y", 0.0);
    const double height = input.value("height", 3.0);
    const double radius = input.value("radius", 0.15);
    const int story = IntInput(input, "story", 0);

    return CreateInUndoStep("Quillmere: Create Column", "CreateColumn ACAPI error: ", "Column created", [&](std::string& guidText) {
        return CreateFromDefaults(API_ColumnID, guidText, [&](API_Element& element, API_ElementMemo& memo) {
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
    });
}

ToolResult CreateBeam(const json& input)
{
    const double startX = input.value("start_x", 0.0);
    const double startY = input.value("start_y", 0.0);
    const double endX = input.value("end_x", 0.0);
    const double endY = input.value("end_y", 0.0);
    const double height = input.value("height", 0.3);
    const double width = input.value("width", 0.15);
    const int story = IntInput(input, "story", 0);

    return CreateInUndoStep("Quillmere: Create Beam", "CreateBeam ACAPI error: ", "Beam created", [&](std::string& guidText) {
        return CreateFromDefaults(API_BeamID, guidText, [&](API_Element& element, API_ElementMemo& memo) {
            element.beam.begC = {startX, startY};
            element.beam.endC = {endX, endY};
            element.header.floorInd = StoryBits(story);
            if (memo.beamSegments != nullptr) {
                API_BeamSegmentType& first = memo.beamSegments[0];
                first.nominalWidth = width;
                first.nominalHeight = height;
            }
            return NoError;
        });
    });
}

// Slabs and roofs: four corners, passed in the given order as one closed contour.
using Corners = std::vector<std::pair<double, double>>;

Corners ReadCorners(const json& input)
{
    Corners corners;
    for (const char* n : {"1", "2", "3", "4"}) {
        const double x = input.value(std::string("x") + n, 0.0);
        const double y = input.value(std::string("y") + n, 0.0);
        corners.emplace_back(x, y);
    }
    return corners;
}

// The element's polygon record for one closed contour of the corners, and its memo.
GSErrCode AttachPolygon(API_Polygon& poly, API_ElementMemo& memo, const Corners& corners)
{
    poly.nCoords = static_cast<Int32>(corners.size()) + 1;
    poly.nSubPolys = 1;
    poly.nArcs = 0;
    return BuildPolygonMemo(memo, corners, true) ? NoError : APIERR_MEMFULL;
}

ToolResult CreateSlab(const json& input)
{
    const Corners corners = ReadCorners(input);
    const double thickness = input.value("thickness", 0.3);
    const double elevation = input.value("elevation", 0.0);
    const int story = IntInput(input, "story", 0);

    return CreateInUndoStep("Quillmere: Create Slab", "CreateSlab ACAPI error: ", "Slab created", [&](std::string& guidText) {
        return CreateFromDefaults(API_SlabID, guidText, [&](API_Element& element, API_ElementMemo& memo) {
            element.header.floorInd = StoryBits(story);
            element.slab.thickness = thickness;
            element.slab.level = elevation;
            return AttachPolygon(element.slab.poly, memo, corners);
        });
    });
}

ToolResult CreateRoof(const json& input)
{
    const Corners corners = ReadCorners(input);
    const double angle = input.value("angle", 30.0);
    const double thickness = input.value("thickness", 0.3);
    const int story = IntInput(input, "story", 0);

    return CreateInUndoStep("Quillmere: Create Roof", "CreateRoof ACAPI error: ", "Roof created", [&](std::string& guidText) {
        return CreateFromDefaults(API_RoofID, guidText, [&](API_Element& element, API_ElementMemo& memo) {
            element.roof.roofClass = API_PlaneRoofID;
            element.roof.thickness = thickness;
            element.roof.planeRoof.angle = angle * kDegreesToRadians;
            element.header.floorInd = StoryBits(story);
            return AttachPolygon(element.roof.poly, memo, corners);
        });
    });
}

// Start and end points of a wall or a beam.
json EndpointProperties(const std::string& noun)
{
    return json {
        {"start_x", Property("number", noun + " start X (metres)")},
        {"start_y", Property("number", noun + " start Y (metres)")},
        {"end_x", Property("number", noun + " end X (metres)")},
        {"end_y", Property("number", noun + " end Y (metres)")},
    };
}

json CornerProperties()
{
    json properties = json::object();
    for (const char* n : {"1", "2", "3", "4"}) {
        properties[std::string("x") + n] = Property("number", std::string("Corner ") + n + " X");
        properties[std::string("y") + n] = Property("number", std::string("Corner ") + n + " Y");
    }
    return properties;
}

void AddTool(ToolRegistry& registry, const char* name, const char* description, const json& properties,
             const json& required, ToolResult (*create)(const json&))
{
    ToolDef def;
    def.name = name;
    def.description = description;
    def.inputSchema = {{"type", "object"}, {"properties", properties}, {"required", required}};
    def.handler = create;
    registry.Register(def);
}

}  // namespace

void RegisterElementTools(ToolRegistry& registry)
{
    const json pointKeys = json::array({"start_x", "start_y", "end_x", "end_y"});
    const json cornerKeys = json::array({"x1", "y1", "x2", "y2", "x3", "y3", "x4", "y4"});

    json wall = EndpointProperties("Wall");
    wall["height"] = Property("number", "Wall height in metres (default 3.0)");
    wall["thickness"] = Property("number", "Wall thickness in metres (default 0.3)");
    wall["story"] = Property("integer", "Story index: 0 = ground floor (default 0)");
    AddTool(registry, "create_wall",
            "Create a straight wall between two points in ArchiCAD. Coordinates are in metres from the project origin.",
            wall, pointKeys, CreateWall);

    json slab = CornerProperties();
    slab["thickness"] = Property("number", "Slab thickness in metres (default 0.3)");
    slab["elevation"] = Property("number", "Slab top elevation above story level in metres (default 0.0)");
    slab["story"] = Property("integer", "Story index (default 0)");
    AddTool(registry, "create_slab",
            "Create a rectangular floor or ceiling slab in ArchiCAD. Provide four corners in counter-clockwise order (metres).",
            slab, cornerKeys, CreateSlab);

    const json column = {
        {"x", Property("number", "Column centre X (metres)")},
        {"y", Property("number", "Column centre Y (metres)")},
        {"height", Property("number", "Column height in metres (default 3.0)")},
        {"radius", Property("number", "Column radius in metres (default 0.15)")},
        {"story", Property("integer", "Story index (default 0)")},
    };
    AddTool(registry, "create_column",
            "Create a circular column at a given position. Coordinates in metres from project origin.", column,
            json::array({"x", "y"}), CreateColumn);

    json beam = EndpointProperties("Beam");
    beam["height"] = Property("number", "Beam cross-section height (default 0.3)");
    beam["width"] = Property("number", "Beam cross-section width (default 0.15)");
    beam["story"] = Property("integer", "Story index (default 0)");
    AddTool(registry, "create_beam", "Create a beam between two points. Coordinates in metres.", beam, pointKeys,
            CreateBeam);

    json roof = CornerProperties();
    roof["angle"] = Property("number", "Roof pitch angle in degrees (default 30)");
    roof["thickness"] = Property("number", "Roof thickness in metres (default 0.3)");
    roof["story"] = Property("integer", "Story index (default 0)");
    AddTool(registry, "create_roof",
            "Create a single-plane roof from a 4-corner polygon. Corners in counter-clockwise order, metres.", roof,
            cornerKeys, CreateRoof);
}
