#pragma once

// The test interface of properties and classifications: add groups, definitions, systems and
// items, give elements their own values and classifications, and find the default ones by
// name. Tests use it with HostTesting.hpp; the add-on never includes it.

#include <string>

#include "ACAPinc.h"
#include "HostTesting.hpp"

namespace HostTesting {

// Variants of each kind (the unsupported kind: an enumeration key).
API_Variant IntegerVariant(Int32 value);
API_Variant RealVariant(double value);
API_Variant StringVariant(const std::string& value);
API_Variant BooleanVariant(bool value);
API_Variant GuidVariant(const API_Guid& value);

// A new group after the others; returns its GUID.
API_Guid AddPropertyGroup(const std::string& name);
// A new definition at the end of its group, of the default value's type.
API_Guid AddPropertyDefinition(const API_Guid& group, const std::string& name, const API_Variant& defaultValue,
                               API_PropertyCollectionType collection = API_PropertySingleCollectionType);
// The element's own value (no longer its default).
void SetPropertyValue(const API_Guid& element, const API_Guid& definition, const API_Variant& value);
// Removes every group and definition, and every element's values.
void ClearProperties();

API_Guid AddClassificationSystem(const std::string& name);
API_Guid AddClassificationItem(const API_Guid& system, const std::string& id, const std::string& name);
// Classifies the element in the item's system (replacing its item there, as the host allows
// one item per system).
void ClassifyElement(const API_Guid& element, const API_Guid& item);

// The default project's groups, definitions, system and items by name (GUIDs fixed by name).
API_Guid DefaultPropertyGroup(const std::string& name);
API_Guid DefaultPropertyDefinition(const std::string& group, const std::string& name);
API_Guid DefaultClassificationSystem();
API_Guid DefaultClassificationItem(const std::string& id);

}  // namespace HostTesting
