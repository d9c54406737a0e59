// modify_element: the fields each element type takes, and walls taking their openings along.

#include <cctype>
#include <functional>
#include <string>

#include "HostTestingLibrary.hpp"
#include "ModifyTestSupport.hpp"

using json = nlohmann::json;

namespace {

constexpr double kStoredDegree = 0.017453292519943278;

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

// Each call writes exactly the expected fields (every other byte of the record stays), in one
// step that undo reverts. GUIDs are sent in lower case, as a model may send them back.
TEST_F(ModifyToolTest, ModifyElementWritesOnlyTheKeysItsTypeTakes)
{
    const API_Guid hostWall = HostTesting::AddWall(0.0, 0.0, 6.0, 0.0, 1);
    struct Case {
        API_ElemTypeID type;
        json input;
        std::function<void(API_Element&)> expect;
    };
    const std::vector<Case> cases = {
        {API_WallID, {{"start_y", 4.5}}, [](API_Element& e) { e.wall.begC.y = 4.5; }},
        {API_WallID, {{"height", 2.7}, {"thickness", 0.25}, {"start_x", -1.0}, {"end_x", 7.0}, {"end_y", 3.0}, {"layer", 2}},
         [](API_Element& e) {
             e.wall.height = 2.7;
             e.wall.thickness = 0.25;
             e.wall.begC.x = -1.0;
             e.wall.endC = {7.0, 3.0};
             e.header.layer = 2;
         }},
        // Only the low 16 bits of the story reach the record: 65536 + 2 is story 2.
        {API_WallID, {{"story", 65538}}, [](API_Element& e) { e.header.floorInd = 2; }},
        {API_ColumnID, {{"height", 3.3}, {"x", 8.0}}, [](API_Element& e) { e.column.height = 3.3, e.column.origoPos.x = 8.0; }},
        {API_BeamID, {{"end_x", 9.0}, {"end_y", 1.0}}, [](API_Element& e) { e.beam.endC = {9.0, 1.0}; }},
        {API_BeamID, {{"height", 9.0}, {"thickness", 1.0}}, [](API_Element&) {}},
        {API_SlabID, {{"thickness", 0.3}, {"elevation", 2.5}}, [](API_Element& e) { e.slab.thickness = 0.3, e.slab.level = 2.5; }},
        {API_SlabID, {{"x", 4.0}, {"y", 4.0}, {"height", 9.0}}, [](API_Element&) {}},
        {API_RoofID, {{"thickness", 0.4}}, [](API_Element& e) { e.roof.thickness = 0.4; }},
        // Degrees become radians through the add-on's stored factor, bit for bit.
        {API_ObjectID, {{"rotation", 90}, {"x", 1.25}, {"y", -3.0}},
         [](API_Element& e) { e.object.angle = 90.0 * kStoredDegree, e.object.pos = {1.25, -3.0}; }},
        // A door takes only layer and story; 2.9 is cut toward zero and true counts as 1.
        {API_DoorID, {{"layer", 2.9}, {"height", 5.0}}, [](API_Element& e) { e.header.layer = 2; }},
        {API_DoorID, {{"layer", true}}, [](API_Element& e) { e.header.layer = 1; }},
        {API_DoorID, json::object(), [](API_Element&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.input.dump());
        const API_Guid guid = HostTesting::AddFixture(c.type, 1, c.type == API_DoorID ? hostWall : APINULLGuid);
        API_Element expected = Get(guid);
        c.expect(expected);
        const auto before = TakeSnapshot();
        json input = c.input;
        input["element_guid"] = Lower(Text(guid));

        const ToolResult result = Run("modify_element", input);
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.elementGuid, Lower(Text(guid)));
        EXPECT_EQ(result.message, "Element modified");
        EXPECT_EQ(UndoSteps(), std::vector<std::string> {"Quillmere: Modify Element"});
        EXPECT_EQ(FirstDifference(Get(guid), expected), sizeof(API_Element));
        ASSERT_TRUE(UndoLast());
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    }
}

// Changing, mirroring or copying a wall carries its door along: same place along the wall, the
// hinge side turned by a mirror, copies in the copied wall with the source's marker and no group.
TEST_F(ModifyToolTest, OpeningsFollowTheirWall)
{
    const API_Guid wall = HostTesting::AddWall(0.0, 1.0, 6.0, 1.0, 1);
    const ToolResult created = Run("create_door", {{"wall_guid", Text(wall)}, {"offset", 2.0}});
    ASSERT_TRUE(created.success) << created.error;
    const API_Guid door = Guid(created.elementGuid);
    const std::string other = Text(HostTesting::AddWall(6.0, 1.0, 6.0, 5.0, 1));
    ASSERT_TRUE(Run("group_elements", {{"element_guids", {Text(wall), created.elementGuid, other}}}).success);
    const API_Element wallBefore = Get(wall), doorBefore = Get(door);
    Int32 markerPart = 0;
    ASSERT_TRUE(HostTesting::GetMarker(door, &markerPart, nullptr));
    const auto before = TakeSnapshot();
    const size_t steps = UndoStepCount();
    const double longer = doorBefore.door.objLoc + 0.5;

    struct Case {
        const char* tool;
        json input;
        bool copies, mirrors;
        Int16 story;
        API_Coord begin, end;
    };
    const Case cases[] = {
        {"modify_element", {{"story", 2}}, false, false, 2, {0.0, 1.0}, {6.0, 1.0}},
        {"modify_element", {{"end_x", longer}}, false, false, 1, {0.0, 1.0}, {longer, 1.0}},
        {"mirror_element", json::object(), false, true, 1, {0.0, -1.0}, {6.0, -1.0}},
        {"mirror_element", {{"keep_original", true}}, true, true, 1, {0.0, -1.0}, {6.0, -1.0}},
        {"copy_element", {{"dx", 0.0}, {"dy", 4.0}}, true, false, 1, {0.0, 5.0}, {6.0, 5.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.input.dump());
        json input = c.input;
        input["element_guid"] = Text(wall);
        ASSERT_TRUE(Run(c.tool, input).success);
        auto lastOfType = [](API_ElemTypeID type) {
            API_Guid found = APINULLGuid;
            for (const API_Guid& guid : HostTesting::AllElements())
                if (API_Element e; HostTesting::GetElement(guid, &e) && e.header.type.typeID == type)
                    found = guid;
            return found;
        };
        const API_Guid newWall = c.copies ? lastOfType(API_WallID) : wall;
        const API_Guid newDoor = c.copies ? lastOfType(API_DoorID) : door;
        ASSERT_NE(newDoor, c.copies ? door : APINULLGuid);
        EXPECT_EQ(HostTesting::ElementCount(), before.size() + (c.copies ? 2 : 0));
        const API_Element w = Get(newWall), d = Get(newDoor);
        EXPECT_POINT(w.wall.begC, c.begin.x, c.begin.y);
        EXPECT_POINT(w.wall.endC, c.end.x, c.end.y);
        EXPECT_EQ(w.wall.flipped != wallBefore.wall.flipped, c.mirrors);
        EXPECT_EQ(d.door.owner, newWall);
        EXPECT_EQ(d.door.objLoc, doorBefore.door.objLoc);
        EXPECT_EQ(d.door.openingBase.reflected != doorBefore.door.openingBase.reflected, c.mirrors);
        EXPECT_EQ(w.header.floorInd, c.story);
        EXPECT_EQ(d.header.floorInd, c.story);
        EXPECT_EQ(w.header.groupGuid == APINULLGuid, c.copies);
        EXPECT_EQ(d.header.groupGuid == APINULLGuid, c.copies);
        Int32 part = 0;
        EXPECT_TRUE(HostTesting::GetMarker(newDoor, &part, nullptr));
        EXPECT_EQ(part, markerPart);
        if (c.copies)
            EXPECT_TRUE(SameRecord(Get(door), doorBefore));

        EXPECT_EQ(UndoStepCount(), steps + 1);
        ASSERT_TRUE(UndoLast());
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
        for (const API_Guid& guid : HostTesting::AllElements())
            EXPECT_EQ(HostTesting::GetMarker(guid, nullptr, nullptr), guid == door);
    }
}
