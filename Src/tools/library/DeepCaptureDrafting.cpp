// Deep capture of drafting elements: lines, arcs, texts, polylines, fills, splines, hotspots
// and linear dimensions. Memo reads go no further than the handles hold.
#include "tools/library/DeepCaptureWriters.hpp"

#include <algorithm>
#include <cstring>

namespace DeepCaptureData {

json CaptureLine(const API_Element& element, AttrTracker& tracker, BBox& box)
{
    const API_LineType& line = element.line;
    DataWriter out(tracker, box);
    out.PointInBox("begC", line.begC);
    out.PointInBox("endC", line.endC);
    out.PenAndLineType(line.pen, line.ltypeInd);
    out.Put("pen_weight", line.penWeight);
    out.Put("room_separator", line.zoneSeparator);
    return out.Take();
}

json CaptureArc(const API_Element& element, AttrTracker& tracker, BBox& box)
{
    const API_ArcType& arc = element.arc;
    DataWriter out(tracker, box);
    out.Point("origC", arc.origC);
    out.Put("r", arc.r);
    out.Put("ratio", arc.ratio);
    out.Degrees("angle", arc.angle);
    out.Put("begAng", arc.begAng);  // the arc's own angles stay in radians
    out.Put("endAng", arc.endAng);
    out.Put("whole", arc.whole);
    out.Put("reflected", arc.reflected);
    out.PenAndLineType(arc.pen, arc.ltypeInd);
    out.Extend(arc.origC);
    return out.Take();
}

json CaptureText(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_TextType& text = element.text;
    DataWriter out(tracker, box);
    out.PointInBox("loc", text.loc);
    out.Put("size", text.size);
    out.Put("width", text.width);
    out.Put("height", text.height);
    out.Degrees("angle", text.angle);
    out.Pen("pen", text.pen);
    out.Put("font", text.font);
    out.Put("face_bits", text.faceBits);
    if (memo.textContent != nullptr && *memo.textContent != nullptr) out.Put("content", MemoText(memo));
    return out.Take();
}

json CapturePolyline(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_PolyLineType& polyline = element.polyLine;
    DataWriter out(tracker, box);
    out.PenAndLineType(polyline.pen, polyline.ltypeInd);
    out.Put("pen_weight", polyline.penWeight);
    if (memo.coords == nullptr) return out.Take();
    // The record's count, but no vertex past the coordinates the handle holds.
    const size_t held = HandleEntries(memo.coords);
    const size_t n =
        polyline.poly.nCoords <= 0 ? 0 : std::min<size_t>(size_t(polyline.poly.nCoords), held > 0 ? held - 1 : 0);
    json vertices = json::array();
    for (size_t i = 1; i <= n; ++i) {
        const API_Coord& c = (*memo.coords)[i];
        vertices.push_back({c.x, c.y});
        out.Extend(c);
    }
    out.Put("vertices", vertices);
    return out.Take();
}

json CaptureFill(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_HatchType& fill = element.hatch;
    DataWriter out(tracker, box);
    out.Put("contour_pen", fill.contPen);
    out.Put("fill_pen", fill.fillPen);
    out.Put("fill_bg_pen", fill.fillBGPen);
    tracker.AddPen(fill.contPen);
    tracker.AddPen(fill.fillPen);
    tracker.AddPen(fill.fillBGPen);
    out.Attribute("fill_pattern", API_FilltypeID, fill.fillInd);
    out.Attribute("building_material", API_BuildingMaterialID, fill.buildingMaterial);
    out.Attribute("linetype", API_LinetypeID, fill.ltypeInd);
    out.Polygon("polygon", memo, fill.poly, true);
    return out.Take();
}

json CaptureSpline(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_SplineType& spline = element.spline;
    DataWriter out(tracker, box);
    out.PenAndLineType(spline.pen, spline.ltypeInd);
    out.Put("auto_smooth", spline.autoSmooth);
    out.Put("closed", spline.closed);
    if (memo.coords == nullptr) return out.Take();
    // Entry 0 of the handle stays free: a spline of k points holds k + 1 entries.
    const size_t entries = HandleEntries(memo.coords);
    json points = json::array();
    for (size_t i = 1; i < entries; ++i) {
        const API_Coord& c = (*memo.coords)[i];
        points.push_back({c.x, c.y});
        out.Extend(c);
    }
    out.Put("control_points", points);
    return out.Take();
}

json CaptureHotspot(const API_Element& element, AttrTracker& tracker, BBox& box)
{
    const API_HotspotType& hotspot = element.hotspot;
    DataWriter out(tracker, box);
    out.PointInBox("pos", hotspot.pos);
    out.Pen("pen", hotspot.pen);
    return out.Take();
}

json CaptureDimension(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_DimensionType& dimension = element.dimension;
    DataWriter out(tracker, box);
    out.PointInBox("refC", dimension.refC);
    out.Point("direction", dimension.direction);
    out.Put("nDimElem", dimension.nDimElem);
    out.Pen("pen", dimension.pen);
    if (memo.dimElems == nullptr || dimension.nDimElem <= 0) return out.Take();
    // The record's count, but no witness point past the records the handle holds.
    const size_t n = std::min<size_t>(size_t(dimension.nDimElem), HandleEntries(memo.dimElems));
    json points = json::array();
    for (size_t i = 0; i < n; ++i) {
        const API_Coord& c = (*memo.dimElems)[i].base.loc;
        points.push_back({{"x", c.x}, {"y", c.y}});
        out.Extend(c);
    }
    out.Put("witness_points", points);
    return out.Take();
}

}  // namespace DeepCaptureData
