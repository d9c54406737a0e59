// Deleting one element or a list of them, and undoing it.
#include <algorithm>

#include "ToolsTest.hpp"

namespace {

TEST_F(ToolsTest, DeletingAWallTakesItsOpeningsAndUndoBringsAllBack)
{
    const std::string keep = Text(HostTesting::AddWall(0, 3, 5, 3));
    const ToolResult door = Run("create_door", {{"wall_guid", wall}, {"offset", 1}});
    const ToolResult window = Run("create_window", {{"wall_guid", wall}, {"offset", 3}});
    ASSERT_TRUE(door.success && window.success);
    const API_Element doorBefore = Element(door.elementGuid);
    const Footprint before = TakeFootprint();
    std::string given = wall;
    std::transform(given.begin(), given.end(), given.begin(), [](unsigned char c) { return std::tolower(c); });

    const ToolResult result = Run("delete_element", {{"element_guid", given}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Element deleted: " + given);
    EXPECT_EQ(result.toJson().find("element_guid"), std::string::npos);
    EXPECT_EQ(TakeFootprint(), (Footprint{before.elements - 3, before.undoSteps + 1}));
    EXPECT_TRUE(HostTesting::ElementExists(Guid(keep)));

    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(TakeFootprint(), before);
    EXPECT_EQ(FirstDifference(Element(door.elementGuid), doorBefore), sizeof(API_Element));
    EXPECT_TRUE(HostTesting::ElementExists(Guid(window.elementGuid)));
    EXPECT_TRUE(HostTesting::GetMarker(Guid(door.elementGuid), nullptr, nullptr));
}

TEST_F(ToolsTest, BatchIsOneHostCallOneStepAndOneUndoAndUnknownGuidsDeleteNothing)
{
    std::vector<std::string> walls{wall};
    for (int i = 1; i < 4; ++i) walls.push_back(Text(HostTesting::AddWall(0, i * 2.0, 5, i * 2.0)));
    std::vector<API_Element> records;
    for (const std::string& w : walls) records.push_back(Element(w));
    const Footprint before = TakeFootprint();
    HostTesting::ClearCallLog();

    const ToolResult result = Run("delete_elements_batch", {{"element_guids", {walls[0], walls[1], walls[3]}}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "3 elements deleted");
    EXPECT_TRUE(result.elementGuid.empty());
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Delete"), 1);
    EXPECT_EQ(TakeFootprint(), (Footprint{before.elements - 3, before.undoSteps + 1}));
    EXPECT_TRUE(HostTesting::ElementExists(Guid(walls[2])));

    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(TakeFootprint(), before);
    for (size_t i = 0; i < walls.size(); ++i)
        EXPECT_EQ(FirstDifference(Element(walls[i]), records[i]), sizeof(API_Element)) << "wall " << i;

    // The same text twice: both entries go to the host in one call and both are counted.
    HostTesting::ClearCallLog();
    EXPECT_EQ(Run("delete_elements_batch", {{"element_guids", {walls[2], walls[2]}}}).message, "2 elements deleted");
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Delete"), 1);
    EXPECT_FALSE(HostTesting::ElementExists(Guid(walls[2])));

    // An unknown GUID anywhere is the host's refusal, and nothing is deleted.
    const std::string badId = std::to_string(APIERR_BADID);
    const std::string unknown = "01234567-89AB-CDEF-0123-456789ABCDEF";
    ExpectFailures({
        {"delete_element", {{"element_guid", unknown}}, "DeleteElement ACAPI error: " + badId},
        {"delete_elements_batch", {{"element_guids", {wall, unknown}}}, "DeleteElementsBatch ACAPI error: " + badId},
        // Anything after the 36 characters, a NUL included, makes the text no GUID.
        {"delete_element", {{"element_guid", wall + std::string("\0x", 2)}}, "DeleteElement ACAPI error: " + badId},
    });
}

}  // namespace
