#pragma once

// The geometry work behind adapting and polishing a design: the box over the walls' reference
// lines, mirroring, adding a walled room, scaling to a floor area and snapping to a grid.
// Operations are read and checked whole before anything changes (ReadAdaptOperations); the
// Apply functions then run inside the caller's undo step and count what the host accepted.

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"

#include "tools/BBox.hpp"

// The box over begC and endC of every wall the host can read, empty until one wall was read.
// Its bounds start at +/-1e9 rather than BBox's own 1e30: the snapshot tells a found box by
// its minimum x below 1e8, and writes the starting maximum of a box beyond them as it is.
BBox ComputeWallBox(const GS::Array<API_Guid>& walls);

struct AdaptOperation {
    enum Kind { Ignored, Mirror, AddRoom, ScaleToSqm };
    Kind kind = Ignored;
    std::string op;        // as given
    std::string axis;      // mirror
    std::string roomName;  // add_room, add_garage
    double x = 0.0, y = 0.0, width = 0.0, depth = 0.0;
    double targetSqm = 0.0;  // scale_to_sqm
};

// Reads every operation with the same lookups the tool documents (missing keys take their
// defaults, a wrong JSON type throws the library's type error). An operation whose geometry
// would not be finite yields its refusal text in *refusal instead.
std::vector<AdaptOperation> ReadAdaptOperations(const nlohmann::json& operations, std::string* refusal);

// Each returns how many elements the host accepted.
int MirrorWalls(const std::string& axis);
int AddWalledRoom(const AdaptOperation& room);

struct ScaleOutcome {
    bool applied = false;  // false: no positive target, no readable wall or no area
    bool finite = true;    // false: the factor or a scaled point would not be finite (nothing changed)
    double factor = 0.0;
    int changed = 0;
};
ScaleOutcome ScaleToArea(double targetSqm);

// c / g to the nearest whole number, halves away from zero, times g.
double SnapToGrid(double c, double g);
// False when some readable wall would snap to a coordinate that is not finite.
bool GridKeepsWallsFinite(double grid);
int SnapWalls(double grid);
