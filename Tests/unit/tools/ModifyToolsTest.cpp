// Every way the editing tools refuse a call, and what group_elements groups.

#include <string>

#include "ToolsTest.hpp"

using json = nlohmann::json;

// failCall: the host is told to fail ACAPI_Element_<failCall> once; the tool's own refusals come
// before any editing call.
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
    const std::string absent = "0DDF00D0-1234-4321-ABCD-0123456789AB",
                      absentLower = "0ddf00d0-1234-4321-abcd-0123456789ab";
    const std::string required = "element_guid is required";
    const std::string trailing = wall + std::string("\0anything", 9);
    std::vector<Refusal> refusals = {
        {"modify_element", json::object(), required},
        {"modify_element", {{"element_guid", absentLower}, {"height", 1.0}}, "Element not found: " + absentLower},
        {"modify_element",
         {{"element_guid", wall}, {"height", 4.0}, {"layer", layers + 7}},
         HostError("ModifyElement", APIERR_BADINDEX)},
        // A wall cannot be shortened past its door, and a door cannot leave its wall's story.
        {"modify_element",
         {{"element_guid", wall}, {"end_x", Element(door).door.objLoc / 2}},
         HostError("ModifyElement", APIERR_BADPARS)},
        {"modify_element", {{"element_guid", door}, {"story", 2}}, HostError("ModifyElement", APIERR_BADPARS)},
        {"modify_element",
         {{"element_guid", wall}, {"height", 2.0}},
         "ModifyElement ACAPI error: -2130313112",
         false,
         "Change",
         APIERR_BADPARS},
        {"modify_element", {{"element_guid", wall}, {"height", 2.0}}, "Element not found: " + wall, false, "Get"},
        {"modify_element", {{"element_guid", wall}, {"start_x", 2.0}, {"height", "3"}}, "type must be number", true},
        // The bad-id code, printed as the signed 32-bit number it is.
        {"move_element", {{"element_guid", absent}}, "MoveElement ACAPI error: -2130313115"},
        // A door moves only with its wall; an axis of no length; coordinates past the largest double.
        {"move_element", {{"element_guid", door}, {"dx", 1}}, HostError("MoveElement", APIERR_BADPARS)},
        {"mirror_element", {{"element_guid", line}, {"axis_x2", 0}}, HostError("MirrorElement", APIERR_BADPARS)},
        {"copy_element", {{"element_guid", farLine}, {"dx", 1.7e308}}, HostError("CopyElement", APIERR_BADPARS)},
        {"copy_element",
         {{"element_guid", wall}, {"dx", 1.0}},
         HostError("CopyElement", APIERR_GENERAL),
         false,
         "Edit"},
        // Every key is read before the GUID is checked.
        {"move_element", {{"dx", "far"}}, "type must be number", true},
        {"group_elements", {{"element_guids", {wall, absent}}}, HostError("Group", APIERR_BADID)},
        // A GUID is read whole: one with anything after its 36 characters, a NUL included, names nothing.
        {"modify_element", {{"element_guid", trailing}, {"height", 1.0}}, "Element not found: " + trailing},
        {"move_element", {{"element_guid", trailing}, {"dx", 1.0}}, HostError("MoveElement", APIERR_BADID)},
        {"group_elements",
         {{"element_guids", {"garbage", line}}, {"ungroup", true}},
         HostError("Ungroup", APIERR_BADID)},
        // The same element twice is still one element: nothing to group it with.
        {"group_elements", {{"element_guids", {wall, wall}}}, HostError("Group", APIERR_BADPARS)},
        {"group_elements",
         {{"element_guids", {wall, line}}},
         HostError("Group", APIERR_REFUSEDCMD),
         false,
         "Tool",
         APIERR_REFUSEDCMD},
    };
    for (const char* tool : {"move_element", "copy_element", "rotate_element", "mirror_element"})
        refusals.push_back({tool, {{"element_guid", ""}}, required});
    for (const json& fewer : {json::object(), json{{"element_guids", {wall}}}})
        refusals.push_back({"group_elements", fewer, "Need at least 2 elements to group"});
    const auto before = TakeSnapshot();
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.tool + " " + r.input.dump() + " -> " + r.error);
        HostTesting::ClearCallLog();
        if (!r.failCall.empty()) HostTesting::FailNextCall("ACAPI_Element_" + r.failCall, r.failCode);
        const ToolResult result = Run(r.tool, r.input);
        EXPECT_FALSE(result.success);
        EXPECT_TRUE(r.partial ? result.error.find(r.error) != std::string::npos : result.error == r.error)
            << result.error;
        for (const char* call : {"ACAPI_Element_Edit", "ACAPI_Element_Change", "ACAPI_Element_Tool"})
            EXPECT_TRUE(result.error.find("ACAPI error") != std::string::npos || HostTesting::CallCount(call) == 0)
                << call;
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
    for (const json& input : {json{{"ungroup", true}}, json{{"element_guids", {{"first", a}}}, {"ungroup", true}}}) {
        HostTesting::ClearCallLog();
        expectOk(input, "Elements ungrouped (0 elements)", "Quillmere: Ungroup Elements");
        EXPECT_TRUE(HostTesting::CallCount("ACAPI_Element_Tool") == 1 && group(a) == shared);
    }
    // Ungrouping any member dissolves the whole group, and undo brings it back.
    expectOk({{"element_guids", {b}}, {"ungroup", true}}, "Elements ungrouped (1 elements)",
             "Quillmere: Ungroup Elements");
    EXPECT_TRUE(group(a) == APINULLGuid && group(b) == APINULLGuid && group(c) == APINULLGuid);
    EXPECT_EQ(UndoStepCount(), 4u);
    ASSERT_TRUE(UndoLast());
    EXPECT_TRUE(group(a) == shared && group(c) == shared);
}
