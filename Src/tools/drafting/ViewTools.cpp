// View tools: the saved views of the View Map (list, save the current window state, open one)
// and the graphic override combinations (list, look one up). None of them opens an undo step:
// views and overrides are not model changes.

#include <string>
#include <vector>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "tools/HostText.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

namespace {

GSErrCode GetViewMapSet(API_NavigatorSet& set)
{
    BNClear(set);
    set.mapId = API_PublicViewMap;
    return ACAPI_Navigator(APINavigator_GetNavigatorSetID, &set, nullptr);
}

// Appends the entries of the subtree below parentGuid in pre-order: each folder (type 24) is
// followed at once by its contents, then by its next sibling. A children query the host
// refuses adds nothing. Walked with an explicit stack, so deep folder trees cannot exhaust
// the call stack.
void CollectNavItems(const API_Guid& parentGuid, json& items)
{
    struct Level {
        GS::Array<API_NavigatorItem> children;
        USize next = 0;
    };
    std::vector<Level> stack;
    auto open = [&stack](const API_Guid& guid) {
        API_NavigatorItem parent;
        BNClear(parent);
        parent.guid = guid;
        Level level;
        if (ACAPI_Navigator(APINavigator_GetNavigatorChildrenItemsID, &parent, nullptr, &level.children) == NoError &&
            !level.children.IsEmpty())
            stack.push_back(std::move(level));
    };
    open(parentGuid);
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.children.GetSize()) {
            stack.pop_back();
            continue;
        }
        const API_NavigatorItem child = level.children[level.next++];
        items.push_back(
            {{"guid", GuidToStr(child.guid)}, {"name", FieldNameText(child.uName)}, {"type", child.itemType}});
        if (child.itemType == API_FolderNavItem) open(child.guid);  // only folders are opened
    }
}

ToolResult ListViews(const json&)
{
    json views = json::array();
    API_NavigatorSet set;
    if (GSErrCode err = GetViewMapSet(set)) return HostFailure("GetNavigatorSet error: ", err);
    CollectNavItems(set.rootGuid, views);
    return DataResult(views);
}

ToolResult CreateView(const json& input)
{
    const std::string name = StringInput(input, "name", "New View");
    API_NavigatorSet set;
    if (GSErrCode err = GetViewMapSet(set)) return HostFailure("GetNavigatorSet error: ", err);

    API_NavigatorItem item;
    BNClear(item);
    item.mapId = API_PublicViewMap;
    item.itemType = API_StoryNavItem;
    CopyNameToField(item.uName, API_NavigatorNameCapacity, name);
    if (GSErrCode err = ACAPI_Navigator(APINavigator_CreateNavigatorVPItemID, &item, &set.rootGuid))
        return HostFailure("CreateNavigatorItem error: ", err);
    return ToolResult::Ok(GuidToStr(item.guid), "View \"" + name + "\" created");
}

ToolResult SwitchView(const json& input)
{
    const std::string viewGuid = StringInput(input, "view_guid");
    if (viewGuid.empty()) return ToolResult::Fail("view_guid is required");
    API_Guid guid = ParseGuid(viewGuid);
    if (GSErrCode err = ACAPI_Navigator(APINavigator_ChangeNavigatorViewID, &guid))
        return HostFailure("ChangeNavigatorView error: ", err);
    return ToolResult::Ok(viewGuid, "View activated");
}

ToolResult ListGraphicOverrides(const json&)
{
    GS::Array<API_Guid> combinations;
    if (GSErrCode err = ACAPI_Override_GetOverrideCombinationList(combinations))
        return HostFailure("GetOverrideCombinationList error: ", err);
    json list = json::array();
    for (USize i = 0; i < combinations.GetSize(); ++i) {
        API_OverrideCombination combination;
        combination.guid = combinations[i];
        // A combination the host cannot read is left out; the others are still listed.
        if (ACAPI_Override_GetOverrideCombination(combination, nullptr) != NoError) continue;
        list.push_back({{"guid", GuidToStr(combination.guid)}, {"name", HostNameText(combination.name)}});
    }
    return DataResult(list);
}

// Looks the combination up and names it; applying it is left to the view settings.
ToolResult SetGraphicOverride(const json& input)
{
    if (BoolInput(input, "clear", false)) return ToolResult::Ok("", "Use ArchiCAD UI to clear graphic overrides");
    const std::string guidText = StringInput(input, "combination_guid");
    if (guidText.empty()) return ToolResult::Fail("combination_guid is required (or set clear=true)");
    API_OverrideCombination combination;
    combination.guid = ParseGuid(guidText);
    if (ACAPI_Override_GetOverrideCombination(combination, nullptr) != NoError)
        return ToolResult::Fail("Override combination not found: " + guidText);
    return ToolResult::Ok(guidText, "Graphic override combination found: " + HostNameText(combination.name) +
                                        ". Apply it via the current view settings.");
}

}  // namespace

void RegisterViewTools(ToolRegistry& registry)
{
    Tool(registry, "list_views", "List saved views in the project's View Map.").Handler(ListViews);

    Tool(registry, "create_view", "Create a new saved view from the current window state.")
        .String("name", "Name for the new saved view")
        .Required({"name"})
        .Handler(CreateView);

    Tool(registry, "switch_view", "Activate a saved view by its GUID (from list_views).")
        .String("view_guid", "GUID of the saved view to activate")
        .Required({"view_guid"})
        .Handler(SwitchView);

    Tool(registry, "list_graphic_overrides", "List all graphic override combinations defined in the project.")
        .Handler(ListGraphicOverrides);

    Tool(registry, "set_graphic_override",
         "Apply a graphic override combination to the current view. Use list_graphic_overrides to get available "
         "combinations.")
        .String("combination_guid", "GUID of the graphic override combination to apply")
        .Boolean("clear", "If true, clear all graphic overrides (default false)")
        .Handler(SetGraphicOverride);
}
