#pragma once

// Selecting in the host window's plan: the element under the pointer, the selection changed by
// a click the way the host's own plan does it, and the selected elements drawn highlighted
// over the plan in a pass of their own.

#include <optional>

#include <cairo.h>

#include "ACAPinc.h"
#include "PlanGeometry.hpp"

namespace PlanSelection {

// The element drawn under the pixel (walls, openings, columns, beams, objects, slabs, roofs,
// zones and drafting elements), nearest first; an enclosing area only when nothing else is near.
// Main thread.
std::optional<API_Guid> ElementAt(Int16 story, const PlanGeometry::Mapping& view, double px, double py);

// A click: selects the element under it alone; with shift adds it, or removes it when it is
// selected; on empty space clears the selection unless shift is held. Main thread.
GSErrCode Click(Int16 story, const PlanGeometry::Mapping& view, double px, double py, bool shift);

// Outlines every selected element of the story. Main thread.
void DrawSelection(cairo_t* cr, const PlanGeometry::Mapping& view, Int16 story);

// How many elements are selected.
Int32 SelectedCount();

}  // namespace PlanSelection
