#include "tools/recognition/PlanLayout.hpp"

#include <algorithm>
#include <cmath>
#include <set>

#include "core/ElementFunctions.hpp"
#include "tools/HostText.hpp"
#include "tools/ToolKit.hpp"

namespace PlanLayout {

namespace {

bool Finite(std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// Entry i of a point list: a number, or the library's error (an object of two or more
// members cannot be indexed by number; an entry of another type cannot be a number).
double Coordinate(const json& point, std::size_t i) { return point[i].get<double>(); }

// The element made from the host's defaults for its type and story, changed by fill, created.
// The memo is disposed of on every path. False when fill refused or the host did.
template <typename Fill>
bool Create(API_ElemTypeID type, short floorInd, Fill&& fill, API_Guid& guid)
{
    API_Element element;
    BNClear(element);
    element.header.type.typeID = type;
    element.header.floorInd = floorInd;
    MemoHolder memo;
    ACAPI_Element_GetDefaults(&element, memo.Get());  // a failure shows in the creation
    if (!fill(element, *memo)) return false;
    if (ACAPI_Element_Create(&element, memo.Get()) != NoError) return false;
    guid = element.header.guid;
    return true;
}

// A wall from the host's defaults with the layout's geometry and sizes.
bool CreateWall(short floorInd, const API_Coord& begC, const API_Coord& endC, double thickness, double height,
                API_Guid& guid)
{
    return Create(
        API_WallID, floorInd,
        [&](API_Element& e, API_ElementMemo&) {
            e.wall.begC = begC;
            e.wall.endC = endC;
            e.wall.thickness = thickness;
            e.wall.height = height;
            return true;
        },
        guid);
}

}  // namespace

Layout Read(const json& input, short floorInd, double wallHeight)
{
    Layout layout;
    layout.floorInd = floorInd;
    const json openings = input.value("openings", json::array());
    const json rooms = input.value("rooms", json::array());

    std::set<std::string> ids;  // of walls that may come to exist
    for (const json& entry : input.at("walls")) {
        const json start = entry.value("start", json::array());
        const json end = entry.value("end", json::array());
        if (start.size() < 2 || end.size() < 2) continue;
        Wall wall;
        wall.begC = {Coordinate(start, 0), Coordinate(start, 1)};
        wall.endC = {Coordinate(end, 0), Coordinate(end, 1)};
        wall.thickness = NumberInput(entry, "thickness", 0.3);
        wall.height = NumberInput(entry, "height", wallHeight);
        wall.id = StringInput(entry, "id");
        if (!Finite({wall.begC.x, wall.begC.y, wall.endC.x, wall.endC.y, wall.thickness, wall.height})) continue;
        if (!wall.id.empty()) ids.insert(wall.id);
        layout.walls.push_back(std::move(wall));
    }
    for (const json& entry : openings) {
        Opening opening;
        opening.hostWall = StringInput(entry, "host_wall");
        if (ids.count(opening.hostWall) == 0) continue;  // nothing else of it is read
        opening.door = StringInput(entry, "type", "door") == "door";
        opening.width = NumberInput(entry, "width", opening.door ? 0.9 : 1.2);
        opening.height = NumberInput(entry, "height", opening.door ? 2.1 : 1.2);
        opening.sill = opening.door ? 0.0 : NumberInput(entry, "sill_height", 0.9);
        opening.offset = NumberInput(entry, "offset", 1.0);
        if (!Finite({opening.width, opening.height, opening.sill, opening.offset})) continue;
        layout.openings.push_back(std::move(opening));
    }
    for (const json& entry : rooms) {
        Room room;
        room.name = StringInput(entry, "name", "Room");
        const json polygon = entry.value("polygon", json::array());
        if (polygon.size() < 3) continue;  // raw entries, before any is looked at
        bool finite = true;
        for (const json& point : polygon) {
            // Arrays of two or more give a point; shorter entries and scalars are left out.
            if (point.size() < 2) continue;
            room.points.emplace_back(Coordinate(point, 0), Coordinate(point, 1));
            finite = finite && Finite({room.points.back().first, room.points.back().second});
        }
        if (finite) layout.rooms.push_back(std::move(room));
    }
    return layout;
}

Built Build(const Layout& layout)
{
    Built built;
    std::map<std::string, API_Guid> wallsById;
    API_Guid guid;
    for (const Wall& wall : layout.walls) {
        if (!CreateWall(layout.floorInd, wall.begC, wall.endC, wall.thickness, wall.height, guid)) continue;
        ++built.walls;
        built.wallGuids.push_back(GuidToStr(guid));
        if (!wall.id.empty()) wallsById[wall.id] = guid;  // the later of two walls of one id
    }
    for (const Opening& opening : layout.openings) {
        const auto host = wallsById.find(opening.hostWall);
        if (host == wallsById.end()) continue;  // its wall was refused
        const bool made = Create(
            opening.door ? API_DoorID : API_WindowID, layout.floorInd,
            [&](API_Element& e, API_ElementMemo&) {
                if (opening.door) {
                    e.door.owner = host->second;
                    e.door.openingBase.width = opening.width;
                    e.door.openingBase.height = opening.height;
                    e.door.objLoc = opening.offset;
                } else {
                    e.window.owner = host->second;
                    e.window.openingBase.width = opening.width;
                    e.window.openingBase.height = opening.height;
                    e.window.lower = opening.sill;
                    e.window.objLoc = opening.offset;
                }
                return true;
            },
            guid);
        if (made) ++(opening.door ? built.doors : built.windows);
    }
    for (const Room& room : layout.rooms) {
        const bool made = Create(
            API_ZoneID, layout.floorInd,
            [&](API_Element& e, API_ElementMemo& memo) {
                CopyNameToField(e.zone.roomName, std::size(e.zone.roomName), room.name);
                e.zone.pos = ZoneLabelPoint(room.points);
                e.zone.poly.nCoords = static_cast<Int32>(room.points.size()) + 1;
                e.zone.poly.nSubPolys = 1;
                e.zone.poly.nArcs = 0;
                return BuildPolygonMemo(memo, room.points, true);
            },
            guid);
        if (made) ++built.zones;
    }
    return built;
}

std::vector<BatchWall> ReadBatch(const json& walls)
{
    std::vector<BatchWall> batch;
    batch.reserve(walls.size());
    for (const json& entry : walls) {
        BatchWall wall;
        wall.floorInd = StoryBits(IntInput(entry, "story", 0));
        wall.begC = {NumberInput(entry, "start_x", 0.0), NumberInput(entry, "start_y", 0.0)};
        wall.endC = {NumberInput(entry, "end_x", 0.0), NumberInput(entry, "end_y", 0.0)};
        wall.thickness = NumberInput(entry, "thickness", 0.3);
        wall.height = NumberInput(entry, "height", 3.0);
        wall.finite = Finite({wall.begC.x, wall.begC.y, wall.endC.x, wall.endC.y, wall.thickness, wall.height});
        batch.push_back(wall);
    }
    return batch;
}

json BuildBatch(const std::vector<BatchWall>& walls)
{
    json guids = json::array();
    guids.get_ref<json::array_t&>().reserve(walls.size());
    API_Guid guid;
    for (const BatchWall& wall : walls) {
        if (wall.finite && CreateWall(wall.floorInd, wall.begC, wall.endC, wall.thickness, wall.height, guid))
            guids.push_back(GuidToStr(guid));
    }
    return guids;
}

namespace {

using Outline = std::vector<std::pair<double, double>>;

// Even-odd rule: a point on the boundary may count either way.
bool Inside(const Outline& outline, double x, double y)
{
    bool inside = false;
    for (std::size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
        const auto& [xi, yi] = outline[i];
        const auto& [xj, yj] = outline[j];
        if ((yi > y) != (yj > y) && x < xi + (y - yi) * (xj - xi) / (yj - yi)) inside = !inside;
    }
    return inside;
}

// The widest stretch inside the outline along the line at height y: its width and middle.
std::pair<double, double> WidestStretch(const Outline& outline, double y)
{
    std::vector<double> crossings;
    for (std::size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
        const auto& [xi, yi] = outline[i];
        const auto& [xj, yj] = outline[j];
        if ((yi > y) != (yj > y)) crossings.push_back(xi + (y - yi) * (xj - xi) / (yj - yi));
    }
    std::sort(crossings.begin(), crossings.end());
    std::pair<double, double> best{0.0, 0.0};
    for (std::size_t k = 0; k + 1 < crossings.size(); k += 2)
        if (crossings[k + 1] - crossings[k] > best.first)
            best = {crossings[k + 1] - crossings[k], (crossings[k] + crossings[k + 1]) / 2};
    return best;
}

}  // namespace

API_Coord ZoneLabelPoint(const Outline& outline)
{
    if (outline.empty()) return {0.0, 0.0};
    double twiceArea = 0, cx = 0, cy = 0, meanX = 0, meanY = 0, low = outline[0].second, high = low;
    for (std::size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
        const auto& [xi, yi] = outline[i];
        const auto& [xj, yj] = outline[j];
        const double cross = xj * yi - xi * yj;
        twiceArea += cross;
        cx += (xj + xi) * cross;
        cy += (yj + yi) * cross;
        meanX += xi / static_cast<double>(outline.size());
        meanY += yi / static_cast<double>(outline.size());
        low = std::min(low, yi);
        high = std::max(high, yi);
    }
    if (std::abs(twiceArea) < 1e-12) return {meanX, meanY};
    const API_Coord centroid{cx / (3 * twiceArea), cy / (3 * twiceArea)};
    if (Inside(outline, centroid.x, centroid.y)) return centroid;
    // Lines through the centroid and spread over the outline's height; the widest stretch wins.
    constexpr int kLines = 16;
    std::pair<double, double> best = WidestStretch(outline, centroid.y);
    API_Coord point{best.second, centroid.y};
    for (int k = 0; k < kLines; ++k) {
        const double y = low + (high - low) * (k + 0.5) / kLines;
        const std::pair<double, double> stretch = WidestStretch(outline, y);
        if (stretch.first > best.first) {
            best = stretch;
            point = {stretch.second, y};
        }
    }
    return best.first > 0 ? point : API_Coord{meanX, meanY};
}

}  // namespace PlanLayout
