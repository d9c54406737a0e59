// Property and classification tools: read the project's definitions and classification
// systems, read elements' values and items, and set them. A change is checked whole before its
// undo step: one value or item that the host would refuse refuses the call and changes nothing.
#include <functional>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "tools/HostText.hpp"
#include "tools/PropertyReading.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"
#include "tools/inspection/ElementQuery.hpp"

namespace {

constexpr size_t kMaxReadElements = 100;

// A single value of a type the tools read and write (not a list, not a choice).
bool Settable(const API_PropertyDefinition& definition)
{
    return definition.collectionType == API_PropertySingleCollectionType &&
           std::string(ValueTypeWord(definition.valueType)) != "unsupported";
}

json DefinitionEntry(const API_PropertyDefinition& definition, const GS::UniString& group)
{
    return {{"guid", GuidToStr(definition.guid)},
            {"group", HostNameText(group)},
            {"name", HostNameText(definition.name)},
            {"value_type", Settable(definition) ? ValueTypeWord(definition.valueType) : "unsupported"},
            {"editable", definition.canValueBeEditable && Settable(definition)}};
}

// Calls visit(group, definition) for every definition of every group, in the host's order.
GSErrCode ForEachDefinition(const std::function<void(const API_PropertyGroup&, const API_PropertyDefinition&)>& visit)
{
    GS::Array<API_PropertyGroup> groups;
    if (GSErrCode err = ACAPI_Property_GetPropertyGroups(groups)) return err;
    for (const API_PropertyGroup& group : groups) {
        GS::Array<API_PropertyDefinition> definitions;
        if (GSErrCode err = ACAPI_Property_GetPropertyDefinitions(group.guid, definitions)) return err;
        for (const API_PropertyDefinition& definition : definitions) visit(group, definition);
    }
    return NoError;
}

ToolResult ListPropertyDefinitions(const json&)
{
    json groups = json::array();
    const GSErrCode err = ForEachDefinition([&](const API_PropertyGroup& group, const API_PropertyDefinition& def) {
        // Definitions come group by group: a new group starts a new entry.
        if (groups.empty() || groups.back()["guid"] != GuidToStr(group.guid))
            groups.push_back({{"guid", GuidToStr(group.guid)},
                              {"name", HostNameText(group.name)},
                              {"user_defined", group.groupType == API_PropertyCustomGroupType},
                              {"definitions", json::array()}});
        groups.back()["definitions"].push_back(DefinitionEntry(def, group.name));
    });
    if (err != NoError) return HostFailure("GetPropertyDefinitions error: ", err);
    return DataResult(json{{"groups", groups}});
}

// The elements of a call: at least one, at most max, each an element.
std::optional<ToolResult> ReadElements(const std::vector<std::string>& texts, size_t max, GS::Array<API_Guid>& guids)
{
    if (texts.empty()) return ToolResult::Fail("element_guids is required");
    if (texts.size() > max) return ToolResult::Fail("At most " + std::to_string(max) + " element_guids per call");
    if (std::optional<std::string> error = ExistingElements(texts, guids)) return ToolResult::Fail(*error);
    return std::nullopt;
}

struct NamedDefinition {
    API_PropertyDefinition definition;
    GS::UniString group;
};

ToolResult GetElementProperties(const json& input)
{
    const std::vector<std::string> texts = input.value("element_guids", std::vector<std::string>());
    const std::vector<std::string> names = input.value("definitions", std::vector<std::string>());
    GS::Array<API_Guid> guids;
    if (std::optional<ToolResult> refused = ReadElements(texts, kMaxReadElements, guids)) return *refused;

    std::vector<NamedDefinition> definitions;
    for (const std::string& name : names) {
        NamedDefinition found;
        if (std::optional<std::string> error = FindPropertyDefinition(name, found.definition, &found.group))
            return ToolResult::Fail(*error);
        definitions.push_back(found);
    }
    if (names.empty()) {
        const GSErrCode err = ForEachDefinition([&](const API_PropertyGroup& group, const API_PropertyDefinition& def) {
            if (group.groupType == API_PropertyCustomGroupType) definitions.push_back({def, group.name});
        });
        if (err != NoError) return HostFailure("GetPropertyDefinitions error: ", err);
    }

    json elements = json::array();
    for (const API_Guid& guid : guids) {
        json values = json::array();
        for (const NamedDefinition& named : definitions) {
            API_Property property;
            // A definition the element does not have is simply not among its values.
            if (ACAPI_Element_GetPropertyValue(guid, named.definition.guid, property) != NoError) continue;
            json entry = PropertyEntry(property, named.group);
            entry["definition_guid"] = GuidToStr(named.definition.guid);
            values.push_back(std::move(entry));
        }
        elements.push_back({{"guid", GuidToStr(guid)}, {"properties", values}});
    }
    return DataResult(json{{"elements", elements}});
}

ToolResult SetElementProperty(const json& input)
{
    const std::string name = StringInput(input, "definition");
    const json value = input.value("value", json());
    const std::vector<std::string> texts = input.value("element_guids", std::vector<std::string>());
    if (name.empty()) return ToolResult::Fail("definition is required");
    NamedDefinition named;
    if (std::optional<std::string> error = FindPropertyDefinition(name, named.definition, &named.group))
        return ToolResult::Fail(*error);
    const API_PropertyDefinition& definition = named.definition;
    if (!definition.canValueBeEditable) return ToolResult::Fail("Property " + name + " is read-only");
    if (!Settable(definition))
        return ToolResult::Fail("Property " + name + " takes a list or choice value, which cannot be set here");
    API_Property property;
    property.definition = definition;
    property.value.variantStatus = API_VariantStatusNormal;
    if (std::optional<std::string> refused =
            VariantFromInput(value, definition.valueType, property.value.singleVariant.variant))
        return ToolResult::Fail("value " + *refused);
    GS::Array<API_Guid> guids;
    if (std::optional<ToolResult> refused = ReadElements(texts, SIZE_MAX, guids)) return *refused;
    for (USize i = 0; i < guids.GetSize(); ++i)
        if (!ACAPI_Element_IsPropertyDefinitionAvailable(guids[i], definition.guid))
            return ToolResult::Fail("Property " + name + " does not apply to element " + texts[i]);

    return UndoableCommand(
        "Quillmere: Set Property", "SetProperty",
        [&]() -> GSErrCode {
            for (const API_Guid& guid : guids)
                if (GSErrCode err = ACAPI_Element_SetProperty(guid, property)) return err;
            return NoError;
        },
        [&] {
            return ToolResult::Ok("",
                                  "Property " + name + " set on " + std::to_string(guids.GetSize()) + " element(s)");
        });
}

// ---- classifications

constexpr size_t kMaxListedItems = 1000;

// The item and its subtree while the budget of items lasts; a subtree left out for want of it
// is marked, never cut inside an item.
json ItemTree(const API_ClassificationItem& item, int depth, size_t& budget)
{
    --budget;
    json entry = {{"guid", GuidToStr(item.guid)}, {"id", HostNameText(item.id)}, {"name", HostNameText(item.name)}};
    GS::Array<API_ClassificationItem> children;
    // Deep trees stop at a depth no real system reaches, so a cycle cannot run away.
    if (depth < 16 && ACAPI_Classification_GetClassificationItemChildren(item.guid, children) == NoError &&
        !children.IsEmpty()) {
        json list = json::array();
        for (const API_ClassificationItem& child : children) {
            if (budget == 0) {
                entry["more_children"] = true;
                break;
            }
            list.push_back(ItemTree(child, depth + 1, budget));
        }
        entry["children"] = list;
    }
    return entry;
}

ToolResult ListClassifications(const json&)
{
    GS::Array<API_ClassificationSystem> systems;
    if (GSErrCode err = ACAPI_Classification_GetClassificationSystems(systems))
        return HostFailure("GetClassificationSystems error: ", err);
    json list = json::array();
    size_t budget = kMaxListedItems;
    for (const API_ClassificationSystem& system : systems) {
        GS::Array<API_ClassificationItem> roots;
        if (GSErrCode err = ACAPI_Classification_GetClassificationSystemRootItems(system.guid, roots))
            return HostFailure("GetClassificationSystemRootItems error: ", err);
        json items = json::array();
        json entry = {{"guid", GuidToStr(system.guid)},
                      {"name", HostNameText(system.name)},
                      {"version", HostNameText(system.editionVersion)}};
        for (const API_ClassificationItem& root : roots) {
            if (budget == 0) {
                entry["more_items"] = true;
                break;
            }
            items.push_back(ItemTree(root, 0, budget));
        }
        entry["items"] = items;
        list.push_back(std::move(entry));
    }
    return DataResult(json{{"systems", list}});
}

ToolResult GetElementClassifications(const json& input)
{
    const std::vector<std::string> texts = input.value("element_guids", std::vector<std::string>());
    GS::Array<API_Guid> guids;
    if (std::optional<ToolResult> refused = ReadElements(texts, kMaxReadElements, guids)) return *refused;
    json elements = json::array();
    for (const API_Guid& guid : guids)
        elements.push_back({{"guid", GuidToStr(guid)}, {"classifications", ElementClassifications(guid)}});
    return DataResult(json{{"elements", elements}});
}

// Searches the item tree below item (and item itself) for the id.
bool FindItemById(const API_ClassificationItem& item, const std::string& id, int depth, API_ClassificationItem& found)
{
    if (HostNameText(item.id) == id) {
        found = item;
        return true;
    }
    GS::Array<API_ClassificationItem> children;
    if (depth >= 16 || ACAPI_Classification_GetClassificationItemChildren(item.guid, children) != NoError) return false;
    for (const API_ClassificationItem& child : children)
        if (FindItemById(child, id, depth + 1, found)) return true;
    return false;
}

// The item named by GUID, or by id within the named system (or the only system there is).
std::optional<std::string> FindItem(const std::string& text, const std::string& systemText,
                                    API_ClassificationItem& found)
{
    found.guid = ParseGuid(text);
    if (found.guid != APINULLGuid) {
        if (ACAPI_Classification_GetClassificationItem(found) != NoError) return "Unknown classification item: " + text;
        return std::nullopt;
    }
    GS::Array<API_ClassificationSystem> systems;
    if (GSErrCode err = ACAPI_Classification_GetClassificationSystems(systems))
        return "GetClassificationSystems error: " + std::to_string(err);
    const API_Guid systemGuid = ParseGuid(systemText);
    int searched = 0;
    for (const API_ClassificationSystem& system : systems) {
        if (!systemText.empty() && system.guid != systemGuid && HostNameText(system.name) != systemText) continue;
        ++searched;
        GS::Array<API_ClassificationItem> roots;
        if (ACAPI_Classification_GetClassificationSystemRootItems(system.guid, roots) != NoError) continue;
        for (const API_ClassificationItem& root : roots)
            if (FindItemById(root, text, 0, found)) return std::nullopt;
    }
    if (!systemText.empty() && searched == 0) return "Unknown classification system: " + systemText;
    if (systemText.empty() && systems.GetSize() > 1)
        return "Unknown classification item: " + text + " (name the system when there are several)";
    return "Unknown classification item: " + text;
}

ToolResult SetElementClassification(const json& input)
{
    const std::string itemText = StringInput(input, "item");
    const std::string systemText = StringInput(input, "system");
    const std::vector<std::string> texts = input.value("element_guids", std::vector<std::string>());
    if (itemText.empty()) return ToolResult::Fail("item is required");
    API_ClassificationItem item;
    if (std::optional<std::string> error = FindItem(itemText, systemText, item)) return ToolResult::Fail(*error);
    GS::Array<API_Guid> guids;
    if (std::optional<ToolResult> refused = ReadElements(texts, SIZE_MAX, guids)) return *refused;

    return UndoableCommand(
        "Quillmere: Set Classification", "SetClassification",
        [&]() -> GSErrCode {
            for (const API_Guid& guid : guids)
                if (GSErrCode err = ACAPI_Element_AddClassificationItem(guid, item.guid)) return err;
            return NoError;
        },
        [&] {
            return ToolResult::Ok("", "Classified " + std::to_string(guids.GetSize()) + " element(s) as " +
                                          HostNameText(item.id) + " " + HostNameText(item.name));
        });
}

}  // namespace

void RegisterPropertyTools(ToolRegistry& registry)
{
    Tool(registry, "list_property_definitions",
         "List the project's property groups (user-defined or built in) and their definitions with GUID, value "
         "type and whether they can be set.")
        .Handler(ListPropertyDefinitions);

    Tool(registry, "get_element_properties",
         "Get property values of up to 100 elements: of the named definitions, or of every user-defined one.")
        .Array("element_guids", "GUIDs of the elements (at most 100)", {{"type", "string"}})
        .Array("definitions", "Definition GUIDs or \"Group/Name\" (default: every user-defined property)",
               {{"type", "string"}})
        .Required({"element_guids"})
        .Handler(GetElementProperties);

    Tool(registry, "set_element_property",
         "Set one property to one value on one or more elements, as one undo step. The value must suit the "
         "property's type; a read-only property or an element it does not apply to refuses the whole change.")
        .String("definition", "Definition GUID or \"Group/Name\" (see list_property_definitions)")
        .String("value", "The value as text: e.g. \"REI 60\", \"12\", \"0.25\", \"true\"")
        .Array("element_guids", "GUIDs of the elements to change", {{"type", "string"}})
        .Required({"definition", "value", "element_guids"})
        .Handler(SetElementProperty);

    Tool(registry, "list_classifications", "List the classification systems and their item trees (GUID, id, name).")
        .Handler(ListClassifications);

    Tool(registry, "get_element_classifications",
         "Get the classification item of up to 100 elements in each classification system.")
        .Array("element_guids", "GUIDs of the elements (at most 100)", {{"type", "string"}})
        .Required({"element_guids"})
        .Handler(GetElementClassifications);

    Tool(registry, "set_element_classification",
         "Classify one or more elements as one item of a classification system (replacing their item in that "
         "system), as one undo step.")
        .String("item", "Item id (e.g. \"QC-11\") or GUID")
        .String("system", "System name or GUID (needed only when several systems have the id)")
        .Array("element_guids", "GUIDs of the elements to classify", {{"type", "string"}})
        .Required({"item", "element_guids"})
        .Handler(SetElementClassification);
}
