// The host's property and classification writes: refused outside an undo step and for a value
// of the wrong type, a read-only definition or one the element does not have; an accepted write
// is taken back by undo.
#include "HostTestingProperties.hpp"
#include "QuillmereTest.hpp"

namespace {

using PropertyWriteTest = QuillmereTest;

API_Property Value(const std::string& group, const std::string& name, const API_Variant& value)
{
    API_Property property;
    property.definition.guid = HostTesting::DefaultPropertyDefinition(group, name);
    property.value.singleVariant.variant = value;
    return property;
}

TEST_F(PropertyWriteTest, RefusalsLeaveTheValueAndAnAcceptedWriteUndoes)
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
