#include "QuillmereTest.hpp"

namespace {

class Attributes : public HostTest {};

TEST_F(Attributes, DefaultTablesUnitPensLookupByIndexOrExactNameAndTheCountWithGaps)
{
    // Every table but the pens has deleted indices below its count; the rest read back whole.
    for (API_AttrTypeID type : {API_PenID, API_LayerID, API_LinetypeID, API_FilltypeID, API_CompWallID, API_MaterialID,
                                API_BuildingMaterialID}) {
        const Int32 count = AttributeCount(type);
        EXPECT_GE(count, 4) << type;
        Int32 gaps = 0;
        for (Int32 i = 1; i <= count; ++i) {
            GSErrCode code;
            API_Attribute a = GetAttr(type, i, nullptr, &code);
            if (code == APIERR_DELETED) {
                ++gaps;
                EXPECT_LT(i, count) << type << ": gaps lie between readable entries";
                continue;
            }
            const bool named = a.header.name[0] != '\0';
            EXPECT_EQ(std::make_tuple(code, a.header.index, a.header.typeID, named),
                      std::make_tuple(NoError, i, type, true))
                << i;
        }
        EXPECT_EQ(gaps > 0, type != API_PenID) << type;
    }
    GSErrCode code;
    API_Attribute hidden = GetAttr(API_LayerID, 0, "Hidden Guides", &code);
    ASSERT_EQ(code, NoError);
    EXPECT_GT(hidden.header.index, 0);
    EXPECT_TRUE(hidden.header.flags & APILay_Hidden);
    EXPECT_STREQ(GetAttr(API_LayerID, hidden.header.index).header.name, "Hidden Guides");
    EXPECT_EQ(AttrCode(API_LayerID, 0, "hidden guides"), APIERR_BADNAME) << "names match exactly";
    const Int32 count = AttributeCount(API_LayerID);
    EXPECT_EQ(AttrCode(API_LayerID, count + 1), APIERR_BADINDEX);
    HostTesting::DeleteAttribute(API_LayerID, 3);
    EXPECT_EQ(AttrCode(API_LayerID, 3), APIERR_DELETED);
    EXPECT_EQ(AttributeCount(API_LayerID), count) << "a deleted index still counts";
    API_Attribute far = HostTesting::MakeLayer("Far Away");
    far.header.index = 40;
    HostTesting::SetAttribute(far);
    EXPECT_EQ(AttributeCount(API_LayerID), 40) << "the count is the highest index";
    EXPECT_EQ(AttrCode(API_LayerID, 39), APIERR_DELETED);
    EXPECT_EQ(AttrCode(API_LayerID, 0, "Purged"), APIERR_BADNAME) << "a deleted entry's old name finds nothing";
    GetAttr(API_LayerID, 0,
            "Fa\xC3\xA7"
            "ade Elements",
            &code);
    EXPECT_EQ(code, NoError);
    EXPECT_EQ(AttrCode(API_LayerID, 0, "Facade Elements"), APIERR_BADNAME);
}

TEST_F(Attributes, CreateTakesTheNextIndexAndCutsLongNamesModifyReplacesFlagsAndPenData)
{
    for (API_AttrTypeID type : {API_LayerID, API_BuildingMaterialID}) {
        const Int32 before = AttributeCount(type);
        API_Attribute a = HostTesting::MakeAttribute(type, "Added by test"), back;
        ASSERT_EQ(ACAPI_Attribute_Create(&a), NoError) << type;
        EXPECT_EQ(a.header.index, before + 1);
        ASSERT_TRUE(HostTesting::GetAttribute(type, before + 1, &back)) << type;
        EXPECT_STREQ(back.header.name, "Added by test");
        EXPECT_NE(back.header.guid, APINULLGuid);
    }
    API_Attribute layer = HostTesting::MakeLayer("");
    std::memset(layer.header.name, 'x', sizeof layer.header.name);  // no terminator at all
    ASSERT_EQ(ACAPI_Attribute_Create(&layer), NoError);
    EXPECT_EQ(std::strlen(GetAttr(API_LayerID, layer.header.index).header.name), 255u);

    layer = GetAttr(API_LayerID, 2);
    layer.header.flags = Int16(layer.header.flags | APILay_Locked | 0x0100);
    ASSERT_EQ(ACAPI_Attribute_Modify(&layer), NoError);
    EXPECT_EQ(GetAttr(API_LayerID, 2).header.flags, Int16(APILay_Locked | 0x0100));
    API_Attribute pen = HostTesting::MakePen(7, 0.25, 0.5, 1.0, 0.7);
    ASSERT_EQ(ACAPI_Attribute_Modify(&pen), NoError);
    API_Attribute back = GetAttr(API_PenID, 7);
    EXPECT_EQ(std::make_tuple(back.pen.rgb.f_red, back.pen.rgb.f_blue, back.pen.width),
              std::make_tuple(0.25, 1.0, 0.7));
}

TEST_F(Attributes, BadRecordsAreRefusedAndChangeNothing)
{
    API_Attribute empty = HostTesting::MakeLayer(""), dup = HostTesting::MakeLayer("Furniture");
    API_Attribute pen0 = HostTesting::MakePen(0, 0.1, 0.2, 0.3);
    EXPECT_EQ(ACAPI_Attribute_Create(&empty), APIERR_BADNAME);
    EXPECT_EQ(ACAPI_Attribute_Create(&dup), APIERR_ATTREXIST);
    EXPECT_EQ(dup.header.index, 5) << "the existing layer's index comes back";
    EXPECT_EQ(ACAPI_Attribute_Create(&pen0), APIERR_BADID);
    EXPECT_EQ(AttributeCount(API_PenID), 255);
    API_Attribute missing = HostTesting::MakeLayer("Ghost"), clash = GetAttr(API_LayerID, 2);
    missing.header.index = 900;
    EXPECT_EQ(ACAPI_Attribute_Modify(&missing), APIERR_BADINDEX);
    std::strcpy(clash.header.name, "Furniture");
    EXPECT_EQ(ACAPI_Attribute_Modify(&clash), APIERR_ATTREXIST);

    // Colours outside 0..1, on pens and surfaces, on create and modify.
    const API_Attribute penBefore = GetAttr(API_PenID, 7), surfaceBefore = GetAttr(API_MaterialID, 1);
    for (double red : {1.5, -0.1}) {
        API_Attribute pen = HostTesting::MakePen(7, red, 0.5, 0.5);
        EXPECT_EQ(ACAPI_Attribute_Modify(&pen), APIERR_BADPARS) << red;
    }
    EXPECT_TRUE(Same(GetAttr(API_PenID, 7), penBefore));
    const Int32 surfaces = AttributeCount(API_MaterialID);
    API_Attribute surface = HostTesting::MakeAttribute(API_MaterialID, "Glowing"), changed = surfaceBefore;
    surface.material.surfaceRGB = {0.5, 2.0, 0.5};
    EXPECT_EQ(ACAPI_Attribute_Create(&surface), APIERR_BADPARS);
    EXPECT_EQ(AttributeCount(API_MaterialID), surfaces) << "nothing was stored";
    changed.material.surfaceRGB.f_blue = -0.5;
    EXPECT_EQ(ACAPI_Attribute_Modify(&changed), APIERR_BADPARS);
    EXPECT_TRUE(Same(GetAttr(API_MaterialID, 1), surfaceBefore));
}

}  // namespace
