// What every creation and deletion tool promises alike: bad input fails before the host is
// asked, a host refusal at any step leaves nothing behind, a success is one named undo step.
#include <map>

#include "ToolsTest.hpp"

namespace {

TEST_F(ToolsTest, BadInputFailsBeforeAnyHostCallAndChangesNothing)
{
    const std::string other = Text(HostTesting::AddWall(0, 2, 5, 2));
    const std::string type302 = "[json.exception.type_error.302] type must be ";
    const std::string type306 = "[json.exception.type_error.306] cannot use value() with ";
    const std::string storyRange = "Input 'story' must be a whole number between -2147483648 and 2147483647, got ";
    std::vector<Failure> cases = {
        {"create_wall", {{"start_x", 0}, {"end_x", 3}, {"height", "3"}}, type302 + "number, but is string"},
        {"create_wall", {{"end_x", 3}, {"height", true}}, type302 + "number, but is boolean"},
        {"create_wall", {{"end_x", 3}, {"story", "1"}}, type302 + "number, but is string"},
        {"create_wall", {{"end_x", 3}, {"story", nullptr}}, type302 + "number, but is null"},
        {"create_wall", json::array({1, 2}), type306 + "array"},
        {"create_column", {{"radius", json::array()}}, type302 + "number, but is array"},
        {"create_column", {{"x", 1}, {"story", 1e20}}, storyRange + "1e+20"},
        {"create_column", {{"x", 1}, {"story", 4294967296LL}}, storyRange + "4294967296"},
        {"create_column", {{"x", 1}, {"story", -3000000000.0}}, storyRange + "-3000000000.0"},
        {"create_beam", {{"width", json::object()}}, type302 + "number, but is object"},
        {"create_slab", {{"x3", "5"}}, type302 + "number, but is string"},
        {"create_slab", "corners", type306 + "string"},
        {"create_roof", {{"angle", false}}, type302 + "number, but is boolean"},
        // Openings read every input before the wall GUID is checked; a door reads no sill.
        {"create_door", {{"wall_guid", 5}}, type302 + "string, but is number"},
        {"create_door", {{"offset", "x"}}, type302 + "number, but is string"},
        {"create_window", {{"wall_guid", ""}, {"sill_height", nullptr}}, type302 + "number, but is null"},
        {"create_window", {{"wall_guid", wall}, {"width", true}}, type302 + "number, but is boolean"},
        {"create_window", json::array(), type306 + "array"},
        {"create_door", json::object(), "wall_guid is required"},
        {"create_window", {{"wall_guid", ""}}, "wall_guid is required"},
        {"create_door", {{"offset", 2.0}, {"sill_height", "high"}}, "wall_guid is required"},
        {"search_library_parts", {{"pattern", 5}}, type302 + "string, but is number"},
        {"place_object", {{"name", "Chair"}, {"x", "3"}}, type302 + "number, but is string"},
        {"place_object", {{"name", 7}}, type302 + "string, but is number"},
        {"place_object", {{"rotation", nullptr}}, type302 + "number, but is null"},
        {"place_object", {{"name", "Chair"}, {"story", "2"}}, type302 + "number, but is string"},
        {"place_object", json(3.5), type306 + "number"},
        {"place_object", {{"x", 1}, {"y", 1}}, "Library part name is required"},
        {"place_object", {{"name", ""}}, "Library part name is required"},
        {"delete_element", {{"element_guid", 5}}, type302 + "string, but is number"},
        {"delete_element", {{"element_guid", nullptr}}, type302 + "string, but is null"},
        {"delete_element", json::array({"a"}), type306 + "array"},
        {"delete_element", json::object(), "element_guid is required"},
        {"delete_element", {{"element_guid", ""}}, "element_guid is required"},
        {"delete_element", {{"element_guids", {wall}}}, "element_guid is required"},
        // A bad entry anywhere in the list deletes nothing, not even the entries before it.
        {"delete_elements_batch", {{"element_guids", {wall, 42, other}}}, type302 + "string, but is number"},
        {"delete_elements_batch", {{"element_guids", {wall, nullptr}}}, type302 + "string, but is null"},
        {"delete_elements_batch", {{"element_guids", {wall, json::array({other})}}}, type302 + "string, but is array"},
    };
    for (const json& input : {json::object(), json {{"element_guids", json::array()}}, json {{"element_guids", "abc"}},
                              json {{"element_guids", nullptr}}, json {{"element_guid", wall}}, json::array({wall}),
                              json("abc"), json(nullptr)})
        cases.push_back({"delete_elements_batch", input, "element_guids array is empty"});
    ExpectFailures(cases, "");
}

TEST_F(ToolsTest, HostFailureAtEachStepChangesNothingAndHandsEveryMemoBack)
{
    const std::string getDefaults = "ACAPI_Element_GetDefaults";
    const std::string create = "ACAPI_Element_Create";
    const std::string remove = "ACAPI_Element_Delete";
    const std::string a = Text(HostTesting::AddWall(0, 2, 5, 2));
    const std::string b = Text(HostTesting::AddWall(0, 4, 5, 4));
    // memos: memos the body hands back to the host once it has run, whatever the host answered.
    const struct {
        const char* tool;
        json input;
        std::string prefix;
        std::vector<std::string> steps;
        int memos;
    } tools[] = {
        {"create_wall", {{"end_x", 4}}, "CreateWall", {getDefaults, create}, 0},
        {"create_column", {{"x", 1}}, "CreateColumn", {getDefaults, create}, 1},
        {"create_beam", {{"end_x", 4}}, "CreateBeam", {getDefaults, create}, 1},
        {"create_slab", Square(3), "CreateSlab", {getDefaults, create}, 1},
        {"create_roof", Square(3), "CreateRoof", {getDefaults, create}, 1},
        {"create_door", {{"wall_guid", wall}}, "CreateDoor", {getDefaults + "Ext", create + "Ext"}, 2},
        {"create_window", {{"wall_guid", wall}}, "CreateWindow", {getDefaults + "Ext", create + "Ext"}, 2},
        {"place_object", {{"name", "Sofa 3-Seat"}}, "PlaceObject", {getDefaults, create}, 1},
        {"delete_element", {{"element_guid", a}}, "DeleteElement", {remove}, 0},
        {"delete_elements_batch", {{"element_guids", {b}}}, "DeleteElementsBatch", {remove}, 0},
    };
    for (const auto& t : tools) {
        std::vector<std::string> steps = t.steps;
        steps.push_back("ACAPI_CallUndoableCommand");
        for (const std::string& step : steps) {
            SCOPED_TRACE(std::string(t.tool) + " at " + step);
            const Footprint before = TakeFootprint();
            HostTesting::ClearCallLog();
            HostTesting::FailNextCall(step, APIERR_GENERAL);
            const ToolResult result = Run(t.tool, t.input);
            HostTesting::ClearFailures();
            EXPECT_EQ(result.error, t.prefix + " ACAPI error: -2130313215");
            EXPECT_TRUE(result.elementGuid.empty());
            EXPECT_EQ(TakeFootprint(), before);
            const bool bodyRan = step != "ACAPI_CallUndoableCommand";
            EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), bodyRan ? t.memos : 0);
        }
        HostTesting::ClearCallLog();
        EXPECT_TRUE(Run(t.tool, t.input).success) << t.tool << " after the failures";
        EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), t.memos) << t.tool;
    }
}

TEST_F(ToolsTest, EachCreationIsOneNamedUndoStepThatUndoes)
{
    const struct {
        const char* tool;
        json input;
        const char* step;
        const char* message;
    } cases[] = {
        {"create_wall", {{"end_x", 4}}, "Quillmere: Create Wall", "Wall created"},
        {"create_slab", Square(3), "Quillmere: Create Slab", "Slab created"},
        {"create_column", {{"x", 1}}, "Quillmere: Create Column", "Column created"},
        {"create_beam", {{"end_y", 4}}, "Quillmere: Create Beam", "Beam created"},
        {"create_roof", Square(3), "Quillmere: Create Roof", "Roof created"},
        {"create_door", {{"wall_guid", wall}}, "Quillmere: Create Door", "Door created"},
        {"create_window", {{"wall_guid", wall}}, "Quillmere: Create Window", "Window created"},
        {"place_object", {{"name", "Basin"}}, "Quillmere: Place Object", "Object placed: Basin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool);
        const Footprint before = TakeFootprint();
        const ToolResult result = Run(c.tool, c.input);
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.message, c.message);
        EXPECT_TRUE(result.error.empty());
        EXPECT_TRUE(HostTesting::ElementExists(Guid(result.elementGuid)));
        EXPECT_EQ(HostTesting::ElementCount(), before.elements + 1);
        ASSERT_EQ(UndoStepCount(), before.undoSteps + 1);
        EXPECT_EQ(UndoSteps().back(), c.step);

        ASSERT_TRUE(UndoLast());
        EXPECT_FALSE(HostTesting::ElementExists(Guid(result.elementGuid)));
        EXPECT_FALSE(HostTesting::GetMarker(Guid(result.elementGuid), nullptr, nullptr));
        EXPECT_EQ(TakeFootprint(), before);
    }
    EXPECT_TRUE(HostTesting::ElementExists(Guid(wall)));
}

TEST_F(ToolsTest, CatalogueSchemasRequireOnlyDescribedProperties)
{
    std::map<std::string, json> byName;
    for (const json& def : registry.GetToolDefinitions())
        byName[def.at("name").get<std::string>()] = def.at("input_schema");
    for (const std::string name : {"create_wall", "create_slab", "create_column", "create_beam", "create_roof",
                                   "create_door", "create_window", "search_library_parts", "place_object",
                                   "delete_element", "delete_elements_batch"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(byName.count(name), 1u);
        const json& schema = byName[name];
        EXPECT_EQ(schema.at("type"), "object");
        for (const json& key : schema.at("required"))
            EXPECT_TRUE(schema.at("properties").contains(key.get<std::string>())) << key;
        for (const auto& property : schema.at("properties").items()) {
            EXPECT_TRUE(property.value().at("description").is_string()) << property.key();
            if (name.rfind("create_", 0) == 0 && property.key() != "wall_guid") {
                EXPECT_EQ(property.value().at("type"), property.key() == "story" ? "integer" : "number") << property.key();
            }
        }
    }
}

}  // namespace
