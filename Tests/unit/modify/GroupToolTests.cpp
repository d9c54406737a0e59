// group_elements and the host's group tool: which elements share a group, and the counts reported.

#include <string>

#include "ModifyTestSupport.hpp"

using json = nlohmann::json;

TEST_F(ModifyToolTest, GroupAndUngroupReportTheCountGivenInOneStepEach)
{
    const std::string a = Text(HostTesting::AddWall(0.0, 0.0, 5.0, 0.0));
    const std::string b = Text(HostTesting::AddWall(5.0, 0.0, 5.0, 4.0));
    const std::string c = Text(HostTesting::AddFixture(API_SlabID));
    auto group = [&](const std::string& guid) { return Element(guid).header.groupGuid; };
    const auto before = TakeSnapshot();

    ToolResult result = Run("group_elements", {{"element_guids", {a, b}}});
    EXPECT_EQ(result.elementGuid, "");
    EXPECT_EQ(result.message, "Elements grouped (2 elements)");
    EXPECT_NE(group(a), APINULLGuid);
    EXPECT_EQ(group(a), group(b));
    EXPECT_EQ(group(c), APINULLGuid);
    EXPECT_EQ(UndoSteps(), std::vector<std::string> {"Quillmere: Group Elements"});
    ASSERT_TRUE(UndoLast());
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));

    // Duplicates are counted as given.
    EXPECT_EQ(Run("group_elements", {{"element_guids", {a, b, a, c}}}).message, "Elements grouped (4 elements)");
    const API_Guid shared = group(a);
    EXPECT_NE(shared, APINULLGuid);
    EXPECT_EQ(group(b), shared);
    EXPECT_EQ(group(c), shared);

    // A GUID list that is missing or not an array is no list; ungrouping none still asks the host.
    for (const json& notAList : {json(), json(a), json {{"first", a}}}) {
        HostTesting::ClearCallLog();
        json input = {{"ungroup", true}};
        if (!notAList.is_null())
            input["element_guids"] = notAList;
        EXPECT_EQ(Run("group_elements", input).message, "Elements ungrouped (0 elements)") << input.dump();
        EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Tool"), 1);
        EXPECT_EQ(group(a), shared);
    }

    // Ungrouping any member dissolves the whole group, and undo brings it back.
    result = Run("group_elements", {{"element_guids", {b}}, {"ungroup", true}});
    EXPECT_EQ(result.elementGuid, "");
    EXPECT_EQ(result.message, "Elements ungrouped (1 elements)");
    for (const std::string& member : {a, b, c})
        EXPECT_EQ(group(member), APINULLGuid);
    EXPECT_EQ(UndoSteps().size(), 5u);
    EXPECT_EQ(UndoSteps().back(), "Quillmere: Ungroup Elements");
    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(group(a), shared);
    EXPECT_EQ(group(c), shared);
}

TEST_F(ModifyToolTest, HostGroupToolNeedsACommandAndAKnownToolAndRegroupsMembers)
{
    const API_Guid a = HostTesting::AddWall(0.0, 0.0, 4.0, 0.0);
    const API_Guid b = HostTesting::AddWall(4.0, 0.0, 4.0, 3.0);
    const API_Guid c = HostTesting::AddWall(0.0, 3.0, 4.0, 3.0);
    auto groupInCommand = [](const GS::Array<API_Guid>& guids, API_ToolCmdID command) {
        return ACAPI_CallUndoableCommand("g", [&]() { return ACAPI_Element_Tool(guids, command, nullptr); });
    };
    EXPECT_EQ(ACAPI_Element_Tool(GS::Array<API_Guid> {a, b}, APITool_Group, nullptr), APIERR_NEEDSUNDOSCOPE);
    EXPECT_EQ(groupInCommand({a, b}, static_cast<API_ToolCmdID>(0x4C4F434B)), APIERR_BADPARS);
    EXPECT_EQ(Get(a).header.groupGuid, APINULLGuid);

    // Grouping a member again moves it into the new group.
    ASSERT_EQ(groupInCommand({a, b}, APITool_Group), NoError);
    ASSERT_EQ(groupInCommand({b, c}, APITool_Group), NoError);
    EXPECT_EQ(Get(b).header.groupGuid, Get(c).header.groupGuid);
    EXPECT_NE(Get(a).header.groupGuid, Get(b).header.groupGuid);
}
