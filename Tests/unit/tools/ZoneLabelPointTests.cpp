// Where a zone built from a layout puts its label (and what the snapshot reports as its
// centre): inside the room, whatever its shape.
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "tools/recognition/PlanLayout.hpp"

TEST(ZoneLabelPoint, StandsInsideTheRoomWhateverItsShape)
{
    using Outline = std::vector<std::pair<double, double>>;
    const struct {
        const char* name;
        Outline outline;
        std::function<bool(const API_Coord&)> expected;
    } cases[] = {
        {"rectangle: its centre",
         {{0, 0}, {4, 0}, {4, 3}, {0, 3}},
         [](const API_Coord& p) { return std::abs(p.x - 2) < 1e-9 && std::abs(p.y - 1.5) < 1e-9; }},
        {"clockwise, away from the origin",
         {{10, 10}, {10, 13}, {14, 13}, {14, 10}},
         [](const API_Coord& p) { return std::abs(p.x - 12) < 1e-9 && std::abs(p.y - 11.5) < 1e-9; }},
        {"L-shape, centroid in the notch",
         {{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 4}, {0, 4}},
         [](const API_Coord& p) { return p.x > 0 && p.y > 0 && (p.x < 1 || p.y < 1) && p.x < 4 && p.y < 4; }},
        {"U-shape, centroid in the gap",
         {{0, 0}, {5, 0}, {5, 4}, {4, 4}, {4, 1}, {1, 1}, {1, 4}, {0, 4}},
         [](const API_Coord& p) {
             return p.x > 0 && p.x < 5 && p.y > 0 && p.y < 4 && (p.y < 1 || p.x < 1 || p.x > 4);
         }},
        {"no area: the mean of its points",
         {{0, 0}, {2, 0}, {4, 0}},
         [](const API_Coord& p) { return p.x == 2 && p.y == 0; }},
    };
    for (const auto& c : cases) {
        const API_Coord point = PlanLayout::ZoneLabelPoint(c.outline);
        EXPECT_TRUE(c.expected(point)) << c.name << ": (" << point.x << ", " << point.y << ")";
    }
}
