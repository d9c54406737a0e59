// What every creation and deletion tool promises alike: bad input fails before the host is asked,
// a host refusal at any step leaves nothing behind, a success is one named undo step that undoes.
#include <set>

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

TEST_F(ToolsTest, HostFailureAtEachStepChangesNothingAndSuccessIsOneNamedUndoStep)
{
    const std::string getDefaults = "ACAPI_Element_GetDefaults";
    const std::string create = "ACAPI_Element_Create";
    const std::string a = Text(HostTesting::AddWall(0, 2, 5, 2));
    const std::string b = Text(HostTesting::AddWall(0, 4, 5, 4));
    // memos: memos the body hands back to the host once it has run, whatever the host answered.
    const struct {
        const char* tool;
        json input;
        std::string prefix;
        std::vector<std::string> steps;
        int memos;
        std::string undoStep;
        std::string message;
    } tools[] = {
        {"create_wall", {{"end_x", 4}}, "CreateWall", {getDefaults, create}, 0, "Create Wall", "Wall created"},
        {"create_column", {{"x", 1}}, "CreateColumn", {getDefaults, create}, 1, "Create Column", "Column created"},
        {"create_beam", {{"end_y", 4}}, "CreateBeam", {getDefaults, create}, 1, "Create Beam", "Beam created"},
        {"create_slab", Square(3), "CreateSlab", {getDefaults, create}, 1, "Create Slab", "Slab created"},
        {"create_roof", Square(3), "CreateRoof", {getDefaults, create}, 1, "Create Roof", "Roof created"},
        {"create_door", {{"wall_guid", wall}}, "CreateDoor", {getDefaults + "Ext", create + "Ext"}, 2, "Create Door", "Door created"},
        {"create_window", {{"wall_guid", wall}}, "CreateWindow", {getDefaults + "Ext", create + "Ext"}, 2, "Create Window", "Window created"},
        {"place_object", {{"name", "Basin"}}, "PlaceObject", {getDefaults, create}, 1, "Place Object", "Object placed: Basin"},
        {"delete_element", {{"element_guid", a}}, "DeleteElement", {"ACAPI_Element_Delete"}, 0, "Delete Element", "Element deleted: " + a},
        {"delete_elements_batch", {{"element_guids", {b}}}, "DeleteElementsBatch", {"ACAPI_Element_Delete"}, 0, "Delete Elements Batch", "1 elements deleted"},
    };
    for (const auto& t : tools) {
        std::vector<std::string> steps = t.steps;
        steps.push_back("ACAPI_CallUndoableCommand");
        for (const std::string& step : steps) {
            SCOPED_TRACE(std::string(t.tool) + " failing at " + step);
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
        SCOPED_TRACE(t.tool);
        const Footprint before = TakeFootprint();
        HostTesting::ClearCallLog();
        const ToolResult result = Run(t.tool, t.input);
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.message, t.message);
        EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), t.memos);
        const size_t elementsAfter = t.prefix.rfind("Delete", 0) == 0 ? before.elements - 1 : before.elements + 1;
        EXPECT_EQ(TakeFootprint(), (Footprint {elementsAfter, before.undoSteps + 1}));
        EXPECT_EQ(UndoSteps().back(), "Quillmere: " + t.undoStep);
        ASSERT_TRUE(UndoLast());
        EXPECT_EQ(TakeFootprint(), before);
        EXPECT_FALSE(HostTesting::ElementExists(Guid(result.elementGuid)));
        EXPECT_FALSE(HostTesting::GetMarker(Guid(result.elementGuid), nullptr, nullptr));
    }
}

TEST_F(ToolsTest, CatalogueSchemasRequireOnlyDescribedProperties)
{
    const std::set<std::string> tools = {"create_wall", "create_slab", "create_column", "create_beam", "create_roof",
                                         "create_door", "create_window", "search_library_parts", "place_object",
                                         "delete_element", "delete_elements_batch"};
    for (const json& def : registry.GetToolDefinitions()) {
        const std::string name = def.at("name");
        const json& schema = def.at("input_schema");
        if (tools.count(name) == 0)
            continue;
        EXPECT_EQ(schema.at("type"), "object") << name;
        for (const json& key : schema.at("required"))
            EXPECT_TRUE(schema.at("properties").contains(key.get<std::string>())) << name << " requires " << key;
        for (const auto& p : schema.at("properties").items()) {
            const bool numeric = name.rfind("create_", 0) == 0 && p.key() != "wall_guid";
            EXPECT_TRUE(p.value().at("description").is_string() &&
                        (!numeric || p.value().at("type") == (p.key() == "story" ? "integer" : "number"))) << name << "." << p.key();
        }
    }
}

}  // namespace
