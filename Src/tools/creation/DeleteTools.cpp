// Delete tools: one element, or a list of elements in a single host call and undo step.
#include <string>

#include "ACAPinc.h"

#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

namespace {

ToolResult DeleteElement(const json& input)
{
    const std::string guidText = StringInput(input, "element_guid");
    if (guidText.empty()) return ToolResult::Fail("element_guid is required");

    GS::Array<API_Guid> guids;
    guids.Push(ParseGuid(guidText));
    return UndoableCommand(
        "Quillmere: Delete Element", "DeleteElement", [&] { return ACAPI_Element_Delete(guids); },
        [&] { return ToolResult::Ok("", "Element deleted: " + guidText); });
}

ToolResult DeleteElementsBatch(const json& input)
{
    // The whole list is read before the host is called, so a bad entry deletes nothing.
    const GS::Array<API_Guid> guids = GuidsInput(input, "element_guids");
    if (guids.GetSize() == 0) return ToolResult::Fail("element_guids array is empty");

    return UndoableCommand(
        "Quillmere: Delete Elements Batch", "DeleteElementsBatch", [&] { return ACAPI_Element_Delete(guids); },
        [&] { return ToolResult::Ok("", std::to_string(guids.GetSize()) + " elements deleted"); });
}

}  // namespace

void RegisterDeleteTools(ToolRegistry& registry)
{
    Tool(registry, "delete_element", "Delete an element by its GUID.")
        .String("element_guid", "GUID of the element to delete")
        .Required({"element_guid"})
        .Handler(DeleteElement);

    Tool(registry, "delete_elements_batch", "Delete multiple elements by an array of GUIDs.")
        .Array("element_guids", "Array of element GUID strings to delete", {{"type", "string"}})
        .Required({"element_guids"})
        .Handler(DeleteElementsBatch);
}
