#include "PlanView.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <unordered_map>

#include <cairo.h>
#include <png.h>

#include "ACAPinc.h"
#include "FixedField.hpp"
#include "HostTesting.hpp"
#include "PlanGeometry.hpp"
#include "PlanSelection.hpp"
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

// Of walls, columns, beams and objects the plan keeps only what it draws: a whole record is
// several times larger, and a plan of many elements reads a hundred thousand of them.
struct Wall {
    API_Guid guid;  // openings find their wall by it
    API_Coord begC, endC;
    double thickness;
    Int32 pen;
};

struct Column {
    API_Coord origoPos;
    Int32 pen;
};

struct Beam {
    API_Coord begC, endC;
    Int32 pen;
};

struct Object {
    API_Coord pos;
    double xRatio, yRatio, angle;
    Int32 pen;
};

struct Plan {
    std::vector<Wall> walls;
    std::vector<Column> columns;
    std::vector<Beam> beams;
    std::vector<Object> objects;
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
        plan.walls.push_back({e.header.guid, e.wall.begC, e.wall.endC, e.wall.thickness, e.wall.contPen});
        plan.bounds.Add(e.wall.begC.x, e.wall.begC.y);
        plan.bounds.Add(e.wall.endC.x, e.wall.endC.y);
    });
    ForEach(API_ColumnID, story, [&](const API_Element& e) {
        plan.columns.push_back({e.column.origoPos, e.column.pen});
        plan.bounds.Add(e.column.origoPos.x, e.column.origoPos.y);
    });
    ForEach(API_BeamID, story, [&](const API_Element& e) {
        plan.beams.push_back({e.beam.begC, e.beam.endC, e.beam.pen});
        plan.bounds.Add(e.beam.begC.x, e.beam.begC.y);
        plan.bounds.Add(e.beam.endC.x, e.beam.endC.y);
    });
    ForEach(API_ObjectID, story, [&](const API_Element& e) {
        plan.objects.push_back({e.object.pos, e.object.xRatio, e.object.yRatio, e.object.angle, e.object.pen});
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
        plan.zones.emplace_back(ReadPolygon(e), GS::Utf16ToUtf8(FixedFieldText(e.zone.roomName)));
        AddPolygon(plan.bounds, plan.zones.back().first);
    });
    plan.roofs = PlanViewRoofs::Read(story);
    PlanViewRoofs::ForEachPoint(plan.roofs, [&](double x, double y) { plan.bounds.Add(x, y); });
    plan.drafting = PlanViewDrafting::Read(story);
    PlanViewDrafting::ForEachExtentPoint(*plan.drafting, [&](double x, double y) { plan.bounds.Add(x, y); });
    return plan;
}

using View = PlanGeometry::Mapping;

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
void PathWall(cairo_t* cr, const View& view, const Wall& wall, double fromT, double toT, double extend = 0.0)
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

using WallIndex = std::unordered_map<API_Guid, const Wall*>;

const Wall* FindWall(const WallIndex& walls, const API_Guid& guid)
{
    auto it = walls.find(guid);
    return it == walls.end() ? nullptr : it->second;
}

using PlanView::Batching;
using PlanView::PenPalette;

// Fills (or strokes) a batch of areas, each added to the path by add, in the current source.
// A picture takes the batch as one path. A page gets each area painted on its own: a PDF writes
// a lone rectangle as one short operator but a rectangle among others as four line segments,
// and most areas of a plan are rectangles. The colour is set once per batch either way.
template <typename Batch, typename Add>
void PaintAreas(cairo_t* cr, const Batch& batch, Add&& add, void (*paint)(cairo_t*) = cairo_fill)
{
    const bool page = cairo_surface_get_type(cairo_get_target(cr)) != CAIRO_SURFACE_TYPE_IMAGE;
    for (const auto* item : batch) {
        add(*item);
        if (page) paint(cr);
    }
    if (!page) paint(cr);
}

// Fills a batch of areas lightly in their pen's colour and outlines them one pixel wide (each
// colour the pen's, or the fallback given, at its alpha). A picture builds the batch's path
// once for both; a page paints each area on its own, as PaintAreas does.
template <typename Batch, typename Add>
void FillAndOutline(cairo_t* cr, PenPalette& pens, const Batch& batch, Add&& add, PenPalette::Colour fill,
                    double fillAlpha, PenPalette::Colour outline, double outlineAlpha = 1.0)
{
    const Int32 pen = batch.front()->pen;
    const auto useOutline = [&] {
        pens.Use(cr, pen, outline, outlineAlpha);
        cairo_set_line_width(cr, 1.0);
    };
    if (cairo_surface_get_type(cairo_get_target(cr)) != CAIRO_SURFACE_TYPE_IMAGE) {
        pens.Use(cr, pen, fill, fillAlpha);
        PaintAreas(cr, batch, add);
        useOutline();
        PaintAreas(cr, batch, add, cairo_stroke);
        return;
    }
    for (const auto* item : batch) add(*item);
    pens.Use(cr, pen, fill, fillAlpha);
    cairo_fill_preserve(cr);
    useOutline();
    cairo_stroke(cr);
}

// Where an opening sits in its wall, in model coordinates: the ends of the gap on the
// reference line, the wall's direction and normal and half its thickness.
struct OpeningPlace {
    const Wall* wall;
    double from, to, length;
    double ax, ay, bx, by, ux, uy, nx, ny, half;
};

std::optional<OpeningPlace> PlaceOpening(const Wall& wall, const Opening& opening)
{
    const double objLoc = opening.objLoc, width = opening.width;
    const double dx = wall.endC.x - wall.begC.x;
    const double dy = wall.endC.y - wall.begC.y;
    const double length = std::hypot(dx, dy);
    if (length <= 0.0 || width <= 0.0) return std::nullopt;
    OpeningPlace p;
    p.wall = &wall;
    p.length = length;
    p.from = std::clamp((objLoc - width / 2.0) / length, 0.0, 1.0);
    p.to = std::clamp((objLoc + width / 2.0) / length, 0.0, 1.0);
    p.ux = dx / length, p.uy = dy / length;
    p.nx = -p.uy, p.ny = p.ux;
    p.half = std::max(wall.thickness, 0.02) / 2.0;
    p.ax = wall.begC.x + dx * p.from, p.ay = wall.begC.y + dy * p.from;
    p.bx = wall.begC.x + dx * p.to, p.by = wall.begC.y + dy * p.to;
    return p;
}

// A door's leaf, square to the wall at the gap's start.
void PathLeaf(cairo_t* cr, const View& view, const OpeningPlace& p)
{
    const double w = (p.to - p.from) * p.length;
    cairo_move_to(cr, view.X(p.ax + p.nx * p.half), view.Y(p.ay + p.ny * p.half));
    cairo_line_to(cr, view.X(p.ax + p.nx * (p.half + w)), view.Y(p.ay + p.ny * (p.half + w)));
}

// A door's swing: the quarter circle the leaf's end sweeps.
void PathSwing(cairo_t* cr, const View& view, const OpeningPlace& p)
{
    const double w = (p.to - p.from) * p.length;
    double a1 = std::atan2(-(p.ny), p.nx), a2 = std::atan2(-(p.uy), p.ux);
    if (a2 < a1) std::swap(a1, a2);
    if (a2 - a1 > M_PI) std::swap(a1, a2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, view.X(p.ax + p.nx * p.half), view.Y(p.ay + p.ny * p.half), w * view.scale, a1, a2);
}

// A window's three lines along the gap: both wall faces and the reference line.
void PathPane(cairo_t* cr, const View& view, const OpeningPlace& p)
{
    for (double k : {-p.half, 0.0, p.half}) {
        cairo_move_to(cr, view.X(p.ax + p.nx * k), view.Y(p.ay + p.ny * k));
        cairo_line_to(cr, view.X(p.bx + p.nx * k), view.Y(p.by + p.ny * k));
    }
}

struct PlacedOpening {
    OpeningPlace place;
    Int32 pen;
};

// The openings whose wall is drawn, placed in it.
std::vector<PlacedOpening> PlaceOpenings(const std::vector<Opening>& openings, const WallIndex& walls)
{
    std::vector<PlacedOpening> placed;
    for (const Opening& opening : openings)
        if (const auto* wall = FindWall(walls, opening.owner))
            if (const auto place = PlaceOpening(*wall, opening)) placed.push_back({*place, opening.pen});
    return placed;
}

// Doors or windows: the gaps in white, then per pen the door leaves and swings or the window
// panes.
void DrawOpenings(cairo_t* cr, const View& view, const std::vector<PlacedOpening>& openings, bool doors,
                  PenPalette& pens, Batching batching)
{
    const auto penOf = [](const PlacedOpening& o) { return o.pen; };
    for (const auto& batch : PlanGeometry::Batches(openings, penOf, batching)) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        PaintAreas(cr, batch,
                   [&](const PlacedOpening& o) { PathWall(cr, view, *o.place.wall, o.place.from, o.place.to); });
        cairo_set_line_width(cr, 1.2);
        const Int32 pen = batch.front()->pen;
        if (doors) {
            for (const PlacedOpening* o : batch) PathLeaf(cr, view, o->place);
            pens.Use(cr, pen, {0.16, 0.42, 0.36});
            cairo_stroke(cr);
            for (const PlacedOpening* o : batch) PathSwing(cr, view, o->place);
            pens.Use(cr, pen, {0.16, 0.42, 0.36}, 0.6);
        } else {
            for (const PlacedOpening* o : batch) PathPane(cr, view, o->place);
            pens.Use(cr, pen, {0.2, 0.45, 0.75});
        }
        cairo_stroke(cr);
    }
}

// Every element in its pen's colour; fills take it lightly, so that outlines stay readable.
// Each kind is drawn in batches of one pen (see Batching).
void DrawPlan(cairo_t* cr, const Plan& plan, const View& view, PenPalette& pens, Batching batching)
{
    const auto penOf = [](const auto& element) { return element.pen; };
    const auto pathSlab = [&](const Polygon& slab) { PlanGeometry::PathArea(cr, view, slab.contours); };
    for (const auto& batch : PlanGeometry::Batches(plan.slabs, penOf, batching))
        FillAndOutline(cr, pens, batch, pathSlab, {0.78, 0.74, 0.66}, 0.15, {0.5, 0.46, 0.4}, 0.8);
    PlanViewDrafting::DrawFills(cr, *plan.drafting, view);
    const auto zonePen = [](const std::pair<Polygon, std::string>& zone) { return zone.first.pen; };
    for (const auto& batch : PlanGeometry::Batches(plan.zones, zonePen, batching)) {
        pens.Use(cr, batch.front()->first.pen, {0.36, 0.64, 0.55}, 0.16);
        PaintAreas(cr, batch, [&](const auto& zone) { PlanGeometry::PathArea(cr, view, zone.first.contours); });
    }
    for (const auto& batch : PlanGeometry::Batches(plan.walls, penOf, batching)) {
        pens.Use(cr, batch.front()->pen, {0.17, 0.19, 0.21});
        PaintAreas(cr, batch,
                   [&](const Wall& wall) { PathWall(cr, view, wall, 0.0, 1.0, std::max(wall.thickness, 0.02) / 2.0); });
    }
    WallIndex wallIndex(plan.walls.size());
    for (const auto& wall : plan.walls) wallIndex[wall.guid] = &wall;
    DrawOpenings(cr, view, PlaceOpenings(plan.doors, wallIndex), true, pens, batching);
    DrawOpenings(cr, view, PlaceOpenings(plan.windows, wallIndex), false, pens, batching);
    for (const auto& batch : PlanGeometry::Batches(plan.columns, penOf, batching)) {
        const double s = 0.3 * view.scale;
        pens.Use(cr, batch.front()->pen, {0.3, 0.3, 0.34});
        PaintAreas(cr, batch, [&](const Column& column) {
            cairo_rectangle(cr, view.X(column.origoPos.x) - s / 2, view.Y(column.origoPos.y) - s / 2, s, s);
        });
    }
    cairo_set_line_width(cr, 1.5);
    const double dashes[] = {6.0, 4.0};
    cairo_set_dash(cr, dashes, 2, 0);  // every beam starts its dashes afresh: each is a sub-path
    for (const auto& batch : PlanGeometry::Batches(plan.beams, penOf, batching)) {
        for (const Beam* beam : batch) {
            cairo_move_to(cr, view.X(beam->begC.x), view.Y(beam->begC.y));
            cairo_line_to(cr, view.X(beam->endC.x), view.Y(beam->endC.y));
        }
        pens.Use(cr, batch.front()->pen, {0.45, 0.35, 0.25});
        cairo_stroke(cr);
    }
    cairo_set_dash(cr, nullptr, 0, 0);
    const auto pathObject = [&](const Object& object) {
        // The path keeps its place on the page once the turn is undone.
        const double w = std::clamp(object.xRatio, 0.2, 10.0), h = std::clamp(object.yRatio, 0.2, 10.0);
        cairo_save(cr);
        cairo_translate(cr, view.X(object.pos.x), view.Y(object.pos.y));
        cairo_rotate(cr, -object.angle);
        cairo_rectangle(cr, 0, -h * view.scale, w * view.scale, h * view.scale);
        cairo_restore(cr);
    };
    for (const auto& batch : PlanGeometry::Batches(plan.objects, penOf, batching))
        FillAndOutline(cr, pens, batch, pathObject, {0.55, 0.42, 0.7}, 0.25, {0.45, 0.32, 0.6});
    PlanViewRoofs::Draw(cr, plan.roofs, view, pens);
    PlanViewDrafting::DrawLinework(cr, *plan.drafting, view, batching);
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

// The whole plan in view, with a margin; a view of the origin when there is nothing to show.
View FitView(const Box& bounds, int width, int height)
{
    View view;
    view.height = height;
    if (bounds.Empty()) {
        view.scale = 40.0;
        view.originX = -width / 2.0 / view.scale;
        view.originY = -height / 2.0 / view.scale;
        return view;
    }
    const double margin = 60.0;
    const double spanX = std::max(bounds.maxX - bounds.minX, 1.0);
    const double spanY = std::max(bounds.maxY - bounds.minY, 1.0);
    view.scale = std::min((width - 2 * margin) / spanX, (height - 2 * margin) / spanY);
    view.scale = std::clamp(view.scale, 0.001, 200.0);
    const double centreX = (bounds.minX + bounds.maxX) / 2.0;
    const double centreY = (bounds.minY + bounds.maxY) / 2.0;
    view.originX = centreX - width / 2.0 / view.scale;
    view.originY = centreY - height / 2.0 / view.scale;
    return view;
}

// libpng's output callback. A failed append ends the encoding through png_error, which leaves
// by longjmp: nothing here needs destroying by then.
void AppendPng(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    bool appended = true;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        appended = false;
    }
    if (!appended) png_error(png, "out of memory");
}

// Writes the RGB24 surface as an 8-bit RGB PNG into out, row by row through row (3 bytes a
// pixel). The picture is shown once and thrown away, so speed beats size: zlib's fastest level
// and no filters, about a third of the time of cairo's own writer (level 6, every filter) for
// a plan of many elements. libpng reports errors by longjmp back here, so this function holds
// only plain values and pointers to what the caller owns.
bool WritePng(png_structp png, png_infop info, cairo_surface_t* surface, unsigned char* row,
              std::vector<unsigned char>* out)
{
    if (setjmp(png_jmpbuf(png))) return false;
    const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* pixels = cairo_image_surface_get_data(surface);
    png_set_write_fn(png, out, AppendPng, nullptr);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        // cairo keeps a pixel as one native-endian 32-bit word, 0x00RRGGBB.
        const auto* source = reinterpret_cast<const uint32_t*>(pixels + size_t(y) * size_t(stride));
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<unsigned char>(source[x] >> 16);
            row[3 * x + 1] = static_cast<unsigned char>(source[x] >> 8);
            row[3 * x + 2] = static_cast<unsigned char>(source[x]);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

std::vector<unsigned char> PlanView::RenderPng(const Options& options) { return EncodePng(DrawImage(options)); }

std::vector<unsigned char> PlanView::EncodePng(const Drawing& drawing)
{
    cairo_surface_t* surface = drawing.get();
    cairo_surface_flush(surface);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || cairo_image_surface_get_data(surface) == nullptr ||
        cairo_image_surface_get_format(surface) != CAIRO_FORMAT_RGB24)
        return {};
    std::vector<unsigned char> png, row(size_t(cairo_image_surface_get_width(surface)) * 3);
    png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = writer != nullptr ? png_create_info_struct(writer) : nullptr;
    const bool written = info != nullptr && WritePng(writer, info, surface, row.data(), &png);
    png_destroy_write_struct(&writer, &info);
    if (!written) png.clear();
    return png;
}

PlanView::Drawing PlanView::DrawImage(const Options& options)
{
    const int width = std::clamp(options.width, 64, 4096);
    const int height = std::clamp(options.height, 64, 4096);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    Draw(cr, width, height, options.story, options.batching);
    cairo_destroy(cr);
    return Drawing(surface, cairo_surface_destroy);
}

void PlanView::Draw(cairo_t* cr, int width, int height, Int16 story, Batching batching)
{
    const Plan plan = ReadPlan(story);
    const View view = FitView(plan.bounds, width, height);

    cairo_set_source_rgb(cr, 0.985, 0.985, 0.975);
    cairo_paint(cr);
    DrawGrid(cr, view, width, height);
    PenPalette pens;
    DrawPlan(cr, plan, view, pens, batching);
    PlanSelection::DrawSelection(cr, view, story);
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

PlanGeometry::Mapping PlanView::ViewOf(int width, int height, Int16 story)
{
    return FitView(ReadPlan(story).bounds, std::clamp(width, 64, 4096), std::clamp(height, 64, 4096));
}

std::vector<unsigned char> PlanView::CaptureMainWindowPng()
{
    Options options;
    options.story = HostTesting::CurrentStory();
    return RenderPng(options);
}
