// Selection tools: what the user has selected in the host, and selecting elements for them.
// Selecting changes no element and is no undo step, as in the host itself.
#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "tools/HostText.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"
#include "tools/inspection/ElementQuery.hpp"
#include "tools/inspection/ElementSummary.hpp"

namespace {

ToolResult GetSelection(const json& input)
{
    const int offset = IntInput(input, "offset", 0);
    const int limit = IntInput(input, "limit", 100);
    if (offset < 0) return ToolResult::Fail("offset must be 0 or more");
    if (limit < 1 || limit > int(kMaxPageSummaries)) return ToolResult::Fail("limit must be between 1 and 1000");

    API_SelectionInfo info;
    GS::Array<API_Neig> neigs;
    if (GSErrCode err = ACAPI_Selection_Get(&info, &neigs, false)) return HostFailure("GetSelection error: ", err);
    ElementReader reader;
    PageBuilder page{size_t(limit)};
    API_Element element;
    BNClear(element);
    for (USize i = USize(offset); i < neigs.GetSize() && !page.Full(); ++i) {
        element.header.guid = neigs[i].guid;
        if (ACAPI_Element_Get(&element, 0) != NoError) continue;
        if (std::optional<json> summary = reader.Summary(element)) page.Add(std::move(*summary));
    }
    return DataResult(page.Result(neigs.GetSize(), size_t(offset)));
}

ToolResult SelectElements(const json& input)
{
    const std::string mode = StringInput(input, "mode", "replace");
    const std::vector<std::string> texts = input.value("element_guids", std::vector<std::string>());
    if (mode != "replace" && mode != "add" && mode != "remove")
        return ToolResult::Fail("mode must be replace, add or remove");

    // Every GUID must name an element before the selection changes.
    GS::Array<API_Guid> guids;
    if (std::optional<std::string> error = ExistingElements(texts, guids)) return ToolResult::Fail(*error);
    GS::Array<API_Neig> neigs;
    for (const API_Guid& guid : guids) {
        API_Neig neig;
        BNClear(neig);
        neig.guid = guid;
        neigs.Push(neig);
    }
    if (mode == "replace")
        if (GSErrCode err = ACAPI_Element_DeselectAll()) return HostFailure("DeselectAll error: ", err);
    if (!neigs.IsEmpty())
        if (GSErrCode err = ACAPI_Element_Select(neigs, mode != "remove")) return HostFailure("Select error: ", err);

    API_SelectionInfo info;
    if (GSErrCode err = ACAPI_Selection_Get(&info, nullptr, false)) return HostFailure("GetSelection error: ", err);
    return ToolResult::Ok("", std::to_string(info.sel_nElem) + " element(s) selected");
}

}  // namespace

void RegisterSelectionTools(ToolRegistry& registry)
{
    Tool(registry, "get_selection",
         "Get the elements the user has selected in the host, as GUIDs with compact summaries. Use it when the user "
         "says this, these or the selected.")
        .With(PagingProperties)
        .Handler(GetSelection);

    Tool(registry, "select_elements",
         "Select elements in the host so the user sees them highlighted. An unknown GUID refuses the whole call and "
         "leaves the selection as it was; replace with an empty list clears the selection.")
        .Property("mode", "string", "replace (default), add or remove", {{"enum", {"replace", "add", "remove"}}})
        .Array("element_guids", "GUIDs of the elements to select, add or remove", {{"type", "string"}})
        .Required({"element_guids"})
        .Handler(SelectElements);
}
