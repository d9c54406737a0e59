// Property values and classifications of one element, read through the host.
#include "tools/PropertyReading.hpp"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "core/ElementFunctions.hpp"
#include "core/OutsideText.hpp"
#include "tools/HostText.hpp"
#include "tools/ToolKit.hpp"

using json = nlohmann::json;

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
    json entry = {{"name", HostNameText(property.definition.name)}, {"group", HostNameText(groupName)}};
    const API_Variant& value = property.value.singleVariant.variant;
    entry["type"] = ValueTypeWord(value.type);
    switch (value.type) {
    case API_PropertyIntegerValueType: entry["value"] = value.intValue; break;
    case API_PropertyRealValueType: entry["value"] = value.doubleValue; break;
    case API_PropertyStringValueType: entry["value"] = HostNameText(value.uniStringValue); break;
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
                           {"id", HostNameText(item.id)},
                           {"name", HostNameText(item.name)}});
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
        if (guid == APINULLGuid && (slash == std::string::npos || HostNameText(group.name) != text.substr(0, slash)))
            continue;
        GS::Array<API_PropertyDefinition> definitions;
        if (ACAPI_Property_GetPropertyDefinitions(group.guid, definitions) != NoError) continue;
        for (const API_PropertyDefinition& definition : definitions) {
            const bool named =
                guid != APINULLGuid ? definition.guid == guid : HostNameText(definition.name) == text.substr(slash + 1);
            if (!named) continue;
            found = definition;
            if (groupName != nullptr) *groupName = group.name;
            return std::nullopt;
        }
    }
    return "Unknown property definition: " + text;
}

namespace {

// Read to its very end: a NUL inside the text does not end the number early.
bool WholeText(const std::string& text, const char* end) { return !text.empty() && end == text.data() + text.size(); }

// The value as the refusal quotes it: short, whatever came in.
std::string Quoted(const json& value)
{
    return CutText(value.is_string() ? value.get<std::string>() : value.dump(), 40);
}

}  // namespace

std::optional<std::string> VariantFromInput(const json& value, API_VariantType type, API_Variant& variant)
{
    variant = API_Variant();
    variant.type = type;
    const std::string text = value.is_string() ? value.get<std::string>() : std::string();
    const std::string notOfType = std::string("is not a ") + ValueTypeWord(type) + " value";
    char* end = nullptr;
    switch (type) {
    case API_PropertyStringValueType:
        if (!value.is_string()) return notOfType;
        // Host text ends at its first NUL: such a value would be stored cut.
        if (text.find('\0') != std::string::npos) return "holds a NUL character, which a string value cannot hold";
        variant.uniStringValue = GS::UniString(text.c_str());
        return std::nullopt;
    case API_PropertyBooleanValueType:
        if (value.is_boolean())
            variant.boolValue = value.get<bool>();
        else if (text == "true" || text == "false")
            variant.boolValue = text == "true";
        else
            return notOfType;
        return std::nullopt;
    case API_PropertyIntegerValueType: {
        // Unsigned JSON numbers past the signed range would wrap when read as signed.
        bool inRange = false;
        long long number = 0;
        if (value.is_number_unsigned()) {
            inRange = value.get<std::uint64_t>() <= std::uint64_t(INT32_MAX);
            number = inRange ? value.get<long long>() : 0;
        } else if (value.is_number_integer()) {
            number = value.get<long long>();
            inRange = number >= INT32_MIN && number <= INT32_MAX;
        } else if (value.is_string()) {
            errno = 0;
            number = std::strtoll(text.c_str(), &end, 10);
            if (!WholeText(text, end)) return notOfType;
            inRange = errno != ERANGE && number >= INT32_MIN && number <= INT32_MAX;
        } else
            return notOfType;
        if (!inRange)
            return Quoted(value) + " is outside the integer range " + std::to_string(INT32_MIN) + " to " +
                   std::to_string(INT32_MAX);
        variant.intValue = Int32(number);
        return std::nullopt;
    }
    case API_PropertyRealValueType:
        if (value.is_number())
            variant.doubleValue = value.get<double>();
        else if (value.is_string()) {
            variant.doubleValue = std::strtod(text.c_str(), &end);
            if (!WholeText(text, end)) return notOfType;
        } else
            return notOfType;
        if (!std::isfinite(variant.doubleValue))
            return Quoted(value) + " is outside the real range of +/-" +
                   json(std::numeric_limits<double>::max()).dump();
        return std::nullopt;
    default: return notOfType;
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
