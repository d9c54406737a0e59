// The host's window capture as the render tool reaches it: the main and the key window, the
// plan view as their picture at each window's size, and each capture step refusing.
#include <cairo.h>

#include <gtest/gtest.h>

#include "HostTesting.hpp"
#include "HostTestingWindow.hpp"
#include "HostWindow.hpp"
#include "PlanWindow.hpp"

namespace {

struct Picture {
    int width = 0, height = 0, darkPixels = 0;
};

struct Reader {
    const std::string& bytes;
    std::size_t at = 0;
};

cairo_status_t ReadBytes(void* closure, unsigned char* data, unsigned int length)
{
    auto* reader = static_cast<Reader*>(closure);
    if (reader->bytes.size() - reader->at < length) return CAIRO_STATUS_READ_ERROR;
    std::copy_n(reader->bytes.data() + reader->at, length, data);
    reader->at += length;
    return CAIRO_STATUS_SUCCESS;
}

Picture Decode(const std::string& png)
{
    Reader reader{png};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadBytes, &reader);
    Picture picture;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        picture.width = cairo_image_surface_get_width(surface);
        picture.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                const unsigned char* p = data + y * stride + x * 4;
                if (p[0] < 90 && p[1] < 90 && p[2] < 90) ++picture.darkPixels;
            }
    }
    cairo_surface_destroy(surface);
    return picture;
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
    EXPECT_EQ(HostWindow::MainWindowNumber(), HostTesting::kMainWindowNumber);
    EXPECT_EQ(HostWindow::KeyWindowNumber(), HostTesting::kKeyWindowNumber);
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
    // Lookups answer 0 for a window that is not there or a refused call.
    HostTesting::ResetWindows();
    HostTesting::SetKeyWindow(std::nullopt);
    EXPECT_EQ(HostWindow::KeyWindowNumber(), 0u);
    HostTesting::FailNextCall("NSApp mainWindow", APIERR_GENERAL);
    EXPECT_EQ(HostWindow::MainWindowNumber(), 0u);
    EXPECT_EQ(HostWindow::MainWindowNumber(), HostTesting::kMainWindowNumber);
    EXPECT_GE(HostTesting::CallCount("NSApp mainWindow"), 2);
}
