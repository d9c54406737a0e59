// Selecting in the plan: a click picks the element drawn under it (an opening over its wall,
// an area only from inside and when nothing else is near), shift adds or removes, empty space
// clears; the selection is drawn highlighted.

#include <cairo.h>

#include <vector>

#include <gtest/gtest.h>

#include "HostTesting.hpp"
#include "PlanSelection.hpp"
#include "PlanView.hpp"
#include "PngPixels.hpp"

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
    const auto highlighted = [] {
        return CountPixels(PlanView::RenderPng({400, 300, 0}), Near(250, 140, 13, 40)).count;
    };
    EXPECT_EQ(highlighted(), 0);
    GS::Array<API_Neig> neigs;
    neigs.Push(API_Neig{APINeig_None, wall, 0, 0});
    ASSERT_EQ(ACAPI_Element_Select(neigs, true), NoError);
    EXPECT_GT(highlighted(), 100);
    EXPECT_EQ(PlanSelection::SelectedCount(), 1);
}

}  // namespace
