#pragma once

// What the project's attributes decide about the plan view: elements on a hidden layer are
// not drawn, and an element is drawn in its pen's colour. Both are read through the host's
// attribute functions (main thread), each layer and pen once per drawing.

#include <optional>
#include <unordered_map>

#include <cairo.h>

#include "ACAPinc.h"

namespace PlanView {

// Which layers are shown. A layer the host cannot read is shown: only the hidden flag hides.
class LayerFilter {
public:
    bool Shown(Int32 layer);

private:
    std::unordered_map<Int32, bool> shown_;
};

// Pen colours. A pen the host cannot read (0, deleted) leaves the caller's own colour.
class PenPalette {
public:
    struct Colour {
        double red, green, blue;
    };
    // Sets the cairo source to the pen's colour (or fallback) at the given opacity.
    void Use(cairo_t* cr, Int32 pen, Colour fallback, double alpha = 1.0);
    std::optional<Colour> Find(Int32 pen);

private:
    std::unordered_map<Int32, std::optional<Colour>> pens_;
};

// The pen an element is drawn with: its contour pen (a fill's fill pen); 0 for types without one.
Int32 ElementPen(const API_Element& element);

}  // namespace PlanView
