#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "QuillmereTest.hpp"
#include "core/ElementFunctions.hpp"

namespace {

using Points = std::vector<std::pair<double, double>>;

// Every handle a test leaves in memo_ is freed; the fixture then finds nothing else alive or
// freed twice.
class BuildPolygonMemoTest : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        baseline_ = HostTesting::LiveHandleCount();
    }
    void TearDown() override
    {
        BMKillHandle(&memo_.coords);
        BMKillHandle(&memo_.pends);
        BMKillHandle(&memo_.parcs);
        QuillmereTest::TearDown();
    }
    Points Coords() const
    {
        Points out;
        for (GSSize i = 0; i < BMGetHandleSize(memo_.coords) / static_cast<GSSize>(sizeof(API_Coord)); ++i)
            out.emplace_back((*memo_.coords)[i].x, (*memo_.coords)[i].y);
        return out;
    }

    API_ElementMemo memo_{};
    Int64 baseline_ = 0;
};

}  // namespace

// Slot 0 stays empty; a closed polygon repeats its first corner; each build frees the last one's handles.
TEST_F(BuildPolygonMemoTest, FillsSlotsOneToNAndTheContourEnd)
{
    memo_.parcs = reinterpret_cast<API_PolyArc**>(BMAllocateHandle(3 * sizeof(API_PolyArc), ALLOCATE_CLEAR, 0));
    memo_.textContent = BMAllocateHandle(8, ALLOCATE_CLEAR, 0);
    const std::tuple<Points, bool, Points, Int32> cases[] = {
        {{{0, 0}, {4.5, 0}, {4.5, -3.25}}, false, {{0, 0}, {0, 0}, {4.5, 0}, {4.5, -3.25}}, 3},
        {{{1, 2}, {5, 2}, {5, 6}, {1, 6}}, true, {{0, 0}, {1, 2}, {5, 2}, {5, 6}, {1, 6}, {1, 2}}, 5},
        {{}, false, {{0, 0}}, 0},
        {{}, true, {{0, 0}, {0, 0}}, 1},
    };
    for (const auto& [points, closed, coords, end] : cases) {
        SCOPED_TRACE(end);
        ASSERT_TRUE(BuildPolygonMemo(memo_, points, closed));
        EXPECT_EQ(Coords(), coords);
        ASSERT_EQ(BMGetHandleSize(memo_.pends), static_cast<GSSize>(2 * sizeof(Int32)));
        EXPECT_EQ((*memo_.pends)[0], 0);
        EXPECT_EQ((*memo_.pends)[1], end);
        EXPECT_EQ(memo_.parcs, nullptr);
        ASSERT_NE(memo_.textContent, nullptr);  // not a polygon handle: left alone
        EXPECT_EQ(HostTesting::LiveHandleCount(), baseline_ + 3);
    }
    BMKillHandle(&memo_.textContent);
}

TEST_F(BuildPolygonMemoTest, FailedAllocationReturnsFalseAndLeavesTheOtherHandleToTheCaller)
{
    for (const int nth : {1, 2}) {  // the coordinates fail, then the contour ends
        HostTesting::FailAllocation(nth);
        EXPECT_FALSE(BuildPolygonMemo(memo_, {{0, 0}, {1, 0}, {1, 1}}, nth == 1));
        EXPECT_EQ(memo_.coords == nullptr, nth == 1);
        EXPECT_EQ(memo_.pends == nullptr, nth == 2);
        EXPECT_EQ(HostTesting::LiveHandleCount(), baseline_ + 1);
    }
}
