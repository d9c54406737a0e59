// The plan bounding box shared by the template summary, the deep capture, the inspection tools
// and the wall box.
#include "tools/BBox.hpp"

void BBox::Extend(double x, double y)
{
    if (min_x > x) min_x = x;
    if (min_y > y) min_y = y;
    if (x > max_x) max_x = x;
    if (y > max_y) max_y = y;
    empty = false;
}

nlohmann::json BBox::ToJson() const
{
    if (empty) return nullptr;
    return {{"min_x", min_x}, {"min_y", min_y}, {"max_x", max_x}, {"max_y", max_y}};
}
