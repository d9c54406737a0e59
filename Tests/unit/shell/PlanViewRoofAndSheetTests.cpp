// The plan view draws roofs, and shows an open worksheet with its own drafting only (nothing
// when none was drawn in it) instead of the floor plan.

#include <cstdint>
#include <tuple>
#include <vector>

#include <cairo.h>
#include <gtest/gtest.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "HostTestingNavigator.hpp"
#include "PlanGeometry.hpp"
#include "PlanViewRoofs.hpp"

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
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 200);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    PlanView::PenPalette pens;
    const PlanGeometry::Mapping view{20.0, 0.0, 0.0, 200};
    PlanViewRoofs::Draw(cr, PlanViewRoofs::Read(0), view, pens);
    EXPECT_TRUE(PlanViewRoofs::Read(1).empty());
    cairo_surface_flush(surface);
    const auto inked = [&](double x, double y) {
        const unsigned char* row =
            cairo_image_surface_get_data(surface) + int(view.Y(y)) * cairo_image_surface_get_stride(surface);
        return (reinterpret_cast<const uint32_t*>(row)[int(view.X(x))] & 0xFFFFFF) != 0xFFFFFF;
    };
    EXPECT_EQ(std::make_tuple(inked(2, 1.5), inked(4, 1.5), inked(8, 8)), std::make_tuple(true, true, false));
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
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
