// The palette registers the render family right before the plan family, both before the
// stored settings are read: its debug log tells the order.
#include "ShellTest.hpp"

TEST_F(ShellTest, ThePaletteRegistersTheRenderFamilyRightBeforeThePlanFamily)
{
    WriteSettingsFile("{ broken");  // read after the families: its warning comes last
    {
        ChatPalette palette;
    }
    const std::string log = LogText();
    SCOPED_TRACE(log);
    const auto render = log.find("Render tools registered");
    const auto plan = log.find("Plan tools registered");
    const auto settings = log.find("Settings file unreadable");
    ASSERT_NE(render, std::string::npos);
    ASSERT_NE(plan, std::string::npos);
    ASSERT_NE(settings, std::string::npos);
    EXPECT_LT(render, plan);
    EXPECT_LT(plan, settings);
    // Nothing else is registered between the two.
    const std::string between = log.substr(render, plan - render);
    EXPECT_EQ(std::count(between.begin(), between.end(), '\n'), 1) << between;
}
