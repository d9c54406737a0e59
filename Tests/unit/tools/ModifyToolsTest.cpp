// The editing tools as the model is offered them, every way they refuse a call, and what
// group_elements groups.

#include <string>

#include "ToolsTest.hpp"

using json = nlohmann::json;

TEST_F(ModifyToolTest, CatalogueOffersTheSixToolsWithTheirDescriptionsAndSchemas)
{
    // Name, description, then "key|type|description" for each property; * marks the required ones.
    const std::vector<std::vector<std::string>> tools = {
        {"modify_element", "Modify properties of an existing element (height, thickness, position, layer, etc.). Provide only the properties you want to change.",
         "*element_guid|string|GUID of the element to modify", "height|number|New height (walls, columns)",
         "thickness|number|New thickness (walls, slabs, roofs)", "start_x|number|New start X (walls, beams)",
         "start_y|number|New start Y (walls, beams)", "end_x|number|New end X (walls, beams)",
         "end_y|number|New end Y (walls, beams)", "x|number|New X position (columns, objects)",
         "y|number|New Y position (columns, objects)", "rotation|number|New rotation angle in degrees (objects)",
         "elevation|number|New elevation/level (slabs)", "layer|integer|New layer attribute index",
         "story|integer|New story index"},
        {"move_element", "Move an element by a dx/dy offset (metres).",
         "*element_guid|string|GUID of the element to move", "*dx|number|Horizontal offset X (metres)",
         "*dy|number|Horizontal offset Y (metres)"},
        {"copy_element", "Duplicate an element with an optional dx/dy offset.",
         "*element_guid|string|GUID of the element to copy", "dx|number|Copy offset X (metres, default 0)",
         "dy|number|Copy offset Y (metres, default 0)"},
        {"rotate_element", "Rotate an element around a given centre point.",
         "*element_guid|string|GUID of the element to rotate", "*center_x|number|Rotation centre X (metres)",
         "*center_y|number|Rotation centre Y (metres)", "*angle|number|Rotation angle in degrees (counter-clockwise)"},
        {"mirror_element", "Mirror an element across a line defined by two points.",
         "*element_guid|string|GUID of the element to mirror", "*axis_x1|number|Mirror axis start X (metres)",
         "*axis_y1|number|Mirror axis start Y (metres)", "*axis_x2|number|Mirror axis end X (metres)",
         "*axis_y2|number|Mirror axis end Y (metres)", "keep_original|boolean|Keep the original element (default false)"},
        {"group_elements", "Group multiple elements together, or ungroup an existing group.",
         "*element_guids|array|Array of element GUID strings to group",
         "ungroup|boolean|If true, ungroup instead of group (default false)"},
    };
    json expected = json::array(), offered = json::array();
    for (const std::vector<std::string>& tool : tools) {
        json schema = {{"type", "object"}, {"required", json::array()}, {"properties", json::object()}};
        for (size_t i = 2; i < tool.size(); ++i) {
            const bool required = tool[i][0] == '*';
            const size_t start = required ? 1 : 0, bar = tool[i].find('|'), second = tool[i].find('|', bar + 1);
            const std::string key = tool[i].substr(start, bar - start), type = tool[i].substr(bar + 1, second - bar - 1);
            schema["properties"][key] = {{"type", type}, {"description", tool[i].substr(second + 1)}};
            if (type == "array")
                schema["properties"][key]["items"] = {{"type", "string"}};
            if (required)
                schema["required"].push_back(key);
        }
        expected.push_back({{"name", tool[0]}, {"description", tool[1]}, {"input_schema", schema}});
        for (const json& entry : registry.GetToolDefinitions())
            if (entry.at("name") == tool[0])
                offered.push_back(entry);
    }
    EXPECT_EQ(offered, expected);
}

// Each refusal gives exactly its error (or one containing it, when partial), after the host was told
// to fail ACAPI_Element_<failCall> once where one is named. Nothing changes, no undo step is left,
// and the tool's own refusals (not the host's) come before any editing call.
TEST_F(ModifyToolTest, RefusedCallsReportTheirErrorAndChangeNothing)
{
    struct Refusal {
        std::string tool;
        json input;
        std::string error;
        bool partial = false;
        std::string failCall = "";
        GSErrCode failCode = APIERR_GENERAL;
    };
    const API_Guid wallGuid = HostTesting::AddWall(0.0, 0.0, 6.0, 0.0);
    const std::string wall = Text(wallGuid), door = Text(HostTesting::AddFixture(API_DoorID, 0, wallGuid));
    const std::string line = Text(HostTesting::AddFixture(API_LineID));
    API_Element far = HostTesting::MakeElement(API_LineID);
    far.line.begC = {1.7e308, 0.0}, far.line.endC = {1.7e308, 1.0};
    const std::string farLine = Text(HostTesting::AddElement(far));
    Int32 layers = 0;
    ASSERT_EQ(ACAPI_Attribute_GetNum(API_LayerID, &layers), NoError);
    const std::string absent = "0DDF00D0-1234-4321-ABCD-0123456789AB", absentLower = "0ddf00d0-1234-4321-abcd-0123456789ab";
    const std::string required = "element_guid is required";
    const std::string trailing = wall + std::string("\0anything", 9);
    std::vector<Refusal> refusals = {
        {"modify_element", json::object(), required},
        {"modify_element", {{"element_guid", ""}, {"height", 1.0}}, required},
        {"modify_element", {{"element_guid", absentLower}, {"height", 1.0}}, "Element not found: " + absentLower},
        {"modify_element", {{"element_guid", "not a guid"}}, "Element not found: not a guid"},
        {"modify_element", {{"element_guid", wall}, {"height", 4.0}, {"layer", layers + 7}}, HostError("ModifyElement", APIERR_BADINDEX)},
        {"modify_element", {{"element_guid", wall}, {"story", 40}}, HostError("ModifyElement", APIERR_BADINDEX)},
        // A wall cannot be shortened past its door, and a door cannot leave its wall's story.
        {"modify_element", {{"element_guid", wall}, {"end_x", Element(door).door.objLoc / 2}}, HostError("ModifyElement", APIERR_BADPARS)},
        {"modify_element", {{"element_guid", door}, {"story", 2}}, HostError("ModifyElement", APIERR_BADPARS)},
        {"modify_element", {{"element_guid", wall}, {"height", 2.0}}, "ModifyElement ACAPI error: -2130313112", false, "Change", APIERR_BADPARS},
        {"modify_element", {{"element_guid", wall}, {"height", 2.0}}, "Element not found: " + wall, false, "Get"},
        {"modify_element", {{"element_guid", wall}, {"start_x", 2.0}, {"height", "3"}}, "type must be number", true},
        {"modify_element", {{"element_guid", wall}, {"layer", "2"}}, "", true},
        {"modify_element", {{"element_guid", 12}}, "type must be string", true},
        {"modify_element", json::array({wall}), "cannot use value()", true},
        // Out of the 32-bit range: refused rather than converted.
        {"modify_element", {{"element_guid", wall}, {"layer", 1e20}}, "", true},
        {"modify_element", {{"element_guid", wall}, {"story", -1e12}}, "", true},
        // The bad-id code, printed as the signed 32-bit number it is.
        {"move_element", {{"element_guid", absent}}, "MoveElement ACAPI error: -2130313115"},
        {"copy_element", {{"element_guid", absent}}, HostError("CopyElement", APIERR_BADID)},
        {"rotate_element", {{"element_guid", absent}}, HostError("RotateElement", APIERR_BADID)},
        {"mirror_element", {{"element_guid", absent}}, HostError("MirrorElement", APIERR_BADID)},
        // A door moves only with its wall; an axis of no length; coordinates past the largest double.
        {"move_element", {{"element_guid", door}, {"dx", 1}}, HostError("MoveElement", APIERR_BADPARS)},
        {"mirror_element", {{"element_guid", line}, {"axis_x2", 0}}, HostError("MirrorElement", APIERR_BADPARS)},
        {"copy_element", {{"element_guid", farLine}, {"dx", 1.7e308}}, HostError("CopyElement", APIERR_BADPARS)},
        {"copy_element", {{"element_guid", wall}, {"dx", 1.0}}, HostError("CopyElement", APIERR_GENERAL), false, "Edit"},
        {"mirror_element", {{"element_guid", wall}}, "MirrorElement ACAPI error: -2130313214", false, "Edit", APIERR_MEMFULL},
        {"move_element", {{"element_guid", wall}, {"dx", "1"}}, "type must be number", true},
        {"mirror_element", {{"element_guid", wall}, {"axis_y2", true}}, "type must be number", true},
        {"copy_element", {{"element_guid", wall}, {"dy", nullptr}}, "", true},
        {"rotate_element", {{"element_guid", wall}, {"angle", json::array({90})}}, "", true},
        {"mirror_element", {{"element_guid", wall}, {"keep_original", 1}}, "type must be boolean", true},
        // Every key is read before the GUID is checked.
        {"move_element", {{"dx", "far"}}, "type must be number", true},
        {"rotate_element", json("spin"), "cannot use value()", true},
        {"group_elements", {{"element_guids", {wall, absent}}}, HostError("Group", APIERR_BADID)},
        // A GUID is read whole: one with anything after its 36 characters, a NUL included, names nothing.
        {"modify_element", {{"element_guid", trailing}, {"height", 1.0}}, "Element not found: " + trailing},
        {"modify_element", {{"element_guid", wall + " "}, {"height", 1.0}}, "Element not found: " + wall + " "},
        {"move_element", {{"element_guid", trailing}, {"dx", 1.0}}, HostError("MoveElement", APIERR_BADID)},
        {"copy_element", {{"element_guid", wall + std::string(1, '\0')}}, HostError("CopyElement", APIERR_BADID)},
        {"rotate_element", {{"element_guid", trailing}, {"angle", 90}}, HostError("RotateElement", APIERR_BADID)},
        {"mirror_element", {{"element_guid", trailing}}, HostError("MirrorElement", APIERR_BADID)},
        {"group_elements", {{"element_guids", {trailing, line}}}, HostError("Group", APIERR_BADID)},
        {"group_elements", {{"element_guids", {"garbage", line}}, {"ungroup", true}}, HostError("Ungroup", APIERR_BADID)},
        // The same element twice is still one element: nothing to group it with.
        {"group_elements", {{"element_guids", {wall, wall}}}, HostError("Group", APIERR_BADPARS)},
        {"group_elements", {{"element_guids", {wall, line}}}, HostError("Group", APIERR_REFUSEDCMD), false, "Tool", APIERR_REFUSEDCMD},
        {"group_elements", {{"element_guids", {wall, 7, line}}}, "type must be string", true},
        {"group_elements", {{"element_guids", {wall, line}}, {"ungroup", "yes"}}, "type must be boolean", true},
        {"group_elements", json::array({wall, line}), "cannot use value()", true},
    };
    for (const char* tool : {"move_element", "copy_element", "rotate_element", "mirror_element"})
        refusals.insert(refusals.end(), {{tool, {{"dx", 1.0}}, required}, {tool, {{"element_guid", ""}}, required}});
    for (const json& fewer : {json::object(), json {{"element_guids", json::array()}}, json {{"element_guids", {wall}}},
                              json {{"element_guids", wall}}, json {{"element_guids", {{"guid", wall}}}},
                              json {{"element_guids", nullptr}}, json {{"element_guids", {wall}}, {"ungroup", false}}})
        refusals.push_back({"group_elements", fewer, "Need at least 2 elements to group"});
    const auto before = TakeSnapshot();
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.tool + " " + r.input.dump() + " -> " + r.error);
        HostTesting::ClearCallLog();
        if (!r.failCall.empty())
            HostTesting::FailNextCall("ACAPI_Element_" + r.failCall, r.failCode);
        const ToolResult result = Run(r.tool, r.input);
        EXPECT_FALSE(result.success);
        EXPECT_TRUE(r.partial ? result.error.find(r.error) != std::string::npos : result.error == r.error) << result.error;
        for (const char* call : {"ACAPI_Element_Edit", "ACAPI_Element_Change", "ACAPI_Element_Tool"})
            EXPECT_TRUE(result.error.find("ACAPI error") != std::string::npos || HostTesting::CallCount(call) == 0) << call;
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
        EXPECT_EQ(UndoStepCount(), 0u);
    }
}

TEST_F(ModifyToolTest, GroupAndUngroupReportTheCountGivenInOneStepEach)
{
    const std::string a = Text(HostTesting::AddWall(0, 0, 5, 0)), b = Text(HostTesting::AddWall(5, 0, 5, 4));
    const std::string c = Text(HostTesting::AddFixture(API_SlabID));
    auto group = [&](const std::string& guid) { return Element(guid).header.groupGuid; };
    auto expectOk = [&](const json& input, const std::string& message, const std::string& step) {
        const ToolResult result = Run("group_elements", input);
        EXPECT_TRUE(result.success && result.elementGuid.empty() && UndoSteps().back() == step) << result.error;
        EXPECT_EQ(result.message, message) << input.dump();
    };
    const auto before = TakeSnapshot();
    expectOk({{"element_guids", {a, b}}}, "Elements grouped (2 elements)", "Quillmere: Group Elements");
    EXPECT_TRUE(group(a) != APINULLGuid && group(a) == group(b) && group(c) == APINULLGuid);
    ASSERT_TRUE(UndoLast());
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    // Duplicates are counted as given.
    expectOk({{"element_guids", {a, b, a, c}}}, "Elements grouped (4 elements)", "Quillmere: Group Elements");
    const API_Guid shared = group(a);
    EXPECT_TRUE(shared != APINULLGuid && group(b) == shared && group(c) == shared);
    // A GUID list that is missing or not an array is no list; ungrouping none still asks the host.
    for (const json& input : {json {{"ungroup", true}}, json {{"element_guids", a}, {"ungroup", true}},
                              json {{"element_guids", {{"first", a}}}, {"ungroup", true}}}) {
        HostTesting::ClearCallLog();
        expectOk(input, "Elements ungrouped (0 elements)", "Quillmere: Ungroup Elements");
        EXPECT_TRUE(HostTesting::CallCount("ACAPI_Element_Tool") == 1 && group(a) == shared);
    }
    // Ungrouping any member dissolves the whole group, and undo brings it back.
    expectOk({{"element_guids", {b}}, {"ungroup", true}}, "Elements ungrouped (1 elements)", "Quillmere: Ungroup Elements");
    EXPECT_TRUE(group(a) == APINULLGuid && group(b) == APINULLGuid && group(c) == APINULLGuid);
    EXPECT_EQ(UndoStepCount(), 5u);
    ASSERT_TRUE(UndoLast());
    EXPECT_TRUE(group(a) == shared && group(c) == shared);
    // The host's group tool wants a command and a known tool; grouping a member again moves it.
    const GS::Array<API_Guid> ab {Guid(a), Guid(b)}, bc {Guid(b), Guid(c)};
    auto inCommand = [](const GS::Array<API_Guid>& guids, API_ToolCmdID command) {
        return ACAPI_CallUndoableCommand("g", [&]() { return ACAPI_Element_Tool(guids, command, nullptr); });
    };
    EXPECT_EQ(ACAPI_Element_Tool(ab, APITool_Ungroup, nullptr), APIERR_NEEDSUNDOSCOPE);
    EXPECT_EQ(inCommand(ab, static_cast<API_ToolCmdID>(0x4C4F434B)), APIERR_BADPARS);
    ASSERT_EQ(inCommand(bc, APITool_Group), NoError);
    EXPECT_TRUE(group(b) == group(c) && group(a) == shared && group(b) != shared);
    // The members that moved away are no longer dissolved with their old group.
    ASSERT_EQ(inCommand(GS::Array<API_Guid> {Guid(a)}, APITool_Ungroup), NoError);
    EXPECT_TRUE(group(a) == APINULLGuid && group(b) == group(c) && group(b) != APINULLGuid);
}
