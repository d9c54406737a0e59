// Reading properties and classifications: groups, definitions, an element's value of a
// definition, an element's classifications, the systems and their item trees.
#include "project/Project.hpp"
#include "properties/PropertyStore.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

GSErrCode ACAPI_Property_GetPropertyGroups(GS::Array<API_PropertyGroup>& groups)
{
    ApiCall call("ACAPI_Property_GetPropertyGroups", "groups");
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    const PropertyStore& store = TheProperties();
    groups.Clear();
    for (const API_Guid& guid : store.groupOrder) groups.Push(store.groups.at(guid).record);
    return call.Return(NoError);
}

GSErrCode ACAPI_Property_GetPropertyDefinitions(const API_Guid& groupGuid,
                                                GS::Array<API_PropertyDefinition>& definitions)
{
    ApiCall call("ACAPI_Property_GetPropertyDefinitions", "", CallContext{groupGuid});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    const PropertyStore& store = TheProperties();
    const auto group = store.groups.find(groupGuid);
    if (group == store.groups.end()) return call.Return(APIERR_BADID);
    definitions.Clear();
    for (const API_Guid& guid : group->second.definitions) definitions.Push(store.definitions.at(guid).record);
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_GetPropertyValue(const API_Guid& elemGuid, const API_Guid& propertyDefinitionGuid,
                                         API_Property& property)
{
    ApiCall call("ACAPI_Element_GetPropertyValue",
                 GuidText(elemGuid) + " definition=" + GuidText(propertyDefinitionGuid), CallContext{elemGuid});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (GSErrCode injected = call.InjectedFor(CallContext{propertyDefinitionGuid})) return call.Return(injected);
    if (TheProject().FindElement(elemGuid) == nullptr) return call.Return(APIERR_BADID);
    const PropertyStore& store = TheProperties();
    const auto definition = store.definitions.find(propertyDefinitionGuid);
    if (definition == store.definitions.end()) return call.Return(APIERR_BADID);
    if (!definition->second.AvailableFor(TheProject().FindElement(elemGuid)->record.header.type.typeID))
        return call.Return(APIERR_BADPROPERTY);

    property = API_Property();
    property.definition = definition->second.record;
    property.status = API_Property_HasValue;
    property.value = definition->second.record.defaultValue.basicValue;
    property.isDefault = true;
    const auto own = store.values.find(elemGuid);
    if (own != store.values.end()) {
        const auto value = own->second.find(propertyDefinitionGuid);
        if (value != own->second.end()) {
            property.value = value->second;
            property.isDefault = false;
        }
    }
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_GetClassificationItems(const API_Guid& elemGuid,
                                               GS::Array<GS::Pair<API_Guid, API_Guid>>& systemItemPairs)
{
    ApiCall call("ACAPI_Element_GetClassificationItems", "", CallContext{elemGuid});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (TheProject().FindElement(elemGuid) == nullptr) return call.Return(APIERR_BADID);
    systemItemPairs.Clear();
    const PropertyStore& store = TheProperties();
    const auto pairs = store.classifications.find(elemGuid);
    if (pairs != store.classifications.end())
        for (const auto& pair : pairs->second)
            systemItemPairs.Push(GS::Pair<API_Guid, API_Guid>(pair.first, pair.second));
    return call.Return(NoError);
}

GSErrCode ACAPI_Classification_GetClassificationItem(API_ClassificationItem& item)
{
    ApiCall call("ACAPI_Classification_GetClassificationItem", "", CallContext{item.guid});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    const PropertyStore& store = TheProperties();
    const auto found = store.items.find(item.guid);
    if (found == store.items.end()) return call.Return(APIERR_BADID);
    item = found->second.record;
    return call.Return(NoError);
}

GSErrCode ACAPI_Property_GetPropertyDefinition(API_PropertyDefinition& definition)
{
    ApiCall call("ACAPI_Property_GetPropertyDefinition", "", CallContext{definition.guid});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    const PropertyStore& store = TheProperties();
    const auto found = store.definitions.find(definition.guid);
    if (found == store.definitions.end()) return call.Return(APIERR_BADID);
    definition = found->second.record;
    return call.Return(NoError);
}

bool ACAPI_Element_IsPropertyDefinitionAvailable(const API_Guid& elemGuid, const API_Guid& propertyDefinitionGuid)
{
    ApiCall call("ACAPI_Element_IsPropertyDefinitionAvailable", "", CallContext{elemGuid});
    if (call.Return(call.Injected()) != NoError) return false;  // an injected failure reads as "not available"
    const StoredElement* element = TheProject().FindElement(elemGuid);
    const PropertyStore& store = TheProperties();
    const auto definition = store.definitions.find(propertyDefinitionGuid);
    return element != nullptr && definition != store.definitions.end() &&
           definition->second.AvailableFor(element->record.header.type.typeID);
}

GSErrCode ACAPI_Classification_GetClassificationSystems(GS::Array<API_ClassificationSystem>& systems)
{
    ApiCall call("ACAPI_Classification_GetClassificationSystems", "");
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    const PropertyStore& store = TheProperties();
    systems.Clear();
    for (const API_Guid& guid : store.systemOrder) systems.Push(store.systems.at(guid));
    return call.Return(NoError);
}

namespace {

void PushItems(const PropertyStore& store, const std::vector<API_Guid>& guids, GS::Array<API_ClassificationItem>& out)
{
    out.Clear();
    for (const API_Guid& guid : guids) out.Push(store.items.at(guid).record);
}

}  // namespace

GSErrCode ACAPI_Classification_GetClassificationSystemRootItems(const API_Guid& systemGuid,
                                                                GS::Array<API_ClassificationItem>& items)
{
    ApiCall call("ACAPI_Classification_GetClassificationSystemRootItems", "", CallContext{systemGuid});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    const PropertyStore& store = TheProperties();
    if (store.systems.count(systemGuid) == 0) return call.Return(APIERR_BADID);
    const auto roots = store.rootItems.find(systemGuid);
    PushItems(store, roots == store.rootItems.end() ? std::vector<API_Guid>() : roots->second, items);
    return call.Return(NoError);
}

GSErrCode ACAPI_Classification_GetClassificationItemChildren(const API_Guid& itemGuid,
                                                             GS::Array<API_ClassificationItem>& children)
{
    ApiCall call("ACAPI_Classification_GetClassificationItemChildren", "", CallContext{itemGuid});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    const PropertyStore& store = TheProperties();
    const auto item = store.items.find(itemGuid);
    if (item == store.items.end()) return call.Return(APIERR_BADID);
    PushItems(store, item->second.children, children);
    return call.Return(NoError);
}

GSErrCode ACAPI_Classification_GetClassificationItemSystem(const API_Guid& itemGuid, API_ClassificationSystem& system)
{
    ApiCall call("ACAPI_Classification_GetClassificationItemSystem", "", CallContext{itemGuid});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    const PropertyStore& store = TheProperties();
    const auto item = store.items.find(itemGuid);
    if (item == store.items.end()) return call.Return(APIERR_BADID);
    const auto found = store.systems.find(item->second.system);
    if (found == store.systems.end()) return call.Return(APIERR_BADID);
    system = found->second;
    return call.Return(NoError);
}
