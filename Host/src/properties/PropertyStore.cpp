// The property and classification data of the open project, and the default project's share.
#include "properties/PropertyStore.hpp"

#include "project/Project.hpp"

namespace HostInternal {

void PropertyStore::Clear() { *this = PropertyStore(); }

PropertyStore& TheProperties()
{
    static PropertyStore store;
    return store;
}

API_Guid NamedGuid(const std::string& name)
{
    // Two FNV-1a passes over the name fill the sixteen bytes; the version nibble says "named".
    UInt64 a = 0xcbf29ce484222325ull, b = 0x84222325cbf29ce4ull;
    for (unsigned char c : name) {
        a = (a ^ c) * 0x100000001b3ull;
        b = (b ^ c) * 0x100000001b3ull + 0x9E37u;
    }
    API_Guid guid;
    std::memcpy(&guid, &a, 8);
    std::memcpy(reinterpret_cast<char*>(&guid) + 8, &b, 8);
    guid.time_hi_and_version = UInt16((guid.time_hi_and_version & 0x0FFF) | 0x5000);
    guid.clock_seq_hi_and_reserved = UInt8((guid.clock_seq_hi_and_reserved & 0x3F) | 0x80);
    return guid;
}

namespace {

API_Variant Variant(API_VariantType type)
{
    API_Variant v;
    v.type = type;
    return v;
}

void AddGroup(PropertyStore& store, const std::string& name, API_PropertyGroupType type)
{
    StoredGroup group;
    group.record.guid = NamedGuid("group:" + name);
    group.record.groupType = type;
    group.record.name = GS::UniString(name);
    store.groupOrder.push_back(group.record.guid);
    store.groups[group.record.guid] = group;
}

void AddDefinition(PropertyStore& store, const std::string& group, const std::string& name,
                   const API_Variant& defaultValue,
                   API_PropertyCollectionType collection = API_PropertySingleCollectionType)
{
    StoredDefinition def;
    def.record.guid = NamedGuid("definition:" + group + "/" + name);
    def.record.groupGuid = NamedGuid("group:" + group);
    def.record.name = GS::UniString(name);
    def.record.collectionType = collection;
    def.record.valueType = defaultValue.type;
    def.record.defaultValue.basicValue.variantStatus = API_VariantStatusNormal;
    if (collection == API_PropertySingleCollectionType ||
        collection == API_PropertySingleChoiceEnumerationCollectionType)
        def.record.defaultValue.basicValue.singleVariant.variant = defaultValue;
    else
        def.record.defaultValue.basicValue.listVariant.Push(defaultValue);
    store.definitions[def.record.guid] = def;
    store.groups[def.record.groupGuid].definitions.push_back(def.record.guid);
}

}  // namespace

void LoadDefaultProperties(Project&)
{
    PropertyStore& store = TheProperties();
    store.Clear();

    AddGroup(store, "General Ratings", API_PropertyStaticBuiltInGroupType);
    API_Variant fire = Variant(API_PropertyStringValueType);
    fire.uniStringValue = GS::UniString("Not rated");
    AddDefinition(store, "General Ratings", "Fire Resistance Rating", fire);
    AddDefinition(store, "General Ratings", "Load Bearing", Variant(API_PropertyBooleanValueType));
    API_Variant acoustic = Variant(API_PropertyIntegerValueType);
    acoustic.intValue = 45;
    AddDefinition(store, "General Ratings", "Acoustic Rating", acoustic);
    API_Variant thermal = Variant(API_PropertyRealValueType);
    thermal.doubleValue = 0.28;
    AddDefinition(store, "General Ratings", "Thermal Transmittance", thermal);

    AddGroup(store, "Project Data", API_PropertyCustomGroupType);
    AddDefinition(store, "Project Data", "Phase", Variant(API_PropertyStringValueType));
    AddDefinition(store, "Project Data", "Finish Options", Variant(API_PropertyGuidValueType),
                  API_PropertySingleChoiceEnumerationCollectionType);

    API_ClassificationSystem system;
    system.guid = NamedGuid("system:Quillmere Classification");
    system.name = GS::UniString("Quillmere Classification");
    system.editionVersion = GS::UniString("1.0");
    store.systemOrder.push_back(system.guid);
    store.systems[system.guid] = system;
    const char* const items[][2] = {{"QC-10", "Walls"},    {"QC-20", "Slabs"},  {"QC-30", "Columns"},
                                    {"QC-40", "Openings"}, {"QC-50", "Spaces"}, {"QC-60", "Roofs"}};
    for (const auto& entry : items) {
        StoredClassificationItem item;
        item.record.guid = NamedGuid(std::string("item:") + entry[0]);
        item.record.id = GS::UniString(entry[0]);
        item.record.name = GS::UniString(entry[1]);
        item.system = system.guid;
        store.items[item.record.guid] = item;
    }
}

}  // namespace HostInternal
