// The host's attribute tables as the layer and pen tools reach them: lookup by index or exact
// name over deleted entries, the count as the highest index, and layers and pens refused with
// nothing stored or changed.

#include "QuillmereTest.hpp"

namespace {

class Attributes : public HostTest {};

TEST_F(Attributes, LookupsFindExactNamesOverGapsAndBadRecordsChangeNothing)
{
    HostTesting::DeleteAttribute(API_LayerID, 3);
    const Int32 count = AttributeCount(API_LayerID);
    API_Attribute far = HostTesting::MakeLayer("Far Away");
    far.header.index = count + 20;
    HostTesting::SetAttribute(far);
    EXPECT_EQ(AttributeCount(API_LayerID), count + 20) << "the count is the highest index";
    const struct {
        Int32 index;
        const char* name;
        GSErrCode code;
    } lookups[] = {{0, "Hidden Guides", NoError},
                   {0, "hidden guides", APIERR_BADNAME},
                   {0,
                    "Fa\xC3\xA7"
                    "ade Elements",
                    NoError},
                   {0, "Facade Elements", APIERR_BADNAME},
                   {0, "Purged", APIERR_BADNAME},
                   {3, nullptr, APIERR_DELETED},
                   {count + 19, nullptr, APIERR_DELETED},
                   {count + 21, nullptr, APIERR_BADINDEX}};
    for (const auto& l : lookups) EXPECT_EQ(AttrCode(API_LayerID, l.index, l.name), l.code) << l.index << l.name;

    API_Attribute ghost = HostTesting::MakeLayer("Ghost"), clash = GetAttr(API_LayerID, 2);
    ghost.header.index = 900;
    std::strcpy(clash.header.name, "Furniture");
    const struct {
        const char* what;
        API_Attribute record;
        bool create;
        GSErrCode code;
    } refusals[] = {
        {"empty name", HostTesting::MakeLayer(""), true, APIERR_BADNAME},
        {"taken name", HostTesting::MakeLayer("Furniture"), true, APIERR_ATTREXIST},
        {"no such index", ghost, false, APIERR_BADINDEX},
        {"renamed onto another", clash, false, APIERR_ATTREXIST},
        {"pen above 1", HostTesting::MakePen(7, 1.5, 0.5, 0.5), false, APIERR_BADPARS},
        {"pen below 0", HostTesting::MakePen(7, -0.1, 0.5, 0.5), false, APIERR_BADPARS},
    };
    for (const auto& r : refusals) {
        API_Attribute a = r.record;
        const API_AttrTypeID type = a.header.typeID;
        const Int32 entries = AttributeCount(type), index = a.header.index;
        const API_Attribute stored = r.create || index > entries ? a : GetAttr(type, index);
        EXPECT_EQ(r.create ? ACAPI_Attribute_Create(&a) : ACAPI_Attribute_Modify(&a), r.code) << r.what;
        EXPECT_EQ(AttributeCount(type), entries) << r.what;
        if (!r.create && index <= entries) {
            EXPECT_TRUE(Same(GetAttr(type, index), stored)) << r.what;
        }
        if (r.code == APIERR_ATTREXIST && r.create) {
            EXPECT_EQ(a.header.index, 5) << "the existing index comes back";
        }
    }
}

}  // namespace
