// The plan view shows rooms: a zone's name is written over its outline, on its own story only.

#include <gtest/gtest.h>

#include "HostTesting.hpp"
#include "PlanView.hpp"
#include "PngPixels.hpp"

namespace {

// Pixels in the zone names' ink colour (a dark green nothing else in a plan without doors uses).
int NameInkPixels(const std::vector<unsigned char>& png) { return CountPixels(png, Near(41, 107, 92, 20)).count; }

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
