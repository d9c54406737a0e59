// What the editing tools compute themselves: the edit record each sends to the host (offsets,
// the rotation's end point through the stored degree, the mirror axis), which record fields
// modify_element writes for each kind of element, and what the group tool counts.
#include <cmath>
#include <cstdio>
#include <functional>

#include "QuillmereTest.hpp"

namespace {

// The edit record as the host logs it, with every digit a double holds.
std::string Edit(API_EditCmdID type, bool withDelete, API_Coord o, API_Coord b, API_Coord e)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "edit=%d withDelete=%d count=1 orig=(%.17g,%.17g) beg=(%.17g,%.17g) end=(%.17g,%.17g)", int(type),
                  int(withDelete), o.x, o.y, b.x, b.y, e.x, e.y);
    return text;
}

using EditingTools = QuillmereTest;

TEST_F(EditingTools, EachEditSendsItsRecordAndIsOneStepThatUndoes)
{
    const API_Guid wall = HostTesting::AddWall(3.0, 3.0, 4.0, 3.0);
    const double quarter = 90 * kStoredDegree;
    const struct {
        const char* tool;
        json input;
        std::string edit;
    } rows[] = {
        {"move_element", {{"dx", 1.5}, {"dy", -2.0}}, Edit(APIEdit_Drag, true, {}, {}, {1.5, -2.0})},
        {"rotate_element",
         {{"center_x", 2.0}, {"center_y", 3.0}, {"angle", 90}},
         Edit(APIEdit_Rotate, true, {2.0, 3.0}, {3.0, 3.0}, {2.0 + std::cos(quarter), 3.0 + std::sin(quarter)})},
        {"rotate_element",
         {{"angle", -90}},
         Edit(APIEdit_Rotate, true, {}, {1.0, 0.0}, {std::cos(-quarter), std::sin(-quarter)})},
        {"mirror_element",
         {{"axis_x1", 1}, {"axis_y1", 2}, {"axis_x2", 3}, {"axis_y2", 5}, {"keep_original", true}},
         Edit(APIEdit_Mirror, false, {1.0, 2.0}, {}, {3.0, 5.0})},
    };
    const auto before = TakeSnapshot();
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.tool) + " " + row.input.dump());
        json input = row.input;
        input["element_guid"] = Text(wall);
        HostTesting::ClearCallLog();
        ASSERT_TRUE(Run(row.tool, input).success);
        std::vector<std::string> edits;
        for (const auto& call : HostTesting::CallLog())
            if (call.function == "ACAPI_Element_Edit") edits.push_back(call.detail);
        EXPECT_EQ(edits, std::vector<std::string>{row.edit});
        EXPECT_EQ(UndoStepCount(), 1u);
        ASSERT_TRUE(UndoLast());
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    }
}

// A copy's GUID reaches the model, so "rotate the copy" can find it; a plain move or mirror
// reports the element it was given.
TEST_F(EditingTools, ACopyReportsItsOwnGuid)
{
    const struct {
        const char* tool;
        json input;
        bool reportsCopy;
    } rows[] = {
        {"copy_element", {{"dx", 2.0}}, true},
        {"mirror_element", {{"axis_y2", 1.0}, {"axis_x2", 0.0}, {"keep_original", true}}, true},
        {"mirror_element", {{"axis_y2", 1.0}, {"axis_x2", 0.0}}, false},
        {"move_element", {{"dx", 2.0}}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.tool) + " " + row.input.dump());
        const API_Guid wall = HostTesting::AddWall(1.0, 0.0, 4.0, 0.0);
        json input = row.input;
        input["element_guid"] = Text(wall);
        const ToolResult result = Run(row.tool, input);
        ASSERT_TRUE(result.success);
        EXPECT_EQ(Element(result.elementGuid).header.type.typeID, API_WallID);
        EXPECT_EQ(result.elementGuid != Text(wall), row.reportsCopy);
    }
}

TEST_F(EditingTools, ModifyDerivesStoryAndAngleAndWritesNothingElse)
{
    API_Element record = HostTesting::MakeElement(API_ObjectID);
    record.object.angle = 0.5;
    const API_Guid object = HostTesting::AddElement(record);
    const API_Guid wall = HostTesting::AddWall(0, 1, 6, 1);
    const struct {
        const char* name;
        API_Guid target;
        json input;
        std::function<void(API_Element&)> change;
    } rows[] = {
        {"story keeps its low 16 bits", wall, {{"story", 65538}}, [](API_Element& e) { e.header.floorInd = 2; }},
        {"degrees by the stored factor",
         object,
         {{"rotation", 90}, {"x", 1.25}},
         [](API_Element& e) { e.object.angle = 90.0 * kStoredDegree, e.object.pos.x = 1.25; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        API_Element expected = Read(row.target);
        row.change(expected);
        json input = row.input;
        input["element_guid"] = Text(row.target);
        ASSERT_TRUE(Run("modify_element", input).success);
        EXPECT_EQ(FirstDifference(Read(row.target), expected), sizeof(API_Element));
    }
    // A GUID text is read whole: anything after its 36 characters names nothing.
    const std::string trailing = Text(wall) + std::string("\0x", 2);
    EXPECT_EQ(Run("modify_element", {{"element_guid", trailing}, {"height", 1.0}}).error,
              "Element not found: " + trailing);
}

}  // namespace
