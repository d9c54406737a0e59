// move_element, copy_element, rotate_element and mirror_element: where the geometry ends up,
// which GUIDs survive, the messages, and the one undo step per call.

#include <cmath>
#include <cstdio>
#include <string>

#include "HostTestingLibrary.hpp"
#include "ProjectSnapshot.hpp"
#include "ToolTestFixture.hpp"

using json = nlohmann::json;

namespace {

const char* const kAbsentGuid = "0DDF00D0-1234-4321-ABCD-0123456789AB";

class TransformToolTest : public ToolTestFixture {
protected:
    // The element that a successful copy added: the one GUID that was not there before.
    API_Guid NewElementSince(const std::vector<API_Guid>& before)
    {
        for (const API_Guid& guid : HostTesting::AllElements()) {
            bool known = false;
            for (const API_Guid& old : before)
                known = known || old == guid;
            if (!known)
                return guid;
        }
        ADD_FAILURE() << "no element was added";
        return APINULLGuid;
    }

    void ExpectOneStep(const std::string& name)
    {
        ASSERT_EQ(UndoStepCount(), 1u);
        EXPECT_EQ(UndoSteps().back(), name);
    }

    // The edit record of the last element edit, as the host logged it.
    static std::string LastEditRecord()
    {
        std::string detail = "no edit call";
        for (const HostTesting::CallRecord& call : HostTesting::CallLog())
            if (call.function == "ACAPI_Element_Edit")
                detail = call.detail;
        return detail;
    }

    static std::string Point(double x, double y)
    {
        char text[64];
        std::snprintf(text, sizeof text, "(%.17g,%.17g)", x, y);
        return text;
    }

    static std::string EditRecord(API_EditCmdID type, bool withDelete, const std::string& origin,
                                  const std::string& begin, const std::string& end)
    {
        return "edit=" + std::to_string(type) + " withDelete=" + (withDelete ? "1" : "0") + " count=1 orig=" + origin +
               " beg=" + begin + " end=" + end;
    }
};

constexpr double kStoredDegree = 0.017453292519943278;

}  // namespace

// ---- move and copy -------------------------------------------------------------------------

TEST_F(TransformToolTest, MoveShiftsTheElementItselfAndEchoesTheOffset)
{
    const std::string wall = Text(HostTesting::AddWall(1.0, 2.0, 6.0, 2.0));
    const ToolResult result = Run("move_element", {{"element_guid", wall}, {"dx", 1.5}, {"dy", -2.0}});

    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.elementGuid, wall);
    EXPECT_EQ(result.message, "Element moved by (1.500000, -2.000000)");
    EXPECT_EQ(HostTesting::ElementCount(), 1u);
    const API_Element moved = Element(wall);
    EXPECT_POINT(moved.wall.begC, 2.5, 0.0);
    EXPECT_POINT(moved.wall.endC, 7.5, 0.0);
    ExpectOneStep("Quillmere: Move Element");
}

TEST_F(TransformToolTest, MoveWithoutOffsetIsAZeroDrag)
{
    const std::string wall = Text(HostTesting::AddWall(1.0, 2.0, 6.0, 2.0));
    const auto before = TakeSnapshot();
    const ToolResult result = Run("move_element", {{"element_guid", wall}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Element moved by (0.000000, 0.000000)");
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    ExpectOneStep("Quillmere: Move Element");
}

TEST_F(TransformToolTest, MoveCarriesPolygonsAndLeavesOtherElementsAlone)
{
    const std::string slab = Text(HostTesting::AddFixture(API_SlabID));
    const std::string other = Text(HostTesting::AddWall(0.0, 0.0, 5.0, 0.0));
    const std::vector<API_Coord> polygon = HostTesting::GetPolygon(Guid(slab));
    const API_Element otherBefore = Element(other);
    ASSERT_FALSE(polygon.empty());

    ASSERT_TRUE(Run("move_element", {{"element_guid", slab}, {"dx", -3.0}, {"dy", 0.5}}).success);

    const std::vector<API_Coord> moved = HostTesting::GetPolygon(Guid(slab));
    ASSERT_EQ(moved.size(), polygon.size());
    for (size_t i = 0; i < polygon.size(); ++i)
        EXPECT_POINT(moved[i], polygon[i].x - 3.0, polygon[i].y + 0.5);
    EXPECT_TRUE(SameRecord(otherBefore, Element(other)));
}

TEST_F(TransformToolTest, CopyWithoutOffsetLandsOneMetreAlongXAndReportsNoGuid)
{
    const std::string wall = Text(HostTesting::AddWall(1.0, 2.0, 6.0, 2.0));
    const API_Element original = Element(wall);
    const std::vector<API_Guid> before = HostTesting::AllElements();

    const ToolResult result = Run("copy_element", {{"element_guid", wall}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.elementGuid, "");
    EXPECT_EQ(result.message, "Element copied with offset (1.000000, 0.000000)");
    EXPECT_EQ(result.toJson().find("element_guid"), std::string::npos);

    ASSERT_EQ(HostTesting::ElementCount(), 2u);
    EXPECT_TRUE(SameRecord(original, Element(wall)));
    API_Element copy;
    ASSERT_TRUE(HostTesting::GetElement(NewElementSince(before), &copy));
    EXPECT_POINT(copy.wall.begC, 2.0, 2.0);
    EXPECT_POINT(copy.wall.endC, 7.0, 2.0);
    EXPECT_EQ(copy.wall.height, original.wall.height);
    EXPECT_EQ(copy.header.layer, original.header.layer);
    ExpectOneStep("Quillmere: Copy Element");
}

TEST_F(TransformToolTest, CopyOfAWallBringsItsOpeningsIntoTheCopy)
{
    const API_Guid wall = HostTesting::AddWall(0.0, 0.0, 6.0, 0.0);
    const ToolResult created = Run("create_door", {{"wall_guid", Text(wall)}, {"offset", 2.0}});
    ASSERT_TRUE(created.success) << created.error;
    const API_Guid door = Guid(created.elementGuid);
    Int32 markerPart = 0;
    ASSERT_TRUE(HostTesting::GetMarker(door, &markerPart, nullptr));
    const std::vector<API_Guid> before = HostTesting::AllElements();

    ASSERT_TRUE(Run("copy_element", {{"element_guid", Text(wall)}, {"dx", 0.0}, {"dy", 4.0}}).success);

    EXPECT_EQ(HostTesting::ElementCount(API_WallID), 2u);
    ASSERT_EQ(HostTesting::ElementCount(API_DoorID), 2u);
    API_Element original;
    ASSERT_TRUE(HostTesting::GetElement(door, &original));
    EXPECT_EQ(original.door.owner, wall);
    for (const API_Guid& guid : HostTesting::AllElements()) {
        API_Element element;
        ASSERT_TRUE(HostTesting::GetElement(guid, &element));
        if (element.header.type.typeID == API_DoorID && guid != door) {
            EXPECT_NE(element.door.owner, wall);
            API_Element newWall;
            ASSERT_TRUE(HostTesting::GetElement(element.door.owner, &newWall)) << "the copied door has no wall";
            EXPECT_POINT(newWall.wall.begC, 0.0, 4.0);
            EXPECT_EQ(element.door.objLoc, original.door.objLoc);
            Int32 copiedMarkerPart = 0;
            EXPECT_TRUE(HostTesting::GetMarker(guid, &copiedMarkerPart, nullptr));
            EXPECT_EQ(copiedMarkerPart, markerPart);
        }
    }
    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(HostTesting::AllElements(), before);
    for (const API_Guid& guid : HostTesting::AllElements())
        EXPECT_EQ(HostTesting::GetMarker(guid, nullptr, nullptr), guid == door);
}

TEST_F(TransformToolTest, NegativeOffsetsArePrintedWithTheirSign)
{
    const std::string line = Text(HostTesting::AddFixture(API_LineID));
    const ToolResult result = Run("copy_element", {{"element_guid", line}, {"dx", -1.5}, {"dy", 0.25}});
    EXPECT_EQ(result.message, "Element copied with offset (-1.500000, 0.250000)");
}

// ---- rotate ------------------------------------------------------------------------------

TEST_F(TransformToolTest, RotateTurnsAboutTheCentreCounterClockwise)
{
    const std::string wall = Text(HostTesting::AddWall(3.0, 3.0, 4.0, 3.0));
    const ToolResult result =
        Run("rotate_element", {{"element_guid", wall}, {"center_x", 2.0}, {"center_y", 3.0}, {"angle", 90}});

    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.elementGuid, wall);
    EXPECT_EQ(result.message, "Element rotated 90.000000 degrees");
    const API_Element rotated = Element(wall);
    EXPECT_POINT(rotated.wall.begC, 2.0, 4.0);
    EXPECT_POINT(rotated.wall.endC, 2.0, 5.0);
    EXPECT_EQ(HostTesting::ElementCount(), 1u);
    ExpectOneStep("Quillmere: Rotate Element");
}

TEST_F(TransformToolTest, RotateTurnsAnObjectsPositionAndAngle)
{
    API_Element object = HostTesting::MakeElement(API_ObjectID);
    object.object.pos = {2.0, 0.0};
    object.object.angle = 0.5;
    const std::string guid = Text(HostTesting::AddElement(object));

    ASSERT_TRUE(Run("rotate_element", {{"element_guid", guid}, {"angle", -90}}).success);
    const API_Element rotated = Element(guid);
    EXPECT_POINT(rotated.object.pos, 0.0, -2.0);
    EXPECT_NEAR(rotated.object.angle, 0.5 - M_PI / 2.0, 1e-9);
}

TEST_F(TransformToolTest, RotateByZeroChangesNothingButIsOneStep)
{
    const std::string wall = Text(HostTesting::AddWall(3.0, 3.0, 4.0, 3.0));
    const auto before = TakeSnapshot();
    const ToolResult result = Run("rotate_element", {{"element_guid", wall}, {"center_x", 1.0}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Element rotated 0.000000 degrees");
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    ExpectOneStep("Quillmere: Rotate Element");
}

// ---- mirror ------------------------------------------------------------------------------

TEST_F(TransformToolTest, MirrorWithoutAxisReflectsInPlaceAcrossTheXAxis)
{
    const std::string wall = Text(HostTesting::AddWall(1.0, 2.0, 3.0, 4.0));
    const ToolResult result = Run("mirror_element", {{"element_guid", wall}});

    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.elementGuid, wall);
    EXPECT_EQ(result.message, "Element mirrored");
    EXPECT_EQ(HostTesting::ElementCount(), 1u);
    const API_Element mirrored = Element(wall);
    EXPECT_POINT(mirrored.wall.begC, 1.0, -2.0);
    EXPECT_POINT(mirrored.wall.endC, 3.0, -4.0);
    ExpectOneStep("Quillmere: Mirror Element");
}

TEST_F(TransformToolTest, MirrorKeepingTheOriginalAddsAMirroredCopy)
{
    const API_Guid hotspot = HostTesting::AddFixture(API_HotspotID);
    API_Element source;
    ASSERT_TRUE(HostTesting::GetElement(hotspot, &source));
    const std::vector<API_Guid> before = HostTesting::AllElements();
    const std::string sent = Text(hotspot);

    // Axis: the diagonal y = x.
    const ToolResult result = Run("mirror_element", {{"element_guid", sent}, {"axis_x1", 0}, {"axis_y1", 0},
                                                     {"axis_x2", 2}, {"axis_y2", 2}, {"keep_original", true}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.elementGuid, sent);
    ASSERT_EQ(HostTesting::ElementCount(), 2u);
    EXPECT_TRUE(SameRecord(source, Element(sent)));
    API_Element copy;
    ASSERT_TRUE(HostTesting::GetElement(NewElementSince(before), &copy));
    EXPECT_POINT(copy.hotspot.pos, source.hotspot.pos.y, source.hotspot.pos.x);
    ExpectOneStep("Quillmere: Mirror Element");
}

TEST_F(TransformToolTest, EachTransformUndoesToTheProjectBefore)
{
    const API_Guid wallGuid = HostTesting::AddWall(1.0, 2.0, 6.0, 2.0);
    const std::string wall = Text(wallGuid);
    HostTesting::AddFixture(API_DoorID, 0, wallGuid);
    const std::string slab = Text(HostTesting::AddFixture(API_SlabID));
    const auto before = TakeSnapshot();

    const json calls[] = {
        {{"tool", "move_element"}, {"input", {{"element_guid", slab}, {"dx", 2}, {"dy", 3}}}},
        {{"tool", "copy_element"}, {"input", {{"element_guid", slab}}}},
        {{"tool", "rotate_element"}, {"input", {{"element_guid", wall}, {"center_x", 5}, {"angle", 33}}}},
        {{"tool", "mirror_element"}, {"input", {{"element_guid", slab}, {"axis_y2", 1}}}},
        {{"tool", "mirror_element"}, {"input", {{"element_guid", wall}, {"keep_original", true}}}},
        {{"tool", "mirror_element"}, {"input", {{"element_guid", wall}, {"axis_x1", 2}, {"axis_y2", 3}}}},
        {{"tool", "copy_element"}, {"input", {{"element_guid", wall}, {"dy", 4}}}},
    };
    for (const json& call : calls) {
        const ToolResult result = Run(call["tool"].get<std::string>(), call["input"]);
        ASSERT_TRUE(result.success) << call.dump() << ": " << result.error;
        ASSERT_EQ(UndoStepCount(), 1u);
        ASSERT_TRUE(UndoLast());
        EXPECT_TRUE(SameProject(before, TakeSnapshot())) << call.dump();
        EXPECT_EQ(UndoStepCount(), 0u);
    }
}

// ---- the edit record each tool sends ------------------------------------------------------

TEST_F(TransformToolTest, EachToolSendsTheEditRecordOfItsOperation)
{
    const std::string wall = Text(HostTesting::AddWall(3.0, 3.0, 4.0, 3.0));
    const std::string zero = Point(0.0, 0.0);

    ASSERT_TRUE(Run("move_element", {{"element_guid", wall}, {"dx", 1.5}, {"dy", -2.0}}).success);
    EXPECT_EQ(LastEditRecord(), EditRecord(APIEdit_Drag, true, zero, zero, Point(1.5, -2.0)));

    ASSERT_TRUE(Run("copy_element", {{"element_guid", wall}}).success);
    EXPECT_EQ(LastEditRecord(), EditRecord(APIEdit_Drag, false, zero, zero, Point(1.0, 0.0)));

    ASSERT_TRUE(Run("rotate_element", {{"element_guid", wall}, {"center_x", 2.0}, {"center_y", 3.0}, {"angle", 90}}).success);
    const double quarter = 90 * kStoredDegree;
    EXPECT_EQ(LastEditRecord(), EditRecord(APIEdit_Rotate, true, Point(2.0, 3.0), Point(3.0, 3.0),
                                           Point(2.0 + std::cos(quarter), 3.0 + std::sin(quarter))));
    // About the origin the end point is the bare cosine and sine, where the stored degree and
    // pi / 180 give different bits.
    ASSERT_TRUE(Run("rotate_element", {{"element_guid", wall}, {"angle", 30}}).success);
    const double thirty = 30 * kStoredDegree;
    EXPECT_EQ(LastEditRecord(),
              EditRecord(APIEdit_Rotate, true, zero, Point(1.0, 0.0), Point(std::cos(thirty), std::sin(thirty))));

    ASSERT_TRUE(Run("mirror_element", {{"element_guid", wall}}).success);
    EXPECT_EQ(LastEditRecord(), EditRecord(APIEdit_Mirror, true, zero, zero, Point(1.0, 0.0)));

    ASSERT_TRUE(Run("mirror_element", {{"element_guid", wall}, {"axis_x1", 1}, {"axis_y1", 2}, {"axis_x2", 3},
                                       {"axis_y2", 5}, {"keep_original", true}})
                    .success);
    EXPECT_EQ(LastEditRecord(), EditRecord(APIEdit_Mirror, false, Point(1.0, 2.0), zero, Point(3.0, 5.0)));
}

// ---- refusals ----------------------------------------------------------------------------

TEST_F(TransformToolTest, UnknownGuidGivesEachToolsPrefixAndTheHostsCode)
{
    HostTesting::AddWall(1.0, 2.0, 6.0, 2.0);
    const auto before = TakeSnapshot();
    const json input = {{"element_guid", kAbsentGuid}};

    // The bad-id code, printed as the signed 32-bit number it is.
    EXPECT_EQ(Run("move_element", input).error, "MoveElement ACAPI error: -2130313115");
    EXPECT_EQ(Run("copy_element", input).error, "CopyElement ACAPI error: " + std::to_string(APIERR_BADID));
    EXPECT_EQ(Run("rotate_element", input).error, "RotateElement ACAPI error: " + std::to_string(APIERR_BADID));
    EXPECT_EQ(Run("mirror_element", input).error, "MirrorElement ACAPI error: " + std::to_string(APIERR_BADID));
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_EQ(UndoStepCount(), 0u);
}

TEST_F(TransformToolTest, HostRefusalsChangeNothing)
{
    const API_Guid wall = HostTesting::AddWall(0.0, 0.0, 6.0, 0.0);
    const std::string door = Text(HostTesting::AddFixture(API_DoorID, 0, wall));
    const std::string line = Text(HostTesting::AddFixture(API_LineID));
    API_Element far = HostTesting::MakeElement(API_LineID);
    far.line.begC = {1.7e308, 0.0};
    far.line.endC = {1.7e308, 1.0};
    const std::string farLine = Text(HostTesting::AddElement(far));
    const auto before = TakeSnapshot();

    // A door moves with its wall, not on its own.
    EXPECT_EQ(Run("move_element", {{"element_guid", door}, {"dx", 1}}).error,
              "MoveElement ACAPI error: " + std::to_string(APIERR_BADPARS));
    // A mirror axis of no length.
    EXPECT_EQ(Run("mirror_element", {{"element_guid", line}, {"axis_x2", 0}}).error,
              "MirrorElement ACAPI error: " + std::to_string(APIERR_BADPARS));
    // A drag that would push coordinates past the largest double.
    EXPECT_EQ(Run("copy_element", {{"element_guid", farLine}, {"dx", 1.7e308}}).error,
              "CopyElement ACAPI error: " + std::to_string(APIERR_BADPARS));
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_EQ(UndoStepCount(), 0u);
}

TEST_F(TransformToolTest, MissingGuidIsRequiredByAllFour)
{
    for (const char* tool : {"move_element", "copy_element", "rotate_element", "mirror_element"}) {
        EXPECT_EQ(Run(tool, {{"dx", 1.0}}).error, "element_guid is required") << tool;
        EXPECT_EQ(Run(tool, {{"element_guid", ""}}).error, "element_guid is required") << tool;
    }
    EXPECT_EQ(UndoStepCount(), 0u);
}

TEST_F(TransformToolTest, WrongJsonTypesFailBeforeAnyChange)
{
    const std::string wall = Text(HostTesting::AddWall(1.0, 2.0, 6.0, 2.0));
    const auto before = TakeSnapshot();

    EXPECT_NE(Run("move_element", {{"element_guid", wall}, {"dx", "1"}}).error.find("type must be number"),
              std::string::npos);
    EXPECT_NE(Run("mirror_element", {{"element_guid", wall}, {"axis_y2", true}}).error.find("type must be number"),
              std::string::npos);
    EXPECT_FALSE(Run("copy_element", {{"element_guid", wall}, {"dy", nullptr}}).success);
    EXPECT_FALSE(Run("rotate_element", {{"element_guid", wall}, {"angle", json::array({90})}}).success);
    EXPECT_NE(Run("mirror_element", {{"element_guid", wall}, {"keep_original", 1}}).error.find("type must be boolean"),
              std::string::npos);
    // Every key is read before the GUID is checked.
    EXPECT_NE(Run("move_element", {{"dx", "far"}}).error.find("type must be number"), std::string::npos);
    EXPECT_NE(Run("rotate_element", json("spin")).error.find("cannot use value()"), std::string::npos);
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_EQ(UndoStepCount(), 0u);
}

TEST_F(TransformToolTest, WhateverTheHostAnswersIsReportedAndRolledBack)
{
    const std::string wall = Text(HostTesting::AddWall(1.0, 2.0, 6.0, 2.0));
    const auto before = TakeSnapshot();
    const json input = {{"element_guid", wall}, {"dx", 1.0}};

    HostTesting::FailNextCall("ACAPI_Element_Edit", APIERR_GENERAL);
    EXPECT_EQ(Run("copy_element", input).error, "CopyElement ACAPI error: " + std::to_string(APIERR_GENERAL));
    HostTesting::FailNextCall("ACAPI_Element_Edit", APIERR_MEMFULL);
    EXPECT_EQ(Run("mirror_element", input).error, "MirrorElement ACAPI error: -2130313214");
    HostTesting::FailNextCall("ACAPI_Element_Change", APIERR_BADPARS);
    EXPECT_EQ(Run("modify_element", {{"element_guid", wall}, {"height", 2.0}}).error,
              "ModifyElement ACAPI error: -2130313112");
    HostTesting::FailNextCall("ACAPI_Element_Get", APIERR_GENERAL);
    EXPECT_EQ(Run("modify_element", {{"element_guid", wall}, {"height", 2.0}}).error, "Element not found: " + wall);
    HostTesting::FailNextCall("ACAPI_Element_Tool", APIERR_REFUSEDCMD);
    EXPECT_EQ(Run("group_elements", {{"element_guids", {wall, wall}}}).error,
              "Group ACAPI error: " + std::to_string(APIERR_REFUSEDCMD));

    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_EQ(UndoStepCount(), 0u);
}
