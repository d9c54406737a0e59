// The template family's registration, and the small pieces its summary is made of: the plan
// box, the room-name guesses and the footprint text.

#include "TemplateFixture.hpp"
#include "tools/BBox.hpp"
#include "tools/TemplateSummary.hpp"
#include "tools/ToolFamilies.hpp"

namespace {

using TemplateCatalogueTest = TemplateTest;

TEST_F(TemplateCatalogueTest, AllFiveToolsAreOfferedAndRegisteringTwiceAddsNothing)
{
    const size_t before = registry.tools.size();
    RegisterTemplateTools(registry);
    EXPECT_EQ(registry.tools.size(), before);
    for (const char* tool : {"capture_project_template", "capture_element_detail", "list_templates",
                             "get_template_layout", "apply_template_exact"})
        EXPECT_EQ(registry.tools.count(tool), 1u) << tool;
}

TEST(BBoxTest, GrowsEachAxisOnItsOwn)
{
    BBox box;
    EXPECT_EQ(box.ToJson(), json(nullptr));
    for (const auto& [x, y] : std::vector<std::pair<double, double>>{{-1, 5}, {4, -2}, {0, 0}}) box.Extend(x, y);
    EXPECT_FALSE(box.empty);
    EXPECT_EQ(box.ToJson(), json({{"max_x", 4.0}, {"max_y", 5.0}, {"min_x", -1.0}, {"min_y", -2.0}}));
}

TEST(RoomNameTest, BathroomWordsWinOverBedroomWords)
{
    struct Case { const char* name; RoomKind kind; };
    const Case cases[] = {
        {"BATHROOM", RoomKind::Bathroom},         {"Guest WC", RoomKind::Bathroom},
        {"Bedroom Ensuite", RoomKind::Bathroom},  {"Powder Room", RoomKind::Bathroom},
        {"Master Suite", RoomKind::Bedroom},      {"Bed 3", RoomKind::Bedroom},
        {"Kitchen", RoomKind::Other},             {"", RoomKind::Other},
        // Bytes of multi-byte characters are left alone, never passed to a signed lower-caser.
        {"\xC3\x84RBEITSZIMMER", RoomKind::Other}, {"\xFF\xFE\x80WC", RoomKind::Bathroom},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyRoomName(c.name), c.kind) << c.name;
}

TEST(FootprintTest, OneDecimalEachWithAPoint)
{
    EXPECT_EQ(FootprintText(12.25, 0.04), "12.2m x 0.0m");   // printf's rounding of the binary value
    EXPECT_EQ(FootprintText(1e20, 3.96), "100000000000000000000.0m x 4.0m");
    EXPECT_EQ(CaptureTimeText(1769850300), "2026-01-31T09:05:00Z");
}

}  // namespace
