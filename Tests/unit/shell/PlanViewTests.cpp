// The plan view as the window and its capture show it: each window captured at its own size on
// the current story, every element in its pen's colour read afresh for each drawing, hidden
// layers left out, a plan that stays readable whatever the project holds (names that fill their
// fields too), and the batches of one pen that look as the plan drawn element by element and
// its PNG (compared pixel by pixel).

#include <cairo.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HostTesting.hpp"
#include "HostTestingWindow.hpp"
#include "HostWindow.hpp"
#include "PlanSelection.hpp"
#include "PlanView.hpp"
#include "PlanViewLayers.hpp"
#include "PlanWindow.hpp"
#include "QuillmereTest.hpp"

namespace {

// A PNG's size and how many of its pixels (seen as 0xRRGGBB) counts accepts.
struct Picture {
    int width = 0, height = 0, pixels = 0;
};

template <typename Bytes>
Picture CountPixels(const Bytes& png, const std::function<bool(uint32_t)>& counts)
{
    struct Reader {
        const Bytes& bytes;
        size_t at;
    } reader{png, 0};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
            auto* in = static_cast<Reader*>(closure);
            if (in->at + length > in->bytes.size()) return CAIRO_STATUS_READ_ERROR;
            std::copy_n(reinterpret_cast<const unsigned char*>(in->bytes.data()) + in->at, length, data);
            in->at += length;
            return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    Picture out;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        out.width = cairo_image_surface_get_width(surface);
        out.height = cairo_image_surface_get_height(surface);
        for (int y = 0; y < out.height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface) +
                                                                y * cairo_image_surface_get_stride(surface));
            for (int x = 0; x < out.width; ++x) out.pixels += counts(row[x] & 0xFFFFFF) ? 1 : 0;
        }
    }
    cairo_surface_destroy(surface);
    return out;
}

// The pixels with every channel within tolerance of (r, g, b).
template <typename Bytes>
Picture Count(const Bytes& png, int r, int g, int b, int tolerance = 40)
{
    return CountPixels(png, [=](uint32_t p) {
        return std::abs(int(p >> 16) - r) < tolerance && std::abs(int((p >> 8) & 0xFF) - g) < tolerance &&
               std::abs(int(p & 0xFF) - b) < tolerance;
    });
}

std::vector<unsigned char> Plan(int width = 400, int height = 300)
{
    return PlanView::RenderPng({width, height, HostTesting::CurrentStory()});
}

class PlanViewTest : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        HostTesting::ResetWindows();
        PlanWindow::Install();
    }
    void TearDown() override
    {
        HostTesting::ResetWindows();
        cairo_debug_reset_static_data();
        QuillmereTest::TearDown();
    }
};

TEST_F(PlanViewTest, EachWindowIsCapturedAsThePlanOfTheCurrentStoryAtItsOwnSize)
{
    HostTesting::SetStories({{0, 0.0, "Ground"}, {1, 3.0, "First"}});
    HostTesting::AddWall(0, 0, 8, 0, 0);
    HostTesting::AddWall(8, 0, 8, 5, 0);
    HostTesting::SetMainWindow(HostTesting::WindowSize{640, 480});
    const Picture main = Count(HostWindow::CaptureWindowPng(HostTesting::kMainWindowNumber), 0, 0, 0, 90);
    EXPECT_EQ(std::make_pair(main.width, main.height), std::make_pair(640, 480));
    EXPECT_GT(main.pixels, 500) << "the walls are not in the capture";
    API_StoryCmdType goTo{};
    goTo.action = APIStory_GoTo;
    goTo.index = 1;
    ASSERT_EQ(ACAPI_Environment(APIEnv_ChangeStorySettingsID, &goTo), NoError);
    EXPECT_EQ(Count(HostWindow::CaptureWindowPng(HostTesting::kMainWindowNumber), 0, 0, 0, 90).pixels, 0)
        << "another story's walls were drawn";

    // A refused encoding and a window nothing draws give nothing.
    HostTesting::FailNextCall("NSBitmapImageRep representationUsingType", APIERR_GENERAL);
    EXPECT_TRUE(HostWindow::CaptureWindowPng(HostTesting::kMainWindowNumber).empty());
    HostTesting::ClearFailures();
    HostTesting::InstallWindowPicture({});
    EXPECT_TRUE(HostWindow::CaptureWindowPng(HostTesting::kMainWindowNumber).empty());
}

TEST_F(PlanViewTest, PensAndLayersAreReadAfreshForEachDrawing)
{
    // A wall on layer 3 drawn with pen 20, a column on layer 4 with pen 21.
    HostTesting::SetAttribute(HostTesting::MakePen(20, 1.0, 0.0, 0.0));
    HostTesting::SetAttribute(HostTesting::MakePen(21, 0.0, 0.0, 1.0));
    API_Element wall = HostTesting::MakeElement(API_WallID), column = HostTesting::MakeElement(API_ColumnID);
    wall.wall.begC = {0, 0}, wall.wall.endC = {6, 0}, wall.wall.thickness = 0.4;
    wall.wall.contPen = 20, wall.header.layer = 3;
    column.column.origoPos = {3, 3}, column.column.pen = 21, column.header.layer = 4;
    HostTesting::AddElement(wall);
    HostTesting::AddElement(column);
    const auto first = Plan();
    EXPECT_GT(Count(first, 255, 0, 0).pixels, 300) << "the wall is not in pen 20's red";
    EXPECT_GT(Count(first, 0, 0, 255).pixels, 20) << "the column is not in pen 21's blue";

    HostTesting::SetAttribute(HostTesting::MakePen(20, 0.0, 0.63, 0.0));
    EXPECT_EQ(Count(Plan(), 255, 0, 0).pixels, 0) << "the old colour stayed";

    API_Attribute walls;
    ASSERT_TRUE(HostTesting::GetAttribute(API_LayerID, 3, &walls));
    walls.header.flags = Int16(walls.header.flags | APILay_Hidden);
    HostTesting::SetAttribute(walls);
    const auto hidden = Plan();
    EXPECT_EQ(Count(hidden, 0, 160, 0).pixels, 0) << "a wall on a hidden layer was drawn";
    EXPECT_GT(Count(hidden, 0, 0, 255).pixels, 20) << "the column's layer is shown";

    // A locked layer is drawn; so is a layer the host cannot read; a pen it cannot read leaves
    // the view's own colour.
    walls.header.flags = APILay_Locked;
    HostTesting::SetAttribute(walls);
    HostTesting::DeleteAttribute(API_LayerID, 4);
    HostTesting::DeleteAttribute(API_PenID, 20);
    const auto shown = Plan();
    EXPECT_GT(Count(shown, 43, 48, 54).pixels, 300) << "the wall lost its outline colour";
    EXPECT_GT(Count(shown, 0, 0, 255).pixels, 20);
}

// A drawing as wide as the working extent keeps its grid apart, and a point beyond the extent
// (stored past the host's checks) does not shrink the rest to a dot.
TEST_F(PlanViewTest, StaysReadableWhateverTheProjectHolds)
{
    const Int16 story = HostTesting::CurrentStory();
    const double extent = HostTesting::WorkingExtent();
    const auto paper = [](const std::vector<unsigned char>& png) {
        return CountPixels(png, [](uint32_t p) { return p == 0xFCFCF9; }).pixels;
    };
    HostTesting::AddWall(-extent, 0, extent, 0, story);
    const auto wide = Plan(800, 600);
    EXPECT_GT(paper(wide), 800 * 600 / 2) << "the grid hatches the view";
    EXPECT_GT(Count(wide, 0, 0, 0, 70).pixels, 0);

    HostTesting::ResetProject();
    HostTesting::AddWall(0, 0, 6, 0, story);
    HostTesting::AddWall(6, 0, 6, 4, story);
    const int near = Count(Plan(), 0, 0, 0, 70).pixels;
    const Picture clamped = Count(Plan(-5, 1000000), 0, 0, 0, 70);
    EXPECT_EQ(std::make_pair(clamped.width, clamped.height), std::make_pair(64, 4096)) << "the size is not clamped";
    for (double far : {1e300, extent * 2}) {
        HostTesting::AddWall(far, far, far + 1, far, story);
        const auto drawn = Plan();
        EXPECT_GT(Count(drawn, 0, 0, 0, 70).pixels, near / 2) << far << ": the walls in reach are not at their size";
        EXPECT_GT(paper(drawn), 400 * 300 / 2) << far;
    }
}

// A record brought in from a file may fill a name field to its end with no terminator: the
// window reads it within the field, whatever the bytes after it hold.
TEST_F(PlanViewTest, ANameThatFillsItsFieldIsReadWithinIt)
{
    API_Attribute layer = HostTesting::MakeLayer("", APILay_Hidden);
    layer.header.index = 40;
    std::fill(std::begin(layer.header.name), std::end(layer.header.name), 'x');
    // Every byte after the name, padding too, as a file may hold them.
    const size_t after = offsetof(API_Attr_Head, name) + sizeof layer.header.name;
    std::memset(reinterpret_cast<char*>(&layer) + after, 'y', sizeof layer - after);
    HostTesting::SetAttribute(layer);
    const std::vector<std::string> hidden = PlanViewLayers::HiddenNames();  // in index order
    ASSERT_FALSE(hidden.empty());
    EXPECT_EQ(hidden.back(), std::string(256, 'x'));

    // A zone's room name is drawn centred: read past its field, it would take the room number
    // with it and move.
    API_ElementMemo memo;
    BNClear(memo);
    API_Element zone = HostTesting::MakeElement(API_ZoneID, &memo);
    zone.header.floorInd = HostTesting::CurrentStory();
    std::fill(std::begin(zone.zone.roomName), std::end(zone.zone.roomName), u'M');
    zone.zone.roomName[0] = u'A';
    const API_Guid guid = HostTesting::AddElement(zone, &memo);
    const auto alone = Plan(4096, 300);
    std::fill(std::begin(zone.zone.roomNoStr), std::end(zone.zone.roomNoStr), u'i');
    zone.header.guid = guid;
    HostTesting::AddElement(zone, &memo);  // the same GUID: replaced in place
    EXPECT_TRUE(Plan(4096, 300) == alone) << "the room name took in the room number";
    ACAPI_DisposeElemMemoHdls(&memo);
}

// A click picks the element drawn under it (an opening over its wall, an area only from inside
// and when nothing else is near), shift adds or removes, empty space clears.
TEST_F(PlanViewTest, ClicksSelectAddRemoveAndClear)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 10, 0);
    const API_Guid door = HostTesting::AddFixture(API_DoorID, 0, wall);  // 3.5 m along the wall
    const API_Guid column = HostTesting::AddFixture(API_ColumnID);       // at (1, 1)
    const API_Guid zone = HostTesting::AddFixture(API_ZoneID);           // 4 x 3 from the origin
    const PlanGeometry::Mapping view = PlanView::ViewOf(400, 300, 0);
    const struct {
        const char* name;
        API_Coord at;
        bool shift;
        std::vector<API_Guid> after;
    } clicks[] = {
        {"the door, not its wall", {3.5, 0.0}, false, {door}},
        {"the wall beside it", {8.0, 0.0}, false, {wall}},
        {"shift adds the column", {1.0, 1.0}, true, {wall, column}},
        {"shift on a selected one removes it", {8.0, 0.0}, true, {column}},
        {"inside the zone, away from the rest", {3.0, 2.0}, false, {zone}},
        {"shift on empty space keeps it", {9.0, 8.0}, true, {zone}},
        {"empty space clears", {9.0, 8.0}, false, {}},
    };
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.name);
        EXPECT_EQ(PlanSelection::Click(0, view, view.X(click.at.x), view.Y(click.at.y), click.shift), NoError);
        EXPECT_EQ(SelectedGuids(), click.after);
    }
}

// The selection is drawn in the highlight's orange.
TEST_F(PlanViewTest, TheSelectionIsDrawnHighlighted)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 10, 0);
    EXPECT_EQ(Count(Plan(), 250, 140, 13).pixels, 0);
    GS::Array<API_Neig> neigs;
    neigs.Push(API_Neig{APINeig_None, wall, 0, 0});
    ASSERT_EQ(ACAPI_Element_Select(neigs, true), NoError);
    EXPECT_GT(Count(Plan(), 250, 140, 13).pixels, 100);
    EXPECT_EQ(PlanSelection::SelectedCount(), 1);
}

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
    // The picture's PNG holds exactly the pixels drawn (CountPixels reads them row by row).
    const auto* drawn = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(single.get()));
    int at = 0;
    const auto same = [&](uint32_t p) { return ++at <= kWidth * kHeight && p == (drawn[at - 1] & 0xFFFFFF); };
    EXPECT_EQ(std::make_pair(CountPixels(PlanView::EncodePng(single), same).pixels, at),
              std::make_pair(kWidth * kHeight, kWidth * kHeight));
    HostTesting::ResetProject();
    cairo_debug_reset_static_data();
}

}  // namespace
