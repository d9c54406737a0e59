// group_elements: which elements end up sharing a group, the counts it reports, and what it
// refuses before reaching the host.

#include <string>

#include "ProjectSnapshot.hpp"
#include "ToolTestFixture.hpp"

using json = nlohmann::json;

namespace {

class GroupToolTest : public ToolTestFixture {
protected:
    void SetUp() override
    {
        ToolTestFixture::SetUp();
        a = Text(HostTesting::AddWall(0.0, 0.0, 5.0, 0.0));
        b = Text(HostTesting::AddWall(5.0, 0.0, 5.0, 4.0));
        c = Text(HostTesting::AddFixture(API_SlabID));
    }

    API_Guid GroupOf(const std::string& guid) { return Element(guid).header.groupGuid; }

    std::string a, b, c;
};

}  // namespace

TEST_F(GroupToolTest, GroupingGivesTheElementsOneSharedGroup)
{
    const ToolResult result = Run("group_elements", {{"element_guids", {a, b}}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.elementGuid, "");
    EXPECT_EQ(result.message, "Elements grouped (2 elements)");
    EXPECT_NE(GroupOf(a), APINULLGuid);
    EXPECT_EQ(GroupOf(a), GroupOf(b));
    EXPECT_EQ(GroupOf(c), APINULLGuid);
    EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Group Elements"});

    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(GroupOf(a), APINULLGuid);
    EXPECT_EQ(GroupOf(b), APINULLGuid);
}

TEST_F(GroupToolTest, DuplicatesAreCountedAsGiven)
{
    const ToolResult result = Run("group_elements", {{"element_guids", {a, b, a, c}}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Elements grouped (4 elements)");
    EXPECT_NE(GroupOf(a), APINULLGuid);
    EXPECT_EQ(GroupOf(b), GroupOf(a));
    EXPECT_EQ(GroupOf(c), GroupOf(a));
}

TEST_F(GroupToolTest, FewerThanTwoGuidsAreRefusedBeforeTheHost)
{
    const auto before = TakeSnapshot();
    HostTesting::ClearCallLog();
    for (const json& input : {json::object(), json {{"element_guids", json::array()}}, json {{"element_guids", {a}}},
                              json {{"element_guids", a}}, json {{"element_guids", {{"guid", a}}}},
                              json {{"element_guids", nullptr}}, json {{"element_guids", {a}}, {"ungroup", false}}}) {
        EXPECT_EQ(Run("group_elements", input).error, "Need at least 2 elements to group") << input.dump();
    }
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Tool"), 0);
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_EQ(UndoStepCount(), 0u);
}

TEST_F(GroupToolTest, UngroupDissolvesTheWholeGroupOfAnyMember)
{
    ASSERT_TRUE(Run("group_elements", {{"element_guids", {a, b, c}}}).success);
    const ToolResult result = Run("group_elements", {{"element_guids", {b}}, {"ungroup", true}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.elementGuid, "");
    EXPECT_EQ(result.message, "Elements ungrouped (1 elements)");
    EXPECT_EQ(GroupOf(a), APINULLGuid);
    EXPECT_EQ(GroupOf(b), APINULLGuid);
    EXPECT_EQ(GroupOf(c), APINULLGuid);
    EXPECT_EQ(UndoSteps(), (std::vector<std::string>{"Quillmere: Group Elements", "Quillmere: Ungroup Elements"}));

    ASSERT_TRUE(UndoLast());
    EXPECT_NE(GroupOf(a), APINULLGuid);
    EXPECT_EQ(GroupOf(c), GroupOf(a));
}

TEST_F(GroupToolTest, UngroupOfNoneStillGoesToTheHost)
{
    HostTesting::ClearCallLog();
    const ToolResult result = Run("group_elements", {{"ungroup", true}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Elements ungrouped (0 elements)");
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Tool"), 1);
    EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Ungroup Elements"});
}

TEST_F(GroupToolTest, AGuidListThatIsNotAnArrayIsNoListAtAll)
{
    ASSERT_TRUE(Run("group_elements", {{"element_guids", {a, b}}}).success);
    const API_Guid group = GroupOf(a);
    for (const json& notAList : {json(a), json {{"first", a}}}) {
        const ToolResult result = Run("group_elements", {{"element_guids", notAList}, {"ungroup", true}});
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.message, "Elements ungrouped (0 elements)") << notAList.dump();
        EXPECT_EQ(GroupOf(a), group);
    }
}

TEST_F(GroupToolTest, UnknownGuidsReportTheHostsCodeAndGroupNothing)
{
    const auto before = TakeSnapshot();
    const std::string absent = "0DDF00D0-1234-4321-ABCD-0123456789AB";
    EXPECT_EQ(Run("group_elements", {{"element_guids", {a, absent}}}).error,
              "Group ACAPI error: " + std::to_string(APIERR_BADID));
    EXPECT_EQ(Run("group_elements", {{"element_guids", {"garbage", b}}, {"ungroup", true}}).error,
              "Ungroup ACAPI error: " + std::to_string(APIERR_BADID));
    // The same element twice is still one element: nothing to group it with.
    EXPECT_EQ(Run("group_elements", {{"element_guids", {a, a}}}).error,
              "Group ACAPI error: " + std::to_string(APIERR_BADPARS));
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_EQ(UndoStepCount(), 0u);
}

TEST_F(GroupToolTest, WrongJsonTypesFailBeforeAnyChange)
{
    const auto before = TakeSnapshot();
    EXPECT_NE(Run("group_elements", {{"element_guids", {a, 7, b}}}).error.find("type must be string"),
              std::string::npos);
    EXPECT_NE(Run("group_elements", {{"element_guids", {a, b}}, {"ungroup", "yes"}}).error.find("type must be boolean"),
              std::string::npos);
    EXPECT_NE(Run("group_elements", json::array({a, b})).error.find("cannot use value()"), std::string::npos);
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_EQ(UndoStepCount(), 0u);
}
