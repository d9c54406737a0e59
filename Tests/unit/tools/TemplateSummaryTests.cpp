// The template summary: the plan box from walls, columns and zones only, the room-name guesses
// (bytes of other scripts never lower-cased as signed characters), names read within their
// field, numbers printed with a point in any locale, and host failures that only thin it.
#include "QuillmereTest.hpp"
#include "tools/library/TemplateSummary.hpp"

namespace {

API_Guid AddZone(const std::u16string& name, double x, double y)
{
    API_Element zone = HostTesting::MakeElement(API_ZoneID);
    std::copy(name.begin(), name.end(), zone.zone.roomName);
    zone.zone.roomName[name.size()] = 0;
    zone.zone.pos = {x, y};
    return HostTesting::AddElement(zone);
}

class TemplateSummary : public QuillmereTest {
protected:
    static json Summary() { return BuildTemplateSummary(json::object(), "House", "2026-01-31T09:05:00Z").summary; }
};

TEST(TemplateSummaryText, RoomGuessesFootprintAndCaptureTime)
{
    const std::pair<const char*, RoomKind> rooms[] = {
        {"Bedroom Ensuite", RoomKind::Bathroom},  // bathroom words win
        {"Powder Room", RoomKind::Bathroom},
        {"\xC3\x84RBEITSZIMMER", RoomKind::Other},
        {"\xFF\xFE\x80WC", RoomKind::Bathroom},
    };
    for (const auto& [name, kind] : rooms) EXPECT_EQ(ClassifyRoomName(name), kind) << name;
    EXPECT_EQ(FootprintText(12.25, 0.04), "12.2m x 0.0m");  // printf's rounding of the binary value
    EXPECT_EQ(FootprintText(1e20, 3.96), "100000000000000000000.0m x 4.0m");
    EXPECT_EQ(CaptureTimeText(1769850300), "2026-01-31T09:05:00Z");
}

TEST_F(TemplateSummary, TheBoxComesFromWallsColumnsAndZonesOnly)
{
    for (API_ElemTypeID t : {API_LineID, API_TextID, API_HatchID, API_SlabID, API_BeamID}) HostTesting::AddFixture(t);
    EXPECT_FALSE(Summary().contains("bbox"));
    HostTesting::AddWall(0, 0, 10, 0);
    API_Element column = HostTesting::MakeElement(API_ColumnID);
    column.column.origoPos = {2, 6};
    HostTesting::AddElement(column);
    AddZone(u"Hall", -2, -1);
    const json summary = Summary();
    EXPECT_EQ(summary["bbox"], json({{"max_x", 10.0}, {"max_y", 6.0}, {"min_x", -2.0}, {"min_y", -1.0}}));
    EXPECT_DOUBLE_EQ(summary["approx_sqm"].get<double>(), 84.0);
}

TEST_F(TemplateSummary, RoomsAreCountedByTheirGuessedKind)
{
    for (const char16_t* name : {u"BATHROOM", u"Guest WC", u"En-Suite", u"Master Bedroom", u"", u"Bed 3", u"Kitchen"})
        AddZone(name, 1, 1);
    API_Element full = HostTesting::MakeElement(API_ZoneID);
    for (size_t i = 0; i < 256; ++i) full.zone.roomName[i] = u"bedr"[i % 4];  // no terminator anywhere
    HostTesting::AddElement(full);
    const json summary = Summary();
    EXPECT_EQ(summary["rooms"].size(), 7u) << "the unnamed zone is no room";
    EXPECT_EQ(summary["rooms"][6]["name"].get<std::string>().size(), 256u);
    EXPECT_EQ(summary["bathroom_count"], 3);
    EXPECT_EQ(summary["bedroom_count"], 3);
    EXPECT_EQ(summary["counts"]["zones"], 8);
}

TEST_F(TemplateSummary, HostFailuresOnlyThinTheSummary)
{
    HostTesting::AddWall(0, 0, 4, 0);
    const API_Guid unreadable = HostTesting::AddWall(0, 0, 100, 100);
    HostTesting::AddFixture(API_SlabID);
    HostTesting::InjectFailure({"ACAPI_Environment", APIERR_GENERAL});
    HostTesting::InjectFailure({"ACAPI_Element_Get", APIERR_BADID, 0, -1, unreadable});
    HostTesting::FailureRule slabs{"ACAPI_Element_GetElemList", APIERR_GENERAL};
    slabs.typeID = API_SlabID;
    HostTesting::InjectFailure(slabs);
    const json summary = Summary();
    EXPECT_EQ(summary["stories"], json::array());
    EXPECT_EQ(summary["counts"], json::parse(R"({"walls":2})"));
    EXPECT_EQ(summary["bbox"], json::parse(R"({"max_x":4.0,"max_y":0.0,"min_x":0.0,"min_y":0.0})"));
}

}  // namespace
