// The plan view's drafting: each kind of drafting element puts ink where its geometry is and
// leaves alone what it does not cover, on its own story only.

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <cairo.h>
#include <gtest/gtest.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "PlanViewDrafting.hpp"

namespace {

// 10 x 10 m at 20 pixels a metre, model origin at the bottom left.
constexpr int kSize = 200;
const PlanViewDrafting::Mapping kMapping{20.0, 0.0, 0.0, kSize};

struct Point {
    double x, y;
    int r = 2;
};  // r: pixels around the point that count

class Picture {
public:
    Picture() : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSize, kSize)), cr_(cairo_create(surface_))
    {
        cairo_set_source_rgb(cr_, 1, 1, 1);
        cairo_paint(cr_);
    }
    ~Picture()
    {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
    }
    cairo_t* Context() { return cr_; }
    // Any pixel within p.r pixels of the model point that is not white.
    bool InkAt(Point p)
    {
        cairo_surface_flush(surface_);
        const int cx = int(std::lround(kMapping.X(p.x))), cy = int(std::lround(kMapping.Y(p.y)));
        const unsigned char* data = cairo_image_surface_get_data(surface_);
        const int stride = cairo_image_surface_get_stride(surface_);
        for (int y = std::max(cy - p.r, 0); y <= std::min(cy + p.r, kSize - 1); ++y)
            for (int x = std::max(cx - p.r, 0); x <= std::min(cx + p.r, kSize - 1); ++x) {
                const uint32_t pixel = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
                if ((pixel & 0xFFFFFF) != 0xFFFFFF) return true;
            }
        return false;
    }

private:
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

template <typename T>
T** Handle(const std::vector<T>& records)
{
    T** h = reinterpret_cast<T**>(BMAllocateHandle(GSSize(records.size() * sizeof(T)), ALLOCATE_CLEAR, 0));
    for (size_t i = 0; i < records.size(); ++i) (*h)[i] = records[i];
    return h;
}

// Stores an element of the type (its fixture values changed by edit) with the given memo.
API_Guid Add(API_ElemTypeID type, const std::function<void(API_Element&, API_ElementMemo&)>& edit)
{
    API_ElementMemo memo;
    BNClear(memo);
    API_Element e = HostTesting::MakeElement(type, &memo);
    edit(e, memo);
    const API_Guid guid = HostTesting::AddElement(e, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    return guid;
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

void Text(API_ElementMemo& memo, const std::string& content)
{
    BMKillHandle(&memo.textContent);
    memo.textContent = Handle(std::vector<char>(content.c_str(), content.c_str() + content.size() + 1));
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
    const std::vector<Case> cases = {
        {"line",
         API_LineID,
         [](API_Element& e, API_ElementMemo&) {
             e.line.begC = {1, 1};
             e.line.endC = {9, 1};
         },
         {{5, 1}, {1.2, 1}},
         {{5, 5}}},
        {"text",
         API_TextID,
         [](API_Element& e, API_ElementMemo& m) {
             e.text.loc = {2, 5};
             e.text.size = 0.5;
             e.text.anchor = 7;
             Text(m, "WWWW");
         },
         {{2.4, 5.2}, {3.0, 5.2}},
         {{2.4, 4.3}, {1.6, 5.2}, {6, 5.2}}},
        {"spline",
         API_SplineID,
         [](API_Element& e, API_ElementMemo& m) {
             BMKillHandle(reinterpret_cast<GSHandle*>(&m.coords));
             BMKillHandle(reinterpret_cast<GSHandle*>(&m.bezierDirs));
             m.coords = Handle<API_Coord>({{0, 0}, {1, 1}, {5, 6}, {9, 1}});
             m.bezierDirs = Handle(std::vector<API_SplineDir>(4, API_SplineDir{0, 0, 0}));
             e.spline.autoSmooth = true;
         },
         {{5, 6}, {1, 1}, {9, 1}},
         {{5, 1}, {5, 3}}},
        {"hatched fill",
         API_HatchID,
         [](API_Element& e, API_ElementMemo& m) {
             e.hatch.fillInd = 3;  // parallel lines 0.1 m apart
             e.hatch.fillBGPen = 0;
             Polygon(e.hatch.poly, m, {{1, 1}, {9, 1}, {1, 9}}, true);
         },
         {{3, 3, 3}, {2, 6, 3}, {5, 2.5, 3}},
         {{8, 8, 3}, {6, 6, 3}}},
        {"dimension",
         API_DimensionID,
         [](API_Element& e, API_ElementMemo& m) {
             e.dimension.refC = {5, 4};
             e.dimension.direction = {1, 0};
             e.dimension.textSize = 0.4;
             (*m.dimElems)[0].base.loc = {1, 2};
             (*m.dimElems)[1].base.loc = {9, 2};
         },
         // The dimension line, both witness lines, the figure above the line's middle.
         {{3, 4}, {7, 4}, {1, 3}, {9, 3}, {5, 4.3, 6}},
         {{5, 2}, {5, 6}, {1, 1.95}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostTesting::ResetProject();
        Add(c.type, c.edit);
        const auto sheet = PlanViewDrafting::Read(0);
        Picture picture;
        PlanViewDrafting::DrawFills(picture.Context(), *sheet, kMapping);
        PlanViewDrafting::DrawLinework(picture.Context(), *sheet, kMapping);
        for (const Point& p : c.ink) EXPECT_TRUE(picture.InkAt(p)) << "no ink at (" << p.x << ", " << p.y << ")";
        for (const Point& p : c.blank) EXPECT_FALSE(picture.InkAt(p)) << "ink at (" << p.x << ", " << p.y << ")";
        // Another story's sheet leaves it out.
        Picture empty;
        const auto nothing = PlanViewDrafting::Read(2);
        PlanViewDrafting::DrawFills(empty.Context(), *nothing, kMapping);
        PlanViewDrafting::DrawLinework(empty.Context(), *nothing, kMapping);
        for (const Point& p : c.ink)
            EXPECT_FALSE(empty.InkAt(p)) << "story 2 has ink at (" << p.x << ", " << p.y << ")";
    }
}

}  // namespace
