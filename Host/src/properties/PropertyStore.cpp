// The property and classification data of the open project, and the default project's share.
#include "properties/PropertyStore.hpp"

#include "project/Project.hpp"

namespace HostInternal {

void PropertyStore::Clear() { *this = PropertyStore(); }

void PropertyStore::AddItem(const StoredClassificationItem& item)
{
    items[item.record.guid] = item;
    if (item.parent == APINULLGuid)
        rootItems[item.system].push_back(item.record.guid);
    else
        items[item.parent].children.push_back(item.record.guid);
}

void PropertyStore::Classify(const API_Guid& element, const API_Guid& item)
{
    const auto found = items.find(item);
    const API_Guid system = found != items.end() ? found->second.system : APINULLGuid;
    auto& pairs = classifications[element];
    for (auto& pair : pairs) {
        if (pair.first == system) {
            pair.second = item;
            return;
        }
    }
    pairs.emplace_back(system, item);
}

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

StoredDefinition& AddDefinition(PropertyStore& store, const std::string& group, const std::string& name,
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
    store.groups[def.record.groupGuid].definitions.push_back(def.record.guid);
    return store.definitions[def.record.guid] = def;
}

void AddDefaultItem(PropertyStore& store, const API_Guid& system, const char* id, const char* name,
                    const char* parentId = nullptr)
{
    StoredClassificationItem item;
    item.record.guid = NamedGuid(std::string("item:") + id);
    item.record.id = GS::UniString(id);
    item.record.name = GS::UniString(name);
    item.system = system;
    if (parentId != nullptr) item.parent = NamedGuid(std::string("item:") + parentId);
    store.AddItem(item);
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
    AddDefinition(store, "General Ratings", "Load Bearing", Variant(API_PropertyBooleanValueType)).elementTypes = {
        API_WallID, API_ColumnID, API_BeamID, API_SlabID};
    API_Variant acoustic = Variant(API_PropertyIntegerValueType);
    acoustic.intValue = 45;
    AddDefinition(store, "General Ratings", "Acoustic Rating", acoustic);
    API_Variant thermal = Variant(API_PropertyRealValueType);
    thermal.doubleValue = 0.28;
    AddDefinition(store, "General Ratings", "Thermal Transmittance", thermal);
    // Worked out by the host from the element's geometry: shown, never written.
    StoredDefinition& area = AddDefinition(store, "General Ratings", "Gross Area", Variant(API_PropertyRealValueType));
    area.record.canValueBeEditable = false;
    area.elementTypes = {API_SlabID, API_ZoneID};

    AddGroup(store, "Project Data", API_PropertyCustomGroupType);
    AddDefinition(store, "Project Data", "Phase", Variant(API_PropertyStringValueType));
    AddDefinition(store, "Project Data", "Finish Options", Variant(API_PropertyGuidValueType),
                  API_PropertySingleChoiceEnumerationCollectionType);
    // The user's own properties, as a practice's template would bring them.
    AddDefinition(store, "Project Data", "Status", Variant(API_PropertyStringValueType));
    AddDefinition(store, "Project Data", "Cost Code", Variant(API_PropertyStringValueType));
    AddDefinition(store, "Project Data", "Prefabricated", Variant(API_PropertyBooleanValueType));
    API_Variant occupancy = Variant(API_PropertyIntegerValueType);
    AddDefinition(store, "Project Data", "Occupancy", occupancy).elementTypes = {API_ZoneID};

    API_ClassificationSystem system;
    system.guid = NamedGuid("system:Quillmere Classification");
    system.name = GS::UniString("Quillmere Classification");
    system.editionVersion = GS::UniString("1.0");
    store.systemOrder.push_back(system.guid);
    store.systems[system.guid] = system;
    AddDefaultItem(store, system.guid, "QC-10", "Walls");
    AddDefaultItem(store, system.guid, "QC-11", "External Walls", "QC-10");
    AddDefaultItem(store, system.guid, "QC-12", "Internal Walls", "QC-10");
    AddDefaultItem(store, system.guid, "QC-20", "Slabs");
    AddDefaultItem(store, system.guid, "QC-30", "Columns");
    AddDefaultItem(store, system.guid, "QC-40", "Openings");
    AddDefaultItem(store, system.guid, "QC-41", "Doors", "QC-40");
    AddDefaultItem(store, system.guid, "QC-42", "Windows", "QC-40");
    AddDefaultItem(store, system.guid, "QC-50", "Spaces");
    AddDefaultItem(store, system.guid, "QC-60", "Roofs");
}

}  // namespace HostInternal
