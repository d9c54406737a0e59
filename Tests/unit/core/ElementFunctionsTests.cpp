#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "core/ElementFunctions.hpp"

namespace {

using Points = std::vector<std::pair<double, double>>;

std::vector<API_Coord> Coords(const API_ElementMemo& memo)
{
    const GSSize bytes = BMGetHandleSize(memo.coords);
    const auto count = static_cast<std::size_t>(bytes / static_cast<GSSize>(sizeof(API_Coord)));
    return std::vector<API_Coord>(*memo.coords, *memo.coords + count);
}

void Dispose(API_ElementMemo& memo)
{
    BMKillHandle(&memo.coords);
    BMKillHandle(&memo.pends);
    BMKillHandle(&memo.parcs);
}

class BuildPolygonMemoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BNClear(memo_);
        baseline_ = HostTesting::LiveHandleCount();
    }
    void TearDown() override
    {
        Dispose(memo_);
        HostTesting::ClearFailures();
        EXPECT_EQ(HostTesting::LiveHandleCount(), baseline_);
    }

    API_ElementMemo memo_;
    Int64 baseline_ = 0;
};

}  // namespace

// ---- GUID text ----

TEST(GuidToStrTest, GivesTheHostsCanonicalTextThatParsesBack)
{
    const std::regex canonical("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        GS::Guid fresh;
        fresh.Generate();
        const API_Guid guid = fresh.ToAPIGuid();
        const std::string text = GuidToStr(guid);
        EXPECT_TRUE(std::regex_match(text, canonical)) << text;
        EXPECT_EQ(GS::Guid(text.c_str()).ToAPIGuid(), guid) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 20u);
    EXPECT_EQ(GuidToStr(APINULLGuid), "00000000-0000-0000-0000-000000000000");
}

// ---- Polygon memo ----

TEST_F(BuildPolygonMemoTest, OpenPolylineFillsSlotsOneToN)
{
    const Points points = {{0.0, 0.0}, {4.5, 0.0}, {4.5, -3.25}};
    ASSERT_TRUE(BuildPolygonMemo(memo_, points, false));

    const auto coords = Coords(memo_);
    ASSERT_EQ(coords.size(), 4u);
    EXPECT_EQ(coords[0].x, 0.0);
    EXPECT_EQ(coords[0].y, 0.0);
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(coords[i + 1].x, points[i].first) << i;
        EXPECT_EQ(coords[i + 1].y, points[i].second) << i;
    }
    ASSERT_EQ(BMGetHandleSize(memo_.pends), static_cast<GSSize>(2 * sizeof(Int32)));
    EXPECT_EQ((*memo_.pends)[0], 0);
    EXPECT_EQ((*memo_.pends)[1], 3);
    EXPECT_EQ(memo_.parcs, nullptr);
    EXPECT_EQ(HostTesting::LiveHandleCount(), baseline_ + 2);
}

TEST_F(BuildPolygonMemoTest, ClosedRectangleRepeatsTheFirstCorner)
{
    const Points rectangle = {{1.0, 2.0}, {5.0, 2.0}, {5.0, 6.0}, {1.0, 6.0}};
    ASSERT_TRUE(BuildPolygonMemo(memo_, rectangle, true));

    const auto coords = Coords(memo_);
    ASSERT_EQ(coords.size(), 6u);  // slot 0, four corners, the first again
    EXPECT_EQ(coords[1].x, 1.0);
    EXPECT_EQ(coords[4].y, 6.0);
    EXPECT_EQ(coords[5].x, 1.0);
    EXPECT_EQ(coords[5].y, 2.0);
    EXPECT_EQ((*memo_.pends)[0], 0);
    EXPECT_EQ((*memo_.pends)[1], 5);
}

TEST_F(BuildPolygonMemoTest, ZeroPointsStillGiveAWellFormedMemo)
{
    ASSERT_TRUE(BuildPolygonMemo(memo_, {}, false));
    EXPECT_EQ(Coords(memo_).size(), 1u);
    EXPECT_EQ((*memo_.pends)[1], 0);

    ASSERT_TRUE(BuildPolygonMemo(memo_, {}, true));
    EXPECT_EQ(Coords(memo_).size(), 2u);
    EXPECT_EQ((*memo_.pends)[1], 1);
    EXPECT_EQ(HostTesting::LiveHandleCount(), baseline_ + 2);
}

TEST_F(BuildPolygonMemoTest, ReplacesOldPolygonHandlesAndKeepsTheRest)
{
    memo_.parcs = reinterpret_cast<API_PolyArc**>(BMAllocateHandle(3 * sizeof(API_PolyArc), ALLOCATE_CLEAR, 0));
    memo_.textContent = BMAllocateHandle(8, ALLOCATE_CLEAR, 0);
    ASSERT_TRUE(BuildPolygonMemo(memo_, {{0, 0}, {1, 0}, {1, 1}}, true));
    ASSERT_TRUE(BuildPolygonMemo(memo_, {{2, 2}, {3, 3}}, false));

    EXPECT_EQ(memo_.parcs, nullptr);
    ASSERT_NE(memo_.textContent, nullptr);
    EXPECT_EQ(Coords(memo_).size(), 3u);
    EXPECT_EQ(Coords(memo_)[2].x, 3.0);
    // coords, pends and the untouched text: the old polygon handles were freed.
    EXPECT_EQ(HostTesting::LiveHandleCount(), baseline_ + 3);
    EXPECT_EQ(HostTesting::BadFreeCount(), 0);
    BMKillHandle(&memo_.textContent);
}

TEST_F(BuildPolygonMemoTest, FailedAllocationReturnsFalseAndLeavesTheOtherHandle)
{
    // The coordinate allocation fails: the contour-end handle is still made and stays.
    HostTesting::FailAllocation(1);
    EXPECT_FALSE(BuildPolygonMemo(memo_, {{0, 0}, {1, 0}, {1, 1}}, true));
    EXPECT_EQ(memo_.coords, nullptr);
    EXPECT_NE(memo_.pends, nullptr);
    EXPECT_EQ(HostTesting::LiveHandleCount(), baseline_ + 1);
    Dispose(memo_);
    EXPECT_EQ(HostTesting::LiveHandleCount(), baseline_);

    // The contour-end allocation fails: the coordinates stay for the caller to dispose.
    HostTesting::FailAllocation(2);
    EXPECT_FALSE(BuildPolygonMemo(memo_, {{0, 0}, {1, 0}}, false));
    EXPECT_NE(memo_.coords, nullptr);
    EXPECT_EQ(memo_.pends, nullptr);
    EXPECT_EQ(HostTesting::LiveHandleCount(), baseline_ + 1);
}
