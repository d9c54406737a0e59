// The type-word table: one list, read both ways; and the drafting types.
#include "tools/TypeWords.hpp"

#include <algorithm>
#include <iterator>

namespace {

struct TypeWordEntry {
    API_ElemTypeID type;
    const char* word;
};

constexpr TypeWordEntry kTypeWords[] = {
    {API_WallID, "wall"},           {API_ColumnID, "column"},     {API_BeamID, "beam"}, {API_WindowID, "window"},
    {API_DoorID, "door"},           {API_ObjectID, "object"},     {API_SlabID, "slab"}, {API_RoofID, "roof"},
    {API_DimensionID, "dimension"}, {API_TextID, "text"},         {API_ZoneID, "zone"}, {API_HatchID, "fill"},
    {API_LineID, "line"},           {API_PolyLineID, "polyline"}, {API_ArcID, "arc"},   {API_SplineID, "spline"},
    {API_HotspotID, "hotspot"},
};

constexpr API_ElemTypeID kDraftingTypes[] = {API_DimensionID, API_TextID, API_LabelID,  API_HatchID,  API_LineID,
                                             API_PolyLineID,  API_ArcID,  API_CircleID, API_SplineID, API_HotspotID};

}  // namespace

const char* TypeWord(API_ElemTypeID type)
{
    for (const TypeWordEntry& entry : kTypeWords)
        if (entry.type == type) return entry.word;
    return "unknown";
}

std::optional<API_ElemTypeID> TypeOfWord(const std::string& word)
{
    for (const TypeWordEntry& entry : kTypeWords)
        if (word == entry.word) return entry.type;
    return std::nullopt;
}

const std::vector<API_ElemTypeID>& WordedTypes()
{
    static const std::vector<API_ElemTypeID> types = [] {
        std::vector<API_ElemTypeID> all;
        for (const TypeWordEntry& entry : kTypeWords) all.push_back(entry.type);
        return all;
    }();
    return types;
}

const std::string& TypeWordList()
{
    static const std::string list = [] {
        std::string text;
        for (const TypeWordEntry& entry : kTypeWords) text += (text.empty() ? "" : ", ") + std::string(entry.word);
        return text;
    }();
    return list;
}

bool IsDraftingType(API_ElemTypeID type)
{
    return std::find(std::begin(kDraftingTypes), std::end(kDraftingTypes), type) != std::end(kDraftingTypes);
}
