// What every registered tool promises alike, the palette's own families included: a well-formed
// schema; a refusal of wrongly typed input that changes nothing; a minimal valid input that
// succeeds and changes the project as the table says; and, for each host call that input makes,
// a failure of that call reported as a failed result that changes nothing and leaks nothing.
// A tool without a row in the table fails the test, so new tools are covered as they land.
#include <map>
#include <set>

#include "FakeProductService.hpp"
#include "FakeStorage.hpp"
#include "HostTestingNavigator.hpp"
#include "PlanViewPdf.hpp"
#include "QuillmereTest.hpp"
#include "tools/library/TypologyCatalogue.hpp"

namespace {

using Reply = FakeProductService::Reply;

// What a tool's success must change: elements added (negative: removed), undo steps added,
// stories added, and whether any attribute changed.
struct Change {
    int elements = 0;
    int undoSteps = 0;
    int stories = 0;
    bool attributes = false;
};
constexpr Change kNothing{};
constexpr Change kOneStep{0, 1};

struct Row {
    const char* tool;
    const char* input;  // "$wall", "$other", "$view", "$database", "$combination", "$home" are filled in
    Change change;
    // Host functions whose failure the tool absorbs and still succeeds, leaking nothing (a list
    // leaves the item out, a lookup falls back); space-separated.
    std::string survives;
};

// Tools that walk the project skip an element they cannot read (and count what they can).
const std::string kReads = "ACAPI_Element_GetElemList ACAPI_Element_Get";
// The plan view draws what it can read.
const std::string kDrawing = kReads + " ACAPI_Attribute_Get ACAPI_Selection_Get";
// Lists leave out an item the host cannot read, or list nothing when it cannot count them.
constexpr const char* kListing = "ACAPI_Attribute_GetNum ACAPI_Attribute_Get";
// Batches skip and count a wall the host refuses.
constexpr const char* kBatch = "ACAPI_Element_GetDefaults ACAPI_Element_Create";

// Doors and windows fall back to the default marker when its part cannot be found or read.
constexpr const char* kMarkerLookups = "ACAPI_Goodies_GetMarkerParent ACAPI_LibPart_Search ACAPI_LibPart_GetParams";

const Row kRows[] = {
    {"create_wall", R"({"start_x":0,"start_y":3,"end_x":4,"end_y":3})", {1, 1}},
    {"create_slab", R"({"x1":0,"y1":0,"x2":3,"y2":0,"x3":3,"y3":3,"x4":0,"y4":3})", {1, 1}},
    {"create_column", R"({"x":1,"y":1})", {1, 1}},
    {"create_beam", R"({"start_x":0,"start_y":3,"end_x":4,"end_y":3})", {1, 1}},
    {"create_roof", R"({"x1":0,"y1":0,"x2":3,"y2":0,"x3":3,"y3":3,"x4":0,"y4":3})", {1, 1}},
    {"create_door", R"({"wall_guid":"$wall","offset":2})", {1, 1}, kMarkerLookups},
    {"create_window", R"({"wall_guid":"$wall","offset":2})", {1, 1}, kMarkerLookups},
    {"search_library_parts", R"({"pattern":"chair"})", kNothing, "ACAPI_LibPart_GetNum ACAPI_LibPart_Get"},
    {"place_object", R"({"name":"Basin","x":1,"y":1})", {1, 1}, "ACAPI_LibPart_GetParams"},
    {"delete_element", R"({"element_guid":"$other"})", {-1, 1}},
    {"delete_elements_batch", R"({"element_guids":["$other"]})", {-1, 1}},
    {"create_line", R"({"start_x":0,"start_y":0,"end_x":1,"end_y":1})", {1, 1}},
    {"create_arc", R"({"center_x":0,"center_y":0,"radius":1})", {1, 1}},
    {"create_text", R"({"x":0,"y":0,"content":"Note"})", {1, 1}},
    {"create_polyline", R"({"points":[{"x":0,"y":0},{"x":1,"y":0},{"x":1,"y":1}]})", {1, 1}},
    {"create_hotspot", R"({"x":0,"y":0})", {1, 1}},
    {"create_spline", R"({"points":[{"x":0,"y":0},{"x":1,"y":1},{"x":2,"y":0}]})", {1, 1}},
    {"create_fill", R"({"points":[{"x":0,"y":0},{"x":1,"y":0},{"x":1,"y":1}]})", {1, 1}},
    {"create_dimension", R"({"x1":0,"y1":0,"x2":2,"y2":0})", {1, 1}},
    {"list_stories", "{}", kNothing},
    {"create_story", R"({"name":"Roof"})", {0, 1, 1}},
    {"set_current_story", R"({"story_index":1})", kNothing},
    {"list_views", "{}", kNothing, "ACAPI_Navigator"},
    {"create_view", R"({"name":"Seed plan"})", kNothing},
    {"switch_view", R"({"view_guid":"$view"})", kNothing},
    {"list_graphic_overrides", "{}", kNothing, "ACAPI_Override_GetOverrideCombination"},
    {"set_graphic_override", R"({"combination_guid":"$combination"})", kNothing},
    {"create_worksheet", R"({"name":"Notes"})", kNothing},
    {"list_worksheets", "{}", kNothing, "ACAPI_Navigator"},
    {"switch_database", R"({"database_guid":"$database"})", kNothing},
    {"list_publisher_sets", "{}", kNothing, "ACAPI_Navigator"},
    {"publish_to_pdf", R"({"publisher_set_name":"Seed set","output_path":"$home"})", kNothing, kDrawing},
    {"save_as_module", R"({"file_path":"$home/seed.mod"})", kNothing},
    {"prepare_build_phases",
     "{}",
     {0, 1, 0, true},
     kReads + " ACAPI_Attribute_Create ACAPI_Attribute_Get ACAPI_Attribute_Modify ACAPI_Element_Change"},
    {"reveal_build_phase", R"({"phase":0})", kNothing, "ACAPI_Attribute_Get"},
    {"modify_element", R"({"element_guid":"$other","height":2.5})", kOneStep},
    {"move_element", R"({"element_guid":"$other","dx":1,"dy":0})", kOneStep},
    {"copy_element", R"({"element_guid":"$other"})", {1, 1}},
    {"rotate_element", R"({"element_guid":"$other","center_x":0,"center_y":0,"angle":90})", kOneStep},
    {"mirror_element", R"({"element_guid":"$other","axis_x1":0,"axis_y1":0,"axis_x2":0,"axis_y2":1})", kOneStep},
    {"group_elements", R"({"element_guids":["$wall","$other"]})", kOneStep},
    {"list_layers", "{}", kNothing, kListing},
    {"create_layer", R"({"name":"Seed layer"})", {0, 0, 0, true}},
    {"set_layer_visibility", R"({"layer_index":1,"visible":false})", {0, 0, 0, true}},
    {"set_element_layer", R"({"element_guid":"$other","layer_index":1})", kOneStep},
    {"list_materials", "{}", kNothing, kListing},
    {"list_composites", "{}", kNothing, kListing},
    {"get_pen_color", R"({"pen_index":3})", kNothing},
    {"set_pen_color", R"({"pen_index":3,"red":0.5,"green":0.25,"blue":1})", {0, 0, 0, true}},
    {"list_line_types", "{}", kNothing, kListing},
    {"list_fill_types", "{}", kNothing, kListing},
    // Inspection: summaries fall back on names and geometry the host cannot read, leave out what it cannot place
    {"get_project_info", "{}", kNothing, kReads + " ACAPI_Element_GetMemo ACAPI_Attribute_Get"},
    {"list_elements", "{}", kNothing,
     kReads + " ACAPI_Element_GetMemo ACAPI_Attribute_Get ACAPI_LibPart_Get ACAPI_Database"},
    {"find_elements", R"({"text":"a","within":[-100,-100,100,100]})", kNothing,
     kReads + " ACAPI_Element_GetMemo ACAPI_Attribute_Get ACAPI_LibPart_Get"},
    {"get_element_details", R"({"element_guids":["$wall"]})", kNothing,
     "ACAPI_Element_Get ACAPI_Element_GetMemo ACAPI_Attribute_Get ACAPI_LibPart_Get"},
    {"get_selection", "{}", kNothing, "ACAPI_Element_Get ACAPI_Element_GetMemo ACAPI_Attribute_Get"},
    {"select_elements", R"({"element_guids":["$wall"]})", kNothing},
    {"list_property_definitions", "{}", kNothing},
    {"get_element_properties", R"({"element_guids":["$wall"]})", kNothing, "ACAPI_Element_GetPropertyValue"},
    {"set_element_property", R"({"definition":"Project Data/Status","value":"x","element_guids":["$wall"]})", kOneStep,
     "ACAPI_Property_GetPropertyDefinitions"},
    {"list_classifications", "{}", kNothing, "ACAPI_Classification_GetClassificationItemChildren"},
    {"get_element_classifications", R"({"element_guids":["$wall"]})", kNothing,
     "ACAPI_Element_GetClassificationItems ACAPI_Classification_GetClassificationItem"},
    {"set_element_classification", R"({"item":"QC-10","element_guids":["$wall"]})", kOneStep,
     "ACAPI_Classification_GetClassificationItemChildren"},
    {"capture_element_detail", R"({"element_guid":"$wall"})", kNothing,
     "ACAPI_Attribute_Get ACAPI_Element_GetMemo ACAPI_Element_GetClassificationItems "
     "ACAPI_Element_GetPropertyValue ACAPI_Property_GetPropertyDefinitions ACAPI_Property_GetPropertyGroups"},
    {"capture_project_template", R"({"template_name":"Captured"})", kNothing,
     kReads + " ACAPI_Automate ACAPI_Environment"},
    {"list_templates", "{}", kNothing},
    {"get_template_layout", R"({"template_name":"Seed"})", kNothing},
    {"apply_template_exact", R"({"template_name":"Seed"})", {11, 1}, kReads},
    {"select_typology", R"({"bedrooms":2})", kNothing},
    {"apply_typology_skeleton", R"({"typology_name":"seed"})", {11, 1}, kReads},
    {"get_design_snapshot", "{}", kNothing, kReads},
    {"adapt_typology", R"({"operations":[{"op":"mirror"}]})", kOneStep, kReads + " ACAPI_Element_Change"},
    {"polish_plan", "{}", kOneStep, kReads},
    // The palette's families
    {"render_current_view", "{}", kNothing, kDrawing + " NSApp mainWindow"},
    {"upload_reference_plan", "{}", kNothing},
    {"start_plan_extraction", R"({"plan_id":"p"})", kNothing},
    {"get_plan_extraction_status", R"({"plan_id":"p"})", kNothing},
    {"get_plan_detections", R"({"plan_id":"p"})", kNothing},
    {"build_from_layout", R"({"walls":[{"start":[0,5],"end":[4,5],"thickness":0.2}]})", {1, 1}, kBatch},
    {"create_walls_batch", R"({"walls":[{"start_x":0,"start_y":5,"end_x":4,"end_y":5}]})", {1, 1}, kBatch},
};

// Host functions that hand something back and cannot meaningfully fail.
const std::set<std::string> kReleases = {"ACAPI_DisposeElemMemoHdls"};

// Everything a failed call must leave as it was.
struct ProjectState {
    std::vector<ElementState> elements;
    std::vector<std::string> undoSteps;
    size_t stories;
    std::string attributes;
    Int64 handles, locations;
};

std::string AttributeBytes()
{
    std::string bytes;
    for (API_AttrTypeID type : {API_PenID, API_LayerID, API_LinetypeID, API_FilltypeID, API_CompWallID, API_MaterialID,
                                API_BuildingMaterialID}) {
        Int32 count = 0;
        ACAPI_Attribute_GetNum(type, &count);
        for (Int32 i = 1; i <= count; ++i) {
            API_Attribute a;
            BNClear(a);
            if (HostTesting::GetAttribute(type, i, &a)) bytes.append(reinterpret_cast<const char*>(&a), sizeof a);
        }
    }
    return bytes;
}

ProjectState Take()
{
    return {TakeSnapshot(),   HostTesting::UndoStepNames(),   HostTesting::GetStories().size(),
            AttributeBytes(), HostTesting::LiveHandleCount(), HostTesting::LiveLocationCount()};
}

::testing::AssertionResult Unchanged(const ProjectState& before, const ProjectState& after)
{
    if (!SameProject(before.elements, after.elements)) return SameProject(before.elements, after.elements);
    if (before.undoSteps != after.undoSteps) return ::testing::AssertionFailure() << "undo steps changed";
    if (before.stories != after.stories) return ::testing::AssertionFailure() << "stories changed";
    if (before.attributes != after.attributes) return ::testing::AssertionFailure() << "attributes changed";
    if (before.handles != after.handles) return ::testing::AssertionFailure() << "memory handles leaked";
    if (before.locations != after.locations) return ::testing::AssertionFailure() << "file locations leaked";
    return ::testing::AssertionSuccess();
}

class ToolContract : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        RegisterPaletteTools();
        PlanViewPdf::Install();
        Storage().Put("Seed.meta.json", R"({"stories":1})");
        Storage().Put("Seed.mod", FixtureModuleBytes());
        Storage().Put("typologies/seed/model.mod", FixtureModuleBytes());
        Service().Script("POST /plans/upload", Reply{201, R"({"plan_id":"p"})"});
        Service().Script("POST /plans/p/extract", Reply{202, "{}"});
        Service().Script("GET /plans/p/status", Reply{200, R"({"status":"running"})"});
        Service().Script("GET /plans/p/detections", Reply{200, "[]"});
        Service().Script("POST /render/start", Reply{201, R"({"job_id":"j"})"});
        Service().Script("GET /render/status", Reply{200, R"({"status":"failed"})"});
        Attach({{"image/png", "UE5HMQ=="}});
    }

    // A fresh default project with two walls, a line, a saved view, a database, a publisher set
    // and an override combination, the same GUIDs every time.
    void Seed()
    {
        WaitForRenderJobs();
        HostTesting::ResetProject();
        ResetTypologyCatalogueForTesting();
        placeholders = {
            {"$wall", Text(HostTesting::AddWall(0, 0, 6, 0))},
            {"$other", Text(HostTesting::AddWall(0, 2, 5, 2))},
            {"$view", Text(HostTesting::AddNavigatorItem(HostTesting::NavigatorRoot(API_PublicViewMap), "Seed view",
                                                         API_StoryNavItem))},
            {"$database", Text(HostTesting::AddDatabase(APIWind_WorksheetID, "Seed sheet"))},
            {"$combination", Text(HostTesting::SetOverrideCombinations({"Seed override"}).front())},
            {"$home", HomeDir()},
        };
        HostTesting::SetPublisherSets({{"Seed set", HomeDir(), 0}});
        HostTesting::AddFixture(API_LineID);
    }
    json Input(const Row& row) const
    {
        std::string text = row.input;
        for (const auto& [key, value] : placeholders)
            for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
        return json::parse(text);
    }

    std::map<std::string, std::string> placeholders;
};

TEST_F(ToolContract, EveryRegisteredToolHasARow)
{
    std::set<std::string> rows;
    for (const Row& row : kRows) EXPECT_TRUE(rows.insert(row.tool).second) << "two rows for " << row.tool;
    for (const auto& [name, def] : registry.tools)
        EXPECT_EQ(rows.count(name), 1u) << name << " has no minimal-input row in the contract table";
    for (const std::string& name : rows) EXPECT_EQ(registry.tools.count(name), 1u) << name << " is not registered";
}

TEST_F(ToolContract, EverySchemaIsAnObjectRequiringOnlyDescribedProperties)
{
    for (const auto& [name, def] : registry.tools) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(def.name == name && !def.description.empty() && def.handler != nullptr);
        const json& schema = def.inputSchema;
        ASSERT_TRUE(schema.is_object() && schema.value("type", json()) == "object");
        ASSERT_TRUE(schema.contains("properties") && schema.at("properties").is_object());
        ASSERT_TRUE(!schema.contains("required") || schema.at("required").is_array());
        const json& properties = schema.at("properties");
        std::set<std::string> required;
        for (const json& key : schema.value("required", json::array())) {
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

TEST_F(ToolContract, AWrongJsonTypeForAnyPropertyFailsAndChangesNothing)
{
    Seed();
    const ProjectState before = Take();
    size_t checked = 0;
    const auto expectRefused = [&](const std::string& tool, const json& input) {
        SCOPED_TRACE(tool + " " + input.dump());
        const ToolResult result = Run(tool, input);
        EXPECT_FALSE(result.success) << result.message;
        EXPECT_FALSE(result.error.empty());
        EXPECT_TRUE(Unchanged(before, Take()));
        ++checked;
    };
    for (const auto& [name, def] : registry.tools) {
        for (const auto& property : def.inputSchema.at("properties").items()) {
            const auto wrong = kWrongValues.find(property.value().value("type", ""));
            ASSERT_NE(wrong, kWrongValues.end()) << name << "." << property.key();
            if (!ReadsWithItsType(name, property.key(), property.value())) continue;
            for (const json& value : wrong->second) expectRefused(name, {{property.key(), value}});
        }
        // An input that is no object at all, for every tool that needs one.
        if (!def.inputSchema.value("required", json::array()).empty())
            for (const json& input : {json::array({1}), json("text"), json(nullptr)}) expectRefused(name, input);
    }
    EXPECT_GT(checked, registry.tools.size());
}

TEST_F(ToolContract, AMinimalInputSucceedsAndEachHostStepFailingChangesNothing)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.tool);
        Seed();
        const json input = Input(row);
        ProjectState before = Take();
        HostTesting::ClearCallLog();
        const ToolResult done = Run(row.tool, input);
        const std::vector<HostTesting::CallRecord> calls = HostTesting::CallLog();
        if (!done.success) {
            ADD_FAILURE() << "the minimal input failed: " << done.error;
            continue;
        }
        const ProjectState after = Take();
        EXPECT_EQ(int(after.elements.size()) - int(before.elements.size()), row.change.elements);
        EXPECT_EQ(after.undoSteps.size() - before.undoSteps.size(), size_t(row.change.undoSteps));
        EXPECT_EQ(after.stories - before.stories, size_t(row.change.stories));
        EXPECT_EQ(after.attributes != before.attributes, row.change.attributes);
        EXPECT_EQ(after.handles, before.handles) << "memory handles leaked";
        EXPECT_EQ(after.locations, before.locations) << "file locations leaked";

        // Each call in turn (of a function called many times: the first three and the last).
        std::map<std::string, int> seen, total;
        for (const auto& call : calls) ++total[call.function];
        for (const auto& call : calls) {
            const int nth = seen[call.function]++;
            if (kReleases.count(call.function) || (nth >= 3 && nth != total[call.function] - 1)) continue;
            SCOPED_TRACE(call.function + " #" + std::to_string(nth + 1) + " failing");
            Seed();
            before = Take();
            HostTesting::FailNextCall(call.function, APIERR_GENERAL, nth);
            const ToolResult failed = Run(row.tool, input);
            HostTesting::ClearFailures();
            if (failed.success) {
                EXPECT_NE((" " + row.survives + " ").find(" " + call.function + " "), std::string::npos)
                    << row.tool << " succeeded although " << call.function << " failed";
                const ProjectState now = Take();
                EXPECT_EQ(now.handles, before.handles) << "memory handles leaked";
                EXPECT_EQ(now.locations, before.locations) << "file locations leaked";
                continue;
            }
            EXPECT_FALSE(failed.error.empty());
            EXPECT_TRUE(Unchanged(before, Take()));
        }
    }
    WaitForRenderJobs();
}

}  // namespace
