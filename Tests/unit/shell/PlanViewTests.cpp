#include <cairo.h>

#include <cstring>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "HostTesting.hpp"
#include "PlanView.hpp"

// fontconfig keeps its configuration for the life of the process, which the leak checker of
// sanitizer builds reports at exit; that memory is the library's, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

struct Reader {
    const std::vector<unsigned char>* bytes;
    std::size_t at = 0;
};

cairo_status_t ReadBytes(void* closure, unsigned char* data, unsigned int length)
{
    auto* reader = static_cast<Reader*>(closure);
    if (reader->at + length > reader->bytes->size()) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader->bytes->data() + reader->at, length);
    reader->at += length;
    return CAIRO_STATUS_SUCCESS;
}

struct Picture {
    int width = 0;
    int height = 0;
    int darkPixels = 0;  // the colour walls are drawn in, nothing else is that dark
};

Picture Decode(const std::vector<unsigned char>& png)
{
    Reader reader{&png};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadBytes, &reader);
    Picture picture;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        picture.width = cairo_image_surface_get_width(surface);
        picture.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < picture.height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
            for (int x = 0; x < picture.width; ++x) {
                const uint32_t p = row[x];
                if (((p >> 16) & 0xFF) < 70 && ((p >> 8) & 0xFF) < 70 && (p & 0xFF) < 70) ++picture.darkPixels;
            }
        }
    }
    cairo_surface_destroy(surface);
    return picture;
}

}  // namespace

class PlanViewTest : public ::testing::Test {
protected:
    void SetUp() override { HostTesting::ResetProject(); }
    void TearDown() override
    {
        HostTesting::ResetProject();
        // Frees cairo's font caches, which leak checkers would otherwise report at exit.
        cairo_debug_reset_static_data();
    }
};

TEST_F(PlanViewTest, DrawsTheWallsOfTheChosenStoryOnly)
{
    HostTesting::AddWall(0, 0, 6, 0, 0);
    HostTesting::AddWall(6, 0, 6, 4, 0);
    PlanView::Options options;
    options.width = 400;
    options.height = 300;

    options.story = 0;
    const Picture ground = Decode(PlanView::RenderPng(options));
    EXPECT_EQ(ground.width, 400);
    EXPECT_EQ(ground.height, 300);
    EXPECT_GT(ground.darkPixels, 500) << "the walls are missing";

    options.story = 1;
    const Picture first = Decode(PlanView::RenderPng(options));
    EXPECT_EQ(first.darkPixels, 0) << "a wall of another story was drawn";
}

TEST_F(PlanViewTest, SizesOutsideTheUsefulRangeAreClamped)
{
    PlanView::Options options;
    options.width = -5;
    options.height = 1000000;
    const Picture picture = Decode(PlanView::RenderPng(options));
    EXPECT_EQ(picture.width, 64);
    EXPECT_EQ(picture.height, 4096);
}

TEST_F(PlanViewTest, TheWindowCaptureShowsTheCurrentStory)
{
    const Int16 story = HostTesting::CurrentStory();
    HostTesting::AddWall(0, 0, 5, 0, story);
    const Picture capture = Decode(PlanView::CaptureMainWindowPng());
    EXPECT_EQ(capture.width, PlanView::Options().width);
    EXPECT_GT(capture.darkPixels, 0);
}
