// Deleting one element or a list of elements through the registry, and undoing it.
#include <algorithm>
#include <cstring>

#include "HostTestingLibrary.hpp"
#include "ToolTestFixture.hpp"

using json = nlohmann::json;

namespace {

class DeleteToolsTest : public ToolTestFixture {
protected:
    std::string AddWall(double y)
    {
        return Text(HostTesting::AddWall(0, y, 5, y));
    }

    static bool SameRecord(const API_Element& a, const API_Element& b)
    {
        return std::memcmp(&a, &b, sizeof(API_Element)) == 0;
    }
};

// ---- delete_element -----------------------------------------------------------------------

TEST_F(DeleteToolsTest, DeletesOneElementAndEchoesTheTextAsGiven)
{
    const std::string keep = AddWall(0);
    const std::string gone = AddWall(3);
    std::string given = gone;
    std::transform(given.begin(), given.end(), given.begin(), [](unsigned char c) { return std::tolower(c); });

    const ToolResult result = Run("delete_element", {{"element_guid", given}});

    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Element deleted: " + given);
    EXPECT_TRUE(result.elementGuid.empty());
    EXPECT_EQ(result.toJson().find("element_guid"), std::string::npos);
    EXPECT_FALSE(HostTesting::ElementExists(Guid(gone)));
    EXPECT_TRUE(HostTesting::ElementExists(Guid(keep)));
    EXPECT_EQ(UndoSteps().back(), "Quillmere: Delete Element");
}

TEST_F(DeleteToolsTest, MissingOrEmptyGuidFailsWithoutAStep)
{
    AddWall(0);
    HostTesting::ClearCallLog();
    const Footprint before = TakeFootprint();
    for (const json& input : {json::object(), json {{"element_guid", ""}}, json {{"element_guids", json::array({"x"})}}}) {
        const ToolResult result = Run("delete_element", input);
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error, "element_guid is required") << input.dump();
    }
    EXPECT_TRUE(HostTesting::CallLog().empty());
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(DeleteToolsTest, WrongJsonTypeFailsWithTheLibraryText)
{
    AddWall(0);
    const Footprint before = TakeFootprint();
    const struct {
        json input;
        const char* error;
    } cases[] = {
        {{{"element_guid", 5}}, "[json.exception.type_error.302] type must be string, but is number"},
        {{{"element_guid", nullptr}}, "[json.exception.type_error.302] type must be string, but is null"},
        {json::array({"a"}), "[json.exception.type_error.306] cannot use value() with array"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run("delete_element", c.input).error, c.error) << c.input.dump();
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(DeleteToolsTest, UnknownGuidIsTheHostsRefusal)
{
    AddWall(0);
    const Footprint before = TakeFootprint();
    for (const char* text : {"01234567-89AB-CDEF-0123-456789ABCDEF", "garbage"}) {
        const ToolResult result = Run("delete_element", {{"element_guid", text}});
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error, "DeleteElement ACAPI error: " + std::to_string(APIERR_BADID)) << text;
    }
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(DeleteToolsTest, DeletingAWallTakesItsOpeningsAndUndoBringsAllBack)
{
    const std::string wall = AddWall(0);
    const ToolResult door = Run("create_door", {{"wall_guid", wall}, {"offset", 1}});
    const ToolResult window = Run("create_window", {{"wall_guid", wall}, {"offset", 3}});
    ASSERT_TRUE(door.success && window.success);
    const API_Element doorBefore = Element(door.elementGuid);
    const Footprint before = TakeFootprint();

    const ToolResult result = Run("delete_element", {{"element_guid", wall}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(HostTesting::ElementCount(), before.elements - 3);
    EXPECT_FALSE(HostTesting::ElementExists(Guid(door.elementGuid)));
    EXPECT_FALSE(HostTesting::ElementExists(Guid(window.elementGuid)));

    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(TakeFootprint(), before);
    EXPECT_TRUE(SameRecord(Element(door.elementGuid), doorBefore));
    EXPECT_TRUE(HostTesting::ElementExists(Guid(window.elementGuid)));
    EXPECT_TRUE(HostTesting::GetMarker(Guid(door.elementGuid), nullptr, nullptr));
}

TEST_F(DeleteToolsTest, HostFailureKeepsTheElement)
{
    const std::string wall = AddWall(0);
    for (const char* step : {"ACAPI_Element_Delete", "ACAPI_CallUndoableCommand"}) {
        const Footprint before = TakeFootprint();
        HostTesting::FailNextCall(step, APIERR_GENERAL);
        const ToolResult result = Run("delete_element", {{"element_guid", wall}});
        HostTesting::ClearFailures();
        EXPECT_EQ(result.error, "DeleteElement ACAPI error: -2130313215") << step;
        EXPECT_TRUE(HostTesting::ElementExists(Guid(wall)));
        EXPECT_EQ(TakeFootprint(), before);
    }
}

// ---- delete_elements_batch ----------------------------------------------------------------

TEST_F(DeleteToolsTest, BatchIsOneHostCallOneStepAndOneUndo)
{
    std::vector<std::string> walls;
    std::vector<API_Element> records;
    for (int i = 0; i < 4; ++i) {
        walls.push_back(AddWall(i * 2.0));
        records.push_back(Element(walls.back()));
    }
    const Footprint before = TakeFootprint();
    HostTesting::ClearCallLog();

    const ToolResult result = Run("delete_elements_batch", {{"element_guids", {walls[0], walls[1], walls[3]}}});

    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "3 elements deleted");
    EXPECT_TRUE(result.elementGuid.empty());
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Delete"), 1);
    ASSERT_EQ(UndoStepCount(), before.undoSteps + 1);
    EXPECT_EQ(UndoSteps().back(), "Quillmere: Delete Elements Batch");
    EXPECT_EQ(HostTesting::ElementCount(), before.elements - 3);
    EXPECT_TRUE(HostTesting::ElementExists(Guid(walls[2])));

    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(TakeFootprint(), before);
    for (size_t i = 0; i < walls.size(); ++i)
        EXPECT_TRUE(SameRecord(Element(walls[i]), records[i])) << "wall " << i;
}

TEST_F(DeleteToolsTest, BatchCountIsTheNumberOfEntriesGiven)
{
    const std::string wall = AddWall(0);
    const ToolResult single = Run("delete_elements_batch", {{"element_guids", {wall}}});
    EXPECT_EQ(single.message, "1 elements deleted");
    ASSERT_TRUE(UndoLast());

    // The same text twice: both entries go to the host in one call and both are counted.
    HostTesting::ClearCallLog();
    const ToolResult twice = Run("delete_elements_batch", {{"element_guids", {wall, wall}}});
    ASSERT_TRUE(twice.success) << twice.error;
    EXPECT_EQ(twice.message, "2 elements deleted");
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Delete"), 1);
    EXPECT_FALSE(HostTesting::ElementExists(Guid(wall)));
}

TEST_F(DeleteToolsTest, BatchWithoutAListFailsWithoutHostCalls)
{
    AddWall(0);
    HostTesting::ClearCallLog();
    const Footprint before = TakeFootprint();
    for (const json& input : {json::object(), json {{"element_guids", json::array()}}, json {{"element_guids", "abc"}},
                              json {{"element_guids", nullptr}}, json {{"element_guid", "abc"}}, json::array({"abc"}),
                              json("abc"), json(nullptr)}) {
        const ToolResult result = Run("delete_elements_batch", input);
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error, "element_guids array is empty") << input.dump();
    }
    EXPECT_TRUE(HostTesting::CallLog().empty());
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(DeleteToolsTest, BatchWithANonStringEntryDeletesNothing)
{
    const std::string a = AddWall(0);
    const std::string b = AddWall(2);
    HostTesting::ClearCallLog();
    const Footprint before = TakeFootprint();
    const struct {
        json list;
        const char* error;
    } cases[] = {
        {{a, 42, b}, "[json.exception.type_error.302] type must be string, but is number"},
        {{a, nullptr}, "[json.exception.type_error.302] type must be string, but is null"},
        {{a, json::array({b})}, "[json.exception.type_error.302] type must be string, but is array"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run("delete_elements_batch", {{"element_guids", c.list}}).error, c.error) << c.list.dump();
    EXPECT_TRUE(HostTesting::CallLog().empty());
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(DeleteToolsTest, BatchWithAnUnknownGuidDeletesNothing)
{
    const std::string a = AddWall(0);
    const std::string b = AddWall(2);
    const Footprint before = TakeFootprint();
    for (const json& list : {json {a, "01234567-89AB-CDEF-0123-456789ABCDEF", b}, json {a, ""}}) {
        const ToolResult result = Run("delete_elements_batch", {{"element_guids", list}});
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error, "DeleteElementsBatch ACAPI error: " + std::to_string(APIERR_BADID)) << list.dump();
    }
    EXPECT_EQ(TakeFootprint(), before);
    EXPECT_TRUE(HostTesting::ElementExists(Guid(a)));
    EXPECT_TRUE(HostTesting::ElementExists(Guid(b)));
}

}  // namespace
