// The host's window capture as the render tool reaches it: the main and the key window, the
// plan view as their picture at each window's size, and each capture step refusing.
#include <cairo.h>

#include <gtest/gtest.h>

#include "HostTesting.hpp"
#include "HostTestingWindow.hpp"
#include "HostWindow.hpp"
#include "PlanWindow.hpp"
#include "PngPixels.hpp"

namespace {

struct Picture {
    int width = 0, height = 0, darkPixels = 0;
};

Picture Decode(const std::string& png)
{
    const PngCount dark = CountPixels(png, Near(0, 0, 0, 90));
    return {dark.width, dark.height, dark.count};
}

class WindowCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        HostTesting::ResetProject();
        HostTesting::ResetWindows();
        PlanWindow::Install();
    }
    void TearDown() override
    {
        HostTesting::ResetWindows();
        HostTesting::ResetProject();
        cairo_debug_reset_static_data();
    }
};

}  // namespace

TEST_F(WindowCapture, EachWindowIsCapturedAsThePlanAtItsOwnSize)
{
    HostTesting::SetStories({{0, 0.0, "Ground"}, {1, 3.0, "First"}});
    HostTesting::AddWall(0, 0, 8, 0, 0);
    HostTesting::AddWall(8, 0, 8, 5, 0);
    const Picture main = Decode(HostWindow::CaptureWindowPng(HostTesting::kMainWindowNumber));
    EXPECT_EQ(std::make_pair(main.width, main.height), std::make_pair(1200, 800));
    EXPECT_GT(main.darkPixels, 500) << "the walls are not in the capture";

    HostTesting::SetMainWindow(HostTesting::WindowSize{640, 480});
    const Picture resized = Decode(HostWindow::CaptureWindowPng(HostTesting::kMainWindowNumber));
    EXPECT_EQ(std::make_pair(resized.width, resized.height), std::make_pair(640, 480));
    const Picture key = Decode(HostWindow::CaptureWindowPng(HostTesting::kKeyWindowNumber));
    EXPECT_EQ(std::make_pair(key.width, key.height), std::make_pair(420, 720));

    // The capture follows the current story: another story's walls are not drawn.
    API_StoryCmdType goTo{};
    goTo.action = APIStory_GoTo;
    goTo.index = 1;
    ASSERT_EQ(ACAPI_Environment(APIEnv_ChangeStorySettingsID, &goTo), NoError);
    EXPECT_EQ(Decode(HostWindow::CaptureWindowPng(HostTesting::kMainWindowNumber)).darkPixels, 0);
}

TEST_F(WindowCapture, AMissingWindowOrARefusedStepGivesNothing)
{
    struct Case {
        std::string name;
        std::function<void()> arrange;
        CGWindowID window;
    };
    const std::vector<Case> cases = {
        {"unknown window", [] {}, 7},
        {"no image", [] { HostTesting::FailNextCall("CGWindowListCreateImage", APIERR_GENERAL); },
         HostTesting::kMainWindowNumber},
        {"no PNG data", [] { HostTesting::FailNextCall("NSBitmapImageRep representationUsingType", APIERR_GENERAL); },
         HostTesting::kMainWindowNumber},
        {"nothing draws the window", [] { HostTesting::InstallWindowPicture({}); }, HostTesting::kMainWindowNumber},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTesting::ResetWindows();
        PlanWindow::Install();
        c.arrange();
        EXPECT_TRUE(HostWindow::CaptureWindowPng(c.window).empty());
        HostTesting::ClearFailures();
    }
}
