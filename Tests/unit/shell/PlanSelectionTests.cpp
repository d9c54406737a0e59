// Selecting in the plan: a click picks the element drawn under it (an opening over its wall,
// an area only from inside and when nothing else is near), shift adds or removes, empty space
// clears; the selection is drawn highlighted.

#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "HostTesting.hpp"
#include "PlanSelection.hpp"
#include "PlanView.hpp"

namespace {

class PlanSelectionTest : public ::testing::Test {
protected:
    void SetUp() override { HostTesting::ResetProject(); }
    void TearDown() override
    {
        HostTesting::ResetProject();
        cairo_debug_reset_static_data();
    }
};

// Pixels of the story's plan, drawn at 400 x 300, within 40 levels of the highlight's orange.
int HighlightedPixels()
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 400, 300);
    cairo_t* cr = cairo_create(surface);
    PlanView::Draw(cr, 400, 300, 0);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    int count = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            const uint32_t p = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (std::abs(r - 250) <= 40 && std::abs(g - 140) <= 40 && std::abs(b - 13) <= 40) ++count;
        }
    cairo_surface_destroy(surface);
    return count;
}

std::vector<API_Guid> Selected()
{
    API_SelectionInfo info;
    GS::Array<API_Neig> neigs;
    EXPECT_EQ(ACAPI_Selection_Get(&info, &neigs, false), NoError);
    std::vector<API_Guid> guids;
    for (const API_Neig& neig : neigs) guids.push_back(neig.guid);
    return guids;
}

TEST_F(PlanSelectionTest, ClicksSelectAddRemoveAndClear)
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
        EXPECT_EQ(Selected(), click.after);
    }
}

TEST_F(PlanSelectionTest, TheSelectionIsDrawnHighlighted)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 10, 0);
    EXPECT_EQ(HighlightedPixels(), 0);
    GS::Array<API_Neig> neigs;
    neigs.Push(API_Neig{APINeig_None, wall, 0, 0});
    ASSERT_EQ(ACAPI_Element_Select(neigs, true), NoError);
    EXPECT_GT(HighlightedPixels(), 100);
    EXPECT_EQ(PlanSelection::SelectedCount(), 1);
}

}  // namespace
