#pragma once

// The element deep capture: one element as a JSON record of its identity, a per-type "data"
// object with its geometry and attributes, and (on request) its properties and
// classifications. What the per-type writers share is here: the attribute tracker and the
// polygon reader (the name resolvers are the element names every tool shows).

#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"

#include "tools/BBox.hpp"
#include "tools/ElementNames.hpp"

// Host radians to the degrees the record shows: the reciprocal of the add-on's
// degrees-to-radians factor, so that an angle written by a tool reads back as given.
constexpr double kRadiansToDegrees = 57.29577951308238;

// The attribute indices a capture met, by kind; only indices above 0, each once.
struct AttrTracker {
    std::set<Int32> layers;
    std::set<Int32> lineTypes;
    std::set<Int32> fillTypes;
    std::set<Int32> surfaces;
    std::set<Int32> buildingMaterials;
    std::set<Int32> composites;
    std::set<Int32> pens;

    // Adds index to the set of the attribute type (layer, line type, fill, composite,
    // surface, building material); other types and indices of 0 or less are ignored.
    void Add(API_AttrTypeID type, Int32 index);
    void AddPen(Int16 pen);
};

// The record of a fully read element. Host errors only leave keys out; the JSON library's
// and allocation exceptions pass through.
nlohmann::json DeepCaptureElement(const API_Element& element, AttrTracker& tracker, BBox& box, bool includeProperties);

// The memo's contours as arrays of [x, y], read no further than the memo's handles hold:
// contour ends past the contour-end handle or coordinates past the coordinate handle are
// not read, and a contour whose end does not advance is left out.
nlohmann::json ExtractPolygon(const API_ElementMemo& memo, const API_Polygon& poly);
