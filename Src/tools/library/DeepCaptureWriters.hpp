#pragma once

// The per-type writers of the deep capture's "data" object (DeepCapture.cpp dispatches to
// them), and the writer that puts points, pens and attribute pairs into one data object.

#include <nlohmann/json.hpp>

#include "tools/MemoReading.hpp"
#include "tools/library/DeepCapture.hpp"

namespace DeepCaptureData {

using json = nlohmann::json;

// One data object being written: every attribute pair and pen goes through here so that each
// is written, resolved and tracked the same way.
class DataWriter {
public:
    DataWriter(AttrTracker& tracker, BBox& box) : tracker_(tracker), box_(box) {}

    json& Data() { return data_; }
    json Take() { return std::move(data_); }

    template <typename T>
    void Put(const char* key, const T& value)
    {
        data_[key] = value;
    }
    void Point(const char* key, const API_Coord& point) { data_[key] = {{"x", point.x}, {"y", point.y}}; }
    void Degrees(const char* key, double radians) { data_[key] = radians * kRadiansToDegrees; }
    // key = the resolved name, key + "_index" = the index; tracked when above 0.
    void Attribute(const char* key, API_AttrTypeID type, Int32 index);
    // key = the pen index; tracked when above 0.
    void Pen(const char* key, Int16 pen);
    // "pen" and the "linetype" pair, which most drafting and placed elements carry.
    void PenAndLineType(Int16 pen, Int32 lineType)
    {
        Pen("pen", pen);
        Attribute("linetype", API_LinetypeID, lineType);
    }
    // The "top_material", "side_material" and "bot_material" surface pairs.
    void SurfacePairs(Int32 top, Int32 side, Int32 bottom)
    {
        Attribute("top_material", API_MaterialID, top);
        Attribute("side_material", API_MaterialID, side);
        Attribute("bot_material", API_MaterialID, bottom);
    }
    // A point key that also grows the box.
    void PointInBox(const char* key, const API_Coord& point)
    {
        Point(key, point);
        Extend(point);
    }
    // "library_part" and "library_part_index"; never tracked.
    void LibraryPart(Int32 libInd);
    // key = ExtractPolygon of the memo, when it has both coordinates and contour ends; with
    // extendBox every [x, y] of every contour grows the box. False when the key was left out.
    bool Polygon(const char* key, const API_ElementMemo& memo, const API_Polygon& poly, bool extendBox);

    void Extend(const API_Coord& point) { box_.Extend(point.x, point.y); }

private:
    AttrTracker& tracker_;
    BBox& box_;
    json data_ = json::object();
};

bool HasPolygon(const API_ElementMemo& memo);

// Construction elements.
json CaptureWall(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);
json CaptureColumn(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);
json CaptureBeam(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);
json CaptureSlab(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);
json CaptureRoof(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);

// Openings, objects and zones.
json CaptureDoorWindow(const API_Element& element, AttrTracker& tracker);
json CaptureObject(const API_Element& element, AttrTracker& tracker, BBox& box);
json CaptureZone(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);

// Drafting elements.
json CaptureLine(const API_Element& element, AttrTracker& tracker, BBox& box);
json CaptureArc(const API_Element& element, AttrTracker& tracker, BBox& box);
json CaptureText(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);
json CapturePolyline(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);
json CaptureFill(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);
json CaptureSpline(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);
json CaptureHotspot(const API_Element& element, AttrTracker& tracker, BBox& box);
json CaptureDimension(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box);

}  // namespace DeepCaptureData
