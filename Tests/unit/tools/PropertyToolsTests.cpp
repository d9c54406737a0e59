// The property and classification tools: a value and an item set as one named step and undone,
// and every refusal checked before the step, leaving values, items and undo history as they were.
#include <map>

#include "HostTestingProperties.hpp"
#include "QuillmereTest.hpp"

namespace {

using PropertyTools = QuillmereTest;

json Values(const std::string& guid, const std::string& definition)
{
    return {{"element_guids", {guid}}, {"definitions", {definition}}};
}

json OnlyValue(const json& result)
{
    const json properties = result["elements"][0]["properties"];
    return properties.empty() ? json() : properties[0]["value"];
}

TEST_F(PropertyTools, AValueIsSetOnEveryElementAsOneStepAndUndone)
{
    const std::string a = Text(HostTesting::AddWall(0, 0, 5, 0));
    const std::string b = Text(HostTesting::AddWall(0, 1, 5, 1));
    const ToolResult set =
        Run("set_element_property",
            {{"definition", "General Ratings/Acoustic Rating"}, {"value", "52"}, {"element_guids", {a, b}}});
    ASSERT_TRUE(set.success) << set.error;
    EXPECT_EQ(UndoSteps().back(), "Quillmere: Set Property");
    EXPECT_EQ(OnlyValue(Data(Run("get_element_properties", Values(b, "General Ratings/Acoustic Rating")))), 52);
    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(OnlyValue(Data(Run("get_element_properties", Values(a, "General Ratings/Acoustic Rating")))), 45);
}

TEST_F(PropertyTools, DefinitionsTellWhoDefinedThemAndWhetherTheyCanBeSet)
{
    std::map<std::string, std::pair<bool, bool>> seen;  // name -> (user-defined group, editable)
    const json listed = json::parse(Run("list_property_definitions", json::object()).message);
    for (const json& group : listed["groups"])
        for (const json& definition : group["definitions"])
            seen[definition["name"]] = {group["user_defined"].get<bool>(), definition["editable"].get<bool>()};
    EXPECT_EQ(seen["Gross Area"], std::make_pair(false, false));
    EXPECT_EQ(seen["Acoustic Rating"], std::make_pair(false, true));
    EXPECT_EQ(seen["Status"], std::make_pair(true, true));
    EXPECT_EQ(seen["Finish Options"], std::make_pair(true, false));  // an enumeration
}

TEST_F(PropertyTools, ARefusedChangeLeavesEverythingAsItWas)
{
    const std::string wall = Text(HostTesting::AddWall(0, 0, 5, 0));
    const std::string door = Text(HostTesting::AddFixture(API_DoorID, 0, Guid(wall)));
    const struct {
        const char* name;
        json input;
        std::string error;
    } cases[] = {
        {"wrong type",
         {{"definition", "General Ratings/Load Bearing"}, {"value", "maybe"}},
         "value is not a boolean value"},
        {"past the integer range",
         {{"definition", "General Ratings/Acoustic Rating"}, {"value", 18446744073709551615ULL}},
         "value 18446744073709551615 is outside the integer range -2147483648 to 2147483647"},
        {"below the integer range",
         {{"definition", "General Ratings/Acoustic Rating"}, {"value", -2147483649LL}},
         "value -2147483649 is outside the integer range -2147483648 to 2147483647"},
        // A number is read to the end of its text: a NUL does not end it early.
        {"a NUL in a number",
         {{"definition", "General Ratings/Acoustic Rating"},
          {"value", std::string("52\0"
                                "9",
                                4)}},
         "value is not a integer value"},
        {"past the real range",
         {{"definition", "General Ratings/Thermal Transmittance"}, {"value", "1e999"}},
         "value 1e999 is outside the real range of +/-1.7976931348623157e+308"},
        {"a NUL in text",
         {{"definition", "Project Data/Status"}, {"value", std::string("a\0b", 3)}},
         "value holds a NUL character, which a string value cannot hold"},
        {"read-only",
         {{"definition", "General Ratings/Gross Area"}, {"value", 3}},
         "Property General Ratings/Gross Area is read-only"},
        {"not for a door",
         {{"definition", "General Ratings/Load Bearing"}, {"value", true}, {"element_guids", {wall, door}}},
         "Property General Ratings/Load Bearing does not apply to element " + door},
        {"unknown element",
         {{"definition", "Project Data/Status"}, {"value", "x"}, {"element_guids", {wall, "nope"}}},
         "Element not found: nope"},
        {"a choice",
         {{"definition", "Project Data/Finish Options"}, {"value", "x"}},
         "Property Project Data/Finish Options takes a list or choice value, which cannot be set here"},
        {"unknown definition",
         {{"definition", "Project Data/Colour"}, {"value", "x"}},
         "Unknown property definition: Project Data/Colour"},
        {"unknown item", {{"item", "QC-99"}}, "Unknown classification item: QC-99"},
        {"unknown system", {{"item", "QC-10"}, {"system", "Other"}}, "Unknown classification system: Other"},
    };
    const Footprint before = TakeFootprint();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        json input = c.input;
        if (!input.contains("element_guids")) input["element_guids"] = {wall};
        const char* tool = input.contains("item") ? "set_element_classification" : "set_element_property";
        EXPECT_EQ(Run(tool, input).error, c.error);
        EXPECT_EQ(TakeFootprint(), before);
    }
    EXPECT_EQ(OnlyValue(Data(Run("get_element_properties", Values(wall, "General Ratings/Load Bearing")))), false);
    EXPECT_TRUE(Data(Run("get_element_classifications", {{"element_guids", {wall}}}))["elements"][0]["classifications"]
                    .empty());
}

TEST_F(PropertyTools, AnItemReplacesTheElementsItemInItsSystemAndUndoBringsItBack)
{
    const std::string wall = Text(HostTesting::AddWall(0, 0, 5, 0));
    HostTesting::ClassifyElement(Guid(wall), HostTesting::DefaultClassificationItem("QC-10"));
    const auto item = [&] {
        const json entries =
            Data(Run("get_element_classifications", {{"element_guids", {wall}}}))["elements"][0]["classifications"];
        return entries.size() == 1 ? entries[0]["id"].get<std::string>() : std::to_string(entries.size());
    };
    const ToolResult set = Run("set_element_classification", {{"item", "QC-11"}, {"element_guids", {wall}}});
    ASSERT_TRUE(set.success) << set.error;
    EXPECT_EQ(UndoSteps().back(), "Quillmere: Set Classification");
    EXPECT_EQ(item(), "QC-11");
    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(item(), "QC-10");

    const json systems = json::parse(Run("list_classifications", json::object()).message)["systems"];
    EXPECT_EQ(systems[0]["items"][0]["children"][0]["id"], "QC-11");
}

}  // namespace
