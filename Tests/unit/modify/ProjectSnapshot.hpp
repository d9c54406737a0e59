#pragma once

// Everything the editing tools can touch, captured so that a test can tell "nothing changed"
// or "undo brought it all back" by comparing two snapshots.

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"

struct ElementState {
    API_Element record;
    std::vector<API_Coord> polygon;
};

inline bool SameRecord(const API_Element& a, const API_Element& b)
{
    return std::memcmp(&a, &b, sizeof(API_Element)) == 0;
}

inline std::vector<ElementState> TakeSnapshot()
{
    std::vector<ElementState> states;
    for (const API_Guid& guid : HostTesting::AllElements()) {
        ElementState state;
        BNClear(state.record);
        HostTesting::GetElement(guid, &state.record);
        state.polygon = HostTesting::GetPolygon(guid);
        states.push_back(state);
    }
    return states;
}

inline ::testing::AssertionResult SameProject(const std::vector<ElementState>& expected,
                                              const std::vector<ElementState>& actual)
{
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure() << "element count " << actual.size() << ", expected " << expected.size();
    for (size_t i = 0; i < expected.size(); ++i) {
        if (std::memcmp(&expected[i].record, &actual[i].record, sizeof(API_Element)) != 0)
            return ::testing::AssertionFailure() << "element " << i << " (type " << expected[i].record.header.type.typeID
                                                 << ") differs";
        if (expected[i].polygon.size() != actual[i].polygon.size() ||
            (!expected[i].polygon.empty() &&
             std::memcmp(expected[i].polygon.data(), actual[i].polygon.data(),
                         expected[i].polygon.size() * sizeof(API_Coord)) != 0))
            return ::testing::AssertionFailure() << "polygon of element " << i << " differs";
    }
    return ::testing::AssertionSuccess();
}

// Points are compared to 1e-9 m: rotations go through sine and cosine.
#define EXPECT_POINT(point, ex, ey)            \
    do {                                       \
        EXPECT_NEAR((point).x, (ex), 1e-9);    \
        EXPECT_NEAR((point).y, (ey), 1e-9);    \
    } while (0)
