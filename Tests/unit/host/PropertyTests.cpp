// The host's properties and classifications: the default project's groups and definitions,
// defaults against an element's own values, classifications and refusals.

#include "HostTestingProperties.hpp"
#include "QuillmereTest.hpp"

namespace {

using PropertyTest = QuillmereTest;

std::string Utf8(const GS::UniString& text) { return text.ToStdString(); }

TEST_F(PropertyTest, AnElementHoldsTheDefaultUntilItHasItsOwnValue)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 1, 0);
    const API_Guid rating = HostTesting::DefaultPropertyDefinition("General Ratings", "Acoustic Rating");
    API_Property property;
    ASSERT_EQ(ACAPI_Element_GetPropertyValue(wall, rating, property), NoError);
    EXPECT_TRUE(property.isDefault);
    EXPECT_EQ(property.value.singleVariant.variant.intValue, 45);
    EXPECT_EQ(Utf8(property.definition.name), "Acoustic Rating");

    HostTesting::SetPropertyValue(wall, rating, HostTesting::IntegerVariant(52));
    ASSERT_EQ(ACAPI_Element_GetPropertyValue(wall, rating, property), NoError);
    EXPECT_FALSE(property.isDefault);
    EXPECT_EQ(property.value.singleVariant.variant.intValue, 52);
}

TEST_F(PropertyTest, UnknownElementsAndDefinitionsAreRefused)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 1, 0);
    const API_Guid fire = HostTesting::DefaultPropertyDefinition("General Ratings", "Fire Resistance Rating");
    API_Property property;
    GS::Array<API_PropertyDefinition> definitions;
    EXPECT_EQ(ACAPI_Element_GetPropertyValue(APINULLGuid, fire, property), APIERR_BADID);
    EXPECT_EQ(ACAPI_Element_GetPropertyValue(wall, wall, property), APIERR_BADID);
    EXPECT_EQ(ACAPI_Property_GetPropertyDefinitions(wall, definitions), APIERR_BADID);
}

TEST_F(PropertyTest, ClassificationsOneItemPerSystem)
{
    const API_Guid slab = HostTesting::AddFixture(API_SlabID);
    GS::Array<GS::Pair<API_Guid, API_Guid>> pairs;
    ASSERT_EQ(ACAPI_Element_GetClassificationItems(slab, pairs), NoError);
    EXPECT_TRUE(pairs.IsEmpty());

    const API_Guid other = HostTesting::AddClassificationSystem("Other System");
    const API_Guid otherItem = HostTesting::AddClassificationItem(other, "X1", "Thing");
    HostTesting::ClassifyElement(slab, HostTesting::DefaultClassificationItem("QC-10"));
    HostTesting::ClassifyElement(slab, otherItem);
    HostTesting::ClassifyElement(slab, HostTesting::DefaultClassificationItem("QC-20"));  // replaces QC-10
    ASSERT_EQ(ACAPI_Element_GetClassificationItems(slab, pairs), NoError);
    ASSERT_EQ(pairs.GetSize(), 2u);
    EXPECT_EQ(pairs[0].first, HostTesting::DefaultClassificationSystem());
    EXPECT_EQ(pairs[0].second, HostTesting::DefaultClassificationItem("QC-20"));
    EXPECT_EQ(pairs[1].second, otherItem);

    API_ClassificationItem item;
    item.guid = pairs[0].second;
    ASSERT_EQ(ACAPI_Classification_GetClassificationItem(item), NoError);
    EXPECT_EQ(Utf8(item.id), "QC-20");
    EXPECT_EQ(Utf8(item.name), "Slabs");
    item.guid = slab;
    EXPECT_EQ(ACAPI_Classification_GetClassificationItem(item), APIERR_BADID);
    EXPECT_EQ(ACAPI_Element_GetClassificationItems(APINULLGuid, pairs), APIERR_BADID);
}

}  // namespace
