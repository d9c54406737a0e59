#pragma once

// What the design tools report about the project as it stands: element counts of the nine
// main types, and the zones with their names and position points.

#include <vector>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"

struct TypeCount {
    API_ElemTypeID type;
    const char* key;
};

// The nine counted types in report order: walls, slabs, columns, beams, roofs, doors,
// windows, zones, objects.
const std::vector<TypeCount>& GetTypeChecks();

// {key: count} for every row of GetTypeChecks(); a list the host refuses counts 0.
nlohmann::json SnapshotCounts();

// after - before per row, never below 0, and their sum.
nlohmann::json CreatedCounts(const nlohmann::json& before, const nlohmann::json& after, long long* total);

// Every GUID of one type, on every story and layer; empty when the host refuses the list.
GS::Array<API_Guid> ElementsOfType(API_ElemTypeID type);

// One entry per readable zone in host order: {"center": [x, y], "name"} plus "uuid" when
// withUuid. Zones the host cannot read are left out.
nlohmann::json ProjectZones(bool withUuid);
