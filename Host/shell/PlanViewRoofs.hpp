#pragma once

// Roofs in the plan view: each roof's outline seen from above, lightly filled and hatched
// across in its pen's colour so that it reads as a roof over whatever stands below it.

#include <functional>
#include <vector>

#include <cairo.h>

#include "ACAPinc.h"
#include "PlanGeometry.hpp"
#include "PlanViewAttributes.hpp"

namespace PlanViewRoofs {

struct Roof {
    PlanGeometry::Contours contours;
    Int32 pen = 0;
};

// The story's roofs whose layer is shown. Main thread.
std::vector<Roof> Read(Int16 story);

// Every outline point, for the view's framing.
void ForEachPoint(const std::vector<Roof>& roofs, const std::function<void(double x, double y)>& fn);

void Draw(cairo_t* cr, const std::vector<Roof>& roofs, const PlanGeometry::Mapping& view, PlanView::PenPalette& pens);

}  // namespace PlanViewRoofs
