#pragma once

// Property and classification records: property groups and their definitions, an element's
// value of a definition, classification systems and their items.

#include "GSRoot.hpp"

enum API_VariantType : Int32 {
    API_PropertyUndefinedValueType = 0,
    API_PropertyIntegerValueType = 1,
    API_PropertyRealValueType = 2,
    API_PropertyStringValueType = 3,
    API_PropertyBooleanValueType = 4,
    API_PropertyGuidValueType = 5  // enumeration keys
};

// One value; the member of its type is meaningful.
struct API_Variant {
    API_VariantType type = API_PropertyUndefinedValueType;
    Int32 intValue = 0;
    double doubleValue = 0.0;
    bool boolValue = false;
    GS::UniString uniStringValue;
    API_Guid guidValue = APINULLGuid;
};

struct API_SingleVariant {
    API_Variant variant;
};

enum API_PropertyCollectionType : Int32 {
    API_PropertySingleCollectionType = 0,
    API_PropertyListCollectionType = 1,
    API_PropertySingleChoiceEnumerationCollectionType = 2,
    API_PropertyMultipleChoiceEnumerationCollectionType = 3
};

enum API_PropertyVariantStatus : Int32 { API_VariantStatusNull = 0, API_VariantStatusNormal = 1 };

struct API_PropertyValue {
    API_PropertyVariantStatus variantStatus = API_VariantStatusNull;
    API_SingleVariant singleVariant;     // single and single-choice values
    GS::Array<API_Variant> listVariant;  // list and multiple-choice values
};

enum API_PropertyGroupType : Int32 { API_PropertyStaticBuiltInGroupType = 0, API_PropertyCustomGroupType = 1 };

struct API_PropertyGroup {
    API_Guid guid = APINULLGuid;
    API_PropertyGroupType groupType = API_PropertyCustomGroupType;
    GS::UniString name;
    GS::UniString description;
};

struct API_PropertyDefaultValue {
    API_PropertyValue basicValue;
};

struct API_PropertyDefinition {
    API_Guid guid = APINULLGuid;
    API_Guid groupGuid = APINULLGuid;
    GS::UniString name;
    GS::UniString description;
    API_PropertyCollectionType collectionType = API_PropertySingleCollectionType;
    API_VariantType valueType = API_PropertyStringValueType;
    API_PropertyDefaultValue defaultValue;
    bool canValueBeEditable = true;
};

enum API_PropertyStatus : Int32 {
    API_Property_NotAvailable = 0,
    API_Property_HasValue = 1,
    API_Property_NotEvaluated = 2
};

// An element's value of one definition. isDefault: the element keeps the definition's default.
struct API_Property {
    API_PropertyDefinition definition;
    API_PropertyStatus status = API_Property_NotAvailable;
    API_PropertyValue value;
    bool isDefault = false;
};

struct API_ClassificationSystem {
    API_Guid guid = APINULLGuid;
    GS::UniString name;
    GS::UniString description;
    GS::UniString editionVersion;
};

struct API_ClassificationItem {
    API_Guid guid = APINULLGuid;
    GS::UniString id;
    GS::UniString name;
    GS::UniString description;
};
