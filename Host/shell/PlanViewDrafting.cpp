#include "PlanViewDrafting.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "ACAPinc.h"
#include "PlanViewAttributes.hpp"

namespace PlanViewDrafting {

namespace {

struct Colour {
    double r = 0.25, g = 0.28, b = 0.32;
};

using PlanGeometry::Contours;

struct LineItem {
    API_Coord a, b;
    Colour colour;
};
struct ArcItem {
    API_ArcType arc;
    Colour colour;
};
struct PolylineItem {
    Contours contours;
    Colour colour;
};
struct FillItem {
    Contours contours;
    Colour outline, pattern, background;
    bool hasBackground = false;
    Int32 subType = 2;     // 0 vector hatch, 1 symbol, 2 solid, 3 empty
    double spacing = 0.1;  // metres between hatch lines or symbols
    double angle = 0.0;
};
struct TextItem {
    API_TextType text;
    std::vector<std::string> lines;
    Colour colour;
};
struct HotspotItem {
    API_Coord pos;
    Colour colour;
};
struct SplineItem {
    std::vector<API_Coord> points;
    std::vector<API_SplineDir> dirs;
    bool closed, autoSmooth;
    Colour colour;
};
struct DimensionItem {
    API_DimensionType dimension;
    std::vector<API_Coord> witnesses;
    Colour colour;
};

// Hatch lines or symbol rows of one fill, whatever its size or spacing.
constexpr int kMaxPatternLines = 400;
// Texts and dimension figures stay legible however small their model size.
constexpr double kMinTextPixels = 8.0;
constexpr double kMaxTextPixels = 400.0;

bool Finite(const API_Coord& c) { return std::isfinite(c.x) && std::isfinite(c.y); }

}  // namespace

struct Sheet {
    std::vector<LineItem> lines;
    std::vector<ArcItem> arcs;
    std::vector<PolylineItem> polylines;
    std::vector<FillItem> fills;
    std::vector<TextItem> texts;
    std::vector<HotspotItem> hotspots;
    std::vector<SplineItem> splines;
    std::vector<DimensionItem> dimensions;
};

namespace {

// Pen and fill attributes looked up once per picture.
class Attributes {
public:
    // The pen's colour as the rest of the plan draws it; the drafting grey for a pen the host
    // cannot read.
    Colour Pen(Int16 index)
    {
        Colour colour;
        if (const auto found = pens_.Find(index)) colour = {found->red, found->green, found->blue};
        return colour;
    }

    // Pattern of a fill index; an unknown index draws as a plain solid fill.
    void Pattern(Int32 index, FillItem& fill)
    {
        auto it = fills_.find(index);
        if (it == fills_.end()) {
            API_Attribute attribute;
            BNClear(attribute);
            attribute.header.typeID = API_FilltypeID;
            attribute.header.index = index;
            if (ACAPI_Attribute_Get(&attribute) != NoError) attribute.filltype.subType = 2;
            it = fills_.emplace(index, attribute.filltype).first;
        }
        fill.subType = it->second.subType;
        const double spacing = std::max(it->second.hXSpac, it->second.hYSpac);
        fill.spacing = std::isfinite(spacing) && spacing > 0.0 ? spacing : 0.1;
        fill.angle = std::isfinite(it->second.hAngle) ? it->second.hAngle : 0.0;
    }

private:
    PlanView::PenPalette pens_;
    std::map<Int32, API_FilltypeType> fills_;
};

template <typename T>
std::vector<T> HandleRecords(T** handle)
{
    std::vector<T> out;
    if (handle == nullptr) return out;
    const std::size_t count = std::size_t(BMGetHandleSize(handle)) / sizeof(T);
    out.assign(*handle, *handle + count);
    return out;
}

// The memo parts selected by mask; a memo the host will not give reads as empty.
struct Memo {
    API_ElementMemo memo;
    Memo(const API_Guid& guid, UInt64 mask)
    {
        BNClear(memo);
        if (ACAPI_Element_GetMemo(guid, &memo, mask) != NoError) ACAPI_DisposeElemMemoHdls(&memo);
    }
    ~Memo() { ACAPI_DisposeElemMemoHdls(&memo); }
};

// The text's lines: the content up to its closing zero, split at line breaks.
std::vector<std::string> ReadTextLines(const API_Guid& guid)
{
    Memo m(guid, APIMemoMask_TextContent);
    const std::vector<char> bytes = HandleRecords(m.memo.textContent);
    const std::string content(bytes.data(), std::find(bytes.begin(), bytes.end(), '\0') - bytes.begin());
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = content.find('\n', start);
        lines.push_back(content.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

// ---- drawing helpers -------------------------------------------------------------------------

void SetColour(cairo_t* cr, const Colour& c, double alpha = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

double TextPixels(double modelSize, double scale)
{
    const double pixels = modelSize * scale;
    return std::clamp(std::isfinite(pixels) ? pixels : kMinTextPixels, kMinTextPixels, kMaxTextPixels);
}

// Parallel lines (or dots, for symbol fills) across the fill, clipped to its contours.
void DrawPattern(cairo_t* cr, const Mapping& m, const FillItem& fill)
{
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const auto& contour : fill.contours)
        for (const auto& c : contour) {
            minX = std::min(minX, m.X(c.x)), maxX = std::max(maxX, m.X(c.x));
            minY = std::min(minY, m.Y(c.y)), maxY = std::max(maxY, m.Y(c.y));
        }
    // Never denser than one line every four pixels, never more than the cap.
    const double diagonal = std::hypot(maxX - minX, maxY - minY);
    double step = std::max(fill.spacing * m.scale, 4.0);
    // Symbols fill a grid, not rows: fewer rows keep the dots of one fill to the same cap.
    const double rows = fill.subType == 1 ? std::sqrt(double(kMaxPatternLines)) * 5 : kMaxPatternLines;
    step = std::max(step, diagonal / rows);
    if (!(diagonal > 0.0) || !std::isfinite(step)) return;

    cairo_save(cr);
    PlanGeometry::PathContours(cr, m, fill.contours, true);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(cr);
    const double cx = (minX + maxX) / 2, cy = (minY + maxY) / 2;
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, -fill.angle);
    const double half = diagonal / 2;
    SetColour(cr, fill.pattern, 0.8);
    cairo_set_line_width(cr, 0.8);
    for (double v = -half; v <= half; v += step) {
        if (fill.subType == 1) {
            for (double u = -half; u <= half; u += step) cairo_rectangle(cr, u - 0.8, v - 0.8, 1.6, 1.6);
            cairo_fill(cr);
        } else {
            cairo_move_to(cr, -half, v);
            cairo_line_to(cr, half, v);
        }
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

// One Bezier segment per pair of neighbours. Stored directions shape the curve where they
// have lengths; automatic smoothing (or zero records) takes the tangent through the
// neighbours, so the curve passes through every control point.
void PathSpline(cairo_t* cr, const Mapping& m, const SplineItem& s)
{
    const std::size_t n = s.points.size();
    if (n < 2) return;
    auto at = [&](std::ptrdiff_t i) -> const API_Coord& {
        if (s.closed) return s.points[std::size_t((i % std::ptrdiff_t(n) + std::ptrdiff_t(n)) % std::ptrdiff_t(n))];
        return s.points[std::size_t(std::clamp<std::ptrdiff_t>(i, 0, std::ptrdiff_t(n) - 1))];
    };
    // Tangents per point, as (previous side, next side) offsets.
    std::vector<API_Coord> before(n), after(n);
    for (std::size_t i = 0; i < n; ++i) {
        const API_SplineDir* dir = i + 1 < s.dirs.size() ? &s.dirs[i + 1] : nullptr;
        if (!s.autoSmooth && dir != nullptr && (dir->lenPrev != 0.0 || dir->lenNext != 0.0)) {
            const double cx = std::cos(dir->dirAng), cy = std::sin(dir->dirAng);
            before[i] = {-cx * dir->lenPrev, -cy * dir->lenPrev};
            after[i] = {cx * dir->lenNext, cy * dir->lenNext};
        } else {
            const API_Coord& p = at(std::ptrdiff_t(i) - 1);
            const API_Coord& q = at(std::ptrdiff_t(i) + 1);
            const double tx = (q.x - p.x) / 6.0, ty = (q.y - p.y) / 6.0;
            before[i] = {-tx, -ty};
            after[i] = {tx, ty};
        }
    }
    cairo_move_to(cr, m.X(s.points[0].x), m.Y(s.points[0].y));
    const std::size_t segments = s.closed ? n : n - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        const std::size_t j = (i + 1) % n;
        const API_Coord& a = s.points[i];
        const API_Coord& b = s.points[j];
        cairo_curve_to(cr, m.X(a.x + after[i].x), m.Y(a.y + after[i].y), m.X(b.x + before[j].x), m.Y(b.y + before[j].y),
                       m.X(b.x), m.Y(b.y));
    }
}

// Text lines placed at pixel (x, y) by anchor (1 to 9: left/centre/right by top/middle/bottom;
// anything else left bottom), turned by angle (radians, counter-clockwise).
void ShowText(cairo_t* cr, double x, double y, double angle, double pixels, Int32 anchor,
              const std::vector<std::string>& lines)
{
    if (lines.empty()) return;
    cairo_save(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, pixels);
    double width = 0.0;
    for (const std::string& line : lines) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, line.c_str(), &extents);
        width = std::max(width, extents.x_advance);
    }
    const double lineHeight = pixels * 1.2;
    const double height = lineHeight * double(lines.size());
    const int column = anchor >= 1 && anchor <= 9 ? (anchor - 1) % 3 : 0;
    const int row = anchor >= 1 && anchor <= 9 ? (anchor - 1) / 3 : 2;
    cairo_translate(cr, x, y);
    cairo_rotate(cr, -angle);
    const double left = -width * 0.5 * column;
    const double top = -height * 0.5 * row;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        cairo_move_to(cr, left, top + lineHeight * double(i) + pixels);
        cairo_show_text(cr, lines[i].c_str());
    }
    cairo_restore(cr);
}

// Witness lines from each point to the dimension line through refC, the dimension line with a
// tick at each foot, and the measured distance of each pair over its part of the line.
void DrawDimension(cairo_t* cr, const Mapping& m, const DimensionItem& item)
{
    const API_DimensionType& d = item.dimension;
    const double len = std::hypot(d.direction.x, d.direction.y);
    if (!(len > 0.0) || !std::isfinite(len) || item.witnesses.size() < 2 || !Finite(d.refC)) return;
    const double ux = d.direction.x / len, uy = d.direction.y / len;
    std::vector<double> along;  // each foot's position along the line from refC
    for (const API_Coord& p : item.witnesses) along.push_back((p.x - d.refC.x) * ux + (p.y - d.refC.y) * uy);
    auto foot = [&](double t) { return API_Coord{d.refC.x + ux * t, d.refC.y + uy * t}; };

    SetColour(cr, item.colour);
    cairo_set_line_width(cr, 0.9);
    for (std::size_t i = 0; i < item.witnesses.size(); ++i) {
        const API_Coord& p = item.witnesses[i];
        const API_Coord f = foot(along[i]);
        const double px = m.X(p.x), py = m.Y(p.y), fx = m.X(f.x), fy = m.Y(f.y);
        const double span = std::hypot(fx - px, fy - py);
        if (span > 0.5) {
            // A small gap at the measured point, a short overshoot past the dimension line.
            const double wx = (fx - px) / span, wy = (fy - py) / span;
            const double gap = std::min(3.0, span / 2);
            cairo_move_to(cr, px + wx * gap, py + wy * gap);
            cairo_line_to(cr, fx + wx * 4, fy + wy * 4);
        }
        // Tick: a short slash across the foot.
        const double sx = m.X(f.x + (ux - uy)) - fx, sy = m.Y(f.y + (uy + ux)) - fy;
        const double sl = std::hypot(sx, sy);
        if (sl > 0) {
            cairo_move_to(cr, fx - sx / sl * 4, fy - sy / sl * 4);
            cairo_line_to(cr, fx + sx / sl * 4, fy + sy / sl * 4);
        }
    }
    const auto [lo, hi] = std::minmax_element(along.begin(), along.end());
    const API_Coord a = foot(*lo), b = foot(*hi);
    cairo_move_to(cr, m.X(a.x), m.Y(a.y));
    cairo_line_to(cr, m.X(b.x), m.Y(b.y));
    cairo_stroke(cr);

    // Screen angle of the line, turned so that the figures never read upside down.
    double angle = std::atan2(uy, ux);
    if (angle > M_PI / 2 + 1e-9 || angle < -M_PI / 2 - 1e-9) angle += M_PI;
    const double pixels = TextPixels(d.textSize, m.scale);
    std::vector<double> sorted = along;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
        const double value = sorted[i + 1] - sorted[i];
        char label[32];
        std::snprintf(label, sizeof label, "%.2f", value);
        const API_Coord mid = foot((sorted[i] + sorted[i + 1]) / 2);
        // Centred over the line (anchor 8: centre bottom), lifted clear of it.
        const double lift = 2.0;
        ShowText(cr, m.X(mid.x) - std::sin(angle) * lift, m.Y(mid.y) - std::cos(angle) * lift, angle, pixels, 8,
                 {label});
    }
}

}  // namespace

std::shared_ptr<const Sheet> Read(Int16 story)
{
    auto sheet = std::make_shared<Sheet>();
    Attributes attributes;
    PlanGeometry::ForEachElement(API_HatchID, story, [&](const API_Element& e) {
        FillItem fill;
        fill.contours = PlanGeometry::ReadContours(e.header.guid);
        fill.outline = attributes.Pen(e.hatch.contPen);
        fill.pattern = attributes.Pen(e.hatch.fillPen);
        fill.hasBackground = e.hatch.fillBGPen > 0;
        if (fill.hasBackground) fill.background = attributes.Pen(e.hatch.fillBGPen);
        attributes.Pattern(e.hatch.fillInd, fill);
        if (!fill.contours.empty()) sheet->fills.push_back(std::move(fill));
    });
    PlanGeometry::ForEachElement(API_LineID, story, [&](const API_Element& e) {
        sheet->lines.push_back({e.line.begC, e.line.endC, attributes.Pen(e.line.pen)});
    });
    PlanGeometry::ForEachElement(API_PolyLineID, story, [&](const API_Element& e) {
        PolylineItem item{PlanGeometry::ReadContours(e.header.guid), attributes.Pen(e.polyLine.pen)};
        if (!item.contours.empty()) sheet->polylines.push_back(std::move(item));
    });
    PlanGeometry::ForEachElement(API_ArcID, story, [&](const API_Element& e) {
        sheet->arcs.push_back({e.arc, attributes.Pen(e.arc.pen)});
    });
    PlanGeometry::ForEachElement(API_SplineID, story, [&](const API_Element& e) {
        Memo m(e.header.guid, APIMemoMask_Polygon | APIMemoMask_BezierDirs);
        std::vector<API_Coord> coords = HandleRecords(m.memo.coords);
        if (coords.size() < 3) return;
        coords.erase(coords.begin());  // slot 0 holds no point
        sheet->splines.push_back({coords, HandleRecords(m.memo.bezierDirs), e.spline.closed, e.spline.autoSmooth,
                                  attributes.Pen(e.spline.pen)});
    });
    PlanGeometry::ForEachElement(API_DimensionID, story, [&](const API_Element& e) {
        Memo m(e.header.guid, APIMemoMask_DimElems);
        DimensionItem item{e.dimension, {}, attributes.Pen(e.dimension.pen)};
        const std::vector<API_DimElem> elems = HandleRecords(m.memo.dimElems);
        for (std::size_t i = 0; i < elems.size() && i < std::size_t(std::max(e.dimension.nDimElem, 0)); ++i)
            item.witnesses.push_back(elems[i].base.loc);
        sheet->dimensions.push_back(std::move(item));
    });
    PlanGeometry::ForEachElement(API_HotspotID, story, [&](const API_Element& e) {
        sheet->hotspots.push_back({e.hotspot.pos, attributes.Pen(e.hotspot.pen)});
    });
    PlanGeometry::ForEachElement(API_TextID, story, [&](const API_Element& e) {
        sheet->texts.push_back({e.text, ReadTextLines(e.header.guid), attributes.Pen(e.text.pen)});
    });
    return sheet;
}

void ForEachExtentPoint(const Sheet& sheet, const std::function<void(double, double)>& add)
{
    auto point = [&](const API_Coord& c) { add(c.x, c.y); };
    auto contours = [&](const Contours& cs) {
        for (const auto& contour : cs)
            for (const auto& c : contour) point(c);
    };
    for (const auto& fill : sheet.fills) contours(fill.contours);
    for (const auto& polyline : sheet.polylines) contours(polyline.contours);
    for (const auto& line : sheet.lines) point(line.a), point(line.b);
    for (const auto& item : sheet.arcs) {
        add(item.arc.origC.x - item.arc.r, item.arc.origC.y - item.arc.r);
        add(item.arc.origC.x + item.arc.r, item.arc.origC.y + item.arc.r);
    }
    for (const auto& spline : sheet.splines)
        for (const auto& c : spline.points) point(c);
    for (const auto& dimension : sheet.dimensions) {
        point(dimension.dimension.refC);
        for (const auto& c : dimension.witnesses) point(c);
    }
    for (const auto& hotspot : sheet.hotspots) point(hotspot.pos);
    for (const auto& text : sheet.texts) point(text.text.loc);
}

void DrawFills(cairo_t* cr, const Sheet& sheet, const Mapping& m)
{
    cairo_save(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    for (const FillItem& fill : sheet.fills) {
        if (fill.hasBackground) {
            PlanGeometry::PathContours(cr, m, fill.contours, true);
            SetColour(cr, fill.background, 0.5);
            cairo_fill(cr);
        }
        if (fill.subType == 2) {
            PlanGeometry::PathContours(cr, m, fill.contours, true);
            SetColour(cr, fill.pattern, 0.55);
            cairo_fill(cr);
        } else if (fill.subType == 0 || fill.subType == 1) {
            DrawPattern(cr, m, fill);
        }
        PlanGeometry::PathContours(cr, m, fill.contours, true);
        SetColour(cr, fill.outline);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void DrawLinework(cairo_t* cr, const Sheet& sheet, const Mapping& m, PlanView::Batching batching)
{
    const auto colourOf = [](const auto& item) { return std::make_tuple(item.colour.r, item.colour.g, item.colour.b); };
    // Each batch: its items' paths, then one stroke in their colour.
    const auto strokeBatches = [&](const auto& items, const auto& path) {
        for (const auto& batch : PlanGeometry::Batches(items, colourOf, batching)) {
            for (const auto* item : batch) path(*item);
            SetColour(cr, batch.front()->colour);
            cairo_stroke(cr);
        }
    };
    cairo_save(cr);
    cairo_set_line_width(cr, 1.0);
    strokeBatches(sheet.lines, [&](const LineItem& line) {
        cairo_move_to(cr, m.X(line.a.x), m.Y(line.a.y));
        cairo_line_to(cr, m.X(line.b.x), m.Y(line.b.y));
    });
    strokeBatches(sheet.polylines,
                  [&](const PolylineItem& polyline) { PlanGeometry::PathContours(cr, m, polyline.contours, false); });
    std::vector<ArcItem> arcs;
    for (const ArcItem& item : sheet.arcs)
        if (Finite(item.arc.origC) && item.arc.r > 0.0) arcs.push_back(item);
    strokeBatches(arcs, [&](const ArcItem& item) {
        const API_ArcType& arc = item.arc;
        // Model angles run counter-clockwise; on screen, with y turned over, clockwise. The
        // path keeps its place on the page once the transformation is undone.
        cairo_save(cr);
        cairo_translate(cr, m.X(arc.origC.x), m.Y(arc.origC.y));
        cairo_rotate(cr, -arc.angle);
        cairo_scale(cr, 1.0, arc.ratio > 0.0 && std::isfinite(arc.ratio) ? arc.ratio : 1.0);
        cairo_new_sub_path(cr);
        if (arc.whole)
            cairo_arc(cr, 0, 0, arc.r * m.scale, 0, 2 * M_PI);
        else
            cairo_arc_negative(cr, 0, 0, arc.r * m.scale, -arc.begAng, -arc.endAng);
        cairo_restore(cr);
    });
    strokeBatches(sheet.splines, [&](const SplineItem& spline) { PathSpline(cr, m, spline); });
    for (const DimensionItem& dimension : sheet.dimensions) DrawDimension(cr, m, dimension);
    // Hotspots: a small circled cross, the same size at any zoom.
    strokeBatches(sheet.hotspots, [&](const HotspotItem& hotspot) {
        const double x = m.X(hotspot.pos.x), y = m.Y(hotspot.pos.y);
        cairo_new_sub_path(cr);
        cairo_arc(cr, x, y, 3.5, 0, 2 * M_PI);
        cairo_move_to(cr, x - 6, y);
        cairo_line_to(cr, x + 6, y);
        cairo_move_to(cr, x, y - 6);
        cairo_line_to(cr, x, y + 6);
    });
    for (const TextItem& item : sheet.texts) {
        if (!Finite(item.text.loc)) continue;
        SetColour(cr, item.colour);
        ShowText(cr, m.X(item.text.loc.x), m.Y(item.text.loc.y), std::isfinite(item.text.angle) ? item.text.angle : 0.0,
                 TextPixels(item.text.size, m.scale), item.text.anchor, item.lines);
    }
    cairo_restore(cr);
}

}  // namespace PlanViewDrafting
