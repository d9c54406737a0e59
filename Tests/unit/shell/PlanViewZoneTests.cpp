// The plan view shows rooms: a zone's name is written over its outline, on its own story only.

#include <cairo.h>

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

#include "HostTesting.hpp"
#include "PlanView.hpp"

namespace {

// Pixels in the zone names' ink colour (a dark green nothing else in a plan without doors uses).
int NameInkPixels(const std::vector<unsigned char>& png)
{
    const std::string path = ::testing::TempDir() + "quillmere_zones_" + std::to_string(::getpid()) + ".png";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    int count = 0;
    const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface) +
                                                            y * cairo_image_surface_get_stride(surface));
        for (int x = 0; x < width; ++x) {
            const int r = (row[x] >> 16) & 0xFF, g = (row[x] >> 8) & 0xFF, b = row[x] & 0xFF;
            count += std::abs(r - 41) < 20 && std::abs(g - 107) < 20 && std::abs(b - 92) < 20;
        }
    }
    cairo_surface_destroy(surface);
    std::remove(path.c_str());
    return count;
}

API_Guid AddZone(const std::u16string& name, Int16 story)
{
    API_ElementMemo memo;
    API_Element zone = HostTesting::MakeElement(API_ZoneID, &memo);
    zone.header.floorInd = story;
    zone.zone.pen = 0;   // no pen: the name is drawn in the view's own zone colour
    BNClear(zone.zone.roomName);
    name.copy(reinterpret_cast<char16_t*>(zone.zone.roomName), name.size());
    const API_Guid guid = HostTesting::AddElement(zone, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    return guid;
}

}  // namespace

TEST(PlanViewZones, ANamedZoneShowsItsNameOnItsStoryOnly)
{
    const struct {
        const char* what;
        std::u16string name;
        Int16 zoneStory;
        bool inked;
    } cases[] = {
        {"named, this story", u"Kitchen", 0, true},
        {"unnamed", u"", 0, false},
        {"named, another story", u"Kitchen", 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HostTesting::ResetProject();
        AddZone(c.name, c.zoneStory);
        const int ink = NameInkPixels(PlanView::RenderPng({600, 400, 0}));
        EXPECT_EQ(ink > 20, c.inked) << ink << " pixels of name ink";
    }
    HostTesting::ResetProject();
}
