// The test interface of properties and classifications.
#include "HostTestingProperties.hpp"

#include "gs/GuidSource.hpp"
#include "properties/PropertyStore.hpp"

using namespace HostInternal;

namespace HostTesting {

namespace {

API_Variant Make(API_VariantType type)
{
    API_Variant v;
    v.type = type;
    return v;
}

}  // namespace

API_Variant IntegerVariant(Int32 value)
{
    API_Variant v = Make(API_PropertyIntegerValueType);
    v.intValue = value;
    return v;
}
API_Variant RealVariant(double value)
{
    API_Variant v = Make(API_PropertyRealValueType);
    v.doubleValue = value;
    return v;
}
API_Variant StringVariant(const std::string& value)
{
    API_Variant v = Make(API_PropertyStringValueType);
    v.uniStringValue = GS::UniString(value);
    return v;
}
API_Variant BooleanVariant(bool value)
{
    API_Variant v = Make(API_PropertyBooleanValueType);
    v.boolValue = value;
    return v;
}
API_Variant GuidVariant(const API_Guid& value)
{
    API_Variant v = Make(API_PropertyGuidValueType);
    v.guidValue = value;
    return v;
}

API_Guid AddPropertyGroup(const std::string& name)
{
    PropertyStore& store = TheProperties();
    StoredGroup group;
    group.record.guid = NextGuid();
    group.record.name = GS::UniString(name);
    store.groupOrder.push_back(group.record.guid);
    store.groups[group.record.guid] = group;
    return group.record.guid;
}

API_Guid AddPropertyDefinition(const API_Guid& group, const std::string& name, const API_Variant& defaultValue,
                               API_PropertyCollectionType collection)
{
    PropertyStore& store = TheProperties();
    StoredDefinition def;
    def.record.guid = NextGuid();
    def.record.groupGuid = group;
    def.record.name = GS::UniString(name);
    def.record.collectionType = collection;
    def.record.valueType = defaultValue.type;
    def.record.defaultValue.basicValue.variantStatus = API_VariantStatusNormal;
    def.record.defaultValue.basicValue.singleVariant.variant = defaultValue;
    store.definitions[def.record.guid] = def;
    store.groups[group].definitions.push_back(def.record.guid);
    return def.record.guid;
}

void SetPropertyValue(const API_Guid& element, const API_Guid& definition, const API_Variant& value)
{
    API_PropertyValue stored;
    stored.variantStatus = API_VariantStatusNormal;
    stored.singleVariant.variant = value;
    TheProperties().values[element][definition] = stored;
}

void ClearProperties()
{
    PropertyStore& store = TheProperties();
    store.groupOrder.clear();
    store.groups.clear();
    store.definitions.clear();
    store.values.clear();
}

API_Guid AddClassificationSystem(const std::string& name)
{
    PropertyStore& store = TheProperties();
    API_ClassificationSystem system;
    system.guid = NextGuid();
    system.name = GS::UniString(name);
    store.systemOrder.push_back(system.guid);
    store.systems[system.guid] = system;
    return system.guid;
}

API_Guid AddClassificationItem(const API_Guid& system, const std::string& id, const std::string& name)
{
    StoredClassificationItem item;
    item.record.guid = NextGuid();
    item.record.id = GS::UniString(id);
    item.record.name = GS::UniString(name);
    item.system = system;
    TheProperties().AddItem(item);
    return item.record.guid;
}

void ClassifyElement(const API_Guid& element, const API_Guid& item) { TheProperties().Classify(element, item); }

API_Guid DefaultPropertyGroup(const std::string& name) { return NamedGuid("group:" + name); }
API_Guid DefaultPropertyDefinition(const std::string& group, const std::string& name)
{
    return NamedGuid("definition:" + group + "/" + name);
}
API_Guid DefaultClassificationSystem() { return NamedGuid("system:Quillmere Classification"); }
API_Guid DefaultClassificationItem(const std::string& id) { return NamedGuid("item:" + id); }

}  // namespace HostTesting
