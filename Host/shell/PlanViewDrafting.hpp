#pragma once

// The 2D drafting of one story in the plan view: lines, polylines, arcs, texts, hotspots,
// splines, fills with their patterns and linear dimensions with witness lines and the
// measured length. Kept apart from the model elements so that the plan view reads and draws
// it in two calls: fills under the walls, linework over everything.

#include <functional>
#include <memory>

#include <cairo.h>

#include "PlanGeometry.hpp"

namespace PlanViewDrafting {

using Mapping = PlanGeometry::Mapping;

// The drafting elements of one story with everything drawing needs (colours, memo data).
struct Sheet;

// Reads the story's drafting through the host API. Main thread.
std::shared_ptr<const Sheet> Read(Int16 story);

// Calls add with every model point the drafting reaches, so the view can frame it.
void ForEachExtentPoint(const Sheet& sheet, const std::function<void(double x, double y)>& add);

// Fills and their patterns; drawn before the walls.
void DrawFills(cairo_t* cr, const Sheet& sheet, const Mapping& mapping);
// Lines, polylines, arcs, splines, dimensions, hotspots and texts; drawn last. Lines,
// polylines, arcs, splines and hotspots go in batches of one colour.
void DrawLinework(cairo_t* cr, const Sheet& sheet, const Mapping& mapping,
                  PlanView::Batching batching = PlanView::Batching::ByPen);

}  // namespace PlanViewDrafting
