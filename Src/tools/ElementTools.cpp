// Element tools: walls, slabs, columns, beams and roofs, each created from the host's
// current defaults in one undoable command.
#include <string>
#include <utility>
#include <vector>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "core/ToolInput.hpp"
#include "core/ToolRegistry.hpp"
#include "tools/ToolFamilies.hpp"

using json = nlohmann::json;

namespace {

// Degrees to the host's radians, with the constant the assistant has always stored.
constexpr double kDegreesToRadians = 0.017453292519943278;

// Only the low 16 bits of the story input reach the element header.
short StoryBits(int story)
{
    return static_cast<short>(static_cast<unsigned short>(story & 0xFFFF));
}

json Property(const char* type, const char* description)
{
    return json {{"type", type}, {"description", description}};
}

ToolResult Outcome(GSErrCode err, const std::string& guidText, const char* failurePrefix,
                   const char* successMessage)
{
    if (err != NoError)
        return ToolResult::Fail(failurePrefix + std::to_string(err));
    return ToolResult::Ok(guidText, successMessage);
}

void ZeroElement(API_Element& element, API_ElemTypeID type)
{
    BNClear(element);
    element.header.type.typeID = type;
}

void ZeroMemo(API_ElementMemo& memo)
{
    BNClear(memo);
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

    std::string guidText;
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Create Wall"), [&]() -> GSErrCode {
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
        if (code != NoError)
            return code;
        guidText = GuidToStr(element.header.guid);
        return NoError;
    });
    return Outcome(err, guidText, "CreateWall ACAPI error: ", "Wall created");
}

ToolResult CreateColumn(const json& input)
{
    const double x = input.value("x", 0.0);
    const double y = input.value("y", 0.0);
    const double height = input.value("height", 3.0);
    const double radius = input.value("radius", 0.15);
    const int story = IntInput(input, "story", 0);

    std::string guidText;
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Create Column"), [&]() -> GSErrCode {
        API_Element element;
        API_ElementMemo memo;
        ZeroElement(element, API_ColumnID);
        ZeroMemo(memo);
        GSErrCode code = ACAPI_Element_GetDefaults(&element, &memo);
        if (code != NoError) {
            ACAPI_DisposeElemMemoHdls(&memo);
            return code;
        }
        element.column.origoPos = {x, y};
        element.column.height = height;
        element.header.floorInd = StoryBits(story);
        if (memo.columnSegments != nullptr) {
            API_ColumnSegmentType& first = memo.columnSegments[0];
            first.circleBased = true;
            first.nominalWidth = 2.0 * radius;
            first.nominalHeight = 2.0 * radius;
        }
        code = ACAPI_Element_Create(&element, &memo);
        ACAPI_DisposeElemMemoHdls(&memo);
        if (code != NoError)
            return code;
        guidText = GuidToStr(element.header.guid);
        return NoError;
    });
    return Outcome(err, guidText, "CreateColumn ACAPI error: ", "Column created");
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

    std::string guidText;
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Create Beam"), [&]() -> GSErrCode {
        API_Element element;
        API_ElementMemo memo;
        ZeroElement(element, API_BeamID);
        ZeroMemo(memo);
        GSErrCode code = ACAPI_Element_GetDefaults(&element, &memo);
        if (code != NoError) {
            ACAPI_DisposeElemMemoHdls(&memo);
            return code;
        }
        element.beam.begC = {startX, startY};
        element.beam.endC = {endX, endY};
        element.header.floorInd = StoryBits(story);
        if (memo.beamSegments != nullptr) {
            API_BeamSegmentType& first = memo.beamSegments[0];
            first.nominalWidth = width;
            first.nominalHeight = height;
        }
        code = ACAPI_Element_Create(&element, &memo);
        ACAPI_DisposeElemMemoHdls(&memo);
        if (code != NoError)
            return code;
        guidText = GuidToStr(element.header.guid);
        return NoError;
    });
    return Outcome(err, guidText, "CreateBeam ACAPI error: ", "Beam created");
}

// Slabs and roofs: four corners, passed in the given order as one closed contour.
using Corners = std::vector<std::pair<double, double>>;

Corners ReadCorners(const json& input)
{
    const double x1 = input.value("x1", 0.0);
    const double y1 = input.value("y1", 0.0);
    const double x2 = input.value("x2", 0.0);
    const double y2 = input.value("y2", 0.0);
    const double x3 = input.value("x3", 0.0);
    const double y3 = input.value("y3", 0.0);
    const double x4 = input.value("x4", 0.0);
    const double y4 = input.value("y4", 0.0);
    return {{x1, y1}, {x2, y2}, {x3, y3}, {x4, y4}};
}

// Fetches the defaults, lets fillFields write the tool's fields, attaches the closed
// polygon and creates the element; the memo is disposed once on every path.
template <typename FillFields>
GSErrCode CreatePolygonElement(API_ElemTypeID type, const Corners& corners, std::string& guidText,
                               FillFields fillFields)
{
    API_Element element;
    API_ElementMemo memo;
    ZeroElement(element, type);
    ZeroMemo(memo);
    GSErrCode code = ACAPI_Element_GetDefaults(&element, &memo);
    if (code != NoError) {
        ACAPI_DisposeElemMemoHdls(&memo);
        return code;
    }
    fillFields(element);
    if (!BuildPolygonMemo(memo, corners, true)) {
        ACAPI_DisposeElemMemoHdls(&memo);
        return APIERR_MEMFULL;
    }
    code = ACAPI_Element_Create(&element, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    if (code != NoError)
        return code;
    guidText = GuidToStr(element.header.guid);
    return NoError;
}

ToolResult CreateSlab(const json& input)
{
    const Corners corners = ReadCorners(input);
    const double thickness = input.value("thickness", 0.3);
    const double elevation = input.value("elevation", 0.0);
    const int story = IntInput(input, "story", 0);

    std::string guidText;
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Create Slab"), [&]() -> GSErrCode {
        return CreatePolygonElement(API_SlabID, corners, guidText, [&](API_Element& element) {
            element.header.floorInd = StoryBits(story);
            element.slab.thickness = thickness;
            element.slab.level = elevation;
            element.slab.poly.nCoords = static_cast<Int32>(corners.size()) + 1;
            element.slab.poly.nSubPolys = 1;
            element.slab.poly.nArcs = 0;
        });
    });
    return Outcome(err, guidText, "CreateSlab ACAPI error: ", "Slab created");
}

ToolResult CreateRoof(const json& input)
{
    const Corners corners = ReadCorners(input);
    const double angle = input.value("angle", 30.0);
    const double thickness = input.value("thickness", 0.3);
    const int story = IntInput(input, "story", 0);

    std::string guidText;
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Create Roof"), [&]() -> GSErrCode {
        return CreatePolygonElement(API_RoofID, corners, guidText, [&](API_Element& element) {
            element.roof.roofClass = API_PlaneRoofID;
            element.roof.thickness = thickness;
            element.roof.planeRoof.angle = angle * kDegreesToRadians;
            element.header.floorInd = StoryBits(story);
            element.roof.poly.nCoords = static_cast<Int32>(corners.size()) + 1;
            element.roof.poly.nSubPolys = 1;
            element.roof.poly.nArcs = 0;
        });
    });
    return Outcome(err, guidText, "CreateRoof ACAPI error: ", "Roof created");
}

json CornerProperties()
{
    return json {
        {"x1", Property("number", "Corner 1 X")}, {"y1", Property("number", "Corner 1 Y")},
        {"x2", Property("number", "Corner 2 X")}, {"y2", Property("number", "Corner 2 Y")},
        {"x3", Property("number", "Corner 3 X")}, {"y3", Property("number", "Corner 3 Y")},
        {"x4", Property("number", "Corner 4 X")}, {"y4", Property("number", "Corner 4 Y")},
    };
}

const json kCornerKeys = json::array({"x1", "y1", "x2", "y2", "x3", "y3", "x4", "y4"});

}  // namespace

void RegisterElementTools(ToolRegistry& registry)
{
    {
        ToolDef def;
        def.name = "create_wall";
        def.description = "Create a straight wall between two points in ArchiCAD. Coordinates are in metres from the project origin.";
        def.inputSchema = {
            {"type", "object"},
            {"properties", {
                {"start_x", Property("number", "Wall start X (metres)")},
                {"start_y", Property("number", "Wall start Y (metres)")},
                {"end_x", Property("number", "Wall end X (metres)")},
                {"end_y", Property("number", "Wall end Y (metres)")},
                {"height", Property("number", "Wall height in metres (default 3.0)")},
                {"thickness", Property("number", "Wall thickness in metres (default 0.3)")},
                {"story", Property("integer", "Story index: 0 = ground floor (default 0)")},
            }},
            {"required", json::array({"start_x", "start_y", "end_x", "end_y"})},
        };
        def.handler = [](const json& input) { return CreateWall(input); };
        registry.Register(def);
    }
    {
        ToolDef def;
        def.name = "create_slab";
        def.description = "Create a rectangular floor or ceiling slab in ArchiCAD. Provide four corners in counter-clockwise order (metres).";
        json properties = CornerProperties();
        properties["thickness"] = Property("number", "Slab thickness in metres (default 0.3)");
        properties["elevation"] = Property("number", "Slab top elevation above story level in metres (default 0.0)");
        properties["story"] = Property("integer", "Story index (default 0)");
        def.inputSchema = {{"type", "object"}, {"properties", properties}, {"required", kCornerKeys}};
        def.handler = [](const json& input) { return CreateSlab(input); };
        registry.Register(def);
    }
    {
        ToolDef def;
        def.name = "create_column";
        def.description = "Create a circular column at a given position. Coordinates in metres from project origin.";
        def.inputSchema = {
            {"type", "object"},
            {"properties", {
                {"x", Property("number", "Column centre X (metres)")},
                {"y", Property("number", "Column centre Y (metres)")},
                {"height", Property("number", "Column height in metres (default 3.0)")},
                {"radius", Property("number", "Column radius in metres (default 0.15)")},
                {"story", Property("integer", "Story index (default 0)")},
            }},
            {"required", json::array({"x", "y"})},
        };
        def.handler = [](const json& input) { return CreateColumn(input); };
        registry.Register(def);
    }
    {
        ToolDef def;
        def.name = "create_beam";
        def.description = "Create a beam between two points. Coordinates in metres.";
        def.inputSchema = {
            {"type", "object"},
            {"properties", {
                {"start_x", Property("number", "Beam start X (metres)")},
                {"start_y", Property("number", "Beam start Y (metres)")},
                {"end_x", Property("number", "Beam end X (metres)")},
                {"end_y", Property("number", "Beam end Y (metres)")},
                {"height", Property("number", "Beam cross-section height (default 0.3)")},
                {"width", Property("number", "Beam cross-section width (default 0.15)")},
                {"story", Property("integer", "Story index (default 0)")},
            }},
            {"required", json::array({"start_x", "start_y", "end_x", "end_y"})},
        };
        def.handler = [](const json& input) { return CreateBeam(input); };
        registry.Register(def);
    }
    {
        ToolDef def;
        def.name = "create_roof";
        def.description = "Create a single-plane roof from a 4-corner polygon. Corners in counter-clockwise order, metres.";
        json properties = CornerProperties();
        properties["angle"] = Property("number", "Roof pitch angle in degrees (default 30)");
        properties["thickness"] = Property("number", "Roof thickness in metres (default 0.3)");
        properties["story"] = Property("integer", "Story index (default 0)");
        def.inputSchema = {{"type", "object"}, {"properties", properties}, {"required", kCornerKeys}};
        def.handler = [](const json& input) { return CreateRoof(input); };
        registry.Register(def);
    }
}
