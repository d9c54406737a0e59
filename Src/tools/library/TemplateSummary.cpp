// The template summary: one pass over the element lists, reading walls, columns and zones
// one by one for the plan box and the rooms; every other type is only counted.
#include "tools/library/TemplateSummary.hpp"

#include <charconv>
#include <cstdint>

#include "ACAPinc.h"

#include "core/AsciiText.hpp"
#include "tools/BBox.hpp"

using json = nlohmann::json;

namespace {

struct TypeEntry {
    API_ElemTypeID typeID;
    const char* key;
};

// The census visits the types in this order; only walls, columns and zones add points.
const TypeEntry kCensus[] = {
    {API_WallID, "walls"},           {API_SlabID, "slabs"},  {API_ColumnID, "columns"}, {API_BeamID, "beams"},
    {API_RoofID, "roofs"},           {API_DoorID, "doors"},  {API_WindowID, "windows"}, {API_ObjectID, "objects"},
    {API_ZoneID, "zones"},           {API_LineID, "lines"},  {API_ArcID, "arcs"},       {API_TextID, "texts"},
    {API_PolyLineID, "polylines"},   {API_HatchID, "fills"}, {API_SplineID, "splines"}, {API_HotspotID, "hotspots"},
    {API_DimensionID, "dimensions"},
};

const char* const kBathroomWords[] = {"bath", "ensuite", "en-suite", "wc", "toilet", "shower", "powder"};
const char* const kBedroomWords[] = {"bed", "master"};

// A fixed UTF-16 name field as UTF-8, read no further than the field even without a terminator.
template <std::size_t N>
std::string NameText(const GS::uchar_t (&field)[N])
{
    USize length = 0;
    while (length < N && field[length] != 0) ++length;
    return GS::UniString(field, length).ToCStr(0, MaxUSize, CC_Default).Get();
}

json ReadStories()
{
    json stories = json::array();
    API_StoryInfo info;
    BNClear(info);
    if (ACAPI_Environment(APIEnv_GetStorySettingsID, &info) != NoError) return stories;
    if (info.data != nullptr) {
        // The range the record names, but never past the records the handle really holds.
        const std::size_t held =
            std::size_t(BMGetHandleSize(reinterpret_cast<GSHandle>(info.data))) / sizeof(API_StoryType);
        const API_StoryType* records = *info.data;
        for (Int32 i = info.firstStory; i <= info.lastStory; ++i) {
            const std::size_t slot = std::size_t(i - info.firstStory);
            if (slot >= held) break;
            stories.push_back(
                {{"index", i}, {"name", NameText(records[slot].uName)}, {"elevation", records[slot].level}});
        }
    }
    BMKillHandle(reinterpret_cast<GSHandle*>(&info.data));
    return stories;
}

bool ContainsAny(const std::string& text, const char* const* words, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (text.find(words[i]) != std::string::npos) return true;
    return false;
}

struct Census {
    json counts;  // null until the first type with elements
    std::uint32_t total = 0;
    BBox box;
    json rooms = json::array();
    std::int32_t bedrooms = 0;
    std::int32_t bathrooms = 0;

    void AddZone(const API_ZoneType& zone)
    {
        box.Extend(zone.pos.x, zone.pos.y);
        const std::string name = NameText(zone.roomName);
        if (name.empty()) return;
        rooms.push_back({{"name", name}});
        switch (ClassifyRoomName(name)) {
        case RoomKind::Bathroom: ++bathrooms; break;
        case RoomKind::Bedroom: ++bedrooms; break;
        case RoomKind::Other: break;
        }
    }

    void AddPoints(const API_Guid& guid, API_ElemTypeID typeID)
    {
        API_Element element;
        BNClear(element);
        element.header.guid = guid;
        if (ACAPI_Element_Get(&element) != NoError) return;  // counted, but adds no point
        switch (typeID) {
        case API_WallID:
            box.Extend(element.wall.begC.x, element.wall.begC.y);
            box.Extend(element.wall.endC.x, element.wall.endC.y);
            break;
        case API_ColumnID: box.Extend(element.column.origoPos.x, element.column.origoPos.y); break;
        case API_ZoneID: AddZone(element.zone); break;
        default: break;
        }
    }

    void Visit(const TypeEntry& row)
    {
        GS::Array<API_Guid> guids;
        if (ACAPI_Element_GetElemList(MakeElemType(row.typeID), &guids, 0, APINULLGuid) != NoError) return;
        const USize n = guids.GetSize();
        if (n == 0) return;
        counts[row.key] = n;
        total += n;
        if (row.typeID != API_WallID && row.typeID != API_ColumnID && row.typeID != API_ZoneID) return;
        for (USize i = 0; i < n; ++i) AddPoints(guids[i], row.typeID);
    }
};

std::string Fixed1(double value)
{
    char buffer[400];  // room for the widest double in fixed notation
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    return std::string(buffer, written.ptr);
}

}  // namespace

std::string CaptureTimeText(std::time_t when)
{
    std::tm parts{};
    gmtime_r(&when, &parts);
    char buffer[64];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return std::string(buffer, length);
}

RoomKind ClassifyRoomName(const std::string& name)
{
    const std::string lower = LowerAscii(name);
    if (ContainsAny(lower, kBathroomWords, std::size(kBathroomWords))) return RoomKind::Bathroom;
    if (ContainsAny(lower, kBedroomWords, std::size(kBedroomWords))) return RoomKind::Bedroom;
    return RoomKind::Other;
}

std::string FootprintText(double width, double depth) { return Fixed1(width) + "m x " + Fixed1(depth) + "m"; }

TemplateSummary BuildTemplateSummary(const json& input, const std::string& templateName, const std::string& capturedAt)
{
    const std::string description = input.value("description", std::string());
    const auto tags = input.find("tags");

    TemplateSummary result;
    json& summary = result.summary;
    summary["name"] = templateName;
    summary["captured_at"] = capturedAt;
    summary["version"] = "2.0";
    if (!description.empty()) summary["description"] = description;
    if (tags != input.end() && tags->is_array()) summary["tags"] = *tags;

    summary["stories"] = ReadStories();
    Census census;
    for (const TypeEntry& row : kCensus) census.Visit(row);
    summary["counts"] = census.counts;
    summary["total_elements"] = static_cast<std::int32_t>(census.total);

    const json box = census.box.ToJson();
    if (!box.is_null()) {
        summary["bbox"] = box;
        const double width = box.value("max_x", 0.0) - box.value("min_x", 0.0);
        const double depth = box.value("max_y", 0.0) - box.value("min_y", 0.0);
        summary["footprint"] = FootprintText(width, depth);
        summary["approx_sqm"] = width * depth;
        summary["approx_sqm_source"] = "bbox";
        summary["approx_sqm_confidence"] = "low";
    }
    if (!census.rooms.empty()) summary["rooms"] = census.rooms;
    if (census.bedrooms > 0) {
        summary["bedroom_count"] = census.bedrooms;
        summary["bedroom_count_heuristic"] = true;
    }
    if (census.bathrooms > 0) {
        summary["bathroom_count"] = census.bathrooms;
        summary["bathroom_count_heuristic"] = true;
    }

    result.counts = census.counts;
    result.totalElements = static_cast<std::int32_t>(census.total);
    result.storiesCount = summary["stories"].size();
    return result;
}
