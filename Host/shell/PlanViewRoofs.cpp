#include "PlanViewRoofs.hpp"

namespace PlanViewRoofs {

std::vector<Roof> Read(Int16 story)
{
    std::vector<Roof> roofs;
    PlanGeometry::ForEachElement(API_RoofID, story, [&](const API_Element& e) {
        Roof roof{PlanGeometry::ReadContours(e.header.guid), PlanView::ElementPen(e)};
        if (!roof.contours.empty()) roofs.push_back(std::move(roof));
    });
    return roofs;
}

void ForEachPoint(const std::vector<Roof>& roofs, const std::function<void(double x, double y)>& fn)
{
    for (const Roof& roof : roofs)
        for (const auto& contour : roof.contours)
            for (const API_Coord& c : contour) fn(c.x, c.y);
}

void Draw(cairo_t* cr, const std::vector<Roof>& roofs, const PlanGeometry::Mapping& view, PlanView::PenPalette& pens)
{
    const PlanView::PenPalette::Colour roofColour{0.62, 0.3, 0.22};
    for (const Roof& roof : roofs) {
        cairo_save(cr);
        cairo_new_path(cr);
        PlanGeometry::PathContours(cr, view, roof.contours, true);
        pens.Use(cr, roof.pen, roofColour, 0.12);
        cairo_fill_preserve(cr);
        cairo_clip_preserve(cr);
        // Diagonal hatching, about 12 pixels apart, across the outline's pixel bounds.
        double x0, y0, x1, y1;
        cairo_path_extents(cr, &x0, &y0, &x1, &y1);
        cairo_new_path(cr);
        const double step = 12.0, span = (x1 - x0) + (y1 - y0);
        for (double d = 0; d <= span && d < 1e5; d += step) {
            cairo_move_to(cr, x0 + d, y0);
            cairo_line_to(cr, x0 + d - (y1 - y0), y1);
        }
        pens.Use(cr, roof.pen, roofColour, 0.45);
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
        cairo_reset_clip(cr);
        PlanGeometry::PathContours(cr, view, roof.contours, true);
        pens.Use(cr, roof.pen, roofColour);
        cairo_set_line_width(cr, 1.6);
        cairo_stroke(cr);
        cairo_restore(cr);
    }
}

}  // namespace PlanViewRoofs
