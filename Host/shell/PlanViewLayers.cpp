#include "PlanViewLayers.hpp"

#include <set>

#include "ACAPinc.h"

namespace {

std::set<Int32> g_hidden;  // main thread only

template <typename Fn>
void ForEachHiddenLayer(Fn&& fn)
{
    Int32 count = 0;
    if (ACAPI_Attribute_GetNum(API_LayerID, &count) != NoError) return;
    for (Int32 index = 1; index <= count; ++index) {
        API_Attribute layer;
        BNClear(layer);
        layer.header.typeID = API_LayerID;
        layer.header.index = index;
        if (ACAPI_Attribute_Get(&layer) == NoError && (layer.header.flags & APILay_Hidden) != 0) fn(layer);
    }
}

}  // namespace

void PlanViewLayers::Refresh()
{
    g_hidden.clear();
    ForEachHiddenLayer([](const API_Attribute& layer) { g_hidden.insert(layer.header.index); });
}

bool PlanViewLayers::Shows(Int32 layer) { return g_hidden.count(layer) == 0; }

std::vector<std::string> PlanViewLayers::HiddenNames()
{
    std::vector<std::string> names;
    ForEachHiddenLayer([&names](const API_Attribute& layer) { names.emplace_back(layer.header.name); });
    return names;
}
