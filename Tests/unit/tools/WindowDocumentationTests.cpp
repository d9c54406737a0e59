// The host window shows what the view and export tools switched to.
#include "ViewsTest.hpp"
#include "WindowDocumentation.hpp"

namespace {

TEST_F(ViewsTest, TheWindowShowsTheCurrentDatabaseAndTheViewOpenedLast)
{
    json state = WindowDocumentation::State();
    EXPECT_EQ(state["database"]["kind"], "Floor plan");
    ASSERT_TRUE(state["view"].is_object()) << "the default project opens on a saved view";

    const ToolResult made = Run("create_worksheet", {{"name", "Roof notes"}});
    ASSERT_TRUE(Run("switch_database", {{"database_guid", made.elementGuid}}).success);
    const ToolResult view = Run("create_view", {{"name", "Notes view"}});
    ASSERT_TRUE(Run("switch_view", {{"view_guid", view.elementGuid}}).success);
    state = WindowDocumentation::State();
    EXPECT_EQ(state["database"],
              json({{"guid", made.elementGuid}, {"name", "Roof notes"}, {"type", 12}, {"kind", "Worksheet"}}))
        << "the view saved the worksheet as its database";
    EXPECT_EQ(state["view"], json({{"guid", view.elementGuid}, {"name", "Notes view"}}));

    HostTesting::ResetProject();
    HostTesting::ClearNavigatorMap(API_PublicViewMap);
    EXPECT_TRUE(WindowDocumentation::State()["view"].is_null()) << "a view that is gone is not shown";
}

}  // namespace
