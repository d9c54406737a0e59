// The template summary's mended faults: room-name guesses that never lower-case bytes of other
// scripts as signed characters, names read within their field, numbers printed with a point in
// any locale; and host failures that only thin it.
#include "QuillmereTest.hpp"
#include "tools/library/TemplateSummary.hpp"

namespace {

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

TEST_F(TemplateSummary, ARoomNameFillingItsWholeFieldIsReadNoFurther)
{
    API_Element full = HostTesting::MakeElement(API_ZoneID);
    for (size_t i = 0; i < 256; ++i) full.zone.roomName[i] = u"bedr"[i % 4];  // no terminator anywhere
    HostTesting::AddElement(full);
    const json summary = Summary();
    EXPECT_EQ(summary["rooms"][0]["name"].get<std::string>().size(), 256u);
    EXPECT_EQ(summary["bedroom_count"], 1);
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
