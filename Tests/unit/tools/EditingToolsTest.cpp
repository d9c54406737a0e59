// What modify_element, move_element, copy_element, rotate_element and mirror_element do to their
// element, and to the doors of a wall.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "HostTestingLibrary.hpp"
#include "ToolsTest.hpp"

using json = nlohmann::json;

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

}  // namespace

// Each call changes exactly what it should, sends its edit record (modify_element none) and makes one undo
// step that brings everything back. GUIDs are sent in lower case, as a model may, and echoed as sent.
TEST_F(ModifyToolTest, EachCallChangesItsElementInOneStepThatUndoReverts)
{
    const API_Guid wall = HostTesting::AddWall(3.0, 3.0, 4.0, 3.0), slab = HostTesting::AddFixture(API_SlabID);
    API_Element record = HostTesting::MakeElement(API_ObjectID);
    record.object.pos = {2.0, 0.0};
    record.object.angle = 0.5;
    const API_Guid object = HostTesting::AddElement(record), column = HostTesting::AddFixture(API_ColumnID);
    const API_Guid beam = HostTesting::AddFixture(API_BeamID);
    // A wall with a door (and the door's marker, from create_door), grouped with another wall.
    const API_Guid doorWall = HostTesting::AddWall(0.0, 1.0, 6.0, 1.0, 1);
    const ToolResult created = Run("create_door", {{"wall_guid", Text(doorWall)}, {"offset", 2.0}});
    ASSERT_TRUE(created.success) << created.error;
    const API_Guid hinged = Guid(created.elementGuid), other = HostTesting::AddWall(6.0, 1.0, 6.0, 5.0, 1);
    ASSERT_TRUE(Run("group_elements", {{"element_guids", {Text(doorWall), Text(hinged), Text(other)}}}).success);
    const API_Element doorBefore = Read(hinged), doorWallBefore = Read(doorWall);
    Int32 markerPart = 0;
    ASSERT_TRUE(HostTesting::GetMarker(hinged, &markerPart, nullptr));
    const size_t steps = UndoStepCount();
    const auto before = TakeSnapshot();
    const double quarter = 90 * kStoredDegree;
    // The element (or the copy) is its source's record with only these fields changed.
    auto only = [&](
                    const API_Guid& guid, std::function<void(API_Element&)> change = [](API_Element&) {}) {
        API_Element expected = Read(guid);
        change(expected);
        return [expected](const API_Element& e) {
            API_Element same = expected;
            same.header.guid = e.header.guid;
            EXPECT_EQ(FirstDifference(e, same), sizeof(API_Element));
        };
    };
    auto wallAt = [](double x1, double y1, double x2, double y2) {
        return [=](const API_Element& e) {
            EXPECT_POINT(e.wall.begC, x1, y1);
            EXPECT_POINT(e.wall.endC, x2, y2);
        };
    };
    // The door keeps its place along its wall and turns its hinge side under a mirror; copies go
    // into the copied wall, with the source's marker and in no group.
    auto carries = [&](bool copies, bool mirrors, Int16 story, API_Coord begin, API_Coord end) {
        return [=](const API_Element& w) {
            const API_Guid newDoor = copies ? HostTesting::AllElements().back() : hinged;
            const API_Element d = Read(newDoor);
            Int32 part = 0;
            EXPECT_TRUE(Near(w.wall.begC, begin.x, begin.y) && Near(w.wall.endC, end.x, end.y));
            EXPECT_EQ(w.wall.flipped != doorWallBefore.wall.flipped, mirrors);
            EXPECT_EQ(d.door.openingBase.reflected != doorBefore.door.openingBase.reflected, mirrors);
            EXPECT_TRUE(d.door.owner == w.header.guid && d.door.objLoc == doorBefore.door.objLoc);
            EXPECT_TRUE(w.header.floorInd == story && d.header.floorInd == story);
            EXPECT_TRUE((w.header.groupGuid == APINULLGuid) == copies && (d.header.groupGuid == APINULLGuid) == copies);
            EXPECT_TRUE(HostTesting::GetMarker(newDoor, &part, nullptr) && part == markerPart);
        };
    };
    const std::string modified = "Element modified";
    const double longer = doorBefore.door.objLoc + 0.5;
    // Tool, element, input, message, edit record, and the check of the element (or the copy).
    const std::tuple<const char*, API_Guid, json, std::string, std::string, std::function<void(const API_Element&)>>
        cases[] = {
            {"modify_element",
             wall,
             {{"height", 2.7}, {"thickness", 0.25}, {"start_x", -1.0}, {"end_x", 7.0}, {"end_y", 3.0}, {"layer", 2}},
             modified,
             "",
             only(wall,
                  [](API_Element& e) {
                      e.wall.height = 2.7, e.wall.thickness = 0.25, e.wall.begC.x = -1.0, e.wall.endC = {7.0, 3.0},
                      e.header.layer = 2;
                  })},
            // Only the low 16 bits of the story reach the record: 65536 + 2 is story 2.
            {"modify_element",
             wall,
             {{"story", 65538}},
             modified,
             "",
             only(wall, [](API_Element& e) { e.header.floorInd = 2; })},
            {"modify_element",
             column,
             {{"height", 3.3}, {"x", 8.0}},
             modified,
             "",
             only(column, [](API_Element& e) { e.column.height = 3.3, e.column.origoPos.x = 8.0; })},
            {"modify_element",
             beam,
             {{"end_x", 9.0}, {"end_y", 1.0}},
             modified,
             "",
             only(beam,
                  [](API_Element& e) {
                      e.beam.endC = {9, 1};
                  })},
            {"modify_element",
             slab,
             {{"thickness", 0.3}, {"elevation", 2.5}},
             modified,
             "",
             only(slab, [](API_Element& e) { e.slab.thickness = 0.3, e.slab.level = 2.5; })},
            {"modify_element", slab, {{"x", 4.0}, {"y", 4.0}, {"height", 9.0}}, modified, "", only(slab)},
            // Degrees become radians through the add-on's stored factor, bit for bit.
            {"modify_element",
             object,
             {{"rotation", 90}, {"x", 1.25}, {"y", -3.0}},
             modified,
             "",
             only(object,
                  [](API_Element& e) {
                      e.object.angle = 90.0 * kStoredDegree, e.object.pos = {1.25, -3.0};
                  })},
            // A door takes only layer and story; 2.9 is cut toward zero.
            {"modify_element",
             hinged,
             {{"layer", 2.9}, {"height", 5.0}},
             modified,
             "",
             only(hinged, [](API_Element& e) { e.header.layer = 2; })},
            {"move_element",
             wall,
             {{"dx", 1.5}, {"dy", -2.0}},
             "Element moved by (1.500000, -2.000000)",
             Edit(APIEdit_Drag, true, {}, {}, {1.5, -2.0}),
             wallAt(4.5, 1.0, 5.5, 1.0)},
            // Without an offset a copy lands one metre along x.
            {"copy_element", wall, json::object(), "Element copied with offset (1.000000, 0.000000)",
             Edit(APIEdit_Drag, false, {}, {}, {1.0, 0.0}),
             only(wall, [](API_Element& e) { e.wall.begC.x += 1, e.wall.endC.x += 1; })},
            {"rotate_element",
             wall,
             {{"center_x", 2.0}, {"center_y", 3.0}, {"angle", 90}},
             "Element rotated 90.000000 degrees",
             Edit(APIEdit_Rotate, true, {2.0, 3.0}, {3.0, 3.0}, {2.0 + std::cos(quarter), 3.0 + std::sin(quarter)}),
             wallAt(2, 4, 2, 5)},
            // About the origin the end point is the bare cosine and sine of the stored degree.
            {"rotate_element",
             object,
             {{"angle", -90}},
             "Element rotated -90.000000 degrees",
             Edit(APIEdit_Rotate, true, {}, {1.0, 0.0}, {std::cos(-quarter), std::sin(-quarter)}),
             [](const API_Element& e) {
                 EXPECT_POINT(e.object.pos, 0.0, -2.0);
                 EXPECT_NEAR(e.object.angle, 0.5 - M_PI / 2.0, 1e-9);
             }},
            // The line through (1, 2) and (3, 5) reflects (3, 3) to (15/13, 55/13) and (4, 3) to (10/13, 67/13).
            {"mirror_element",
             wall,
             {{"axis_x1", 1}, {"axis_y1", 2}, {"axis_x2", 3}, {"axis_y2", 5}, {"keep_original", true}},
             "Element mirrored",
             Edit(APIEdit_Mirror, false, {1.0, 2.0}, {}, {3.0, 5.0}),
             wallAt(15.0 / 13.0, 55.0 / 13.0, 10.0 / 13.0, 67.0 / 13.0)},
            // A wall's door follows it to another story and stays when the wall is lengthened.
            {"modify_element",
             doorWall,
             {{"story", 2}},
             modified,
             "",
             carries(false, false, 2, {0.0, 1.0}, {6.0, 1.0})},
            {"modify_element",
             doorWall,
             {{"end_x", longer}},
             modified,
             "",
             carries(false, false, 1, {0.0, 1.0}, {longer, 1.0})},
            // Without an axis, the x axis.
            {"mirror_element", doorWall, json::object(), "Element mirrored",
             Edit(APIEdit_Mirror, true, {}, {}, {1.0, 0.0}), carries(false, true, 1, {0.0, -1.0}, {6.0, -1.0})},
            {"copy_element",
             doorWall,
             {{"dx", 0.0}, {"dy", 4.0}},
             "Element copied with offset (0.000000, 4.000000)",
             Edit(APIEdit_Drag, false, {}, {}, {0.0, 4.0}),
             carries(true, false, 1, {0.0, 5.0}, {6.0, 5.0})},
        };
    const std::map<std::string, std::string> stepNames = {{"modify_element", "Quillmere: Modify Element"},
                                                          {"move_element", "Quillmere: Move Element"},
                                                          {"copy_element", "Quillmere: Copy Element"},
                                                          {"rotate_element", "Quillmere: Rotate Element"},
                                                          {"mirror_element", "Quillmere: Mirror Element"}};
    for (const auto& [tool, target, keys, message, edit, check] : cases) {
        SCOPED_TRACE(std::string(tool) + " " + keys.dump());
        std::string sent = Text(target);
        std::transform(sent.begin(), sent.end(), sent.begin(), [](unsigned char ch) { return char(std::tolower(ch)); });
        json input = keys;
        input["element_guid"] = sent;
        const bool copy = std::string(tool) == "copy_element", adds = copy || input.value("keep_original", false);
        HostTesting::ClearCallLog();
        const ToolResult result = Run(tool, input);
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.message, message);
        EXPECT_EQ(result.elementGuid, copy ? "" : sent);
        EXPECT_TRUE(!copy ||
                    result.toJson().find("element_guid") == std::string::npos);  // a copy reports no GUID at all
        ASSERT_EQ(HostTesting::CallCount("ACAPI_Element_Edit"), edit.empty() ? 0 : 1);
        for (const HostTesting::CallRecord& call : HostTesting::CallLog())
            EXPECT_TRUE(call.function != "ACAPI_Element_Edit" || call.detail == edit) << call.detail;
        EXPECT_EQ(UndoStepCount(), steps + 1);
        EXPECT_EQ(UndoSteps().back(), stepNames.at(tool));
        // A copied wall comes first, then the copies of its doors.
        ASSERT_EQ(HostTesting::ElementCount(), before.size() + (adds ? (target == doorWall ? 2 : 1) : 0));
        check(Read(adds ? HostTesting::AllElements()[before.size()] : target));
        const auto after = TakeSnapshot();
        for (size_t i = 0; i < before.size(); ++i) {
            const API_Element& was = before[i].record;
            const bool itsDoor = was.header.type.typeID == API_DoorID && was.door.owner == target;
            EXPECT_TRUE(SameState(before[i], after[i]) || (!adds && (was.header.guid == target || itsDoor))) << i;
        }
        ASSERT_TRUE(UndoLast());
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
        for (const API_Guid& guid : HostTesting::AllElements())
            EXPECT_EQ(HostTesting::GetMarker(guid, nullptr, nullptr), guid == hinged);
    }
}
