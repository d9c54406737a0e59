#pragma once

// An axis-aligned box in plan coordinates (metres), grown point by point. The template
// summary, the element deep capture, the inspection tools (an element's extent, the project's
// box) and the typology tools (the wall box) grow theirs by the same rule.

#include <nlohmann/json.hpp>

struct BBox {
    double min_x = 1e30;
    double min_y = 1e30;
    double max_x = -1e30;
    double max_y = -1e30;
    bool empty = true;

    // Each bound moves only for a point strictly beyond it; the box is then never empty again.
    void Extend(double x, double y);
    // null while empty, else {"max_x", "max_y", "min_x", "min_y"}: an empty box never shows
    // its 1e30 starting values.
    nlohmann::json ToJson() const;
};
