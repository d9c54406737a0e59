// Hit testing and the selection highlight of the plan view. Distances are in model metres; a
// pointer counts as on an element within a few pixels of it at the plan's scale.
#include "PlanSelection.hpp"

#include "PlanViewAttributes.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

namespace PlanSelection {

namespace {

constexpr double kPickPixels = 5.0;
constexpr double kColumnHalf = 0.15;  // the plan draws columns as 0.3 m squares

double SegmentDistance(const API_Coord& p, const API_Coord& a, const API_Coord& b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    const double t = length2 > 0.0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - (a.x + dx * t), p.y - (a.y + dy * t));
}

bool Inside(const PlanGeometry::Contours& contours, const API_Coord& p)
{
    bool inside = false;  // even-odd over every contour: holes stay outside
    for (const auto& contour : contours)
        for (size_t i = 0, j = contour.size() - 1; i < contour.size(); j = i++) {
            const API_Coord& a = contour[i];
            const API_Coord& b = contour[j];
            if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
        }
    return inside;
}

double Area(const PlanGeometry::Contours& contours)
{
    double twice = 0.0;
    for (const auto& contour : contours)
        for (size_t i = 0, j = contour.size() - 1; i < contour.size(); j = i++)
            twice += contour[j].x * contour[i].y - contour[i].x * contour[j].y;
    return std::fabs(twice) / 2.0;
}

double ContoursDistance(const PlanGeometry::Contours& contours, const API_Coord& p, bool closed)
{
    double best = std::numeric_limits<double>::max();
    for (const auto& contour : contours) {
        for (size_t i = 1; i < contour.size(); ++i)
            best = std::min(best, SegmentDistance(p, contour[i - 1], contour[i]));
        if (closed && contour.size() > 2) best = std::min(best, SegmentDistance(p, contour.back(), contour.front()));
    }
    return best;
}

// The stretch of its wall an opening takes, as fractions of the wall's reference line.
bool OpeningSpan(const API_WallType& wall, double objLoc, double width, double& fromT, double& toT)
{
    const double length = std::hypot(wall.endC.x - wall.begC.x, wall.endC.y - wall.begC.y);
    if (length <= 0.0) return false;
    fromT = std::clamp((objLoc - width / 2.0) / length, 0.0, 1.0);
    toT = std::clamp((objLoc + width / 2.0) / length, 0.0, 1.0);
    return true;
}

// An object's footprint in the model: its rectangle from its position, turned by its angle.
PlanGeometry::Contours ObjectOutline(const API_ObjectType& object)
{
    const double w = std::clamp(object.xRatio, 0.2, 10.0), h = std::clamp(object.yRatio, 0.2, 10.0);
    const double c = std::cos(object.angle), s = std::sin(object.angle);
    std::vector<API_Coord> corners;
    for (const auto& [x, y] : {std::pair<double, double>{0, 0}, {w, 0}, {w, h}, {0, h}})
        corners.push_back({object.pos.x + x * c - y * s, object.pos.y + x * s + y * c});
    return {corners};
}

PlanGeometry::Contours WallOutline(const API_WallType& wall, double fromT = 0.0, double toT = 1.0)
{
    const double dx = wall.endC.x - wall.begC.x, dy = wall.endC.y - wall.begC.y;
    const double length = std::hypot(dx, dy);
    if (length <= 0.0) return {};
    const double half = std::max(wall.thickness, 0.02) / 2.0;
    const double nx = -dy / length * half, ny = dx / length * half;
    const API_Coord a = {wall.begC.x + dx * fromT, wall.begC.y + dy * fromT};
    const API_Coord b = {wall.begC.x + dx * toT, wall.begC.y + dy * toT};
    return {{{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}}};
}

PlanGeometry::Contours Square(const API_Coord& c, double half)
{
    return {{{c.x - half, c.y - half}, {c.x + half, c.y - half}, {c.x + half, c.y + half}, {c.x - half, c.y + half}}};
}

// Walls of the story by GUID, for the openings that stand in them.
using Walls = std::unordered_map<API_Guid, API_WallType>;

Walls StoryWalls(Int16 story)
{
    Walls walls;
    PlanGeometry::ForEachElement(API_WallID, story, [&](const API_Element& e) { walls[e.header.guid] = e.wall; });
    return walls;
}

const API_WallType* OwnerWall(const Walls& walls, const API_Element& e)
{
    const API_Guid owner = e.header.type.typeID == API_DoorID ? e.door.owner : e.window.owner;
    const auto found = walls.find(owner);
    return found == walls.end() ? nullptr : &found->second;
}

// The shape an element is picked by and outlined with, and whether it is an area (picked from
// inside, after everything drawn on it).
struct Shape {
    PlanGeometry::Contours contours;
    bool closed = true;
    bool area = false;
};

std::optional<Shape> ShapeOf(const API_Element& e, const Walls& walls)
{
    switch (e.header.type.typeID) {
    case API_WallID: return Shape{WallOutline(e.wall)};
    case API_DoorID:
    case API_WindowID: {
        const API_WallType* wall = OwnerWall(walls, e);
        const API_OpeningBaseType& base =
            e.header.type.typeID == API_DoorID ? e.door.openingBase : e.window.openingBase;
        const double objLoc = e.header.type.typeID == API_DoorID ? e.door.objLoc : e.window.objLoc;
        double fromT = 0.0, toT = 0.0;
        if (wall == nullptr || !OpeningSpan(*wall, objLoc, base.width, fromT, toT)) return std::nullopt;
        return Shape{WallOutline(*wall, fromT, toT)};
    }
    case API_ColumnID: return Shape{Square(e.column.origoPos, kColumnHalf)};
    case API_ObjectID: return Shape{ObjectOutline(e.object)};
    case API_BeamID: return Shape{{{e.beam.begC, e.beam.endC}}, false};
    case API_LineID: return Shape{{{e.line.begC, e.line.endC}}, false};
    case API_HotspotID: return Shape{Square(e.hotspot.pos, 0.05)};
    case API_TextID: return Shape{Square(e.text.loc, std::max(e.text.size, 0.1))};
    case API_ArcID: {
        std::vector<API_Coord> points;
        const double from = e.arc.whole ? 0.0 : e.arc.begAng, to = e.arc.whole ? 2 * M_PI : e.arc.endAng;
        for (int i = 0; i <= 32; ++i) {
            const double a = from + (to - from) * i / 32.0;
            points.push_back({e.arc.origC.x + e.arc.r * std::cos(a), e.arc.origC.y + e.arc.r * std::sin(a)});
        }
        return Shape{{points}, false};
    }
    case API_PolyLineID:
    case API_SplineID: return Shape{PlanGeometry::ReadContours(e.header.guid), false};
    case API_SlabID:
    case API_RoofID:
    case API_ZoneID:
    case API_HatchID: return Shape{PlanGeometry::ReadContours(e.header.guid), true, true};
    default: return std::nullopt;
    }
}

constexpr API_ElemTypeID kPickable[] = {
    API_DoorID, API_WindowID,  API_ColumnID,   API_ObjectID, API_WallID,  API_BeamID, API_LineID, API_ArcID,
    API_TextID, API_HotspotID, API_PolyLineID, API_SplineID, API_HatchID, API_ZoneID, API_RoofID, API_SlabID};

template <typename Fn>
void ForEachPickable(Int16 story, Fn&& fn)
{
    const Walls walls = StoryWalls(story);
    for (API_ElemTypeID type : kPickable) {
        const bool onWall = type == API_DoorID || type == API_WindowID;
        PlanGeometry::ForEachElement(type, onWall ? std::nullopt : std::optional<Int16>(story),
                                     [&](const API_Element& e) {
                                         if (onWall && OwnerWall(walls, e) == nullptr) return;
                                         if (std::optional<Shape> shape = ShapeOf(e, walls)) fn(e, *shape);
                                     });
    }
}

}  // namespace

std::optional<API_Guid> ElementAt(Int16 story, const PlanGeometry::Mapping& view, double px, double py)
{
    const API_Coord p = {view.originX + px / view.scale, view.originY + (view.height - py) / view.scale};
    const double reach = kPickPixels / view.scale;
    std::optional<API_Guid> nearest, smallestArea;
    double nearestDistance = reach, smallest = std::numeric_limits<double>::max();
    ForEachPickable(story, [&](const API_Element& e, const Shape& shape) {
        if (shape.area) {
            const double area = Area(shape.contours);
            if (Inside(shape.contours, p) && area < smallest) {
                smallest = area;
                smallestArea = e.header.guid;
            }
            return;
        }
        // Inside an outline counts as on it; openings come first, so they win over their wall.
        const double distance =
            shape.closed && Inside(shape.contours, p) ? 0.0 : ContoursDistance(shape.contours, p, shape.closed);
        if (distance < nearestDistance || (!nearest && distance <= reach)) {
            nearestDistance = distance;
            nearest = e.header.guid;
        }
    });
    return nearest ? nearest : smallestArea;
}

GSErrCode Click(Int16 story, const PlanGeometry::Mapping& view, double px, double py, bool shift)
{
    const std::optional<API_Guid> hit = ElementAt(story, view, px, py);
    if (!hit) return shift ? NoError : ACAPI_Element_DeselectAll();
    GS::Array<API_Neig> neigs;
    API_Neig neig;
    BNClear(neig);
    neig.guid = *hit;
    neigs.Push(neig);
    if (!shift) {
        if (GSErrCode err = ACAPI_Element_DeselectAll()) return err;
        return ACAPI_Element_Select(neigs, true);
    }
    GS::Array<API_Neig> selected;
    API_SelectionInfo info;
    if (GSErrCode err = ACAPI_Selection_Get(&info, &selected, false)) return err;
    const bool isSelected =
        std::any_of(selected.begin(), selected.end(), [&](const API_Neig& s) { return s.guid == *hit; });
    return ACAPI_Element_Select(neigs, !isSelected);
}

void DrawSelection(cairo_t* cr, const PlanGeometry::Mapping& view, Int16 story)
{
    GS::Array<API_Neig> selected;
    API_SelectionInfo info;
    if (ACAPI_Selection_Get(&info, &selected, false) != NoError || selected.IsEmpty()) return;
    PlanView::LayerFilter layers;
    cairo_save(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (const API_Neig& neig : selected) {
        API_Element e;
        BNClear(e);
        e.header.guid = neig.guid;
        if (ACAPI_Element_Get(&e) != NoError || !layers.Shown(e.header.layer)) continue;
        Walls walls;  // an opening's own wall, which decides its story
        const API_ElemTypeID type = e.header.type.typeID;
        if (type == API_DoorID || type == API_WindowID) {
            API_Element wall;
            BNClear(wall);
            wall.header.guid = type == API_DoorID ? e.door.owner : e.window.owner;
            if (ACAPI_Element_Get(&wall) != NoError || wall.header.floorInd != story) continue;
            walls[wall.header.guid] = wall.wall;
        } else if (e.header.floorInd != story) {
            continue;
        }
        const std::optional<Shape> shape = ShapeOf(e, walls);
        if (!shape) continue;
        PlanGeometry::PathContours(cr, view, shape->contours, shape->closed);
        cairo_set_source_rgba(cr, 0.98, 0.55, 0.05, 0.9);
        cairo_set_line_width(cr, 3.0);
        cairo_stroke_preserve(cr);
        if (shape->closed) {
            cairo_set_source_rgba(cr, 0.98, 0.55, 0.05, 0.18);
            cairo_fill(cr);
        }
        cairo_new_path(cr);
    }
    cairo_restore(cr);
}

Int32 SelectedCount()
{
    API_SelectionInfo info;
    return ACAPI_Selection_Get(&info, nullptr, false) == NoError ? info.sel_nElem : 0;
}

}  // namespace PlanSelection
