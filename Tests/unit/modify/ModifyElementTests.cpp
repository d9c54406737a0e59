// modify_element: the fields it changes per element type, the fields it must leave alone, and
// the one undo step each call makes.

#include <cmath>
#include <string>

#include "HostTestingLibrary.hpp"
#include "ProjectSnapshot.hpp"
#include "ToolTestFixture.hpp"

using json = nlohmann::json;

namespace {

constexpr double kStoredDegree = 0.017453292519943278;
const char* const kAbsentGuid = "0ddf00d0-1234-4321-abcd-0123456789ab";

class ModifyElementTest : public ToolTestFixture {
protected:
    std::string AddElementOfType(API_ElemTypeID typeID)
    {
        return Text(HostTesting::AddFixture(typeID));
    }

    // A GUID text in lower case, as a model may send it back.
    static std::string Lower(std::string text)
    {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }

    void ExpectOneModifyStep(const ToolResult& result, const std::string& guidText)
    {
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.elementGuid, guidText);
        EXPECT_EQ(result.message, "Element modified");
        ASSERT_EQ(UndoStepCount(), 1u);
        EXPECT_EQ(UndoSteps().back(), "Quillmere: Modify Element");
    }

    void ExpectUnchanged(const std::vector<ElementState>& before)
    {
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
        EXPECT_EQ(UndoStepCount(), 0u);
    }
};

}  // namespace

// ---- what changes, per type ------------------------------------------------------------------

TEST_F(ModifyElementTest, OneWallCoordinateChangesOnlyThatCoordinate)
{
    const std::string guid = Text(HostTesting::AddWall(1.0, 2.0, 6.0, 2.0));
    const API_Element before = Element(guid);

    const std::string sent = Lower(guid);
    ExpectOneModifyStep(Run("modify_element", {{"element_guid", sent}, {"start_y", 4.5}}), sent);

    const API_Element after = Element(guid);
    EXPECT_EQ(after.wall.begC.x, 1.0);
    EXPECT_EQ(after.wall.begC.y, 4.5);
    EXPECT_EQ(after.wall.endC.x, before.wall.endC.x);
    EXPECT_EQ(after.wall.endC.y, before.wall.endC.y);
    EXPECT_EQ(after.wall.height, before.wall.height);
    EXPECT_EQ(after.wall.thickness, before.wall.thickness);
    EXPECT_EQ(after.header.layer, before.header.layer);
}

TEST_F(ModifyElementTest, WallTakesEveryWallKeyInOneStep)
{
    const std::string guid = Text(HostTesting::AddWall(0.0, 0.0, 5.0, 0.0));
    ExpectOneModifyStep(Run("modify_element", {{"element_guid", guid}, {"height", 2.7}, {"thickness", 0.25},
                                               {"start_x", -1.0}, {"end_x", 7.0}, {"end_y", 3.0}}),
                        guid);
    const API_Element wall = Element(guid);
    EXPECT_EQ(wall.wall.height, 2.7);
    EXPECT_EQ(wall.wall.thickness, 0.25);
    EXPECT_EQ(wall.wall.begC.x, -1.0);
    EXPECT_EQ(wall.wall.begC.y, 0.0);
    EXPECT_EQ(wall.wall.endC.x, 7.0);
    EXPECT_EQ(wall.wall.endC.y, 3.0);
}

TEST_F(ModifyElementTest, ColumnBeamSlabAndRoofTakeTheirOwnKeys)
{
    const std::string column = AddElementOfType(API_ColumnID);
    const std::string beam = AddElementOfType(API_BeamID);
    const std::string slab = AddElementOfType(API_SlabID);
    const std::string roof = AddElementOfType(API_RoofID);
    const API_Element columnBefore = Element(column);

    EXPECT_TRUE(Run("modify_element", {{"element_guid", column}, {"height", 3.3}, {"x", 8.0}}).success);
    EXPECT_TRUE(Run("modify_element", {{"element_guid", beam}, {"end_x", 9.0}, {"end_y", 1.0}}).success);
    EXPECT_TRUE(Run("modify_element", {{"element_guid", slab}, {"thickness", 0.3}, {"elevation", 2.5}}).success);
    EXPECT_TRUE(Run("modify_element", {{"element_guid", roof}, {"thickness", 0.4}}).success);

    EXPECT_EQ(Element(column).column.height, 3.3);
    EXPECT_EQ(Element(column).column.origoPos.x, 8.0);
    EXPECT_EQ(Element(column).column.origoPos.y, columnBefore.column.origoPos.y);
    EXPECT_EQ(Element(beam).beam.endC.x, 9.0);
    EXPECT_EQ(Element(beam).beam.endC.y, 1.0);
    EXPECT_EQ(Element(slab).slab.thickness, 0.3);
    EXPECT_EQ(Element(slab).slab.level, 2.5);
    EXPECT_EQ(Element(roof).roof.thickness, 0.4);
    EXPECT_EQ(UndoSteps(), std::vector<std::string>(4, "Quillmere: Modify Element"));
}

TEST_F(ModifyElementTest, ObjectRotationIsStoredWithTheStoredDegreeConstantBitForBit)
{
    HostTesting::LibraryPartFixture chair;
    chair.name = "Test Chair";
    API_Element record = HostTesting::MakeElement(API_ObjectID);
    record.object.libInd = HostTesting::AddLibraryPart(chair);
    const std::string object = Text(HostTesting::AddElement(record));
    ExpectOneModifyStep(Run("modify_element", {{"element_guid", object}, {"rotation", 90}, {"x", 1.25}, {"y", -3.0}}),
                        object);
    const API_Element after = Element(object);
    EXPECT_EQ(after.object.angle, 90.0 * kStoredDegree);
    EXPECT_NE(after.object.angle, 90.0 * M_PI / 180.0);
    EXPECT_EQ(after.object.pos.x, 1.25);
    EXPECT_EQ(after.object.pos.y, -3.0);
}

TEST_F(ModifyElementTest, KeysThatDoNotApplyAreIgnoredAndStillMakeOneStep)
{
    const std::string slab = AddElementOfType(API_SlabID);
    const std::string beam = AddElementOfType(API_BeamID);
    const auto before = TakeSnapshot();

    EXPECT_TRUE(Run("modify_element", {{"element_guid", slab}, {"x", 4.0}, {"y", 4.0}, {"height", 9.0}}).success);
    EXPECT_TRUE(Run("modify_element", {{"element_guid", beam}, {"height", 9.0}, {"thickness", 1.0}}).success);

    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_EQ(UndoSteps(), std::vector<std::string>(2, "Quillmere: Modify Element"));
}

TEST_F(ModifyElementTest, DoorTakesOnlyLayerAndStory)
{
    const API_Guid wall = HostTesting::AddWall(0.0, 0.0, 5.0, 0.0);
    const std::string door = Text(HostTesting::AddFixture(API_DoorID, 0, wall));
    const API_Element before = Element(door);

    // 2.9 is cut toward zero: layer 2.
    ExpectOneModifyStep(Run("modify_element", {{"element_guid", door}, {"layer", 2.9}, {"height", 5.0}}), door);
    const API_Element after = Element(door);
    EXPECT_EQ(after.header.layer, 2);
    EXPECT_EQ(after.door.openingBase.height, before.door.openingBase.height);
    EXPECT_EQ(after.door.objLoc, before.door.objLoc);

    // true counts as 1.
    ASSERT_TRUE(Run("modify_element", {{"element_guid", door}, {"layer", true}}).success);
    EXPECT_EQ(Element(door).header.layer, 1);
}

TEST_F(ModifyElementTest, OnlyTheGuidStillRunsOneStep)
{
    const std::string door = Text(HostTesting::AddFixture(API_DoorID, 0, HostTesting::AddWall(0, 0, 5, 0)));
    const auto before = TakeSnapshot();
    ExpectOneModifyStep(Run("modify_element", {{"element_guid", door}}), door);
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
}

TEST_F(ModifyElementTest, StoryKeepsTheLowSixteenBits)
{
    const std::string wall = Text(HostTesting::AddWall(0.0, 0.0, 5.0, 0.0, 1));
    // 65536 + 2 wraps to story 2, which the default project has.
    ExpectOneModifyStep(Run("modify_element", {{"element_guid", wall}, {"story", 65538}}), wall);
    EXPECT_EQ(Element(wall).header.floorInd, 2);
}

TEST_F(ModifyElementTest, UndoRestoresTheElement)
{
    const std::string wall = Text(HostTesting::AddWall(0.0, 0.0, 5.0, 0.0));
    const auto before = TakeSnapshot();
    ASSERT_TRUE(Run("modify_element", {{"element_guid", wall}, {"height", 9.5}, {"end_x", 1.0}, {"layer", 2}}).success);
    ASSERT_TRUE(UndoLast());
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
}

// ---- refusals ----------------------------------------------------------------------------

TEST_F(ModifyElementTest, MissingOrEmptyGuidIsRequired)
{
    EXPECT_EQ(Run("modify_element", json::object()).error, "element_guid is required");
    EXPECT_EQ(Run("modify_element", {{"element_guid", ""}, {"height", 1.0}}).error, "element_guid is required");
    EXPECT_EQ(UndoStepCount(), 0u);
}

TEST_F(ModifyElementTest, UnknownGuidIsNotFoundWithTheTextAsSent)
{
    HostTesting::AddWall(0.0, 0.0, 5.0, 0.0);
    const auto before = TakeSnapshot();

    ToolResult result = Run("modify_element", {{"element_guid", kAbsentGuid}, {"height", 1.0}});
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.error, std::string("Element not found: ") + kAbsentGuid);

    result = Run("modify_element", {{"element_guid", "not a guid"}});
    EXPECT_EQ(result.error, "Element not found: not a guid");
    ExpectUnchanged(before);
}

TEST_F(ModifyElementTest, HostRefusalsReportTheCodeAndChangeNothing)
{
    const std::string wall = Text(HostTesting::AddWall(0.0, 0.0, 5.0, 0.0));
    Int32 layerCount = 0;
    ASSERT_EQ(ACAPI_Attribute_GetNum(API_LayerID, &layerCount), NoError);
    const auto before = TakeSnapshot();

    ToolResult result = Run("modify_element", {{"element_guid", wall}, {"height", 4.0}, {"layer", layerCount + 7}});
    EXPECT_EQ(result.error, "ModifyElement ACAPI error: " + std::to_string(APIERR_BADINDEX));

    result = Run("modify_element", {{"element_guid", wall}, {"story", 40}});
    EXPECT_EQ(result.error, "ModifyElement ACAPI error: " + std::to_string(APIERR_BADINDEX));
    ExpectUnchanged(before);
}

TEST_F(ModifyElementTest, AWallCannotBeShortenedPastItsOpenings)
{
    const API_Guid wall = HostTesting::AddWall(0.0, 0.0, 6.0, 0.0);
    const API_Guid door = HostTesting::AddFixture(API_DoorID, 0, wall);
    const double doorAt = Element(Text(door)).door.objLoc;
    const auto before = TakeSnapshot();

    EXPECT_EQ(Run("modify_element", {{"element_guid", Text(wall)}, {"end_x", doorAt / 2.0}}).error,
              "ModifyElement ACAPI error: " + std::to_string(APIERR_BADPARS));
    ExpectUnchanged(before);

    // Still long enough for the door.
    ExpectOneModifyStep(Run("modify_element", {{"element_guid", Text(wall)}, {"end_x", doorAt + 0.5}}), Text(wall));
    EXPECT_EQ(Element(Text(wall)).wall.endC.x, doorAt + 0.5);
}

TEST_F(ModifyElementTest, AWallTakesItsOpeningsToItsNewStory)
{
    const API_Guid wall = HostTesting::AddWall(0.0, 0.0, 6.0, 0.0, 1);
    const std::string door = Text(HostTesting::AddFixture(API_DoorID, 1, wall));
    const auto before = TakeSnapshot();

    // The door alone cannot leave the story of its wall.
    EXPECT_EQ(Run("modify_element", {{"element_guid", door}, {"story", 2}}).error,
              "ModifyElement ACAPI error: " + std::to_string(APIERR_BADPARS));
    ExpectUnchanged(before);

    ExpectOneModifyStep(Run("modify_element", {{"element_guid", Text(wall)}, {"story", 2}}), Text(wall));
    EXPECT_EQ(Element(Text(wall)).header.floorInd, 2);
    EXPECT_EQ(Element(door).header.floorInd, 2);
    ASSERT_TRUE(UndoLast());
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
}

TEST_F(ModifyElementTest, WrongJsonTypesFailBeforeAnyChange)
{
    const std::string wall = Text(HostTesting::AddWall(0.0, 0.0, 5.0, 0.0));
    const auto before = TakeSnapshot();

    ToolResult result = Run("modify_element", {{"element_guid", wall}, {"start_x", 2.0}, {"height", "3"}});
    EXPECT_FALSE(result.success);
    EXPECT_NE(result.error.find("type must be number"), std::string::npos) << result.error;

    EXPECT_FALSE(Run("modify_element", {{"element_guid", wall}, {"end_y", nullptr}}).success);
    EXPECT_NE(Run("modify_element", {{"element_guid", wall}, {"thickness", true}}).error.find("type must be number"),
              std::string::npos);
    EXPECT_FALSE(Run("modify_element", {{"element_guid", wall}, {"layer", "2"}}).success);
    EXPECT_NE(Run("modify_element", {{"element_guid", 12}}).error.find("type must be string"), std::string::npos);
    EXPECT_NE(Run("modify_element", json::array({wall})).error.find("cannot use value()"), std::string::npos);
    // Out of the 32-bit range: refused rather than converted.
    EXPECT_FALSE(Run("modify_element", {{"element_guid", wall}, {"layer", 1e20}}).success);
    EXPECT_FALSE(Run("modify_element", {{"element_guid", wall}, {"story", -1e12}}).success);
    ExpectUnchanged(before);
}
