// What every registered tool promises alike, the palette's own families included: a well-formed
// schema; a refusal of wrongly typed input that changes nothing; a minimal valid input that
// succeeds, changes the project as the table says and names its undo step; and, for each host
// call that input makes, a failure of that call answered in the tool's words, changing nothing
// and leaking nothing. A tool without a row in the table fails the test, so new tools are
// covered as they land. Then what each tool states outright, one row per statement.
#include <cctype>
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
    {"delete_elements_batch", R"({"element_guids":["$wall","$other"]})", {-2, 1}},
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
    {"create_walls_batch", R"({"walls":[{"start_y":5,"end_x":4,"end_y":5},{"end_x":4,"end_y":9}]})", {2, 1}, kBatch},
};

// Host functions that hand something back and cannot meaningfully fail.
const std::set<std::string> kReleases = {"ACAPI_DisposeElemMemoHdls"};

// A tool's action is its name in title case: its success makes one undo step "Quillmere: " and
// the action, and a refused step answers the action as one word, " ACAPI error: " and the code,
// unless the tool names its step or words its refusal as below.
const std::map<std::string, std::string> kOwnStepNames = {{"set_element_property", "Set Property"},
                                                          {"set_element_classification", "Set Classification"},
                                                          {"apply_template_exact", "Apply Template"},
                                                          {"build_from_layout", "Build from Layout"}};
std::string Action(const std::string& tool, const std::string& space = " ")
{
    if (kOwnStepNames.count(tool) != 0) return kOwnStepNames.at(tool);
    std::string action(1, char(std::toupper(tool[0])));
    for (size_t i = 1; i < tool.size(); ++i)
        action += tool[i] == '_' ? space : std::string(1, tool[i - 1] == '_' ? char(std::toupper(tool[i])) : tool[i]);
    return action;
}

// What a tool answers when a host call its minimal input makes fails ("tool function n" for the
// n-th call of that function), "$code" being the host's code.
const std::map<std::string, std::string> kRefusals = {
    {"group_elements ACAPI_CallUndoableCommand 1", "Group ACAPI error: $code"},
    {"create_story ACAPI_CallUndoableCommand 1", "CreateStory error: $code"},
    {"prepare_build_phases ACAPI_CallUndoableCommand 1", "Prepare phases failed: $code"},
    {"set_element_property ACAPI_CallUndoableCommand 1", "SetProperty ACAPI error: $code"},
    {"set_element_classification ACAPI_CallUndoableCommand 1", "SetClassification ACAPI error: $code"},
    {"apply_template_exact ACAPI_CallUndoableCommand 1", "Module apply failed (error $code)"},
    {"apply_typology_skeleton ACAPI_CallUndoableCommand 1", "Typology apply failed (error $code)"},
    {"adapt_typology ACAPI_CallUndoableCommand 1", "Adapt failed (error $code)"},
    {"polish_plan ACAPI_CallUndoableCommand 1", "Polish failed (error $code)"},
    {"build_from_layout ACAPI_CallUndoableCommand 1", "Build failed: $code"},
    {"create_walls_batch ACAPI_CallUndoableCommand 1", "Batch wall creation failed: $code"},
    {"create_door ACAPI_Element_Get 1", "Wall not found: $wall"},
    {"set_element_layer ACAPI_Element_Get 1", "Element not found: $other"},
    {"modify_element ACAPI_Element_Get 1", "Element not found: $other"},
    {"create_layer ACAPI_Attribute_Create 1", "CreateLayer ACAPI error: $code"},
    {"set_layer_visibility ACAPI_Attribute_Get 1", "Layer not found: $code"},
    {"set_layer_visibility ACAPI_Attribute_Modify 1", "ACAPI_Attribute_Modify error: $code"},
    {"get_pen_color ACAPI_Attribute_Get 1", "Pen not found: 3"},
    {"set_pen_color ACAPI_Attribute_Get 1", "Pen not found: 3"},
    {"set_pen_color ACAPI_Attribute_Modify 1", "SetPenColor ACAPI error: $code"},
    {"list_stories ACAPI_Environment 1", "GetStorySettings error: $code"},
    {"create_story ACAPI_Environment 1", "GetStorySettings error: $code"},
    {"list_views ACAPI_Navigator 1", "GetNavigatorSet error: $code"},
    {"create_view ACAPI_Navigator 1", "GetNavigatorSet error: $code"},
    {"create_view ACAPI_Navigator 2", "CreateNavigatorItem error: $code"},
    {"switch_view ACAPI_Navigator 1", "ChangeNavigatorView error: $code"},
    {"list_graphic_overrides ACAPI_Override_GetOverrideCombinationList 1", "GetOverrideCombinationList error: $code"},
    {"set_graphic_override ACAPI_Override_GetOverrideCombination 1", "Override combination not found: $combination"},
    {"create_worksheet ACAPI_Database 1", "NewDatabase error: $code"},
    {"switch_database ACAPI_Database 1", "ChangeCurrentDatabase error: $code"},
    {"list_publisher_sets ACAPI_Navigator 1", "GetNavigatorSetNum error: $code"},
    {"publish_to_pdf ACAPI_Navigator 1", "GetNavigatorSetNum error"},
    {"publish_to_pdf ACAPI_Navigator 2", "Publisher set not found: Seed set"},
    {"publish_to_pdf ACAPI_Automate 1", "Publish error: $code"},
    {"save_as_module ACAPI_Automate 1", "SaveAsModuleFile error: $code"},
};

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
            {"$code", std::to_string(APIERR_GENERAL)},
        };
        HostTesting::SetPublisherSets({{"Seed set", HomeDir(), 0}});
        HostTesting::AddFixture(API_LineID);
    }
    std::string Fill(std::string text) const
    {
        for (const auto& [key, value] : placeholders)
            for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
        return text;
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
    std::set<std::string> met;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.tool);
        Seed();
        const json input = json::parse(Fill(row.input));
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
        if (row.change.undoSteps == 1) {
            EXPECT_EQ(after.undoSteps.back(), "Quillmere: " + Action(row.tool));
        }
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
            const std::string key = row.tool + (" " + call.function) + " " + std::to_string(nth + 1);
            met.insert(key);
            const auto refusal = kRefusals.find(key);
            const std::string words =
                refusal != kRefusals.end() ? refusal->second : Action(row.tool, "") + " ACAPI error: $code";
            if (refusal != kRefusals.end() || call.function == "ACAPI_CallUndoableCommand") {
                EXPECT_EQ(failed.error, Fill(words));
            }
            EXPECT_FALSE(failed.error.empty());
            EXPECT_TRUE(Unchanged(before, Take()));
        }
    }
    for (const auto& [call, text] : kRefusals) EXPECT_EQ(met.count(call), 1u) << call << " was never refused";
    WaitForRenderJobs();
}

// What each tool states outright: the default of an input left out, read back from the element
// made (on story 0 when none is given); its texts; the order and units of what it reports. The
// outcome is the message ("" for "<Thing> created"), "!" and the error, or "~" and a part.
#define READ(...) [](const API_Element& e, [[maybe_unused]] const API_ElementMemo& m) { return json{__VA_ARGS__}; }
struct Stated {
    const char* tool;
    const char* input;
    const char* outcome;
    std::function<json(const API_Element&, const API_ElementMemo&)> fields = nullptr;
    json values = nullptr;
};
const char* const kSquare = R"({"x1":0,"y1":0,"x2":3,"y2":0,"x3":3,"y3":3,"x4":0,"y4":3})";
const char* const kAlongX = R"({"end_x":4})";
const char* const kOnWall = R"({"wall_guid":"$wall"})";
const char* const kTwoPoints = R"({"points":[{"x":0,"y":0},{"x":1,"y":1}]})";
const Stated kStated[] = {
    {"create_wall", kAlongX, "", READ(e.wall.height, e.wall.thickness), {3.0, 0.3}},
    {"create_column", "{}", "", READ(e.column.height, m.columnSegments->nominalWidth), {3.0, 0.3}},
    {"create_beam", kAlongX, "", READ(m.beamSegments->nominalHeight, m.beamSegments->nominalWidth), {0.3, 0.15}},
    {"create_slab", kSquare, "", READ(e.slab.thickness, e.slab.level), {0.3, 0.0}},
    {"create_roof", kSquare, "", READ(e.roof.thickness, e.roof.planeRoof.angle), {0.3, 30 * kStoredDegree}},
    {"create_door", kOnWall, "", READ(e.door.objLoc), {0.5}},
    {"create_door", kOnWall, "", READ(e.door.openingBase.width, e.door.openingBase.height), {0.9, 2.1}},
    {"create_window", kOnWall, "", READ(e.window.objLoc, e.window.lower), {1.0, 0.9}},
    {"create_window", kOnWall, "", READ(e.window.openingBase.width, e.window.openingBase.height), {1.2, 1.2}},
    {"create_door", "{}", "!wall_guid is required"},
    {"search_library_parts", R"({"pattern":"LABEL"})", R"([{"index":32,"name":"Label Simple"}])"},
    {"search_library_parts", R"({"pattern":"door"})",
     R"([{"index":6,"name":"Door Single"},{"index":7,"name":"Door Double"},{"index":8,"name":"Door Sliding"},{"index":9,"name":"Door Garage"}])"},
    {"place_object", R"({"name":"Basin"})", "Object placed: Basin", READ(e.object.level, e.object.angle), {0.0, 0.0}},
    {"place_object", R"({"name":"Basin","rotation":90})", "~Basin", READ(e.object.angle), {90 * kStoredDegree}},
    {"place_object", "{}", "!Library part name is required"},
    {"delete_element", "{}", "!element_guid is required"},
    {"delete_elements_batch", R"({"element_guids":"$other"})", "!element_guids array is empty"},
    {"delete_elements_batch", R"({"element_guids":["$other"]})", "1 elements deleted"},
    {"list_layers", "{}",
     R"(~{"hidden":true,"index":10,"locked":false,"name":"Hidden Guides"},{"hidden":false,"index":11,"locked":true,"name":"Locked Survey"})"},
    {"create_layer", "{}", "!Layer name is required"},
    {"set_layer_visibility", "{}", "!Provide layer_index or layer_name"},
    {"set_element_layer", "{}", "!element_guid is required"},
    {"set_element_layer", R"({"element_guid":"$wall"})", "!Provide layer_index or layer_name"},
    {"set_element_layer", R"({"element_guid":"$wall","layer_name":"Nowhere"})", "!Layer not found: Nowhere"},
    {"list_materials", "{}", R"(~"name":"Air Gap"},{"category":"surface","index":1,"name":"Paint - White"})"},
    {"list_composites", "{}", R"(~[{"index":1,"name":"Brick Cavity Wall 365","total_thickness":0.365},)"},
    {"list_fill_types", "{}", R"(~[{"index":1,"name":"Solid Fill"},{"index":2,"name":"Empty Fill"},)"},
    {"get_pen_color", "{}", R"({"blue":0.0,"green":0.0,"pen_index":1,"red":0.0,"width":0.1})"},
    {"set_pen_color", R"({"pen_index":5,"red":255})", "!Colour components must be between 0.0 and 1.0"},
    {"set_pen_color", R"({"pen_index":0,"blue":2})",
     "!Colour components must be between 0.0 and 1.0"},  // before the lookup
    {"modify_element", "{}", "!element_guid is required"},
    {"move_element", "{}", "!element_guid is required"},
    {"move_element", R"({"element_guid":"$wall","dx":-1.5})", "Element moved by (-1.500000, 0.000000)"},
    {"copy_element", R"({"element_guid":"$other"})", "Element copied with offset (1.000000, 0.000000)"},
    {"rotate_element", "{}", "!element_guid is required"},
    {"mirror_element", "{}", "!element_guid is required"},
    {"group_elements", R"({"element_guids":["$wall"]})", "!Need at least 2 elements to group"},
    {"group_elements", R"({"element_guids":["$wall","$other","$wall"]})", "Elements grouped (3 elements)"},
    {"group_elements", R"({"ungroup":true})", "Elements ungrouped (0 elements)"},
    {"create_line", kAlongX, "", READ(e.line.endC.x), {4.0}},
    {"create_arc", "{}", "", READ(e.arc.r, e.arc.begAng, e.arc.endAng), {1.0, 0.0, 3.14159265358979}},
    {"create_text", "{}", "", READ(e.text.size, std::string(*m.textContent)), {0.005, "Text"}},
    {"create_hotspot", "{}", "", READ(e.hotspot.pos.x), {0.0}},
    {"create_polyline", kTwoPoints, "", READ(e.polyLine.poly.nCoords), {2}},
    {"create_spline", kTwoPoints, "", READ(e.spline.closed), {false}},
    {"create_polyline", R"({"points":{"x":1,"y":2}})", "!create_polyline: need at least 2 points"},
    {"create_polyline", R"({"points":[{"x":1,"y":2},[4,5]]})",
     "![json.exception.type_error.306] cannot use value() with array"},
    {"create_polyline", R"({"points":[{"x":"1"},{"x":2}]})",
     "![json.exception.type_error.302] type must be number, but is string"},
    {"create_spline", R"({"points":[{"x":0,"y":0}]})", "!create_spline: need at least 2 points"},
    {"create_fill", kTwoPoints, "!create_fill: need at least 3 points"},
    {"create_fill", R"({"points":[{"x":0,"y":0},{"x":1,"y":0},{"x":1,"y":1}]})", "", READ(e.hatch.fillInd), {1}},
    {"create_dimension", "{}", "", READ(e.dimension.refC.x, e.dimension.refC.y), {0.5, 0.5}},
    {"list_stories", "{}",
     R"({"current_story":0,"first_story":0,"last_story":2,"stories":[{"elevation":0.0,"index":0,"name":"Ground Floor"},{"elevation":3.0,"index":1,"name":"First Floor"},{"elevation":6.0,"index":2,"name":"Second Floor"}]})"},
    {"create_story", "{}", R"(Story "New Story" created at elevation 9.000000)"},
    {"switch_view", "{}", "!view_guid is required"},
    {"list_graphic_overrides", "{}", R"([{"guid":"$combination","name":"Seed override"}])"},
    {"set_graphic_override", "{}", "!combination_guid is required (or set clear=true)"},
    {"list_worksheets", "{}", R"([{"guid":"D0C00001-0005-4000-8000-000000000000","name":"WS-01 Site Survey Notes"}])"},
    {"switch_database", "{}", "!database_guid is required"},
    {"switch_database", R"({"database_guid":"$database"})", "Switched to worksheet database"},
    {"list_publisher_sets", "{}", R"(~"name":"Seed set"}])"},
    {"publish_to_pdf", "{}", "!publisher_set_name is required"},
    {"publish_to_pdf", R"({"publisher_set_name":"seed set"})", "!Publisher set not found: seed set"},
    {"save_as_module", "{}", "!file_path is required"},
    {"prepare_build_phases", "{}", R"(~,"wall_threshold_m":0.2})"},
    {"reveal_build_phase", R"({"phase":9})", "!phase must be 0-8"},
    {"reveal_build_phase", R"({"phase":-1})", "!phase must be 0-8"},
    {"reveal_build_phase", "{}", R"(~{"mode":"all","revealed":[{"label":"Building envelope","phase":1,)"},
    {"reveal_build_phase", R"({"phase":8})",
     R"({"mode":"single","revealed":[{"label":"Furniture and fittings","phase":8,"reason":"layer not found","shown":false}]})"},
};

TEST_F(ToolContract, WhatEachToolStatesHolds)
{
    for (const Stated& row : kStated) {
        SCOPED_TRACE(std::string(row.tool) + " " + row.input);
        Seed();
        const ToolResult result = Run(row.tool, json::parse(Fill(row.input)));
        const std::string got = result.success ? result.message : "!" + result.error;
        const std::string outcome = *row.outcome ? Fill(row.outcome) : Action(row.tool).substr(7) + " created";
        EXPECT_TRUE(outcome[0] == '~' ? got.find(outcome.substr(1)) != std::string::npos : got == outcome)
            << got << "\n is not \n"
            << outcome;
        if (!row.fields || !result.success) continue;
        const API_Element made = Element(result.elementGuid);
        ScopedMemo memo;
        HostTesting::GetElementMemo(made.header.guid, memo.get());
        EXPECT_EQ(row.fields(made, memo.memo), row.values);
        EXPECT_EQ(made.header.floorInd, 0);
    }
}

}  // namespace
