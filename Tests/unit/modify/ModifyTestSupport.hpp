#pragma once

// Shared by the editing-tool tests: snapshots of everything the tools can touch, so that "nothing
// changed" and "undo brought it all back" are one comparison each.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ToolTestFixture.hpp"

constexpr double kStoredDegree = 0.017453292519943278;  // the add-on's degrees-to-radians factor

struct ElementState {
    API_Element record;
    std::vector<API_Coord> polygon;
};

inline bool SameRecord(const API_Element& a, const API_Element& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool SameState(const ElementState& a, const ElementState& b)
{
    return SameRecord(a.record, b.record) && a.polygon.size() == b.polygon.size() &&
           (a.polygon.empty() || std::memcmp(a.polygon.data(), b.polygon.data(), a.polygon.size() * sizeof(API_Coord)) == 0);
}

inline std::vector<ElementState> TakeSnapshot()
{
    std::vector<ElementState> states;
    for (const API_Guid& guid : HostTesting::AllElements()) {
        states.push_back({{}, HostTesting::GetPolygon(guid)});
        BNClear(states.back().record);
        HostTesting::GetElement(guid, &states.back().record);
    }
    return states;
}

inline ::testing::AssertionResult SameProject(const std::vector<ElementState>& expected,
                                              const std::vector<ElementState>& actual)
{
    for (size_t i = 0; i < std::max(expected.size(), actual.size()); ++i)
        if (i >= expected.size() || i >= actual.size() || !SameState(expected[i], actual[i]))
            return ::testing::AssertionFailure() << "element " << i << " differs, is missing or is new";
    return ::testing::AssertionSuccess();
}

// Points are compared to 1e-9 m: rotations go through sine and cosine.
template <typename Point> ::testing::AssertionResult Near(const Point& p, double x, double y)
{
    if (std::fabs(p.x - x) <= 1e-9 && std::fabs(p.y - y) <= 1e-9)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << p.x << ", " << p.y << ") is not (" << x << ", " << y << ")";
}
#define EXPECT_POINT(point, x, y) EXPECT_TRUE(Near(point, x, y))
#define EXPECT_AT(point, expected) EXPECT_TRUE(Near(point, (expected).x, (expected).y))

inline std::string HostError(const char* prefix, GSErrCode code) { return prefix + (" ACAPI error: " + std::to_string(code)); }

class ModifyToolTest : public ToolTestFixture {
protected:
    API_Element Get(const API_Guid& guid) const { return Element(Text(guid)); }
};
