// Where a zone built from a layout puts its label (and what the snapshot reports as its
// centre): inside the room, whatever its shape.
#include <gtest/gtest.h>

#include "tools/recognition/PlanLayout.hpp"

TEST(ZoneLabelPoint, StandsInsideTheRoomWhateverItsShape)
{
    using Outline = std::vector<std::pair<double, double>>;
    struct Rect {
        double x0, y0, x1, y1;
    };
    const struct {
        const char* name;
        Outline outline;
        Rect within;  // the label must stand inside this part of the room
    } cases[] = {
        {"rectangle: its centre", {{0, 0}, {4, 0}, {4, 3}, {0, 3}}, {1.99, 1.49, 2.01, 1.51}},
        {"clockwise, off the origin", {{10, 10}, {10, 13}, {14, 13}, {14, 10}}, {11.99, 11.49, 12.01, 11.51}},
        {"L-shape, centroid in the notch", {{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 4}, {0, 4}}, {0, 0, 4, 1}},
        {"U-shape, centroid in the gap",
         {{0, 0}, {5, 0}, {5, 4}, {4, 4}, {4, 1}, {1, 1}, {1, 4}, {0, 4}},
         {0, 0, 5, 1}},
        {"no area: the mean of its points", {{0, 0}, {2, 0}, {4, 0}}, {2, 0, 2, 0}},
    };
    for (const auto& c : cases) {
        const API_Coord p = PlanLayout::ZoneLabelPoint(c.outline);
        EXPECT_TRUE(p.x >= c.within.x0 && p.x <= c.within.x1 && p.y >= c.within.y0 && p.y <= c.within.y1)
            << c.name << ": (" << p.x << ", " << p.y << ")";
    }
}
