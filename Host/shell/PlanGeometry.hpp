#pragma once

// What the plan view's layers share: the model-to-pixel mapping and reading a story's
// elements and polygons through the host API.

#include <functional>
#include <map>
#include <optional>
#include <type_traits>
#include <vector>

#include <cairo.h>

#include "ACAPinc.h"
#include "PlanView.hpp"

namespace PlanGeometry {

// Model metres to pixels: y grows upwards in the model, downwards on screen.
struct Mapping {
    double scale = 40.0;
    double originX = 0.0;
    double originY = 0.0;
    int height = 0;
    double X(double x) const { return (x - originX) * scale; }
    double Y(double y) const { return height - (y - originY) * scale; }
};

// Every element of the type on the story (on every story without one) whose layer is shown,
// in the host's order; only the worksheet's own drafting while a worksheet is open.
// Main thread.
void ForEachElement(API_ElemTypeID type, std::optional<Int16> story, const std::function<void(const API_Element&)>& fn);

// The contours of an element's polygon memo (coordinates from slot 1, split at the contour
// ends; one contour when there are none). Contours of fewer than two points are left out.
using Contours = std::vector<std::vector<API_Coord>>;
Contours ReadContours(const API_Guid& guid);

// Adds the contours to the current path, each closed when close is set.
void PathContours(cairo_t* cr, const Mapping& mapping, const Contours& contours, bool close);

// Adds an area's contours closed, all turned round when its first contour runs clockwise, so
// that the areas of one batch never cancel each other where they overlap under the winding
// rule; an area alone fills the same either way.
void PathArea(cairo_t* cr, const Mapping& mapping, const Contours& contours);

// The items in batches of equal key (a pen, a colour), the batches in the order their key first
// appears; with PerElement every item is a batch of its own, in order.
template <typename Item, typename KeyOf>
std::vector<std::vector<const Item*>> Batches(const std::vector<Item>& items, KeyOf keyOf, PlanView::Batching batching)
{
    std::vector<std::vector<const Item*>> batches;
    std::map<std::decay_t<decltype(keyOf(std::declval<const Item&>()))>, size_t> slots;
    for (const Item& item : items) {
        if (batching == PlanView::Batching::PerElement) {
            batches.push_back({&item});
            continue;
        }
        const auto [slot, added] = slots.try_emplace(keyOf(item), batches.size());
        if (added) batches.emplace_back();
        batches[slot->second].push_back(&item);
    }
    return batches;
}

}  // namespace PlanGeometry
