// The small pieces the template summary is made of: the room-name guesses and the footprint
// and capture-time texts.

#include "TemplateFixture.hpp"
#include "tools/library/TemplateSummary.hpp"

namespace {

TEST(RoomNameTest, BathroomWordsWinOverBedroomWords)
{
    struct Case {
        const char* name;
        RoomKind kind;
    };
    const Case cases[] = {
        {"Bedroom Ensuite", RoomKind::Bathroom},
        {"Powder Room", RoomKind::Bathroom},
        // Bytes of multi-byte characters are left alone, never passed to a signed lower-caser.
        {"\xC3\x84RBEITSZIMMER", RoomKind::Other},
        {"\xFF\xFE\x80WC", RoomKind::Bathroom},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyRoomName(c.name), c.kind) << c.name;
}

TEST(FootprintTest, OneDecimalEachWithAPoint)
{
    EXPECT_EQ(FootprintText(12.25, 0.04), "12.2m x 0.0m");  // printf's rounding of the binary value
    EXPECT_EQ(FootprintText(1e20, 3.96), "100000000000000000000.0m x 4.0m");
    EXPECT_EQ(CaptureTimeText(1769850300), "2026-01-31T09:05:00Z");
}

}  // namespace
