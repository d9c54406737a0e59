#include "tools/library/TypologyEdits.hpp"

#include <algorithm>
#include <cmath>

#include "core/ElementFunctions.hpp"
#include "tools/HostText.hpp"
#include "tools/ToolKit.hpp"
#include "tools/library/DesignCounts.hpp"

using json = nlohmann::json;

namespace {

constexpr double kWallThickness = 0.2;
constexpr double kZoneInset = 0.2;
constexpr UInt64 kAllMemoParts = 0x3FFFFFFFBFFFFFFFull;

bool ReadElement(const API_Guid& guid, API_Element& element)
{
    BNClear(element);
    element.header.guid = guid;
    return ACAPI_Element_Get(&element, 0) == NoError;
}

bool Finite(double v) { return std::isfinite(v); }
bool Finite(const API_Coord& c) { return Finite(c.x) && Finite(c.y); }

// Writes a wall's two reference-line points, flagging only them in the change mask.
bool ChangeWallPoints(const API_Element& wall, const API_Coord& begC, const API_Coord& endC)
{
    if (!Finite(begC) || !Finite(endC)) return false;  // never write an overflowed point
    API_Element changed = wall;
    changed.wall.begC = begC;
    changed.wall.endC = endC;
    API_Element mask;
    BNClear(mask);
    ACAPI_ELEMENT_MASK_SET(mask, wall, begC);
    ACAPI_ELEMENT_MASK_SET(mask, wall, endC);
    return ACAPI_Element_Change(&changed, &mask, nullptr, 0, true) == NoError;
}

// A slab or zone on a closed four-corner outline, story 0; true when the host created it.
bool CreateOutlined(API_Element& element, const std::vector<std::pair<double, double>>& corners)
{
    element.header.floorInd = 0;
    API_Polygon& poly = element.header.type.typeID == API_SlabID ? element.slab.poly : element.zone.poly;
    poly.nCoords = 5;
    poly.nSubPolys = 1;
    poly.nArcs = 0;
    MemoHolder memo;
    if (!BuildPolygonMemo(*memo, corners, true)) return false;
    return ACAPI_Element_Create(&element, memo.Get()) == NoError;
}

API_Element DefaultsOf(API_ElemTypeID type)
{
    API_Element element = BlankElement(type);
    ACAPI_Element_GetDefaults(&element, nullptr);
    return element;
}

API_Coord Scaled(const API_Coord& p, const API_Coord& c, double f)
{
    return {c.x + (p.x - c.x) * f, c.y + (p.y - c.y) * f};
}

}  // namespace

BBox ComputeWallBox(const GS::Array<API_Guid>& walls)
{
    BBox box{1e9, 1e9, -1e9, -1e9, true};
    API_Element wall;
    for (const API_Guid& guid : walls) {
        if (!ReadElement(guid, wall)) continue;
        box.Extend(wall.wall.begC.x, wall.wall.begC.y);
        box.Extend(wall.wall.endC.x, wall.wall.endC.y);
    }
    return box;
}

std::vector<AdaptOperation> ReadAdaptOperations(const json& operations, std::string* refusal)
{
    std::vector<AdaptOperation> out;
    size_t position = 0;
    for (const json& item : operations) {
        ++position;
        AdaptOperation op;
        op.op = item.value("op", std::string());
        if (op.op == "mirror") {
            op.kind = AdaptOperation::Mirror;
            op.axis = item.value("axis", std::string("x"));
        } else if (op.op == "add_room" || op.op == "add_garage") {
            const bool garage = op.op == "add_garage";
            op.kind = AdaptOperation::AddRoom;
            op.roomName = item.value("room_name", std::string(garage ? "Garage" : "Room"));
            op.x = item.value("x", 0.0);
            op.y = item.value("y", 0.0);
            op.width = item.value("width", garage ? 6.0 : 4.0);
            op.depth = item.value("depth", garage ? 3.5 : 4.0);
            const double far[] = {op.x + op.width,
                                  op.y + op.depth,
                                  op.x + op.width * 0.5,
                                  op.y + op.depth * 0.5,
                                  op.x + op.width - kZoneInset,
                                  op.y + op.depth - kZoneInset};
            if (refusal->empty() && !std::all_of(std::begin(far), std::end(far), [](double v) { return Finite(v); }))
                *refusal = "Adapt failed: operation " + std::to_string(position) + " (" + op.op +
                           ") gives coordinates that are not finite numbers";
        } else if (op.op == "scale_to_sqm") {
            op.kind = AdaptOperation::ScaleToSqm;
            op.targetSqm = item.value("target_sqm", 0.0);
        }
        out.push_back(std::move(op));
    }
    return out;
}

int MirrorWalls(const std::string& axis)
{
    const GS::Array<API_Guid> walls = ElementsOfType(API_WallID);
    if (walls.IsEmpty()) return 0;
    const BBox box = ComputeWallBox(walls);
    const double sx = box.min_x + box.max_x;
    const double sy = box.min_y + box.max_y;
    const bool acrossX = axis == "x";
    int changed = 0;
    API_Element wall;
    for (const API_Guid& guid : walls) {
        if (!ReadElement(guid, wall)) continue;
        API_Coord begC = wall.wall.begC, endC = wall.wall.endC;
        if (acrossX) {
            begC.x = sx - begC.x;
            endC.x = sx - endC.x;
        } else {
            begC.y = sy - begC.y;
            endC.y = sy - endC.y;
        }
        if (ChangeWallPoints(wall, begC, endC)) ++changed;
    }
    return changed;
}

int AddWalledRoom(const AdaptOperation& room)
{
    const double x = room.x, y = room.y, w = room.width, d = room.depth;
    const API_Coord corners[4] = {{x, y}, {x + w, y}, {x + w, y + d}, {x, y + d}};
    int changed = 0;
    for (int i = 0; i < 4; ++i) {
        API_Element wall = DefaultsOf(API_WallID);
        wall.wall.begC = corners[i];
        wall.wall.endC = corners[(i + 1) % 4];
        wall.wall.thickness = kWallThickness;
        wall.header.floorInd = 0;
        if (ACAPI_Element_Create(&wall, nullptr) == NoError) ++changed;
    }
    API_Element slab = DefaultsOf(API_SlabID);
    if (CreateOutlined(slab, {{x, y}, {x + w, y}, {x + w, y + d}, {x, y + d}})) ++changed;

    API_Element zone = DefaultsOf(API_ZoneID);
    zone.zone.pos = {x + w * 0.5, y + d * 0.5};
    CopyNameToField(zone.zone.roomName, std::size(zone.zone.roomName), room.roomName);
    const double i = kZoneInset;
    if (CreateOutlined(zone, {{x + i, y + i}, {x + w - i, y + i}, {x + w - i, y + d - i}, {x + i, y + d - i}}))
        ++changed;
    return changed;
}

ScaleOutcome ScaleToArea(double targetSqm)
{
    ScaleOutcome outcome;
    if (!(targetSqm > 0)) return outcome;
    const GS::Array<API_Guid> walls = ElementsOfType(API_WallID);
    const BBox box = ComputeWallBox(walls);
    if (box.empty) return outcome;
    const double area = (box.max_x - box.min_x) * (box.max_y - box.min_y);
    if (!(area > 0)) return outcome;
    const double f = std::sqrt(targetSqm / area);
    const API_Coord c = {(box.min_x + box.max_x) * 0.5, (box.min_y + box.max_y) * 0.5};
    // The box's corners move furthest: when they stay finite, every wall point does too.
    if (!Finite(f) || !Finite(Scaled({box.min_x, box.min_y}, c, f)) || !Finite(Scaled({box.max_x, box.max_y}, c, f))) {
        outcome.finite = false;
        return outcome;
    }
    outcome.applied = true;
    outcome.factor = f;

    API_Element element;
    for (const API_Guid& guid : walls) {
        if (!ReadElement(guid, element)) continue;
        if (ChangeWallPoints(element, Scaled(element.wall.begC, c, f), Scaled(element.wall.endC, c, f)))
            ++outcome.changed;
    }
    for (const API_Guid& guid : ElementsOfType(API_SlabID)) {
        if (!ReadElement(guid, element)) continue;
        MemoHolder memo;
        if (ACAPI_Element_GetMemo(guid, memo.Get(), kAllMemoParts) != NoError || memo->coords == nullptr) continue;
        const size_t n = static_cast<size_t>(BMGetHandleSize(memo->coords)) / sizeof(API_Coord);
        API_Coord* coords = *memo->coords;
        bool finite = true;
        for (size_t k = 0; k < n; ++k) finite = finite && Finite(Scaled(coords[k], c, f));
        if (!finite) continue;  // an outline far outside the walls would overflow: left as it is
        for (size_t k = 0; k < n; ++k) coords[k] = Scaled(coords[k], c, f);
        if (ACAPI_Element_Change(&element, nullptr, memo.Get(), 0, true) == NoError) ++outcome.changed;
    }
    return outcome;
}

double SnapToGrid(double c, double g) { return std::round(c / g) * g; }

bool GridKeepsWallsFinite(double grid)
{
    API_Element wall;
    for (const API_Guid& guid : ElementsOfType(API_WallID)) {
        if (!ReadElement(guid, wall)) continue;
        for (double v : {wall.wall.begC.x, wall.wall.begC.y, wall.wall.endC.x, wall.wall.endC.y})
            if (!Finite(SnapToGrid(v, grid))) return false;
    }
    return true;
}

int SnapWalls(double grid)
{
    int snapped = 0;
    API_Element wall;
    for (const API_Guid& guid : ElementsOfType(API_WallID)) {
        if (!ReadElement(guid, wall)) continue;
        const API_Coord begC = {SnapToGrid(wall.wall.begC.x, grid), SnapToGrid(wall.wall.begC.y, grid)};
        const API_Coord endC = {SnapToGrid(wall.wall.endC.x, grid), SnapToGrid(wall.wall.endC.y, grid)};
        if (begC.x == wall.wall.begC.x && begC.y == wall.wall.begC.y && endC.x == wall.wall.endC.x &&
            endC.y == wall.wall.endC.y)
            continue;
        if (ChangeWallPoints(wall, begC, endC)) ++snapped;
    }
    return snapped;
}
