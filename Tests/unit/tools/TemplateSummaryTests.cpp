// The template summary over fixture projects: census, plan box, rooms and their guesses,
// stories, the copied inputs and the text form.

#include "TemplateFixture.hpp"
#include "tools/library/TemplateSummary.hpp"

namespace {

class TemplateSummaryTest : public TemplateTest {
protected:
    json Summary(const json& input = json::object())
    {
        return BuildTemplateSummary(input, "House", "2026-01-31T09:05:00Z").summary;
    }
};

const char* const kBoxKeys[] = {"bbox", "footprint", "approx_sqm", "approx_sqm_source", "approx_sqm_confidence"};

TEST_F(TemplateSummaryTest, BoxComesFromWallsColumnsAndZonesOnly)
{
    struct Case {
        const char* name;
        std::function<void()> build;
        json bbox;
        const char* footprint;
        double sqm;
    };
    const Case cases[] = {
        {"wall and column",
         [] {
             HostTesting::AddWall(0, 0, 10, 0);
             AddColumn(2, 6);
         },
         {{"max_x", 10.0}, {"max_y", 6.0}, {"min_x", 0.0}, {"min_y", 0.0}},
         "10.0m x 6.0m",
         60.0},
        {"zone position",
         [] {
             AddZone("", -2, -1);
             AddZone("Hall", 1.5, 2.5);
         },
         {{"max_x", 1.5}, {"max_y", 2.5}, {"min_x", -2.0}, {"min_y", -1.0}},
         "3.5m x 3.5m",
         12.25},
        {"2D and other 3D types only",
         [] {
             for (API_ElemTypeID t : {API_LineID, API_TextID, API_HatchID, API_SlabID, API_BeamID})
                 HostTesting::AddFixture(t);
         },
         nullptr, "", 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTesting::ResetProject();
        c.build();
        const json summary = Summary();
        if (c.bbox.is_null()) {
            for (const char* key : kBoxKeys) EXPECT_FALSE(summary.contains(key)) << key;
            EXPECT_GT(summary["total_elements"].get<int>(), 0);
            continue;
        }
        EXPECT_EQ(summary["bbox"], c.bbox);
        EXPECT_EQ(summary["footprint"], c.footprint);
        EXPECT_DOUBLE_EQ(summary["approx_sqm"].get<double>(), c.sqm);
    }
}

TEST_F(TemplateSummaryTest, RoomsAndTheirGuesses)
{
    for (const char* name : {"BATHROOM", "Guest WC", "En-Suite", "Master Bedroom", "", "Bed 3", "Kitchen"})
        AddZone(name, 1, 1);
    const json summary = Summary();
    EXPECT_EQ(summary["rooms"], json::parse(R"([{"name":"BATHROOM"},{"name":"Guest WC"},{"name":"En-Suite"},
        {"name":"Master Bedroom"},{"name":"Bed 3"},{"name":"Kitchen"}])"));
    EXPECT_EQ(summary["bathroom_count"], 3);
    EXPECT_EQ(summary["bedroom_count"], 2);
    EXPECT_EQ(summary["counts"]["zones"], 7);  // the unnamed zone still counts
}

TEST_F(TemplateSummaryTest, ARoomNameFillingItsWholeFieldIsReadNoFurther)
{
    API_Element zone = HostTesting::MakeElement(API_ZoneID);
    std::string expected;
    for (size_t i = 0; i < 256; ++i) {  // no terminator anywhere
        zone.zone.roomName[i] = u"bedr"[i % 4];
        expected += "bedr"[i % 4];
    }
    HostTesting::AddElement(zone);
    const json summary = Summary();
    EXPECT_EQ(summary["rooms"][0]["name"], expected);
    EXPECT_EQ(summary["bedroom_count"], 1);
}

TEST_F(TemplateSummaryTest, HostFailuresOnlyThinTheSummary)
{
    HostTesting::AddWall(0, 0, 4, 0);
    const API_Guid unreadable = HostTesting::AddWall(0, 0, 100, 100);
    AddColumn(1, 1);
    HostTesting::AddFixture(API_SlabID);
    HostTesting::InjectFailure({"ACAPI_Environment", APIERR_GENERAL});
    HostTesting::InjectFailure({"ACAPI_Element_Get", APIERR_BADID, 0, -1, unreadable});
    HostTesting::FailureRule slabs{"ACAPI_Element_GetElemList", APIERR_GENERAL};
    slabs.typeID = API_SlabID;
    HostTesting::InjectFailure(slabs);

    const json summary = Summary();
    EXPECT_EQ(summary["stories"], json::array());
    EXPECT_EQ(summary["counts"], json::parse(R"({"columns":1,"walls":2})"));
    EXPECT_EQ(summary["total_elements"], 3);
    EXPECT_EQ(summary["bbox"], json::parse(R"({"max_x":4.0,"max_y":1.0,"min_x":0.0,"min_y":0.0})"));
}

}  // namespace
