// What tools promise alike: bad input fails before the host is asked, a host refusal at any step
// leaves nothing behind, a success is one named undo step that undoes; and, for every tool in the
// registry, a well-formed schema and a refusal of wrongly typed input that changes nothing.
#include <map>
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
        {"create_wall", json::array({1, 2}), type306 + "array"},
        {"create_column", {{"x", 1}, {"story", 1e20}}, storyRange + "1e+20"},
        // Openings read every input before the wall GUID is checked; a door reads no sill.
        {"create_door", {{"offset", "x"}}, type302 + "number, but is string"},
        {"create_window", {{"wall_guid", ""}, {"sill_height", nullptr}}, type302 + "number, but is null"},
        {"create_door", {{"offset", 2.0}, {"sill_height", "high"}}, "wall_guid is required"},
        {"place_object", {{"name", "Chair"}, {"x", "3"}}, type302 + "number, but is string"},
        {"place_object", {{"x", 1}, {"y", 1}}, "Library part name is required"},
        {"delete_element", json::object(), "element_guid is required"},
        // A bad entry anywhere in the list deletes nothing, not even the entries before it.
        {"delete_elements_batch", {{"element_guids", {wall, 42, other}}}, type302 + "string, but is number"},
    };
    cases.push_back({"delete_elements_batch", {{"element_guids", "abc"}}, "element_guids array is empty"});
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
        {"create_slab", Square(3), "CreateSlab", {getDefaults, create}, 1, "Create Slab", "Slab created"},
        {"create_door",
         {{"wall_guid", wall}},
         "CreateDoor",
         {getDefaults + "Ext", create + "Ext"},
         2,
         "Create Door",
         "Door created"},
        {"place_object",
         {{"name", "Basin"}},
         "PlaceObject",
         {getDefaults, create},
         1,
         "Place Object",
         "Object placed: Basin"},
        {"delete_element",
         {{"element_guid", a}},
         "DeleteElement",
         {"ACAPI_Element_Delete"},
         0,
         "Delete Element",
         "Element deleted: " + a},
        {"delete_elements_batch",
         {{"element_guids", {b}}},
         "DeleteElementsBatch",
         {"ACAPI_Element_Delete"},
         0,
         "Delete Elements Batch",
         "1 elements deleted"},
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
        EXPECT_EQ(TakeFootprint(), (Footprint{elementsAfter, before.undoSteps + 1}));
        EXPECT_EQ(UndoSteps().back(), "Quillmere: " + t.undoStep);
        ASSERT_TRUE(UndoLast());
        EXPECT_EQ(TakeFootprint(), before);
        EXPECT_FALSE(HostTesting::ElementExists(Guid(result.elementGuid)));
        EXPECT_FALSE(HostTesting::GetMarker(Guid(result.elementGuid), nullptr, nullptr));
    }
}

TEST_F(ToolsTest, EveryRegisteredSchemaIsAnObjectRequiringOnlyDescribedProperties)
{
    ASSERT_FALSE(registry.tools.empty());
    for (const auto& [name, def] : registry.tools) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(def.name == name && !def.description.empty() && def.handler != nullptr);
        const json& schema = def.inputSchema;
        ASSERT_TRUE(schema.is_object() && schema.value("type", json()) == "object");
        ASSERT_TRUE(schema.contains("properties") && schema.at("properties").is_object() &&
                    schema.contains("required") && schema.at("required").is_array());
        const json& properties = schema.at("properties");
        std::set<std::string> required;
        for (const json& key : schema.at("required")) {
            ASSERT_TRUE(key.is_string()) << key;
            EXPECT_TRUE(properties.contains(key.get<std::string>())) << "requires undeclared " << key;
            EXPECT_TRUE(required.insert(key.get<std::string>()).second) << "requires twice " << key;
        }
        for (const auto& property : properties.items()) {
            const json& p = property.value();
            ASSERT_TRUE(p.is_object()) << property.key();
            EXPECT_TRUE(p.contains("description") && p.at("description").is_string()) << property.key();
            EXPECT_TRUE(p.value("type", "") != "array" || (p.contains("items") && p.at("items").is_object()))
                << property.key();
        }
    }
}

// For every property of every tool, values of each other JSON type. A number where a boolean is
// wanted is left out: the JSON library converts it, as it converts a boolean to a number.
const std::map<std::string, std::vector<json>> kWrongValues = {
    {"number", {json::object(), "1", json::array({1})}},
    {"integer", {json::object(), "1", json::array({1})}},
    {"boolean", {json::object(), "true", json::array({true})}},
    {"string", {json::object(), 5, json::array({"text"})}},
    {"array", {json::object(), 5, "text"}},
    {"object", {5, "text", json::array()}},
};

// Inputs a tool never reads (described as deprecated and ignored), and inputs a tool takes only
// when they have their own shape and otherwise leaves out, are not refused for their type.
bool ReadsWithItsType(const std::string& tool, const std::string& key, const json& property)
{
    if (property.value("description", "").rfind("Deprecated \xE2\x80\x94 ignored.", 0) == 0) return false;
    return !(tool == "capture_project_template" && key == "tags");
}

TEST_F(ToolsTest, AWrongJsonTypeForAnyPropertyFailsAndLeavesTheProjectAsItWas)
{
    const std::vector<ElementState> elements = TakeSnapshot();
    const std::vector<std::string> undoSteps = UndoSteps();
    const size_t stories = HostTesting::GetStories().size();
    const Int64 handles = HostTesting::LiveHandleCount();
    const Int64 locations = HostTesting::LiveLocationCount();
    const auto expectRefused = [&](const std::string& tool, const json& input) {
        SCOPED_TRACE(tool + " " + input.dump());
        const ToolResult result = Run(tool, input);
        EXPECT_FALSE(result.success) << result.message;
        EXPECT_FALSE(result.error.empty());
        EXPECT_TRUE(SameProject(elements, TakeSnapshot()));
        EXPECT_EQ(UndoSteps(), undoSteps);
        EXPECT_EQ(HostTesting::GetStories().size(), stories);
        EXPECT_EQ(HostTesting::LiveHandleCount(), handles) << "memory handles left behind";
        EXPECT_EQ(HostTesting::LiveLocationCount(), locations) << "file locations left behind";
    };

    size_t checked = 0;
    for (const auto& [name, def] : registry.tools) {
        const json& properties = def.inputSchema.at("properties");
        for (const auto& property : properties.items()) {
            const auto wrong = kWrongValues.find(property.value().value("type", ""));
            ASSERT_NE(wrong, kWrongValues.end()) << name << "." << property.key();
            if (!ReadsWithItsType(name, property.key(), property.value())) continue;
            for (const json& value : wrong->second) {
                expectRefused(name, {{property.key(), value}});
                ++checked;
            }
        }
        // An input that is no object at all, for every tool that needs one.
        if (!def.inputSchema.at("required").empty()) {
            for (const json& input : {json::array({1}), json("text"), json(nullptr)}) expectRefused(name, input);
        }
    }
    EXPECT_GT(checked, registry.tools.size());
}

}  // namespace
