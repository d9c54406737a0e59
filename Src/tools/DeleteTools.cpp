// Delete tools: one element, or a list of elements in a single host call and undo step.
#include <string>

#include "ACAPinc.h"

#include "core/ToolRegistry.hpp"
#include "tools/ToolFamilies.hpp"

using json = nlohmann::json;

namespace {

ToolResult DeleteElement(const json& input)
{
    const std::string guidText = input.value("element_guid", std::string());
    if (guidText.empty())
        return ToolResult::Fail("element_guid is required");

    const API_Guid guid = GSGuid2APIGuid(GS::Guid(guidText.c_str()));
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Delete Element"), [&]() -> GSErrCode {
        GS::Array<API_Guid> guids;
        guids.Push(guid);
        return ACAPI_Element_Delete(guids);
    });
    if (err != NoError)
        return ToolResult::Fail("DeleteElement ACAPI error: " + std::to_string(err));
    return ToolResult::Ok("", "Element deleted: " + guidText);
}

ToolResult DeleteElementsBatch(const json& input)
{
    // The whole list is built before the host is called, so a bad entry deletes nothing.
    GS::Array<API_Guid> guids;
    if (input.is_object() && input.contains("element_guids") && input.at("element_guids").is_array()) {
        for (const json& entry : input.at("element_guids")) {
            const std::string text = entry.get<std::string>();
            guids.Push(GSGuid2APIGuid(GS::Guid(text.c_str())));
        }
    }
    if (guids.GetSize() == 0)
        return ToolResult::Fail("element_guids array is empty");

    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Delete Elements Batch"), [&]() -> GSErrCode {
        return ACAPI_Element_Delete(guids);
    });
    if (err != NoError)
        return ToolResult::Fail("DeleteElementsBatch ACAPI error: " + std::to_string(err));
    return ToolResult::Ok("", std::to_string(guids.GetSize()) + " elements deleted");
}

}  // namespace

void RegisterDeleteTools(ToolRegistry& registry)
{
    {
        ToolDef def;
        def.name = "delete_element";
        def.description = "Delete an element by its GUID.";
        def.inputSchema = {
            {"type", "object"},
            {"properties", {
                {"element_guid", {{"type", "string"}, {"description", "GUID of the element to delete"}}},
            }},
            {"required", json::array({"element_guid"})},
        };
        def.handler = [](const json& input) { return DeleteElement(input); };
        registry.Register(def);
    }
    {
        ToolDef def;
        def.name = "delete_elements_batch";
        def.description = "Delete multiple elements by an array of GUIDs.";
        def.inputSchema = {
            {"type", "object"},
            {"properties", {
                {"element_guids", {
                    {"type", "array"},
                    {"description", "Array of element GUID strings to delete"},
                    {"items", {{"type", "string"}}},
                }},
            }},
            {"required", json::array({"element_guids"})},
        };
        def.handler = [](const json& input) { return DeleteElementsBatch(input); };
        registry.Register(def);
    }
}
