// The host's selection and the selection tools: all-or-nothing changes, the selection kept in
// step with deletion, and undo that brings elements back but not their selection; and the
// host's property writes.
#include "HostTestingProperties.hpp"
#include "QuillmereTest.hpp"

namespace {

using SelectionTest = QuillmereTest;

TEST_F(SelectionTest, ModesChangeTheSelectionWholeOrNotAtAll)
{
    const API_Guid a = HostTesting::AddWall(0, 0, 5, 0);
    const API_Guid b = HostTesting::AddWall(0, 1, 5, 1);
    const API_Guid c = HostTesting::AddWall(0, 2, 5, 2);
    const struct {
        const char* name;
        json input;
        std::vector<API_Guid> after;
        std::string error;
    } steps[] = {
        {"replace", {{"element_guids", {Text(a), Text(b)}}}, {a, b}, ""},
        {"add keeps the order", {{"mode", "add"}, {"element_guids", {Text(c), Text(a)}}}, {a, b, c}, ""},
        {"remove", {{"mode", "remove"}, {"element_guids", {Text(b)}}}, {a, c}, ""},
        {"an unknown GUID", {{"element_guids", {Text(b), "nope"}}}, {a, c}, "Element not found: nope"},
        {"a bad mode",
         {{"mode", "toggle"}, {"element_guids", {Text(b)}}},
         {a, c},
         "mode must be replace, add or remove"},
        {"replace with nothing", {{"element_guids", json::array()}}, {}, ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        EXPECT_EQ(Run("select_elements", step.input).error, step.error);
        EXPECT_EQ(SelectedGuids(), step.after);
    }
    EXPECT_TRUE(UndoSteps().empty());
}

TEST_F(SelectionTest, DeletedElementsLeaveTheSelectionAndUndoDoesNotReselectThem)
{
    const API_Guid a = HostTesting::AddWall(0, 0, 5, 0);
    const API_Guid b = HostTesting::AddWall(0, 1, 5, 1);
    const API_Guid door = HostTesting::AddFixture(API_DoorID, 0, a);
    GS::Array<API_Neig> neigs;
    for (const API_Guid& guid : {a, b, door}) neigs.Push(API_Neig{APINeig_None, guid, 0, 0});
    ASSERT_EQ(ACAPI_Element_Select(neigs, true), NoError);
    ASSERT_EQ(DeleteInCommand(GS::Array<API_Guid>{a}), NoError);  // the door goes with its wall
    EXPECT_EQ(SelectedGuids(), std::vector<API_Guid>{b});
    const json page = json::parse(Run("get_selection", json::object()).message);
    EXPECT_EQ(page["total"], 1);
    EXPECT_EQ(page["elements"][0]["guid"], Text(b));
    ASSERT_TRUE(UndoLast());
    EXPECT_TRUE(HostTesting::ElementExists(a));
    EXPECT_EQ(SelectedGuids(), std::vector<API_Guid>{b});
}

API_Property Value(const std::string& group, const std::string& name, const API_Variant& value)
{
    API_Property property;
    property.definition.guid = HostTesting::DefaultPropertyDefinition(group, name);
    property.value.singleVariant.variant = value;
    return property;
}

// Property writes are refused outside an undo step, for a value of the wrong type, a read-only
// definition or one the element does not have; an accepted write is taken back by undo.
TEST_F(SelectionTest, PropertyWriteRefusalsLeaveTheValueAndAnAcceptedWriteUndoes)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    const API_Guid door = HostTesting::AddFixture(API_DoorID, 0, wall);
    const API_Property acoustic = Value("General Ratings", "Acoustic Rating", HostTesting::IntegerVariant(60));
    const struct {
        const char* name;
        API_Guid element;
        API_Property property;
        GSErrCode code;
    } writes[] = {
        {"a string for an integer", wall, Value("General Ratings", "Acoustic Rating", HostTesting::StringVariant("60")),
         APIERR_BADVALUE},
        {"a NUL in text", wall, Value("Project Data", "Status", HostTesting::StringVariant(std::string("a\0b", 3))),
         APIERR_BADVALUE},
        {"read-only", HostTesting::AddFixture(API_SlabID),
         Value("General Ratings", "Gross Area", HostTesting::RealVariant(1)), APIERR_READONLY},
        {"not for doors", door, Value("General Ratings", "Load Bearing", HostTesting::BooleanVariant(true)),
         APIERR_BADPROPERTY},
        {"no such element", APINULLGuid, acoustic, APIERR_BADID},
    };
    for (const auto& write : writes) {
        SCOPED_TRACE(write.name);
        EXPECT_EQ(Command([&] { return ACAPI_Element_SetProperty(write.element, write.property); }), write.code);
    }
    EXPECT_EQ(ACAPI_Element_SetProperty(wall, acoustic), APIERR_NEEDSUNDOSCOPE);
    EXPECT_EQ(ACAPI_Element_AddClassificationItem(wall, HostTesting::DefaultClassificationItem("QC-10")),
              APIERR_NEEDSUNDOSCOPE);
    EXPECT_TRUE(UndoSteps().empty());

    ASSERT_EQ(Command([&] { return ACAPI_Element_SetProperty(wall, acoustic); }), NoError);
    API_Property read;
    ASSERT_EQ(ACAPI_Element_GetPropertyValue(wall, acoustic.definition.guid, read), NoError);
    EXPECT_EQ(read.value.singleVariant.variant.intValue, 60);
    ASSERT_TRUE(UndoLast());
    ASSERT_EQ(ACAPI_Element_GetPropertyValue(wall, acoustic.definition.guid, read), NoError);
    EXPECT_TRUE(read.isDefault);
    ASSERT_EQ(HostTesting::Redo(), NoError);
    ASSERT_EQ(ACAPI_Element_GetPropertyValue(wall, acoustic.definition.guid, read), NoError);
    EXPECT_EQ(read.value.singleVariant.variant.intValue, 60);
}

}  // namespace
