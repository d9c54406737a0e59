// The plan view's drafting: each kind of drafting element puts ink where its geometry is and
// leaves alone what it does not cover, on its own story only; roofs too, and an open worksheet
// shows its own drafting only instead of the floor plan.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <cairo.h>
#include <gtest/gtest.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "HostTestingNavigator.hpp"
#include "PlanGeometry.hpp"
#include "PlanViewDrafting.hpp"
#include "PlanViewRoofs.hpp"

namespace {

// 10 x 10 m at 20 pixels a metre, model origin at the bottom left.
constexpr int kSize = 200;
const PlanViewDrafting::Mapping kMapping{20.0, 0.0, 0.0, kSize};

struct Point {
    double x, y;
    int r = 2;
};  // r: pixels around the point that count

// What paint draws on white: its pixels, row by row.
std::vector<uint32_t> Paint(const std::function<void(cairo_t*)>& paint)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSize, kSize);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    paint(cr);
    cairo_surface_flush(surface);
    std::vector<uint32_t> pixels(kSize * kSize);
    for (int y = 0; y < kSize; ++y)
        std::memcpy(&pixels[size_t(y * kSize)],
                    cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface), kSize * 4);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return pixels;
}

// The story's sheet drawn in fills and linework.
std::vector<uint32_t> Draw(Int16 story)
{
    const auto sheet = PlanViewDrafting::Read(story);
    return Paint([&](cairo_t* cr) {
        PlanViewDrafting::DrawFills(cr, *sheet, kMapping);
        PlanViewDrafting::DrawLinework(cr, *sheet, kMapping);
    });
}

// Any pixel within p.r pixels of the model point that is not white.
bool InkAt(const std::vector<uint32_t>& pixels, Point p)
{
    const int cx = int(std::lround(kMapping.X(p.x))), cy = int(std::lround(kMapping.Y(p.y)));
    for (int y = std::max(cy - p.r, 0); y <= std::min(cy + p.r, kSize - 1); ++y)
        for (int x = std::max(cx - p.r, 0); x <= std::min(cx + p.r, kSize - 1); ++x)
            if ((pixels[size_t(y * kSize + x)] & 0xFFFFFF) != 0xFFFFFF) return true;
    return false;
}

template <typename T>
T** Handle(const std::vector<T>& records)
{
    T** h = reinterpret_cast<T**>(BMAllocateHandle(GSSize(records.size() * sizeof(T)), ALLOCATE_CLEAR, 0));
    for (size_t i = 0; i < records.size(); ++i) (*h)[i] = records[i];
    return h;
}

void Polygon(API_Polygon& poly, API_ElementMemo& memo, std::vector<API_Coord> points, bool closed)
{
    if (closed) points.push_back(points.front());
    points.insert(points.begin(), API_Coord{0, 0});
    BMKillHandle(reinterpret_cast<GSHandle*>(&memo.coords));
    BMKillHandle(reinterpret_cast<GSHandle*>(&memo.pends));
    memo.coords = Handle(points);
    memo.pends = Handle<Int32>({0, Int32(points.size()) - 1});
    poly = {Int32(points.size()) - 1, 1, 0};
}

struct Case {
    const char* what;
    API_ElemTypeID type;
    std::function<void(API_Element&, API_ElementMemo&)> edit;
    std::vector<Point> ink;
    std::vector<Point> blank;
};

TEST(PlanViewDrafting, EachKindInksItsGeometryAndNothingElse)
{
    using E = API_Element&;
    using M = API_ElementMemo&;
    const std::vector<Case> cases = {
        {"line",
         API_LineID,
         [](E e, M) {
             e.line.begC = {1, 1}, e.line.endC = {9, 1};
         },
         {{5, 1}, {1.2, 1}},
         {{5, 5}}},
        {"text",
         API_TextID,
         [](E e, M m) {
             e.text.loc = {2, 5}, e.text.size = 0.5, e.text.anchor = 7, BMKillHandle(&m.textContent),
             m.textContent = Handle(std::vector<char>{'W', 'W', 'W', 'W', 0});
         },
         {{2.4, 5.2}, {3.0, 5.2}},
         {{2.4, 4.3}, {1.6, 5.2}, {6, 5.2}}},
        {"spline",
         API_SplineID,
         [](E e, M m) {
             BMKillHandle(reinterpret_cast<GSHandle*>(&m.coords));
             BMKillHandle(reinterpret_cast<GSHandle*>(&m.bezierDirs));
             m.coords = Handle<API_Coord>({{0, 0}, {1, 1}, {5, 6}, {9, 1}});
             m.bezierDirs = Handle(std::vector<API_SplineDir>(4, API_SplineDir{0, 0, 0}));
             e.spline.autoSmooth = true;
         },
         {{5, 6}, {1, 1}, {9, 1}},
         {{5, 1}, {5, 3}}},
        // Fill 3 is parallel lines 0.1 m apart.
        {"hatched fill",
         API_HatchID,
         [](E e, M m) {
             e.hatch.fillInd = 3, e.hatch.fillBGPen = 0, Polygon(e.hatch.poly, m, {{1, 1}, {9, 1}, {1, 9}}, true);
         },
         {{3, 3, 3}, {2, 6, 3}, {5, 2.5, 3}},
         {{8, 8, 3}, {6, 6, 3}}},
        // The dimension line, both witness lines, the figure above the line's middle.
        {"dimension",
         API_DimensionID,
         [](E e, M m) {
             e.dimension.refC = {5, 4}, e.dimension.direction = {1, 0}, e.dimension.textSize = 0.4;
             (*m.dimElems)[0].base.loc = {1, 2}, (*m.dimElems)[1].base.loc = {9, 2};
         },
         {{3, 4}, {7, 4}, {1, 3}, {9, 3}, {5, 4.3, 6}},
         {{5, 2}, {5, 6}, {1, 1.95}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostTesting::ResetProject();
        API_ElementMemo memo;
        BNClear(memo);
        API_Element e = HostTesting::MakeElement(c.type, &memo);
        c.edit(e, memo);
        HostTesting::AddElement(e, &memo);
        ACAPI_DisposeElemMemoHdls(&memo);
        const auto own = Draw(0), other = Draw(2);  // another story's sheet leaves it out
        for (const Point& p : c.ink) EXPECT_TRUE(InkAt(own, p) && !InkAt(other, p)) << "(" << p.x << ", " << p.y << ")";
        for (const Point& p : c.blank) EXPECT_FALSE(InkAt(own, p)) << "ink at (" << p.x << ", " << p.y << ")";
    }
}

}  // namespace

namespace {

GSErrCode Open(const API_Guid& database, Int32 type)
{
    API_DatabaseInfo info{};
    info.typeID = static_cast<API_DatabaseTypeID>(type);
    info.databaseUnId = database;
    return ACAPI_Database(APIDb_ChangeCurrentDatabaseID, &info);
}

}  // namespace

TEST(PlanViewRoofs, ARoofInksItsOutlineOnItsOwnStory)
{
    HostTesting::ResetProject();
    HostTesting::AddFixture(API_RoofID, 0);  // 4 x 3 m from the origin
    PlanView::PenPalette pens;
    const auto pixels = Paint([&](cairo_t* cr) { PlanViewRoofs::Draw(cr, PlanViewRoofs::Read(0), kMapping, pens); });
    EXPECT_TRUE(PlanViewRoofs::Read(1).empty());
    EXPECT_EQ(std::make_tuple(InkAt(pixels, {2, 1.5}), InkAt(pixels, {4, 1.5}), InkAt(pixels, {8, 8})),
              std::make_tuple(true, true, false));
}

TEST(PlanViewSheet, AnOpenWorksheetShowsOnlyTheDraftingDrawnInIt)
{
    HostTesting::ResetProject();
    const API_Guid plan = HostTesting::CurrentDatabase();
    const API_Guid details = HostTesting::AddDatabase(APIWind_WorksheetID, "Details");
    const API_Guid blank = HostTesting::AddDatabase(APIWind_WorksheetID, "Blank");
    const API_Guid onPlan = HostTesting::AddFixture(API_LineID, 0);
    ASSERT_EQ(Open(details, APIWind_WorksheetID), NoError);
    const API_Guid onSheet = HostTesting::AddFixture(API_LineID, 0);
    const struct {
        const char* open;
        API_Guid database;
        Int32 type;
        std::vector<API_Guid> shown;
    } cases[] = {
        {"the floor plan", plan, APIWind_FloorPlanID, {onPlan}},
        {"the worksheet drawn in", details, APIWind_WorksheetID, {onSheet}},
        {"a worksheet nothing was drawn in", blank, APIWind_WorksheetID, {}},
        {"the worksheet, its drafting deleted and undone", details, APIWind_WorksheetID, {onSheet}},
    };
    for (const auto& c : cases) {
        if (&c == &cases[3]) {
            ASSERT_EQ(ACAPI_CallUndoableCommand("Delete", [&] { return ACAPI_Element_Delete({onSheet}); }), NoError);
            ASSERT_EQ(HostTesting::Undo(), NoError);
        }
        ASSERT_EQ(Open(c.database, c.type), NoError) << c.open;
        std::vector<API_Guid> shown;
        PlanGeometry::ForEachElement(API_LineID, Int16(0),
                                     [&](const API_Element& e) { shown.push_back(e.header.guid); });
        EXPECT_EQ(shown, c.shown) << c.open;
    }
}
