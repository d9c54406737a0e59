// Editing tools: change, move, copy, rotate, mirror and group elements that already exist.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"
#include "core/ToolInput.hpp"
#include "core/ToolRegistry.hpp"
#include "tools/ToolCommon.hpp"
#include "tools/ToolFamilies.hpp"

using json = nlohmann::json;

namespace {

json Schema(json properties, json required)
{
    return json { { "type", "object" }, { "properties", std::move(properties) }, { "required", std::move(required) } };
}

API_Guid ParseGuid(const std::string& text)
{
    return GSGuid2APIGuid(GS::Guid(text.c_str()));
}

GS::UniString UndoName(const char* name)
{
    return GS::UniString(name, CC_Default);
}

// Flags one field of the change mask: the first byte of the field's place in the record.
template <typename Field>
void FlagField(API_Element& mask, const API_Element& element, const Field& field)
{
    const auto offset = reinterpret_cast<const char*>(&field) - reinterpret_cast<const char*>(&element);
    reinterpret_cast<unsigned char*>(&mask)[offset] = 0xFF;
}

// Reads a double only when the key is present; a wrongly typed value throws the JSON type error.
bool ReadNumber(const json& input, const char* key, double& target)
{
    if (!input.contains(key))
        return false;
    target = input.at(key).get<double>();
    return true;
}

// A coordinate given alone keeps the other one; either flags the point as a whole, at its x.
void ReadPoint(const json& input, const char* keyX, const char* keyY, API_Coord& point, API_Element& mask,
               const API_Element& element)
{
    const bool hasX = ReadNumber(input, keyX, point.x);
    const bool hasY = ReadNumber(input, keyY, point.y);
    if (hasX || hasY)
        FlagField(mask, element, point.x);
}

void ReadLength(const json& input, const char* key, double& field, API_Element& mask, const API_Element& element)
{
    if (ReadNumber(input, key, field))
        FlagField(mask, element, field);
}

ToolResult ModifyElement(const json& input)
{
    const std::string guidText = input.value("element_guid", std::string());
    if (guidText.empty())
        return ToolResult::Fail("element_guid is required");

    API_Element element;
    std::memset(&element, 0, sizeof element);
    element.header.guid = ParseGuid(guidText);
    if (ACAPI_Element_Get(&element, 0) != NoError)
        return ToolResult::Fail("Element not found: " + guidText);

    API_Element mask;
    std::memset(&mask, 0, sizeof mask);

    if (input.contains("layer")) {
        element.header.layer = IntInput(input, "layer", 0);
        FlagField(mask, element, element.header.layer);
    }
    if (input.contains("story")) {
        // The header holds a 16-bit story index; only the low 16 bits of the input reach it.
        element.header.floorInd = static_cast<short>(static_cast<std::uint16_t>(IntInput(input, "story", 0)));
        FlagField(mask, element, element.header.floorInd);
    }

    switch (element.header.type.typeID) {
    case API_WallID:
        ReadLength(input, "height", element.wall.height, mask, element);
        ReadLength(input, "thickness", element.wall.thickness, mask, element);
        ReadPoint(input, "start_x", "start_y", element.wall.begC, mask, element);
        ReadPoint(input, "end_x", "end_y", element.wall.endC, mask, element);
        break;
    case API_ColumnID:
        ReadLength(input, "height", element.column.height, mask, element);
        ReadPoint(input, "x", "y", element.column.origoPos, mask, element);
        break;
    case API_BeamID:
        ReadPoint(input, "start_x", "start_y", element.beam.begC, mask, element);
        ReadPoint(input, "end_x", "end_y", element.beam.endC, mask, element);
        break;
    case API_ObjectID: {
        ReadPoint(input, "x", "y", element.object.pos, mask, element);
        double degrees = 0.0;
        if (ReadNumber(input, "rotation", degrees)) {
            element.object.angle = degrees * kDegreesToRadians;
            FlagField(mask, element, element.object.angle);
        }
        break;
    }
    case API_SlabID:
        ReadLength(input, "thickness", element.slab.thickness, mask, element);
        ReadLength(input, "elevation", element.slab.level, mask, element);
        break;
    case API_RoofID:
        ReadLength(input, "thickness", element.roof.thickness, mask, element);
        break;
    default:
        break;
    }

    const GSErrCode err = ACAPI_CallUndoableCommand(UndoName("Quillmere: Modify Element"), [&]() -> GSErrCode {
        return ACAPI_Element_Change(&element, &mask, nullptr, 0, true);
    });
    if (err != NoError)
        return ToolResult::Fail("ModifyElement ACAPI error: " + std::to_string(err));
    return ToolResult::Ok(guidText, "Element modified");
}

// The one edit the four transform tools share: one element, one edit record, one undo step.
struct EditRequest {
    API_EditCmdID type;
    bool withDelete;
    API_Coord origin;
    API_Coord begin;
    API_Coord end;
};

GSErrCode RunEdit(const char* undoName, const API_Guid& guid, const EditRequest& request)
{
    return ACAPI_CallUndoableCommand(UndoName(undoName), [&]() -> GSErrCode {
        API_EditPars pars;
        std::memset(&pars, 0, sizeof pars);
        pars.typeID = request.type;
        pars.withDelete = request.withDelete;
        pars.origC.x = request.origin.x;
        pars.origC.y = request.origin.y;
        pars.begC.x = request.begin.x;
        pars.begC.y = request.begin.y;
        pars.endC.x = request.end.x;
        pars.endC.y = request.end.y;

        API_Neig neig;
        std::memset(&neig, 0, sizeof neig);
        neig.guid = guid;
        GS::Array<API_Neig> items;
        items.Push(neig);
        return ACAPI_Element_Edit(&items, pars);
    });
}

std::string Pair(double x, double y)
{
    return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

ToolResult Drag(const json& input, double defaultDx, bool withDelete, const char* undoName, const char* errorPrefix)
{
    const std::string guidText = input.value("element_guid", std::string());
    const double dx = input.value("dx", defaultDx);
    const double dy = input.value("dy", 0.0);
    if (guidText.empty())
        return ToolResult::Fail("element_guid is required");

    const API_Guid guid = ParseGuid(guidText);
    const GSErrCode err = RunEdit(undoName, guid, { APIEdit_Drag, withDelete, { 0.0, 0.0 }, { 0.0, 0.0 }, { dx, dy } });
    if (err != NoError)
        return ToolResult::Fail(errorPrefix + std::to_string(err));
    if (withDelete)
        return ToolResult::Ok(guidText, "Element moved by " + Pair(dx, dy));
    return ToolResult::Ok("", "Element copied with offset " + Pair(dx, dy));
}

ToolResult MoveElement(const json& input)
{
    return Drag(input, 0.0, true, "Quillmere: Move Element", "MoveElement ACAPI error: ");
}

ToolResult CopyElement(const json& input)
{
    // Without an offset the copy lands one metre along x, so that it is not hidden by its source.
    return Drag(input, 1.0, false, "Quillmere: Copy Element", "CopyElement ACAPI error: ");
}

ToolResult RotateElement(const json& input)
{
    const std::string guidText = input.value("element_guid", std::string());
    const double cx = input.value("center_x", 0.0);
    const double cy = input.value("center_y", 0.0);
    const double degrees = input.value("angle", 0.0);
    if (guidText.empty())
        return ToolResult::Fail("element_guid is required");

    const API_Guid guid = ParseGuid(guidText);
    const double a = degrees * kDegreesToRadians;
    const EditRequest request { APIEdit_Rotate, true, { cx, cy }, { cx + 1.0, cy }, { cx + std::cos(a), cy + std::sin(a) } };
    const GSErrCode err = RunEdit("Quillmere: Rotate Element", guid, request);
    if (err != NoError)
        return ToolResult::Fail("RotateElement ACAPI error: " + std::to_string(err));
    return ToolResult::Ok(guidText, "Element rotated " + std::to_string(degrees) + " degrees");
}

ToolResult MirrorElement(const json& input)
{
    const std::string guidText = input.value("element_guid", std::string());
    const double x1 = input.value("axis_x1", 0.0);
    const double y1 = input.value("axis_y1", 0.0);
    const double x2 = input.value("axis_x2", 1.0);
    const double y2 = input.value("axis_y2", 0.0);
    const bool keepOriginal = input.value("keep_original", false);
    if (guidText.empty())
        return ToolResult::Fail("element_guid is required");

    const API_Guid guid = ParseGuid(guidText);
    // The axis runs from the origin point to the end point; the begin point is not used.
    const EditRequest request { APIEdit_Mirror, !keepOriginal, { x1, y1 }, { 0.0, 0.0 }, { x2, y2 } };
    const GSErrCode err = RunEdit("Quillmere: Mirror Element", guid, request);
    if (err != NoError)
        return ToolResult::Fail("MirrorElement ACAPI error: " + std::to_string(err));
    return ToolResult::Ok(guidText, "Element mirrored");
}

ToolResult GroupElements(const json& input)
{
    const bool ungroup = input.value("ungroup", false);

    GS::Array<API_Guid> guids;
    if (input.contains("element_guids") && input.at("element_guids").is_array()) {
        for (const json& item : input.at("element_guids"))
            guids.Push(ParseGuid(item.get<std::string>()));
    }
    if (guids.GetSize() < 2 && !ungroup)
        return ToolResult::Fail("Need at least 2 elements to group");

    const API_ToolCmdID command = ungroup ? APITool_Ungroup : APITool_Group;
    const GSErrCode err = ACAPI_CallUndoableCommand(
        UndoName(ungroup ? "Quillmere: Ungroup Elements" : "Quillmere: Group Elements"),
        [&]() -> GSErrCode { return ACAPI_Element_Tool(guids, command, nullptr); });
    if (err != NoError)
        return ToolResult::Fail(std::string(ungroup ? "Ungroup" : "Group") + " ACAPI error: " + std::to_string(err));

    const std::string count = std::to_string(static_cast<std::uint32_t>(guids.GetSize()));
    return ToolResult::Ok("", std::string(ungroup ? "Elements ungrouped" : "Elements grouped") + " (" + count + " elements)");
}

void Add(ToolRegistry& registry, const char* name, const char* description, json schema,
         std::function<ToolResult(const json&)> handler)
{
    ToolDef def;
    def.name = name;
    def.description = description;
    def.inputSchema = std::move(schema);
    def.handler = std::move(handler);
    registry.Register(std::move(def));
}

}  // namespace

void RegisterModifyTools(ToolRegistry& registry)
{
    Add(registry, "modify_element",
        "Modify properties of an existing element (height, thickness, position, layer, etc.). Provide only the "
        "properties you want to change.",
        Schema({ { "element_guid", Property("string", "GUID of the element to modify") },
                 { "height", Property("number", "New height (walls, columns)") },
                 { "thickness", Property("number", "New thickness (walls, slabs, roofs)") },
                 { "start_x", Property("number", "New start X (walls, beams)") },
                 { "start_y", Property("number", "New start Y (walls, beams)") },
                 { "end_x", Property("number", "New end X (walls, beams)") },
                 { "end_y", Property("number", "New end Y (walls, beams)") },
                 { "x", Property("number", "New X position (columns, objects)") },
                 { "y", Property("number", "New Y position (columns, objects)") },
                 { "rotation", Property("number", "New rotation angle in degrees (objects)") },
                 { "elevation", Property("number", "New elevation/level (slabs)") },
                 { "layer", Property("integer", "New layer attribute index") },
                 { "story", Property("integer", "New story index") } },
               json::array({ "element_guid" })),
        [](const json& input) { return ModifyElement(input); });

    Add(registry, "move_element", "Move an element by a dx/dy offset (metres).",
        Schema({ { "element_guid", Property("string", "GUID of the element to move") },
                 { "dx", Property("number", "Horizontal offset X (metres)") },
                 { "dy", Property("number", "Horizontal offset Y (metres)") } },
               json::array({ "element_guid", "dx", "dy" })),
        [](const json& input) { return MoveElement(input); });

    Add(registry, "copy_element", "Duplicate an element with an optional dx/dy offset.",
        Schema({ { "element_guid", Property("string", "GUID of the element to copy") },
                 { "dx", Property("number", "Copy offset X (metres, default 0)") },
                 { "dy", Property("number", "Copy offset Y (metres, default 0)") } },
               json::array({ "element_guid" })),
        [](const json& input) { return CopyElement(input); });

    Add(registry, "rotate_element", "Rotate an element around a given centre point.",
        Schema({ { "element_guid", Property("string", "GUID of the element to rotate") },
                 { "center_x", Property("number", "Rotation centre X (metres)") },
                 { "center_y", Property("number", "Rotation centre Y (metres)") },
                 { "angle", Property("number", "Rotation angle in degrees (counter-clockwise)") } },
               json::array({ "element_guid", "center_x", "center_y", "angle" })),
        [](const json& input) { return RotateElement(input); });

    Add(registry, "mirror_element", "Mirror an element across a line defined by two points.",
        Schema({ { "element_guid", Property("string", "GUID of the element to mirror") },
                 { "axis_x1", Property("number", "Mirror axis start X (metres)") },
                 { "axis_y1", Property("number", "Mirror axis start Y (metres)") },
                 { "axis_x2", Property("number", "Mirror axis end X (metres)") },
                 { "axis_y2", Property("number", "Mirror axis end Y (metres)") },
                 { "keep_original", Property("boolean", "Keep the original element (default false)") } },
               json::array({ "element_guid", "axis_x1", "axis_y1", "axis_x2", "axis_y2" })),
        [](const json& input) { return MirrorElement(input); });

    json guidsProperty = Property("array", "Array of element GUID strings to group");
    guidsProperty["items"] = { { "type", "string" } };
    Add(registry, "group_elements", "Group multiple elements together, or ungroup an existing group.",
        Schema({ { "element_guids", std::move(guidsProperty) },
                 { "ungroup", Property("boolean", "If true, ungroup instead of group (default false)") } },
               json::array({ "element_guids" })),
        [](const json& input) { return GroupElements(input); });
}
