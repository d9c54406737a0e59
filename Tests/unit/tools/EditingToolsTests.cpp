// What the editing tools compute themselves: the edit record each sends to the host (offsets,
// the rotation's end point through the stored degree, the mirror axis) and the GUID each
// reports, and which record fields modify_element writes for each kind of element.
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

// Each edit sends its record (inputs left out take their defaults) as one step that undoes; a copy
// reports its own GUID, so "rotate the copy" can find it, a move or mirror the element's own.
TEST_F(EditingTools, EachEditSendsItsRecordAndIsOneStepThatUndoes)
{
    const API_Guid wall = HostTesting::AddWall(3.0, 3.0, 4.0, 3.0);
    const double quarter = 90 * kStoredDegree;
    const struct {
        const char* tool;
        json input;
        std::string edit;
        bool reportsCopy;
    } rows[] = {
        {"move_element", {{"dx", 1.5}, {"dy", -2.0}}, Edit(APIEdit_Drag, true, {}, {}, {1.5, -2.0}), false},
        {"copy_element", json::object(), Edit(APIEdit_Drag, false, {}, {}, {1.0, 0.0}), true},
        {"rotate_element",
         {{"center_x", 2.0}, {"center_y", 3.0}, {"angle", 90}},
         Edit(APIEdit_Rotate, true, {2.0, 3.0}, {3.0, 3.0}, {2.0 + std::cos(quarter), 3.0 + std::sin(quarter)}),
         false},
        {"rotate_element",
         {{"angle", -90}},
         Edit(APIEdit_Rotate, true, {}, {1.0, 0.0}, {std::cos(-quarter), std::sin(-quarter)}),
         false},
        {"rotate_element", json::object(), Edit(APIEdit_Rotate, true, {}, {1.0, 0.0}, {1.0, 0.0}), false},
        {"mirror_element",
         {{"axis_x1", 1}, {"axis_y1", 2}, {"axis_x2", 3}, {"axis_y2", 5}, {"keep_original", true}},
         Edit(APIEdit_Mirror, false, {1.0, 2.0}, {}, {3.0, 5.0}),
         true},
        {"mirror_element", json::object(), Edit(APIEdit_Mirror, true, {}, {}, {1.0, 0.0}), false},
    };
    const auto before = TakeSnapshot();
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.tool) + " " + row.input.dump());
        json input = row.input;
        input["element_guid"] = Text(wall);
        HostTesting::ClearCallLog();
        const ToolResult result = Run(row.tool, input);
        ASSERT_TRUE(result.success);
        std::vector<std::string> edits;
        for (const auto& call : HostTesting::CallLog())
            if (call.function == "ACAPI_Element_Edit") edits.push_back(call.detail);
        EXPECT_EQ(edits, std::vector<std::string>{row.edit});
        EXPECT_EQ(Element(result.elementGuid).header.type.typeID, API_WallID);
        EXPECT_EQ(result.elementGuid != Text(wall), row.reportsCopy);
        EXPECT_EQ(UndoStepCount(), 1u);
        ASSERT_TRUE(UndoLast());
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
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
}

}  // namespace
