// Editing tools: change, move, copy, rotate, mirror and group elements that already exist.
#include <cmath>
#include <cstdint>
#include <string>

#include "ACAPinc.h"
#include "core/ElementFunctions.hpp"

#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

namespace {

// Flags one field of the change mask: the first byte of the field's place in the record.
template <typename Field>
void FlagField(API_Element& mask, const API_Element& element, const Field& field)
{
    const auto offset = reinterpret_cast<const char*>(&field) - reinterpret_cast<const char*>(&element);
    reinterpret_cast<unsigned char*>(&mask)[offset] = 0xFF;
}

// A coordinate given alone keeps the other one; either flags the point as a whole, at its x.
void ReadPoint(const json& input, const char* keyX, const char* keyY, API_Coord& point, API_Element& mask,
               const API_Element& element)
{
    const std::optional<double> x = OptionalNumber(input, keyX);
    if (x) point.x = *x;
    const std::optional<double> y = OptionalNumber(input, keyY);
    if (y) point.y = *y;
    if (x || y) FlagField(mask, element, point.x);
}

void ReadLength(const json& input, const char* key, double& field, API_Element& mask, const API_Element& element)
{
    if (const std::optional<double> value = OptionalNumber(input, key)) {
        field = *value;
        FlagField(mask, element, field);
    }
}

ToolResult ModifyElement(const json& input)
{
    const std::string guidText = StringInput(input, "element_guid");
    if (guidText.empty()) return ToolResult::Fail("element_guid is required");

    API_Element element;
    BNClear(element);
    element.header.guid = ParseGuid(guidText);
    if (ACAPI_Element_Get(&element, 0) != NoError) return ToolResult::Fail("Element not found: " + guidText);

    API_Element mask;
    BNClear(mask);

    if (const std::optional<int> layer = OptionalInt(input, "layer")) {
        element.header.layer = *layer;
        FlagField(mask, element, element.header.layer);
    }
    if (const std::optional<int> story = OptionalInt(input, "story")) {
        element.header.floorInd = StoryBits(*story);
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
    case API_ObjectID:
        ReadPoint(input, "x", "y", element.object.pos, mask, element);
        if (const std::optional<double> degrees = OptionalNumber(input, "rotation")) {
            element.object.angle = *degrees * kDegreesToRadians;
            FlagField(mask, element, element.object.angle);
        }
        break;
    case API_SlabID:
        ReadLength(input, "thickness", element.slab.thickness, mask, element);
        ReadLength(input, "elevation", element.slab.level, mask, element);
        break;
    case API_RoofID: ReadLength(input, "thickness", element.roof.thickness, mask, element); break;
    default: break;
    }

    return UndoableCommand(
        "Quillmere: Modify Element", "ModifyElement",
        [&] { return ACAPI_Element_Change(&element, &mask, nullptr, 0, true); },
        [&] { return ToolResult::Ok(guidText, "Element modified"); });
}

// The one edit the four transform tools share: one element, one edit record.
struct EditRequest {
    API_EditCmdID type;
    bool withDelete;
    API_Coord origin;
    API_Coord begin;
    API_Coord end;
};

// Runs the edit as one undo step; success answers onSuccess(result), a refusal the prefix and
// code. The host writes a copy's GUID back into the edited list, so result is the GUID text of
// the element the edit left behind: the copy when the source is kept, else the element itself.
template <typename OnSuccess>
ToolResult UndoableEdit(const char* undoName, const char* prefix, const API_Guid& guid, const EditRequest& request,
                        OnSuccess onSuccess)
{
    API_Guid result = guid;
    return UndoableCommand(
        undoName, prefix,
        [&]() -> GSErrCode {
            API_EditPars pars;
            BNClear(pars);
            pars.typeID = request.type;
            pars.withDelete = request.withDelete;
            pars.origC.x = request.origin.x;
            pars.origC.y = request.origin.y;
            pars.begC.x = request.begin.x;
            pars.begC.y = request.begin.y;
            pars.endC.x = request.end.x;
            pars.endC.y = request.end.y;

            API_Neig neig;
            BNClear(neig);
            neig.guid = guid;
            GS::Array<API_Neig> items;
            items.Push(neig);
            const GSErrCode err = ACAPI_Element_Edit(&items, pars);
            if (err == NoError) result = items[0].guid;
            return err;
        },
        [&] { return onSuccess(GuidToStr(result)); });
}

std::string Pair(double x, double y) { return "(" + std::to_string(x) + ", " + std::to_string(y) + ")"; }

ToolResult Drag(const json& input, double defaultDx, bool withDelete, const char* undoName, const char* prefix)
{
    const std::string guidText = StringInput(input, "element_guid");
    const double dx = NumberInput(input, "dx", defaultDx);
    const double dy = NumberInput(input, "dy", 0.0);
    if (guidText.empty()) return ToolResult::Fail("element_guid is required");

    const EditRequest request{APIEdit_Drag, withDelete, {0.0, 0.0}, {0.0, 0.0}, {dx, dy}};
    // A copy reports its own GUID, so the model can go on working with it.
    return UndoableEdit(undoName, prefix, ParseGuid(guidText), request, [&](const std::string& result) {
        if (withDelete) return ToolResult::Ok(guidText, "Element moved by " + Pair(dx, dy));
        return ToolResult::Ok(result, "Element copied with offset " + Pair(dx, dy));
    });
}

ToolResult MoveElement(const json& input) { return Drag(input, 0.0, true, "Quillmere: Move Element", "MoveElement"); }

ToolResult CopyElement(const json& input)
{
    // Without an offset the copy lands one metre along x, so that it is not hidden by its source.
    return Drag(input, 1.0, false, "Quillmere: Copy Element", "CopyElement");
}

ToolResult RotateElement(const json& input)
{
    const std::string guidText = StringInput(input, "element_guid");
    const double cx = NumberInput(input, "center_x", 0.0);
    const double cy = NumberInput(input, "center_y", 0.0);
    const double degrees = NumberInput(input, "angle", 0.0);
    if (guidText.empty()) return ToolResult::Fail("element_guid is required");

    const double a = degrees * kDegreesToRadians;
    const EditRequest request{APIEdit_Rotate, true, {cx, cy}, {cx + 1.0, cy}, {cx + std::cos(a), cy + std::sin(a)}};
    return UndoableEdit("Quillmere: Rotate Element", "RotateElement", ParseGuid(guidText), request,
                        [&](const std::string&) {
                            return ToolResult::Ok(guidText, "Element rotated " + std::to_string(degrees) + " degrees");
                        });
}

ToolResult MirrorElement(const json& input)
{
    const std::string guidText = StringInput(input, "element_guid");
    const double x1 = NumberInput(input, "axis_x1", 0.0);
    const double y1 = NumberInput(input, "axis_y1", 0.0);
    const double x2 = NumberInput(input, "axis_x2", 1.0);
    const double y2 = NumberInput(input, "axis_y2", 0.0);
    const bool keepOriginal = BoolInput(input, "keep_original", false);
    if (guidText.empty()) return ToolResult::Fail("element_guid is required");

    // The axis runs from the origin point to the end point; the begin point is not used.
    const EditRequest request{APIEdit_Mirror, !keepOriginal, {x1, y1}, {0.0, 0.0}, {x2, y2}};
    // A mirrored copy (the original kept) reports the copy's GUID; otherwise the element's own.
    return UndoableEdit("Quillmere: Mirror Element", "MirrorElement", ParseGuid(guidText), request,
                        [&](const std::string& result) {
                            return ToolResult::Ok(keepOriginal ? result : guidText, "Element mirrored");
                        });
}

ToolResult GroupElements(const json& input)
{
    const bool ungroup = BoolInput(input, "ungroup", false);
    const GS::Array<API_Guid> guids = GuidsInput(input, "element_guids");
    if (guids.GetSize() < 2 && !ungroup) return ToolResult::Fail("Need at least 2 elements to group");

    const API_ToolCmdID command = ungroup ? APITool_Ungroup : APITool_Group;
    return UndoableCommand(
        ungroup ? "Quillmere: Ungroup Elements" : "Quillmere: Group Elements", ungroup ? "Ungroup" : "Group",
        [&] { return ACAPI_Element_Tool(guids, command, nullptr); },
        [&] {
            const std::string count = std::to_string(static_cast<std::uint32_t>(guids.GetSize()));
            return ToolResult::Ok("", std::string(ungroup ? "Elements ungrouped" : "Elements grouped") + " (" + count +
                                          " elements)");
        });
}

}  // namespace

void RegisterModifyTools(ToolRegistry& registry)
{
    Tool(registry, "modify_element",
         "Modify properties of an existing element (height, thickness, position, layer, etc.). Provide only the "
         "properties you want to change.")
        .String("element_guid", "GUID of the element to modify")
        .Number("height", "New height (walls, columns)")
        .Number("thickness", "New thickness (walls, slabs, roofs)")
        .Number("start_x", "New start X (walls, beams)")
        .Number("start_y", "New start Y (walls, beams)")
        .Number("end_x", "New end X (walls, beams)")
        .Number("end_y", "New end Y (walls, beams)")
        .Number("x", "New X position (columns, objects)")
        .Number("y", "New Y position (columns, objects)")
        .Number("rotation", "New rotation angle in degrees (objects)")
        .Number("elevation", "New elevation/level (slabs)")
        .Integer("layer", "New layer attribute index")
        .Integer("story", "New story index")
        .Required({"element_guid"})
        .Handler(ModifyElement);

    Tool(registry, "move_element", "Move an element by a dx/dy offset (metres).")
        .String("element_guid", "GUID of the element to move")
        .Number("dx", "Horizontal offset X (metres)")
        .Number("dy", "Horizontal offset Y (metres)")
        .Required({"element_guid", "dx", "dy"})
        .Handler(MoveElement);

    // The description says 0 while the handler's dx default is 1: both are what the model has
    // always been told and what the tool has always done.
    Tool(registry, "copy_element", "Duplicate an element with an optional dx/dy offset.")
        .String("element_guid", "GUID of the element to copy")
        .Number("dx", "Copy offset X (metres, default 0)")
        .Number("dy", "Copy offset Y (metres, default 0)")
        .Required({"element_guid"})
        .Handler(CopyElement);

    Tool(registry, "rotate_element", "Rotate an element around a given centre point.")
        .String("element_guid", "GUID of the element to rotate")
        .Number("center_x", "Rotation centre X (metres)")
        .Number("center_y", "Rotation centre Y (metres)")
        .Number("angle", "Rotation angle in degrees (counter-clockwise)")
        .Required({"element_guid", "center_x", "center_y", "angle"})
        .Handler(RotateElement);

    Tool(registry, "mirror_element", "Mirror an element across a line defined by two points.")
        .String("element_guid", "GUID of the element to mirror")
        .Number("axis_x1", "Mirror axis start X (metres)")
        .Number("axis_y1", "Mirror axis start Y (metres)")
        .Number("axis_x2", "Mirror axis end X (metres)")
        .Number("axis_y2", "Mirror axis end Y (metres)")
        .Boolean("keep_original", "Keep the original element (default false)")
        .Required({"element_guid", "axis_x1", "axis_y1", "axis_x2", "axis_y2"})
        .Handler(MirrorElement);

    Tool(registry, "group_elements", "Group multiple elements together, or ungroup an existing group.")
        .Array("element_guids", "Array of element GUID strings to group", {{"type", "string"}})
        .Boolean("ungroup", "If true, ungroup instead of group (default false)")
        .Required({"element_guids"})
        .Handler(GroupElements);
}
