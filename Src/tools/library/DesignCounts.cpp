#include "tools/library/DesignCounts.hpp"

#include "core/ElementFunctions.hpp"
#include "tools/HostText.hpp"

using json = nlohmann::json;

const std::vector<TypeCount>& GetTypeChecks()
{
    static const std::vector<TypeCount> checks = {
        {API_WallID, "walls"},     {API_SlabID, "slabs"}, {API_ColumnID, "columns"},
        {API_BeamID, "beams"},     {API_RoofID, "roofs"}, {API_DoorID, "doors"},
        {API_WindowID, "windows"}, {API_ZoneID, "zones"}, {API_ObjectID, "objects"},
    };
    return checks;
}

GS::Array<API_Guid> ElementsOfType(API_ElemTypeID type)
{
    GS::Array<API_Guid> guids;
    if (ACAPI_Element_GetElemList(MakeElemType(type), &guids, 0, APINULLGuid) != NoError) guids.Clear();
    return guids;
}

json SnapshotCounts()
{
    json counts;
    for (const TypeCount& row : GetTypeChecks()) {
        GS::Array<API_Guid> guids;
        const GSErrCode err = ACAPI_Element_GetElemList(MakeElemType(row.type), &guids, 0, APINULLGuid);
        counts[row.key] = err == NoError ? static_cast<long long>(guids.GetSize()) : 0LL;
    }
    return counts;
}

json CreatedCounts(const json& before, const json& after, long long* total)
{
    json created = json::object();
    long long sum = 0;
    for (const TypeCount& row : GetTypeChecks()) {
        const long long diff = after.value(row.key, 0LL) - before.value(row.key, 0LL);
        created[row.key] = diff > 0 ? diff : 0LL;
        sum += diff > 0 ? diff : 0LL;
    }
    if (total != nullptr) *total = sum;
    return created;
}

json ProjectZones(bool withUuid)
{
    json zones = json::array();
    for (const API_Guid& guid : ElementsOfType(API_ZoneID)) {
        API_Element zone;
        BNClear(zone);
        zone.header.guid = guid;
        if (ACAPI_Element_Get(&zone, 0) != NoError) continue;
        // The name field is fixed-width: read it within its bounds even when unterminated.
        USize length = 0;
        while (length < std::size(zone.zone.roomName) && zone.zone.roomName[length] != 0) ++length;
        json entry = {{"center", {zone.zone.pos.x, zone.zone.pos.y}},
                      {"name", HostNameText(GS::UniString(zone.zone.roomName, length))}};
        if (withUuid) entry["uuid"] = GuidToStr(guid);
        zones.push_back(std::move(entry));
    }
    return zones;
}
