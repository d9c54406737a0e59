// The template family as the language model sees it, and the plan box it shares with the
// element deep capture.

#include "TemplateFixture.hpp"
#include "tools/BBox.hpp"
#include "tools/TemplateSummary.hpp"
#include "tools/ToolFamilies.hpp"

namespace {

json Entry(const ToolRegistry& registry, const std::string& name)
{
    for (const json& tool : registry.GetToolDefinitions())
        if (tool["name"] == name) return tool;
    return nullptr;
}

// The code-point length of UTF-8 text.
size_t Characters(const std::string& text)
{
    size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

using TemplateCatalogueTest = TemplateTest;

TEST_F(TemplateCatalogueTest, CaptureProjectTemplateEntryIsExact)
{
    const json entry = Entry(registry, "capture_project_template");
    ASSERT_FALSE(entry.is_null());
    EXPECT_EQ(Characters(entry["description"]), 412u);
    const std::string deprecated = "{\"description\":\"Deprecated \xE2\x80\x94 ignored. Kept for API compatibility.\",\"type\":\"boolean\"}";
    EXPECT_EQ(entry["input_schema"].dump(),
              "{\"properties\":{\"description\":{\"description\":\"Free-text description of the design (e.g. 'Modern "
              "single-storey 2-bed bungalow')\",\"type\":\"string\"},\"include_2d\":" + deprecated +
              ",\"include_properties\":" + deprecated +
              ",\"tags\":{\"description\":\"Searchable tags like [\\\"modern\\\", \\\"2-bedroom\\\", "
              "\\\"single-storey\\\"]\",\"items\":{\"type\":\"string\"},\"type\":\"array\"},\"template_name\":{"
              "\"description\":\"Name for the template file (default: project name)\",\"type\":\"string\"}},"
              "\"required\":[],\"type\":\"object\"}");
    EXPECT_EQ(entry["description"].get<std::string>().substr(0, 60),
              "Capture the current ArchiCAD project as a native .mod module");
}

TEST_F(TemplateCatalogueTest, CaptureElementDetailEntryIsExact)
{
    const json entry = Entry(registry, "capture_element_detail");
    ASSERT_FALSE(entry.is_null());
    EXPECT_EQ(Characters(entry["description"]), 211u);
    EXPECT_EQ(entry.dump(),
              "{\"description\":\"Deep-capture a single element by GUID. Returns full JSON inline with all geometry, "
              "attributes, materials, polygon data, and optionally properties and classifications. Use for debugging or "
              "inspecting one element.\",\"input_schema\":{\"properties\":{\"element_guid\":{\"description\":\"GUID of "
              "the element to deep-capture\",\"type\":\"string\"},\"include_properties\":{\"description\":\"Include "
              "user-defined properties and classifications (default true)\",\"type\":\"boolean\"}},\"required\":["
              "\"element_guid\"],\"type\":\"object\"},\"name\":\"capture_element_detail\"}");
}

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
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> points;
        json expected;
    };
    const Case cases[] = {
        {"never extended", {}, nullptr},
        {"one point", {{2, 3}}, {{"max_x", 2.0}, {"max_y", 3.0}, {"min_x", 2.0}, {"min_y", 3.0}}},
        {"axes apart", {{1, 5}, {4, 2}}, {{"max_x", 4.0}, {"max_y", 5.0}, {"min_x", 1.0}, {"min_y", 2.0}}},
        {"negative and repeated", {{-1, -1}, {-1, -1}, {0, -3}}, {{"max_x", 0.0}, {"max_y", -1.0}, {"min_x", -1.0}, {"min_y", -3.0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BBox box;
        for (const auto& p : c.points) box.Extend(p.first, p.second);
        EXPECT_EQ(box.empty, c.points.empty());
        EXPECT_EQ(box.ToJson(), c.expected);
    }
    EXPECT_EQ(BBox{}.ToJson().dump(), "null");
}

TEST(RoomNameTest, BathroomWordsWinOverBedroomWords)
{
    struct Case { const char* name; RoomKind kind; };
    const Case cases[] = {
        {"BATHROOM", RoomKind::Bathroom},         {"Guest WC", RoomKind::Bathroom},
        {"En-Suite", RoomKind::Bathroom},         {"Master Bath", RoomKind::Bathroom},
        {"Bedroom Ensuite", RoomKind::Bathroom},  {"Bedroom with shower", RoomKind::Bathroom},
        {"Powder Room", RoomKind::Bathroom},      {"Bathtub Storage", RoomKind::Bathroom},
        {"Toilet", RoomKind::Bathroom},           {"Master Suite", RoomKind::Bedroom},
        {"Bed 3", RoomKind::Bedroom},             {"Flatbed Store", RoomKind::Bedroom},
        {"Kitchen", RoomKind::Other},             {"", RoomKind::Other},
        // Bytes of multi-byte characters are left alone, never passed to a signed lower-caser.
        {"\xC3\x84RBEITSZIMMER", RoomKind::Other}, {"Sch\xC3\xB6nes BED", RoomKind::Bedroom},
        {"\xFF\xFE\x80WC", RoomKind::Bathroom},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyRoomName(c.name), c.kind) << c.name;
}

TEST(FootprintTest, OneDecimalEachWithAPoint)
{
    EXPECT_EQ(FootprintText(10, 6), "10.0m x 6.0m");
    EXPECT_EQ(FootprintText(0, 0), "0.0m x 0.0m");
    EXPECT_EQ(FootprintText(12.25, 0.04), "12.2m x 0.0m");   // printf's rounding of the binary value
    EXPECT_EQ(FootprintText(1e20, 3.96), "100000000000000000000.0m x 4.0m");
    EXPECT_EQ(CaptureTimeText(1769850300), "2026-01-31T09:05:00Z");
}

}  // namespace
