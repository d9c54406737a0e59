#include "PlanViewLayers.hpp"

#include "ACAPinc.h"
#include "FixedField.hpp"

std::vector<std::string> PlanViewLayers::HiddenNames()
{
    std::vector<std::string> names;
    Int32 count = 0;
    if (ACAPI_Attribute_GetNum(API_LayerID, &count) != NoError) return names;
    for (Int32 index = 1; index <= count; ++index) {
        API_Attribute layer;
        BNClear(layer);
        layer.header.typeID = API_LayerID;
        layer.header.index = index;
        if (ACAPI_Attribute_Get(&layer) == NoError && (layer.header.flags & APILay_Hidden) != 0)
            names.push_back(FixedFieldText(layer.header.name));
    }
    return names;
}
