#pragma once

// Reading an element's property values and classifications as JSON: the deep capture and the
// property tools show them the same way.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"

// The word for a property value type ("integer", "real", "string", "boolean"), or
// "unsupported".
const char* ValueTypeWord(API_VariantType type);

// The definition named by its GUID text or by "Group/Name" (the group's name up to the first
// '/'); an error text naming it when there is none.
std::optional<std::string> FindPropertyDefinition(const std::string& text, API_PropertyDefinition& found,
                                                  GS::UniString* groupName = nullptr);

// {"name", "group", "type", "value"[, "is_default"]} of one value the host read.
nlohmann::json PropertyEntry(const API_Property& property, const GS::UniString& groupName);

// Every value the element has, of every group's definitions, in the host's order; a
// definition the host refuses for the element is left out.
nlohmann::json ElementProperties(const API_Guid& element);

// [{"system_guid", "item_guid", "id", "name"}] of the element's classifications.
nlohmann::json ElementClassifications(const API_Guid& element);

// A tool's value for a definition of the given type: the JSON value of that type, or its text
// form ("12", "0.25", "true"). When it is neither, lies outside the type's range or is text
// holding a NUL, why not, to follow the value's name: "is not a integer value", "... is outside
// the integer range -2147483648 to 2147483647", "holds a NUL character, ...".
std::optional<std::string> VariantFromInput(const nlohmann::json& value, API_VariantType type, API_Variant& variant);
// Same type and same value.
bool SameVariant(const API_Variant& a, const API_Variant& b);
