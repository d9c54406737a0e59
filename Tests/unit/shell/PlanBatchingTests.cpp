// The plan view draws each kind of element in batches of one pen; the picture must look as it
// does drawn element by element. A small plan of every kind the batches cover, in three pens,
// is drawn both ways and compared pixel by pixel.

#include <cairo.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "HostTesting.hpp"
#include "PlanView.hpp"

namespace {

constexpr Int32 kRed = 20, kBlue = 21, kGreen = 22;

// A stored element of the type from the host's defaults, changed by edit; a polygon, when
// given, replaces the memo's.
API_Guid Place(API_ElemTypeID type, const std::function<void(API_Element&)>& edit, std::vector<API_Coord> polygon = {})
{
    API_ElementMemo memo;
    BNClear(memo);
    API_Element e = HostTesting::MakeElement(type, &memo);
    edit(e);
    if (!polygon.empty()) {
        polygon.push_back(polygon.front());
        polygon.insert(polygon.begin(), API_Coord{0, 0});
        BMKillHandle(reinterpret_cast<GSHandle*>(&memo.coords));
        BMKillHandle(reinterpret_cast<GSHandle*>(&memo.pends));
        memo.coords = reinterpret_cast<API_Coord**>(BMAllocateHandle(GSSize(polygon.size() * sizeof(API_Coord)), 0, 0));
        std::copy(polygon.begin(), polygon.end(), *memo.coords);
        memo.pends = reinterpret_cast<Int32**>(BMAllocateHandle(GSSize(2 * sizeof(Int32)), 0, 0));
        (*memo.pends)[0] = 0;
        (*memo.pends)[1] = Int32(polygon.size()) - 1;
    }
    const API_Guid guid = HostTesting::AddElement(e, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    return guid;
}

API_Guid Wall(double x1, double y1, double x2, double y2, Int32 pen)
{
    return Place(API_WallID, [&](API_Element& e) {
        e.wall.begC = {x1, y1};
        e.wall.endC = {x2, y2};
        e.wall.thickness = 0.3;
        e.wall.contPen = Int16(pen);
    });
}

// A room of walls in three pens meeting at its corners, a door and a window, two slabs of one
// pen overlapping (one drawn counter-clockwise, one clockwise), a column, a beam, an object,
// and drafting lines, an arc and a hotspot.
void BuildPlan()
{
    HostTesting::SetAttribute(HostTesting::MakePen(kRed, 1.0, 0.0, 0.0));
    HostTesting::SetAttribute(HostTesting::MakePen(kBlue, 0.0, 0.0, 1.0));
    HostTesting::SetAttribute(HostTesting::MakePen(kGreen, 0.0, 0.6, 0.0));
    const API_Guid south = Wall(0, 0, 10, 0, kRed);
    const API_Guid east = Wall(10, 0, 10, 8, kBlue);
    Wall(10, 8, 0, 8, kRed);
    Wall(0, 8, 0, 0, kGreen);
    Wall(0, 4, 6, 4, kBlue);
    HostTesting::AddFixture(API_DoorID, 0, south);
    HostTesting::AddFixture(API_WindowID, 0, east);
    const auto slabPen = [](API_Element& e) { e.slab.pen = kRed; };
    Place(API_SlabID, slabPen, {{1, 1}, {5, 1}, {5, 5}, {1, 5}});
    Place(API_SlabID, slabPen, {{3, 3}, {3, 7}, {7, 7}, {7, 3}});
    Place(API_ColumnID, [](API_Element& e) { e.column.origoPos = {9, 1}, e.column.pen = kBlue; });
    Place(API_BeamID, [](API_Element& e) { e.beam.begC = {0, 9}, e.beam.endC = {10, 9}, e.beam.pen = kBlue; });
    Place(API_ObjectID, [](API_Element& e) { e.object.pos = {8, 6}, e.object.angle = 0.5, e.object.pen = kGreen; });
    Place(API_LineID, [](API_Element& e) { e.line.begC = {0, -1}, e.line.endC = {10, -1}, e.line.pen = kGreen; });
    Place(API_LineID, [](API_Element& e) { e.line.begC = {0, -1.5}, e.line.endC = {10, -0.5}, e.line.pen = kRed; });
    Place(API_ArcID, [](API_Element& e) {
        e.arc.origC = {7, 2}, e.arc.r = 1.5, e.arc.whole = true, e.arc.ratio = 1.0, e.arc.pen = kRed;
    });
    Place(API_HotspotID, [](API_Element& e) { e.hotspot.pos = {2, 7}, e.hotspot.pen = kBlue; });
}

// Pixels whose colour differs by more than 48 levels in any channel.
int DifferentPixels(const PlanView::Drawing& a, const PlanView::Drawing& b)
{
    const int width = cairo_image_surface_get_width(a.get()), height = cairo_image_surface_get_height(a.get());
    const int stride = cairo_image_surface_get_stride(a.get());
    const unsigned char* pa = cairo_image_surface_get_data(a.get());
    const unsigned char* pb = cairo_image_surface_get_data(b.get());
    int different = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool differs = false;
            for (int c = 0; c < 3; ++c)
                differs |= std::abs(pa[y * stride + 4 * x + c] - pb[y * stride + 4 * x + c]) > 48;
            different += differs ? 1 : 0;
        }
    return different;
}

TEST(PlanBatching, ThePictureLooksAsItDoesDrawnElementByElement)
{
    HostTesting::ResetProject();
    BuildPlan();
    PlanView::Options batched{480, 360, 0, PlanView::Batching::ByPen};
    PlanView::Options single = batched;
    single.batching = PlanView::Batching::PerElement;
    const PlanView::Drawing reference = PlanView::DrawImage(single);
    const PlanView::Drawing drawn = PlanView::DrawImage(batched);
    cairo_surface_flush(reference.get());
    cairo_surface_flush(drawn.get());
    // Where batches differ by nature: seams between walls of one pen and the corners where
    // pens meet; a slab drawn over by another of its batch in the opposite sense would not.
    EXPECT_LT(DifferentPixels(reference, drawn), 480 * 360 / 200);
    HostTesting::ResetProject();
    cairo_debug_reset_static_data();
}

}  // namespace
