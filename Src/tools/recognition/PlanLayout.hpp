#pragma once

// The plan family's building half: a parametric layout (walls with ids, doors and windows
// hosted by wall id, rooms as zones) or a list of walls, read completely with the JSON
// library's typed reads before anything is built, then built inside one undo step where the
// host's refusals are skipped and only what it created is counted.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"

namespace PlanLayout {

struct Wall {
    std::string id;  // "" when the wall cannot host openings
    API_Coord begC, endC;
    double thickness, height;
};

struct Opening {
    bool door;  // exactly "door"; anything else is a window
    std::string hostWall;
    double width, height, sill, offset;
};

struct Room {
    std::string name;
    std::vector<std::pair<double, double>> points;  // the outline, closed by the builder
};

struct Layout {
    short floorInd = 0;
    std::vector<Wall> walls;
    std::vector<Opening> openings;
    std::vector<Room> rooms;
};

// Reads a layout whose "walls" is an array, key by key with the defaults of the format, for
// the story (its low 16 bits) and default wall height already read;
// entries the format skips (a wall without two coordinates, an opening naming no wall of the
// layout, a room of fewer than three entries) and geometry that is not finite are left out.
// Throws the JSON library's exception (or ToolInputError) for a value of the wrong type.
Layout Read(const nlohmann::json& input, short floorInd, double wallHeight);

struct Built {
    int walls = 0, doors = 0, windows = 0, zones = 0;
    nlohmann::json wallGuids = nlohmann::json::array();
};

// Creates the layout's elements (walls, then openings, then rooms); call inside an undoable
// command. What the host refuses is skipped; an opening whose wall was refused is skipped.
Built Build(const Layout& layout);

struct BatchWall {
    short floorInd;
    API_Coord begC, endC;
    double thickness, height;
    bool finite;  // false: skipped like a wall the host refuses
};

// The entries of a batch, read in full (throws like Read).
std::vector<BatchWall> ReadBatch(const nlohmann::json& walls);

// Creates the walls the host accepts, in order; the GUID texts of those created.
nlohmann::json BuildBatch(const std::vector<BatchWall>& walls);

// Where a zone's label and reported centre stand: the outline's centroid when it lies inside
// the outline, else the middle of the widest stretch inside it along a few horizontal lines
// (an L- or U-shaped room); the mean of the points when the outline encloses no area.
API_Coord ZoneLabelPoint(const std::vector<std::pair<double, double>>& outline);

}  // namespace PlanLayout
