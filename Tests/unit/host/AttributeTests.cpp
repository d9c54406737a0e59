#include "HostFixture.hpp"

namespace {

class Attributes : public HostTest {
protected:
    static API_Attribute ByIndex(API_AttrTypeID type, Int32 index, GSErrCode* code = nullptr)
    {
        API_Attribute a;
        BNClear(a);
        a.header.typeID = type;
        a.header.index = index;
        GSErrCode c = ACAPI_Attribute_Get(&a);
        if (code) *code = c;
        return a;
    }

    static API_Attribute ByName(API_AttrTypeID type, const char* name, GSErrCode* code)
    {
        API_Attribute a;
        BNClear(a);
        a.header.typeID = type;
        std::strncpy(a.header.name, name, sizeof a.header.name - 1);
        *code = ACAPI_Attribute_Get(&a);
        return a;
    }
};

TEST_F(Attributes, TheDefaultProjectHasEveryTable)
{
    const API_AttrTypeID types[] = {API_PenID, API_LayerID, API_LinetypeID, API_FilltypeID, API_CompWallID, API_MaterialID,
                                    API_BuildingMaterialID};
    for (API_AttrTypeID type : types) {
        Int32 count = 0;
        ASSERT_EQ(ACAPI_Attribute_GetNum(type, &count), NoError) << type;
        EXPECT_GE(count, 4) << type;
        for (Int32 i = 1; i <= count; ++i) {
            GSErrCode code;
            API_Attribute a = ByIndex(type, i, &code);
            EXPECT_EQ(code, NoError) << type << "/" << i;
            EXPECT_EQ(a.header.index, i);
            EXPECT_EQ(a.header.typeID, type);
            EXPECT_NE(a.header.name[0], '\0') << type << "/" << i;
        }
    }
}

TEST_F(Attributes, PensRunFromOneTo255WithUnitColours)
{
    Int32 count = 0;
    ASSERT_EQ(ACAPI_Attribute_GetNum(API_PenID, &count), NoError);
    EXPECT_EQ(count, 255);
    bool coloured = false;
    for (Int32 i = 1; i <= 255; ++i) {
        API_Attribute pen = ByIndex(API_PenID, i);
        for (double c : {pen.pen.rgb.f_red, pen.pen.rgb.f_green, pen.pen.rgb.f_blue}) {
            EXPECT_GE(c, 0.0);
            EXPECT_LE(c, 1.0);
        }
        coloured = coloured || pen.pen.rgb.f_red != pen.pen.rgb.f_blue;
        EXPECT_GT(pen.pen.width, 0.0);
    }
    EXPECT_TRUE(coloured);
}

TEST_F(Attributes, LayersAreFoundByNameWhenTheIndexIsZero)
{
    GSErrCode code;
    API_Attribute hidden = ByName(API_LayerID, "Hidden Guides", &code);
    ASSERT_EQ(code, NoError);
    EXPECT_GT(hidden.header.index, 0);
    EXPECT_TRUE(hidden.header.flags & APILay_Hidden);
    EXPECT_STREQ(ByIndex(API_LayerID, hidden.header.index).header.name, "Hidden Guides");

    ByName(API_LayerID, "hidden guides", &code);
    EXPECT_EQ(code, APIERR_BADNAME) << "names match exactly";
    ByName(API_LayerID, "No Such Layer", &code);
    EXPECT_EQ(code, APIERR_BADNAME);
    EXPECT_EQ(code, -2130313113);
    ByName(API_LayerID, "", &code);
    EXPECT_EQ(code, APIERR_BADINDEX);
}

TEST_F(Attributes, IndicesOutsideTheTableAndDeletedOnes)
{
    GSErrCode code;
    Int32 count = 0;
    ACAPI_Attribute_GetNum(API_LayerID, &count);
    ByIndex(API_LayerID, count + 1, &code);
    EXPECT_EQ(code, APIERR_BADINDEX);
    EXPECT_EQ(code, -2130313114);
    ByIndex(API_LayerID, -3, &code);
    EXPECT_EQ(code, APIERR_BADINDEX);
    HostTesting::DeleteAttribute(API_LayerID, 3);
    ByIndex(API_LayerID, 3, &code);
    EXPECT_EQ(code, APIERR_DELETED);
    Int32 after = 0;
    ACAPI_Attribute_GetNum(API_LayerID, &after);
    EXPECT_EQ(after, count) << "a deleted index still counts";
    ByIndex(API_AttrTypeID(42), 1, &code);
    EXPECT_EQ(code, APIERR_BADID);
}

TEST_F(Attributes, CountIsTheHighestIndexEvenWithGaps)
{
    API_Attribute far = HostTesting::MakeLayer("Far Away");
    far.header.index = 40;
    HostTesting::SetAttribute(far);
    Int32 count = 0;
    ASSERT_EQ(ACAPI_Attribute_GetNum(API_LayerID, &count), NoError);
    EXPECT_EQ(count, 40);
    GSErrCode code;
    ByIndex(API_LayerID, 39, &code);
    EXPECT_EQ(code, APIERR_DELETED);
}

TEST_F(Attributes, CreatingALayerTakesTheNextIndex)
{
    Int32 count = 0;
    ACAPI_Attribute_GetNum(API_LayerID, &count);
    API_Attribute layer = HostTesting::MakeLayer("Phase 1 - Site");
    ASSERT_EQ(ACAPI_Attribute_Create(&layer), NoError);
    EXPECT_EQ(layer.header.index, count + 1);
    GSErrCode code;
    API_Attribute back = ByName(API_LayerID, "Phase 1 - Site", &code);
    EXPECT_EQ(code, NoError);
    EXPECT_EQ(back.header.index, count + 1);
    EXPECT_EQ(back.header.flags, 0);
}

TEST_F(Attributes, CreateRefusesEmptyDuplicateAndPenRecords)
{
    API_Attribute empty = HostTesting::MakeLayer("");
    EXPECT_EQ(ACAPI_Attribute_Create(&empty), APIERR_BADNAME);
    API_Attribute dup = HostTesting::MakeLayer("Furniture");
    EXPECT_EQ(ACAPI_Attribute_Create(&dup), APIERR_ATTREXIST);
    EXPECT_EQ(dup.header.index, 5) << "the existing layer's index comes back";
    API_Attribute pen = HostTesting::MakePen(0, 0.1, 0.2, 0.3);
    EXPECT_EQ(ACAPI_Attribute_Create(&pen), APIERR_BADID);
    Int32 pens = 0;
    ACAPI_Attribute_GetNum(API_PenID, &pens);
    EXPECT_EQ(pens, 255);
}

TEST_F(Attributes, ModifyReplacesFlagsNameAndPenData)
{
    API_Attribute layer = ByIndex(API_LayerID, 2);
    layer.header.flags = Int16(layer.header.flags | APILay_Locked | 0x0100);
    ASSERT_EQ(ACAPI_Attribute_Modify(&layer), NoError);
    EXPECT_EQ(ByIndex(API_LayerID, 2).header.flags, Int16(APILay_Locked | 0x0100));

    API_Attribute pen = HostTesting::MakePen(7, 0.25, 0.5, 1.0, 0.7);
    ASSERT_EQ(ACAPI_Attribute_Modify(&pen), NoError);
    API_Attribute back = ByIndex(API_PenID, 7);
    EXPECT_EQ(back.pen.rgb.f_red, 0.25);
    EXPECT_EQ(back.pen.rgb.f_blue, 1.0);
    EXPECT_EQ(back.pen.width, 0.7);
}

TEST_F(Attributes, ModifyRefusesBadRecordsAndChangesNothing)
{
    const API_Attribute before = ByIndex(API_PenID, 7);
    API_Attribute pen = HostTesting::MakePen(7, 1.5, 0.5, 0.5);
    EXPECT_EQ(ACAPI_Attribute_Modify(&pen), APIERR_BADPARS);
    pen = HostTesting::MakePen(7, -0.1, 0.5, 0.5);
    EXPECT_EQ(ACAPI_Attribute_Modify(&pen), APIERR_BADPARS);
    API_Attribute after = ByIndex(API_PenID, 7);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);

    API_Attribute missing = HostTesting::MakeLayer("Ghost");
    missing.header.index = 900;
    EXPECT_EQ(ACAPI_Attribute_Modify(&missing), APIERR_BADINDEX);
    API_Attribute clash = ByIndex(API_LayerID, 2);
    std::strcpy(clash.header.name, "Furniture");
    EXPECT_EQ(ACAPI_Attribute_Modify(&clash), APIERR_ATTREXIST);
}

TEST_F(Attributes, LongNamesAreCutAndTerminated)
{
    API_Attribute layer;
    BNClear(layer);
    layer.header.typeID = API_LayerID;
    std::memset(layer.header.name, 'x', sizeof layer.header.name);   // no terminator at all
    ASSERT_EQ(ACAPI_Attribute_Create(&layer), NoError);
    API_Attribute back = ByIndex(API_LayerID, layer.header.index);
    EXPECT_EQ(std::strlen(back.header.name), 255u);
}

}  // namespace

namespace {

class AttributeFixtures : public HostTest {};

TEST_F(AttributeFixtures, EveryCreatableTypeTakesANewNamedEntry)
{
    for (API_AttrTypeID type : {API_LayerID, API_LinetypeID, API_FilltypeID, API_CompWallID, API_MaterialID, API_BuildingMaterialID}) {
        Int32 before = 0;
        ACAPI_Attribute_GetNum(type, &before);
        API_Attribute a = HostTesting::MakeAttribute(type, "Added by test");
        ASSERT_EQ(ACAPI_Attribute_Create(&a), NoError) << type;
        API_Attribute back;
        ASSERT_TRUE(HostTesting::GetAttribute(type, before + 1, &back)) << type;
        EXPECT_STREQ(back.header.name, "Added by test");
        EXPECT_NE(back.header.guid, APINULLGuid);
    }
}

}  // namespace
