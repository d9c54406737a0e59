// The plan view draws each kind of element in batches of one pen; the picture and the PDF page
// must look as they do drawn element by element. A small plan of the kinds the batches cover,
// in three pens, is drawn both ways and compared pixel by pixel.

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "HostTesting.hpp"
#include "PlanView.hpp"

namespace {

constexpr Int16 kRed = 20, kBlue = 21, kGreen = 22;

// A stored element from the host's defaults, changed by edit (which may change the memo).
API_Guid Place(API_ElemTypeID type, const std::function<void(API_Element&, API_ElementMemo&)>& edit)
{
    API_ElementMemo memo;
    BNClear(memo);
    API_Element e = HostTesting::MakeElement(type, &memo);
    edit(e, memo);
    const API_Guid guid = HostTesting::AddElement(e, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    return guid;
}

API_Guid Wall(double x1, double y1, double x2, double y2, Int16 pen)
{
    return Place(API_WallID, [&](API_Element& e, API_ElementMemo&) {
        e.wall.begC = {x1, y1}, e.wall.endC = {x2, y2}, e.wall.thickness = 0.3, e.wall.contPen = pen;
    });
}

// A room of walls in three pens meeting at its corners with a door and a window; two slabs of
// one pen overlapping, the second turned round (clockwise) and moved; a column, a beam, an
// object, lines, an arc and a hotspot.
void BuildPlan()
{
    HostTesting::SetAttribute(HostTesting::MakePen(kRed, 1.0, 0.0, 0.0));
    HostTesting::SetAttribute(HostTesting::MakePen(kBlue, 0.0, 0.0, 1.0));
    HostTesting::SetAttribute(HostTesting::MakePen(kGreen, 0.0, 0.6, 0.0));
    HostTesting::AddFixture(API_DoorID, 0, Wall(-1, -1, 9, -1, kRed));
    HostTesting::AddFixture(API_WindowID, 0, Wall(9, -1, 9, 7, kBlue));
    Wall(9, 7, -1, 7, kRed), Wall(-1, 7, -1, -1, kGreen), Wall(-1, 3, 5, 3, kBlue);
    Place(API_SlabID, [](API_Element& e, API_ElementMemo&) { e.slab.pen = kRed; });
    Place(API_SlabID, [](API_Element& e, API_ElementMemo& m) {
        e.slab.pen = kRed;
        API_Coord* c = *m.coords;
        const GSSize n = BMGetHandleSize(m.coords) / GSSize(sizeof(API_Coord));
        std::reverse(c + 1, c + n);
        for (GSSize i = 1; i < n; ++i) c[i].x += 2.0, c[i].y += 1.5;
    });
    Place(API_ColumnID, [](API_Element& e, API_ElementMemo&) { e.column.origoPos = {8, 0}, e.column.pen = kBlue; });
    Place(API_BeamID, [](API_Element& e, API_ElementMemo&) { e.beam.begC = {-1, 8}, e.beam.endC = {9, 8}; });
    Place(API_ObjectID, [](API_Element& e, API_ElementMemo&) { e.object.pos = {7, 5}, e.object.angle = 0.5; });
    Place(API_LineID, [](API_Element& e, API_ElementMemo&) { e.line.begC = {-1, -2}, e.line.endC = {9, -1.5}; });
    Place(API_LineID, [](API_Element& e, API_ElementMemo&) { e.line.begC = {-1, -2.5}, e.line.pen = kRed; });
    Place(API_ArcID, [](API_Element& e, API_ElementMemo&) { e.arc.origC = {6, 1}, e.arc.r = 1.5, e.arc.pen = kRed; });
    Place(API_HotspotID, [](API_Element& e, API_ElementMemo&) { e.hotspot.pos = {1, 6}, e.hotspot.pen = kBlue; });
}

constexpr int kWidth = 480, kHeight = 360;

// The plan on an image: drawn there directly (the window's picture), or drawn on a recording
// surface first, which like a PDF page keeps paths as operators, and played back.
PlanView::Drawing Draw(PlanView::Batching batching, bool page)
{
    if (!page) return PlanView::DrawImage({kWidth, kHeight, 0, batching});
    cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
    cairo_t* cr = cairo_create(recording);
    PlanView::Draw(cr, kWidth, kHeight, 0, batching);
    cairo_destroy(cr);
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cr = cairo_create(image);
    cairo_set_source_surface(cr, recording, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(recording);
    return PlanView::Drawing(image, cairo_surface_destroy);
}

TEST(PlanBatching, PictureAndPageLookAsTheyDoDrawnElementByElement)
{
    HostTesting::ResetProject();
    BuildPlan();
    const PlanView::Drawing single = Draw(PlanView::Batching::PerElement, false);
    for (const bool page : {false, true}) {
        const PlanView::Drawing batched = Draw(PlanView::Batching::ByPen, page);
        const int stride = cairo_image_surface_get_stride(single.get());
        const unsigned char* a = cairo_image_surface_get_data(single.get());
        const unsigned char* b = cairo_image_surface_get_data(batched.get());
        int different = 0;  // pixels off by more than 48 levels in a channel
        for (int i = 0; i < kHeight * stride; i += 4)
            different +=
                std::abs(a[i] - b[i]) > 48 || std::abs(a[i + 1] - b[i + 1]) > 48 || std::abs(a[i + 2] - b[i + 2]) > 48;
        // Batches differ by nature only at seams between walls of one pen and at corners where
        // pens meet; slabs of one batch that cancelled each other's fill would differ far more.
        EXPECT_LT(different, kWidth * kHeight / 200) << (page ? "page" : "picture");
    }
    HostTesting::ResetProject();
    cairo_debug_reset_static_data();
}

}  // namespace
