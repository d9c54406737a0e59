#include "PlanView.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include <cairo.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "PlanGeometry.hpp"
#include "PlanViewAttributes.hpp"
#include "PlanViewDrafting.hpp"
#include "PlanViewRoofs.hpp"
#include "PlanViewSheet.hpp"

namespace {

struct Box {
    double minX = std::numeric_limits<double>::max();
    double minY = std::numeric_limits<double>::max();
    double maxX = std::numeric_limits<double>::lowest();
    double maxY = std::numeric_limits<double>::lowest();
    // Points beyond the host's working extent (only a project made outside the host's checks
    // holds them) would shrink everything else to a dot: the view frames the rest.
    void Add(double x, double y)
    {
        const double extent = HostTesting::WorkingExtent();
        if (!(std::fabs(x) <= extent) || !(std::fabs(y) <= extent)) return;
        minX = std::min(minX, x);
        minY = std::min(minY, y);
        maxX = std::max(maxX, x);
        maxY = std::max(maxY, y);
    }
    bool Empty() const { return minX > maxX; }
};

struct Polygon {
    std::vector<std::vector<API_Coord>> contours;
    Int32 pen = 0;
};

// A door or window: where it sits in its owner wall, and its pen.
struct Opening {
    API_Guid owner;
    double objLoc;
    double width;
    Int32 pen;
};

struct Plan {
    std::vector<API_WallType> walls;
    std::vector<API_ColumnType> columns;
    std::vector<API_BeamType> beams;
    std::vector<API_ObjectType> objects;
    std::vector<Opening> doors;
    std::vector<Opening> windows;
    std::vector<Polygon> slabs;
    std::vector<std::pair<Polygon, std::string>> zones;
    std::shared_ptr<const PlanViewDrafting::Sheet> drafting;
    std::vector<PlanViewRoofs::Roof> roofs;
    Box bounds;
};

Polygon ReadPolygon(const API_Element& element)
{
    return Polygon{PlanGeometry::ReadContours(element.header.guid), PlanView::ElementPen(element)};
}

// Doors and windows stand on their wall's story and are matched to it through the wall.
template <typename Fn>
void ForEach(API_ElemTypeID type, Int16 story, Fn&& fn)
{
    const bool onWall = type == API_DoorID || type == API_WindowID;
    PlanGeometry::ForEachElement(type, onWall ? std::nullopt : std::optional<Int16>(story), fn);
}

void AddPolygon(Box& box, const Polygon& polygon)
{
    for (const auto& contour : polygon.contours)
        for (const auto& c : contour) box.Add(c.x, c.y);
}

Plan ReadPlan(Int16 story)
{
    Plan plan;
    ForEach(API_WallID, story, [&](const API_Element& e) {
        plan.walls.push_back(e.wall);
        plan.bounds.Add(e.wall.begC.x, e.wall.begC.y);
        plan.bounds.Add(e.wall.endC.x, e.wall.endC.y);
    });
    ForEach(API_ColumnID, story, [&](const API_Element& e) {
        plan.columns.push_back(e.column);
        plan.bounds.Add(e.column.origoPos.x, e.column.origoPos.y);
    });
    ForEach(API_BeamID, story, [&](const API_Element& e) {
        plan.beams.push_back(e.beam);
        plan.bounds.Add(e.beam.begC.x, e.beam.begC.y);
        plan.bounds.Add(e.beam.endC.x, e.beam.endC.y);
    });
    ForEach(API_ObjectID, story, [&](const API_Element& e) {
        plan.objects.push_back(e.object);
        plan.bounds.Add(e.object.pos.x, e.object.pos.y);
    });
    ForEach(API_DoorID, story, [&](const API_Element& e) {
        plan.doors.push_back({e.door.owner, e.door.objLoc, e.door.openingBase.width, e.door.openingBase.pen});
    });
    ForEach(API_WindowID, story, [&](const API_Element& e) {
        plan.windows.push_back({e.window.owner, e.window.objLoc, e.window.openingBase.width, e.window.openingBase.pen});
    });
    ForEach(API_SlabID, story, [&](const API_Element& e) {
        plan.slabs.push_back(ReadPolygon(e));
        AddPolygon(plan.bounds, plan.slabs.back());
    });
    ForEach(API_ZoneID, story, [&](const API_Element& e) {
        std::u16string name(e.zone.roomName, GS::ucslen(e.zone.roomName));
        plan.zones.emplace_back(ReadPolygon(e), GS::Utf16ToUtf8(name));
        AddPolygon(plan.bounds, plan.zones.back().first);
    });
    plan.roofs = PlanViewRoofs::Read(story);
    PlanViewRoofs::ForEachPoint(plan.roofs, [&](double x, double y) { plan.bounds.Add(x, y); });
    plan.drafting = PlanViewDrafting::Read(story);
    PlanViewDrafting::ForEachExtentPoint(*plan.drafting, [&](double x, double y) { plan.bounds.Add(x, y); });
    return plan;
}

using View = PlanGeometry::Mapping;

void PathPolygon(cairo_t* cr, const View& view, const Polygon& polygon, bool close)
{
    PlanGeometry::PathContours(cr, view, polygon.contours, close);
}

void DrawGrid(cairo_t* cr, const View& view, int width, int height)
{
    // Lines at least 8 pixels apart at any scale (1, 5, 10, 50, ... metres): denser ones
    // would hatch the whole view.
    double step = 1.0;
    for (bool five = true; step * view.scale < 8.0 && step < 1e9; five = !five) step *= five ? 5.0 : 2.0;
    const double x0 = std::floor(view.originX / step) * step;
    const double y0 = std::floor(view.originY / step) * step;
    const double x1 = view.originX + width / view.scale;
    const double y1 = view.originY + height / view.scale;
    cairo_set_line_width(cr, 1.0);
    int index = 0;
    for (double x = x0; x <= x1 && index < 4000; x += step, ++index) {
        const bool major = std::fmod(std::fabs(std::round(x / step)), 5.0) == 0.0;
        cairo_set_source_rgba(cr, 0.55, 0.6, 0.62, major ? 0.22 : 0.1);
        cairo_move_to(cr, std::round(view.X(x)) + 0.5, 0);
        cairo_line_to(cr, std::round(view.X(x)) + 0.5, height);
        cairo_stroke(cr);
    }
    index = 0;
    for (double y = y0; y <= y1 && index < 4000; y += step, ++index) {
        const bool major = std::fmod(std::fabs(std::round(y / step)), 5.0) == 0.0;
        cairo_set_source_rgba(cr, 0.55, 0.6, 0.62, major ? 0.22 : 0.1);
        cairo_move_to(cr, 0, std::round(view.Y(y)) + 0.5);
        cairo_line_to(cr, width, std::round(view.Y(y)) + 0.5);
        cairo_stroke(cr);
    }
}

// The wall's outline: its reference line widened by its thickness; extend lengthens it at
// both ends so that walls meeting at a corner close it.
void PathWall(cairo_t* cr, const View& view, const API_WallType& wall, double fromT, double toT, double extend = 0.0)
{
    const double dx = wall.endC.x - wall.begC.x;
    const double dy = wall.endC.y - wall.begC.y;
    const double length = std::hypot(dx, dy);
    if (length <= 0.0) return;
    const double nx = -dy / length, ny = dx / length;
    // Never thinner than two pixels: a wall stays visible however far the plan is zoomed out.
    const double half = std::max({wall.thickness, 0.02, 2.0 / view.scale}) / 2.0;
    const double ux = dx / length, uy = dy / length;
    const double ax = wall.begC.x + dx * fromT - ux * extend, ay = wall.begC.y + dy * fromT - uy * extend;
    const double bx = wall.begC.x + dx * toT + ux * extend, by = wall.begC.y + dy * toT + uy * extend;
    cairo_move_to(cr, view.X(ax + nx * half), view.Y(ay + ny * half));
    cairo_line_to(cr, view.X(bx + nx * half), view.Y(by + ny * half));
    cairo_line_to(cr, view.X(bx - nx * half), view.Y(by - ny * half));
    cairo_line_to(cr, view.X(ax - nx * half), view.Y(ay - ny * half));
    cairo_close_path(cr);
}

struct GuidLess {
    bool operator()(const API_Guid& a, const API_Guid& b) const { return std::memcmp(&a, &b, sizeof(API_Guid)) < 0; }
};
using WallIndex = std::map<API_Guid, const API_WallType*, GuidLess>;

const API_WallType* FindWall(const WallIndex& walls, const API_Guid& guid)
{
    auto it = walls.find(guid);
    return it == walls.end() ? nullptr : it->second;
}

using PlanView::PenPalette;

void DrawOpening(cairo_t* cr, const View& view, const API_WallType& wall, const Opening& opening, bool door,
                 PenPalette& pens)
{
    const double objLoc = opening.objLoc, width = opening.width;
    const double dx = wall.endC.x - wall.begC.x;
    const double dy = wall.endC.y - wall.begC.y;
    const double length = std::hypot(dx, dy);
    if (length <= 0.0 || width <= 0.0) return;
    const double from = std::clamp((objLoc - width / 2.0) / length, 0.0, 1.0);
    const double to = std::clamp((objLoc + width / 2.0) / length, 0.0, 1.0);
    // The gap in the wall.
    cairo_set_source_rgb(cr, 1, 1, 1);
    PathWall(cr, view, wall, from, to);
    cairo_fill(cr);
    const double ux = dx / length, uy = dy / length;
    const double nx = -uy, ny = ux;
    const double half = std::max(wall.thickness, 0.02) / 2.0;
    const double ax = wall.begC.x + dx * from, ay = wall.begC.y + dy * from;
    const double bx = wall.begC.x + dx * to, by = wall.begC.y + dy * to;
    cairo_set_line_width(cr, 1.2);
    if (door) {
        // Leaf and swing.
        const double w = (to - from) * length;
        pens.Use(cr, opening.pen, {0.16, 0.42, 0.36});
        cairo_move_to(cr, view.X(ax + nx * half), view.Y(ay + ny * half));
        cairo_line_to(cr, view.X(ax + nx * (half + w)), view.Y(ay + ny * (half + w)));
        cairo_stroke(cr);
        const double start = std::atan2(-(ny), nx);
        const double end = std::atan2(-(uy), ux);
        cairo_new_sub_path(cr);
        double a1 = start, a2 = end;
        if (a2 < a1) std::swap(a1, a2);
        if (a2 - a1 > M_PI) std::swap(a1, a2);
        cairo_arc(cr, view.X(ax + nx * half), view.Y(ay + ny * half), w * view.scale, a1, a2);
        pens.Use(cr, opening.pen, {0.16, 0.42, 0.36}, 0.6);
        cairo_stroke(cr);
    } else {
        pens.Use(cr, opening.pen, {0.2, 0.45, 0.75});
        for (double k : {-half, 0.0, half}) {
            cairo_move_to(cr, view.X(ax + nx * k), view.Y(ay + ny * k));
            cairo_line_to(cr, view.X(bx + nx * k), view.Y(by + ny * k));
        }
        cairo_stroke(cr);
    }
}

// Every element in its pen's colour; fills take it lightly, so that outlines stay readable.
void DrawPlan(cairo_t* cr, const Plan& plan, const View& view, PenPalette& pens)
{
    for (const auto& slab : plan.slabs) {
        PathPolygon(cr, view, slab, true);
        pens.Use(cr, slab.pen, {0.78, 0.74, 0.66}, 0.15);
        cairo_fill_preserve(cr);
        pens.Use(cr, slab.pen, {0.5, 0.46, 0.4}, 0.8);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }
    PlanViewDrafting::DrawFills(cr, *plan.drafting, view);
    for (const auto& [zone, name] : plan.zones) {
        PathPolygon(cr, view, zone, true);
        pens.Use(cr, zone.pen, {0.36, 0.64, 0.55}, 0.16);
        cairo_fill(cr);
    }
    for (const auto& wall : plan.walls) {
        PathWall(cr, view, wall, 0.0, 1.0, std::max(wall.thickness, 0.02) / 2.0);
        pens.Use(cr, wall.contPen, {0.17, 0.19, 0.21});
        cairo_fill(cr);
    }
    WallIndex wallIndex;
    for (const auto& wall : plan.walls) wallIndex[wall.head.guid] = &wall;
    for (const Opening& door : plan.doors)
        if (const auto* wall = FindWall(wallIndex, door.owner)) DrawOpening(cr, view, *wall, door, true, pens);
    for (const Opening& window : plan.windows)
        if (const auto* wall = FindWall(wallIndex, window.owner)) DrawOpening(cr, view, *wall, window, false, pens);
    for (const auto& column : plan.columns) {
        const double s = 0.3 * view.scale;
        cairo_rectangle(cr, view.X(column.origoPos.x) - s / 2, view.Y(column.origoPos.y) - s / 2, s, s);
        pens.Use(cr, column.pen, {0.3, 0.3, 0.34});
        cairo_fill(cr);
    }
    cairo_set_line_width(cr, 1.5);
    for (const auto& beam : plan.beams) {
        const double dashes[] = {6.0, 4.0};
        cairo_set_dash(cr, dashes, 2, 0);
        pens.Use(cr, beam.pen, {0.45, 0.35, 0.25});
        cairo_move_to(cr, view.X(beam.begC.x), view.Y(beam.begC.y));
        cairo_line_to(cr, view.X(beam.endC.x), view.Y(beam.endC.y));
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    for (const auto& object : plan.objects) {
        const double w = std::clamp(object.xRatio, 0.2, 10.0), h = std::clamp(object.yRatio, 0.2, 10.0);
        cairo_save(cr);
        cairo_translate(cr, view.X(object.pos.x), view.Y(object.pos.y));
        cairo_rotate(cr, -object.angle);
        cairo_rectangle(cr, 0, -h * view.scale, w * view.scale, h * view.scale);
        pens.Use(cr, object.pen, {0.55, 0.42, 0.7}, 0.25);
        cairo_fill_preserve(cr);
        pens.Use(cr, object.pen, {0.45, 0.32, 0.6});
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
        cairo_restore(cr);
    }
    PlanViewRoofs::Draw(cr, plan.roofs, view, pens);
    PlanViewDrafting::DrawLinework(cr, *plan.drafting, view);
    // Zone names last, over everything.
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 12);
    for (const auto& [zone, name] : plan.zones) {
        Box box;
        AddPolygon(box, zone);
        if (box.Empty() || name.empty()) continue;
        cairo_text_extents_t extents;
        cairo_text_extents(cr, name.c_str(), &extents);
        pens.Use(cr, zone.pen, {0.16, 0.42, 0.36});
        cairo_move_to(cr, view.X((box.minX + box.maxX) / 2) - extents.width / 2, view.Y((box.minY + box.maxY) / 2));
        cairo_show_text(cr, name.c_str());
    }
}

void DrawScaleBar(cairo_t* cr, const View& view, int height)
{
    double metres = 1.0;
    for (double candidate : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0, 1e3, 2e3, 5e3, 1e4, 2e4, 5e4, 1e5})
        if (candidate * view.scale <= 160) metres = candidate;
    const double length = metres * view.scale;
    const double x = 20, y = height - 22;
    cairo_set_source_rgba(cr, 0.2, 0.22, 0.25, 0.85);
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, x, y - 5);
    cairo_line_to(cr, x, y);
    cairo_line_to(cr, x + length, y);
    cairo_line_to(cr, x + length, y - 5);
    cairo_stroke(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11);
    const std::string label = metres >= 1000.0 ? std::to_string(static_cast<int>(metres / 1000.0)) + " km"
                                               : std::to_string(static_cast<int>(metres)) + " m";
    cairo_move_to(cr, x + length + 6, y + 2);
    cairo_show_text(cr, label.c_str());
}

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<unsigned char>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::vector<unsigned char> PlanView::RenderPng(const Options& options) { return EncodePng(DrawImage(options)); }

std::vector<unsigned char> PlanView::EncodePng(const Drawing& drawing)
{
    std::vector<unsigned char> png;
    cairo_surface_write_to_png_stream(drawing.get(), AppendBytes, &png);
    return png;
}

PlanView::Drawing PlanView::DrawImage(const Options& options)
{
    const int width = std::clamp(options.width, 64, 4096);
    const int height = std::clamp(options.height, 64, 4096);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    Draw(cr, width, height, options.story);
    cairo_destroy(cr);
    return Drawing(surface, cairo_surface_destroy);
}

void PlanView::Draw(cairo_t* cr, int width, int height, Int16 story)
{
    const Plan plan = ReadPlan(story);
    View view;
    view.height = height;
    if (plan.bounds.Empty()) {
        view.scale = 40.0;
        view.originX = -width / 2.0 / view.scale;
        view.originY = -height / 2.0 / view.scale;
    } else {
        const double margin = 60.0;
        const double spanX = std::max(plan.bounds.maxX - plan.bounds.minX, 1.0);
        const double spanY = std::max(plan.bounds.maxY - plan.bounds.minY, 1.0);
        view.scale = std::min((width - 2 * margin) / spanX, (height - 2 * margin) / spanY);
        view.scale = std::clamp(view.scale, 0.001, 200.0);
        const double centreX = (plan.bounds.minX + plan.bounds.maxX) / 2.0;
        const double centreY = (plan.bounds.minY + plan.bounds.maxY) / 2.0;
        view.originX = centreX - width / 2.0 / view.scale;
        view.originY = centreY - height / 2.0 / view.scale;
    }

    cairo_set_source_rgb(cr, 0.985, 0.985, 0.975);
    cairo_paint(cr);
    DrawGrid(cr, view, width, height);
    PenPalette pens;
    DrawPlan(cr, plan, view, pens);
    DrawScaleBar(cr, view, height);
    if (plan.bounds.Empty()) {
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 15);
        const PlanViewSheet::Shown sheet;
        const std::string hint = sheet.worksheet == APINULLGuid ? std::string("Nothing on this story yet")
                                                                : "The worksheet " + sheet.name + " is empty";
        cairo_text_extents_t extents;
        cairo_text_extents(cr, hint.c_str(), &extents);
        cairo_set_source_rgba(cr, 0.35, 0.38, 0.42, 0.8);
        cairo_move_to(cr, (width - extents.width) / 2, height / 2.0);
        cairo_show_text(cr, hint.c_str());
    }
}

std::vector<unsigned char> PlanView::CaptureMainWindowPng()
{
    Options options;
    options.story = HostTesting::CurrentStory();
    return RenderPng(options);
}
