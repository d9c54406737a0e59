// Writing an element's property values and classifications, inside an undoable command: each
// write records how to take it back (and make it again) in the running step.
#include <optional>

#include "project/Project.hpp"
#include "properties/PropertyStore.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

// The element's own value of the definition, if it has one.
std::optional<API_PropertyValue> OwnValue(const API_Guid& element, const API_Guid& definition)
{
    const PropertyStore& store = TheProperties();
    const auto own = store.values.find(element);
    if (own == store.values.end()) return std::nullopt;
    const auto value = own->second.find(definition);
    if (value == own->second.end()) return std::nullopt;
    return value->second;
}

void PutOwnValue(const API_Guid& element, const API_Guid& definition, const std::optional<API_PropertyValue>& value)
{
    PropertyStore& store = TheProperties();
    if (value)
        store.values[element][definition] = *value;
    else if (store.values.count(element) != 0)
        store.values[element].erase(definition);
}

bool ValueHasType(const API_PropertyValue& value, API_VariantType type, API_PropertyCollectionType collection)
{
    if (collection == API_PropertyListCollectionType ||
        collection == API_PropertyMultipleChoiceEnumerationCollectionType) {
        for (const API_Variant& variant : value.listVariant)
            if (variant.type != type) return false;
        return true;
    }
    return value.singleVariant.variant.type == type;
}

// Text values are kept as C strings would hold them: one holding U+0000 is refused, never cut.
bool HoldsNul(const API_PropertyValue& value)
{
    const auto nul = [](const API_Variant& variant) {
        return variant.type == API_PropertyStringValueType &&
               variant.uniStringValue.Units().find(u'\0') != std::u16string::npos;
    };
    for (const API_Variant& variant : value.listVariant)
        if (nul(variant)) return true;
    return nul(value.singleVariant.variant);
}

}  // namespace

GSErrCode ACAPI_Element_SetProperty(const API_Guid& elemGuid, const API_Property& property)
{
    const API_Guid definitionGuid = property.definition.guid;
    ApiCall call("ACAPI_Element_SetProperty", GuidText(elemGuid) + " definition=" + GuidText(definitionGuid),
                 CallContext{elemGuid});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    Project& project = TheProject();
    if (!project.InCommand()) return call.Return(APIERR_NEEDSUNDOSCOPE);
    const StoredElement* element = project.FindElement(elemGuid);
    if (element == nullptr) return call.Return(APIERR_BADID);
    const PropertyStore& store = TheProperties();
    const auto definition = store.definitions.find(definitionGuid);
    if (definition == store.definitions.end()) return call.Return(APIERR_BADID);
    const API_PropertyDefinition& record = definition->second.record;
    if (!definition->second.AvailableFor(element->record.header.type.typeID)) return call.Return(APIERR_BADPROPERTY);
    if (!record.canValueBeEditable) return call.Return(APIERR_READONLY);
    if (!ValueHasType(property.value, record.valueType, record.collectionType) || HoldsNul(property.value))
        return call.Return(APIERR_BADVALUE);

    const std::optional<API_PropertyValue> before = OwnValue(elemGuid, definitionGuid);
    API_PropertyValue after = property.value;
    after.variantStatus = API_VariantStatusNormal;
    PutOwnValue(elemGuid, definitionGuid, after);
    project.RecordUndo([=] { PutOwnValue(elemGuid, definitionGuid, before); },
                       [=] { PutOwnValue(elemGuid, definitionGuid, after); });
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_AddClassificationItem(const API_Guid& elemGuid, const API_Guid& classificationItemGuid)
{
    ApiCall call("ACAPI_Element_AddClassificationItem",
                 GuidText(elemGuid) + " item=" + GuidText(classificationItemGuid), CallContext{elemGuid});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    Project& project = TheProject();
    if (!project.InCommand()) return call.Return(APIERR_NEEDSUNDOSCOPE);
    if (project.FindElement(elemGuid) == nullptr) return call.Return(APIERR_BADID);
    PropertyStore& store = TheProperties();
    if (store.items.count(classificationItemGuid) == 0) return call.Return(APIERR_BADID);

    const auto found = store.classifications.find(elemGuid);
    using Pairs = std::vector<std::pair<API_Guid, API_Guid>>;
    const std::optional<Pairs> before =
        found == store.classifications.end() ? std::nullopt : std::optional<Pairs>(found->second);
    store.Classify(elemGuid, classificationItemGuid);
    const Pairs after = store.classifications[elemGuid];
    auto put = [elemGuid](const std::optional<Pairs>& pairs) {
        PropertyStore& current = TheProperties();
        if (pairs)
            current.classifications[elemGuid] = *pairs;
        else
            current.classifications.erase(elemGuid);
    };
    project.RecordUndo([=] { put(before); }, [=] { put(after); });
    return call.Return(NoError);
}
