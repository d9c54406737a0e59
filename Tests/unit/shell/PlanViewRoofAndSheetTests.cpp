// The plan view draws roofs, and shows an open worksheet with its own drafting only (nothing
// when none was drawn in it) instead of the floor plan.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include <cairo.h>
#include <gtest/gtest.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "HostTestingNavigator.hpp"
#include "PlanGeometry.hpp"
#include "PlanViewRoofs.hpp"

namespace {

API_Guid AddLine(double y)
{
    API_Element e = HostTesting::MakeElement(API_LineID, nullptr);
    e.line.begC = {0, y};
    e.line.endC = {5, y};
    return HostTesting::AddElement(e, nullptr);
}

GSErrCode Open(const API_Guid& database, Int32 type)
{
    API_DatabaseInfo info{};
    info.typeID = static_cast<API_DatabaseTypeID>(type);
    info.databaseUnId = database;
    return ACAPI_Database(APIDb_ChangeCurrentDatabaseID, &info);
}

}  // namespace

TEST(PlanViewRoofs, ARoofInksItsOutlineAndNothingBeyond)
{
    HostTesting::ResetProject();
    API_ElementMemo memo;
    BNClear(memo);
    API_Element roof = HostTesting::MakeElement(API_RoofID, &memo);
    BMKillHandle(reinterpret_cast<GSHandle*>(&memo.coords));
    BMKillHandle(reinterpret_cast<GSHandle*>(&memo.pends));
    const API_Coord points[] = {{0, 0}, {1, 1}, {6, 1}, {6, 5}, {1, 5}, {1, 1}};
    memo.coords = reinterpret_cast<API_Coord**>(BMAllocateHandle(sizeof points, ALLOCATE_CLEAR, 0));
    std::copy(std::begin(points), std::end(points), *memo.coords);
    memo.pends = reinterpret_cast<Int32**>(BMAllocateHandle(2 * sizeof(Int32), ALLOCATE_CLEAR, 0));
    (*memo.pends)[1] = 5;
    HostTesting::AddElement(roof, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 200);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    PlanView::PenPalette pens;
    const PlanGeometry::Mapping view{20.0, 0.0, 0.0, 200};
    PlanViewRoofs::Draw(cr, PlanViewRoofs::Read(0), view, pens);
    EXPECT_TRUE(PlanViewRoofs::Read(1).empty()) << "a roof stands on its own story only";
    cairo_surface_flush(surface);
    const auto white = [&](double x, double y) {
        const unsigned char* row =
            cairo_image_surface_get_data(surface) + int(view.Y(y)) * cairo_image_surface_get_stride(surface);
        return (reinterpret_cast<const uint32_t*>(row)[int(view.X(x))] & 0xFFFFFF) == 0xFFFFFF;
    };
    EXPECT_FALSE(white(3.5, 3)) << "inside the roof";
    EXPECT_FALSE(white(6, 3)) << "its edge";
    EXPECT_TRUE(white(8, 8)) << "beyond it";
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

TEST(PlanViewSheet, AnOpenWorksheetShowsOnlyTheDraftingDrawnInIt)
{
    HostTesting::ResetProject();
    const API_Guid plan = HostTesting::CurrentDatabase();
    const API_Guid details = HostTesting::AddDatabase(APIWind_WorksheetID, "Details");
    const API_Guid blank = HostTesting::AddDatabase(APIWind_WorksheetID, "Blank");
    const API_Guid onPlan = AddLine(1);
    ASSERT_EQ(Open(details, APIWind_WorksheetID), NoError);
    const API_Guid onSheet = AddLine(2);
    const struct {
        const char* open;
        API_Guid database;
        Int32 type;
        std::vector<API_Guid> shown;
    } cases[] = {
        {"the floor plan", plan, APIWind_FloorPlanID, {onPlan}},
        {"the worksheet drawn in", details, APIWind_WorksheetID, {onSheet}},
        {"a worksheet nothing was drawn in", blank, APIWind_WorksheetID, {}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Open(c.database, c.type), NoError) << c.open;
        std::vector<API_Guid> shown;
        PlanGeometry::ForEachElement(API_LineID, Int16(0),
                                     [&](const API_Element& e) { shown.push_back(e.header.guid); });
        EXPECT_EQ(shown, c.shown) << c.open;
    }
}
