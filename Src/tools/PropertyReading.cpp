// Property values and classifications of one element, read through the host.
#include "tools/PropertyReading.hpp"

#include <cmath>
#include <cstdlib>

#include "core/ElementFunctions.hpp"
#include "tools/ToolKit.hpp"

using json = nlohmann::json;

std::string Narrow(const GS::UniString& text) { return text.ToCStr(0, MaxUSize, CC_Default).Get(); }

const char* ValueTypeWord(API_VariantType type)
{
    switch (type) {
    case API_PropertyIntegerValueType: return "integer";
    case API_PropertyRealValueType: return "real";
    case API_PropertyStringValueType: return "string";
    case API_PropertyBooleanValueType: return "boolean";
    default: return "unsupported";
    }
}

json PropertyEntry(const API_Property& property, const GS::UniString& groupName)
{
    json entry = {{"name", Narrow(property.definition.name)}, {"group", Narrow(groupName)}};
    const API_Variant& value = property.value.singleVariant.variant;
    entry["type"] = ValueTypeWord(value.type);
    switch (value.type) {
    case API_PropertyIntegerValueType: entry["value"] = value.intValue; break;
    case API_PropertyRealValueType: entry["value"] = value.doubleValue; break;
    case API_PropertyStringValueType: entry["value"] = Narrow(value.uniStringValue); break;
    case API_PropertyBooleanValueType: entry["value"] = value.boolValue; break;
    default: break;
    }
    if (property.isDefault) entry["is_default"] = true;
    return entry;
}

json ElementProperties(const API_Guid& element)
{
    json entries = json::array();
    GS::Array<API_PropertyGroup> groups;
    if (ACAPI_Property_GetPropertyGroups(groups) != NoError) return entries;
    for (const API_PropertyGroup& group : groups) {
        GS::Array<API_PropertyDefinition> definitions;
        if (ACAPI_Property_GetPropertyDefinitions(group.guid, definitions) != NoError) continue;
        for (const API_PropertyDefinition& definition : definitions) {
            API_Property property;
            if (ACAPI_Element_GetPropertyValue(element, definition.guid, property) != NoError) continue;
            entries.push_back(PropertyEntry(property, group.name));
        }
    }
    return entries;
}

json ElementClassifications(const API_Guid& element)
{
    json entries = json::array();
    GS::Array<GS::Pair<API_Guid, API_Guid>> pairs;
    if (ACAPI_Element_GetClassificationItems(element, pairs) != NoError) return entries;
    for (const auto& pair : pairs) {
        API_ClassificationItem item;
        item.guid = pair.second;
        if (ACAPI_Classification_GetClassificationItem(item) != NoError) continue;
        entries.push_back({{"system_guid", GuidToStr(pair.first)},
                           {"item_guid", GuidToStr(pair.second)},
                           {"id", Narrow(item.id)},
                           {"name", Narrow(item.name)}});
    }
    return entries;
}

std::optional<std::string> FindPropertyDefinition(const std::string& text, API_PropertyDefinition& found,
                                                  GS::UniString* groupName)
{
    const API_Guid guid = ParseGuid(text);
    const size_t slash = text.find('/');
    GS::Array<API_PropertyGroup> groups;
    if (GSErrCode err = ACAPI_Property_GetPropertyGroups(groups))
        return "GetPropertyGroups error: " + std::to_string(err);
    for (const API_PropertyGroup& group : groups) {
        if (guid == APINULLGuid && (slash == std::string::npos || Narrow(group.name) != text.substr(0, slash)))
            continue;
        GS::Array<API_PropertyDefinition> definitions;
        if (ACAPI_Property_GetPropertyDefinitions(group.guid, definitions) != NoError) continue;
        for (const API_PropertyDefinition& definition : definitions) {
            const bool named =
                guid != APINULLGuid ? definition.guid == guid : Narrow(definition.name) == text.substr(slash + 1);
            if (!named) continue;
            found = definition;
            if (groupName != nullptr) *groupName = group.name;
            return std::nullopt;
        }
    }
    return "Unknown property definition: " + text;
}

namespace {

bool WholeText(const std::string& text, const char* end) { return !text.empty() && *end == '\0'; }

}  // namespace

bool VariantFromInput(const json& value, API_VariantType type, API_Variant& variant)
{
    variant = API_Variant();
    variant.type = type;
    const std::string text = value.is_string() ? value.get<std::string>() : std::string();
    char* end = nullptr;
    switch (type) {
    case API_PropertyStringValueType:
        if (!value.is_string()) return false;
        variant.uniStringValue = GS::UniString(text.c_str());
        return true;
    case API_PropertyBooleanValueType:
        if (value.is_boolean())
            variant.boolValue = value.get<bool>();
        else if (text == "true" || text == "false")
            variant.boolValue = text == "true";
        else
            return false;
        return true;
    case API_PropertyIntegerValueType: {
        long long number = 0;
        if (value.is_number_integer())
            number = value.get<long long>();
        else if (value.is_string()) {
            number = std::strtoll(text.c_str(), &end, 10);
            if (!WholeText(text, end)) return false;
        } else
            return false;
        if (number < INT32_MIN || number > INT32_MAX) return false;
        variant.intValue = Int32(number);
        return true;
    }
    case API_PropertyRealValueType:
        if (value.is_number())
            variant.doubleValue = value.get<double>();
        else if (value.is_string()) {
            variant.doubleValue = std::strtod(text.c_str(), &end);
            if (!WholeText(text, end)) return false;
        } else
            return false;
        return std::isfinite(variant.doubleValue);
    default: return false;
    }
}

bool SameVariant(const API_Variant& a, const API_Variant& b)
{
    if (a.type != b.type) return false;
    switch (a.type) {
    case API_PropertyIntegerValueType: return a.intValue == b.intValue;
    case API_PropertyRealValueType: return a.doubleValue == b.doubleValue;
    case API_PropertyStringValueType: return a.uniStringValue == b.uniStringValue;
    case API_PropertyBooleanValueType: return a.boolValue == b.boolValue;
    case API_PropertyGuidValueType: return a.guidValue == b.guidValue;
    default: return false;
    }
}
