#include "HostFixture.hpp"

namespace {

class Attributes : public HostTest {
protected:
    static API_Attribute Get(API_AttrTypeID type, Int32 index, const char* name = nullptr, GSErrCode* code = nullptr)
    {
        API_Attribute a;
        BNClear(a);
        a.header.typeID = type;
        a.header.index = index;
        if (name) std::strncpy(a.header.name, name, sizeof a.header.name - 1);
        GSErrCode c = ACAPI_Attribute_Get(&a);
        if (code) *code = c;
        return a;
    }

    static GSErrCode CodeOf(API_AttrTypeID type, Int32 index, const char* name = nullptr)
    {
        GSErrCode code;
        Get(type, index, name, &code);
        return code;
    }
};

TEST_F(Attributes, TheDefaultProjectHasEveryTableAndUnitPens)
{
    for (API_AttrTypeID type : {API_PenID, API_LayerID, API_LinetypeID, API_FilltypeID, API_CompWallID, API_MaterialID,
                                API_BuildingMaterialID}) {
        const Int32 count = AttributeCount(type);
        EXPECT_GE(count, 4) << type;
        for (Int32 i = 1; i <= count; ++i) {
            GSErrCode code;
            API_Attribute a = Get(type, i, nullptr, &code);
            EXPECT_EQ(code, NoError) << type << "/" << i;
            EXPECT_EQ(a.header.index, i);
            EXPECT_EQ(a.header.typeID, type);
            EXPECT_NE(a.header.name[0], '\0') << type << "/" << i;
        }
    }
    EXPECT_EQ(AttributeCount(API_PenID), 255);
    bool coloured = false;
    for (Int32 i = 1; i <= 255; ++i) {
        API_Attribute pen = Get(API_PenID, i);
        for (double c : {pen.pen.rgb.f_red, pen.pen.rgb.f_green, pen.pen.rgb.f_blue}) {
            EXPECT_GE(c, 0.0);
            EXPECT_LE(c, 1.0);
        }
        coloured = coloured || pen.pen.rgb.f_red != pen.pen.rgb.f_blue;
        EXPECT_GT(pen.pen.width, 0.0);
    }
    EXPECT_TRUE(coloured);
}

TEST_F(Attributes, LookupByExactNameWhenTheIndexIsZero)
{
    GSErrCode code;
    API_Attribute hidden = Get(API_LayerID, 0, "Hidden Guides", &code);
    ASSERT_EQ(code, NoError);
    EXPECT_GT(hidden.header.index, 0);
    EXPECT_TRUE(hidden.header.flags & APILay_Hidden);
    EXPECT_STREQ(Get(API_LayerID, hidden.header.index).header.name, "Hidden Guides");
    EXPECT_EQ(CodeOf(API_LayerID, 0, "hidden guides"), APIERR_BADNAME) << "names match exactly";
    EXPECT_EQ(CodeOf(API_LayerID, 0, "No Such Layer"), APIERR_BADNAME);
    EXPECT_EQ(APIERR_BADNAME, -2130313113);
    EXPECT_EQ(CodeOf(API_LayerID, 0, ""), APIERR_BADINDEX);
}

TEST_F(Attributes, BadAndDeletedIndicesAndTheCountWithGaps)
{
    const Int32 count = AttributeCount(API_LayerID);
    EXPECT_EQ(CodeOf(API_LayerID, count + 1), APIERR_BADINDEX);
    EXPECT_EQ(APIERR_BADINDEX, -2130313114);
    EXPECT_EQ(CodeOf(API_LayerID, -3), APIERR_BADINDEX);
    EXPECT_EQ(CodeOf(API_AttrTypeID(42), 1), APIERR_BADID);
    HostTesting::DeleteAttribute(API_LayerID, 3);
    EXPECT_EQ(CodeOf(API_LayerID, 3), APIERR_DELETED);
    EXPECT_EQ(AttributeCount(API_LayerID), count) << "a deleted index still counts";

    API_Attribute far = HostTesting::MakeLayer("Far Away");
    far.header.index = 40;
    HostTesting::SetAttribute(far);
    EXPECT_EQ(AttributeCount(API_LayerID), 40) << "the count is the highest index";
    EXPECT_EQ(CodeOf(API_LayerID, 39), APIERR_DELETED);
}

TEST_F(Attributes, CreateTakesTheNextIndexForEveryCreatableType)
{
    for (API_AttrTypeID type : {API_LayerID, API_LinetypeID, API_FilltypeID, API_CompWallID, API_MaterialID, API_BuildingMaterialID}) {
        const Int32 before = AttributeCount(type);
        API_Attribute a = HostTesting::MakeAttribute(type, "Added by test");
        ASSERT_EQ(ACAPI_Attribute_Create(&a), NoError) << type;
        EXPECT_EQ(a.header.index, before + 1);
        API_Attribute back;
        ASSERT_TRUE(HostTesting::GetAttribute(type, before + 1, &back)) << type;
        EXPECT_STREQ(back.header.name, "Added by test");
        EXPECT_NE(back.header.guid, APINULLGuid);
    }
    GSErrCode code;
    API_Attribute layer = Get(API_LayerID, 0, "Added by test", &code);
    EXPECT_EQ(code, NoError);
    EXPECT_EQ(layer.header.flags, 0);

    BNClear(layer);
    layer.header.typeID = API_LayerID;
    std::memset(layer.header.name, 'x', sizeof layer.header.name);   // no terminator at all
    ASSERT_EQ(ACAPI_Attribute_Create(&layer), NoError);
    EXPECT_EQ(std::strlen(Get(API_LayerID, layer.header.index).header.name), 255u) << "long names are cut";
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
    EXPECT_EQ(AttributeCount(API_PenID), 255);
}

TEST_F(Attributes, ModifyReplacesFlagsNameAndPenData)
{
    API_Attribute layer = Get(API_LayerID, 2);
    layer.header.flags = Int16(layer.header.flags | APILay_Locked | 0x0100);
    ASSERT_EQ(ACAPI_Attribute_Modify(&layer), NoError);
    EXPECT_EQ(Get(API_LayerID, 2).header.flags, Int16(APILay_Locked | 0x0100));
    API_Attribute pen = HostTesting::MakePen(7, 0.25, 0.5, 1.0, 0.7);
    ASSERT_EQ(ACAPI_Attribute_Modify(&pen), NoError);
    API_Attribute back = Get(API_PenID, 7);
    EXPECT_EQ(back.pen.rgb.f_red, 0.25);
    EXPECT_EQ(back.pen.rgb.f_blue, 1.0);
    EXPECT_EQ(back.pen.width, 0.7);
}

TEST_F(Attributes, BadRecordsAndColoursOutsideZeroToOneAreRefusedAndChangeNothing)
{
    const API_Attribute penBefore = Get(API_PenID, 7);
    for (double red : {1.5, -0.1}) {
        API_Attribute pen = HostTesting::MakePen(7, red, 0.5, 0.5);
        EXPECT_EQ(ACAPI_Attribute_Modify(&pen), APIERR_BADPARS) << red;
    }
    API_Attribute penAfter = Get(API_PenID, 7);
    EXPECT_EQ(std::memcmp(&penBefore, &penAfter, sizeof penBefore), 0);

    API_Attribute missing = HostTesting::MakeLayer("Ghost");
    missing.header.index = 900;
    EXPECT_EQ(ACAPI_Attribute_Modify(&missing), APIERR_BADINDEX);
    API_Attribute clash = Get(API_LayerID, 2);
    std::strcpy(clash.header.name, "Furniture");
    EXPECT_EQ(ACAPI_Attribute_Modify(&clash), APIERR_ATTREXIST);

    const Int32 surfaces = AttributeCount(API_MaterialID);
    API_Attribute surface = HostTesting::MakeAttribute(API_MaterialID, "Glowing");
    surface.material.surfaceRGB = {0.5, 2.0, 0.5};
    EXPECT_EQ(ACAPI_Attribute_Create(&surface), APIERR_BADPARS);
    EXPECT_EQ(AttributeCount(API_MaterialID), surfaces) << "nothing was stored";
    const API_Attribute before = Get(API_MaterialID, 1);
    API_Attribute changed = before;
    changed.material.surfaceRGB.f_blue = -0.5;
    EXPECT_EQ(ACAPI_Attribute_Modify(&changed), APIERR_BADPARS);
    const API_Attribute kept = Get(API_MaterialID, 1);
    EXPECT_EQ(std::memcmp(&before, &kept, sizeof before), 0);
}

}  // namespace
