// capture_project_template's mended faults: a failed save never passes an earlier module off as
// the new one, the summary counts as written only when it was, a storage reply that is not
// UTF-8 still makes valid text, and no key reaches a result or the log. The summary: room-name
// guesses that never lower-case bytes of other scripts as signed characters, names read within
// their field, numbers printed with a point in any locale; host failures only thin it.
#include <fstream>

#include "FakeStorage.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"
#include "core/DebugLog.hpp"
#include "core/HttpClient.hpp"
#include "tools/library/TemplateSummary.hpp"

namespace {

class TemplateCapture : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        Storage();  // every capture uploads to the fake
    }
    json Capture(const std::string& name)
    {
        const ToolResult result = Run("capture_project_template", {{"template_name", name}});
        lastMessage = result.message;
        return Data(result);
    }
    std::string Templates() { return HomeDir() + "/.quillmere/templates/"; }
    std::string lastMessage;
};

TEST_F(TemplateCapture, AFailedSaveNeverPassesAnEarlierModuleOffAsTheNewOne)
{
    HostTesting::AddWall(0, 0, 1, 0);
    ASSERT_EQ(Capture("T")["mod_exported"], true);
    const std::string earlier = TempFolder::Read(Templates() + "T.mod");
    Storage().Put("T.mod", "earlier upload");
    const size_t requests = Storage().RequestCount();
    HostTesting::AddWall(0, 0, 2, 0);
    HostTesting::FailNextCall("ACAPI_Automate", APIERR_GENERAL);
    EXPECT_FALSE(Run("capture_project_template", {{"template_name", "T"}}).success);
    EXPECT_EQ(TempFolder::Read(Templates() + "T.mod"), earlier) << "the earlier template is kept as it was";
    EXPECT_FALSE(std::filesystem::exists(Templates() + "T.mod.prev"));
    EXPECT_EQ(Storage().RequestCount(), requests) << "nothing uploaded under the new summary";
}

TEST_F(TemplateCapture, TheSummaryCountsAsWrittenOnlyWhenItWasAndBadReplyBytesAreReplaced)
{
    std::filesystem::create_directories(Templates() + "Full.meta.json");  // the summary cannot replace it
    Storage().FailNext("/storage/v1/object/Templates/Full.meta.json", 400, "bad \xFF byte");
    const json reply = Capture("Full");
    EXPECT_EQ(reply["meta_written_local"], false);
    EXPECT_EQ(reply["supabase_error"], "Supabase upload Full.meta.json failed (400): bad \xEF\xBF\xBD byte");
}

TEST_F(TemplateCapture, UploadsThatNeverAnswerShareOneDeadlineAndSaySo)
{
    Storage().FailNext("/storage/v1/object/Templates/", 0, "", 2);
    Quillmere::SetHttpTimeoutOverrideForTesting(2000);  // long enough for the capture's own work on a busy machine
    const json reply = Capture("Slow");
    Quillmere::SetHttpTimeoutOverrideForTesting(0);
    EXPECT_EQ(std::make_tuple(reply["mod_uploaded"], reply["mod_upload_status"], reply.contains("mod_upload_error")),
              std::make_tuple(json(false), json(0), false));
    EXPECT_NE(LogText().find("Supabase upload Slow.mod failed (0): The request timed out."), std::string::npos)
        << "the reason is logged";
    EXPECT_EQ(reply["supabase_error"], "Supabase upload Slow.meta.json failed (0): The request was not sent: the "
                                       "tool call had used all its time.");
}

TEST_F(TemplateCapture, NoKeyReachesAResultOrTheLog)
{
    Storage().FailNext("/storage/v1/object/Templates/", 401,
                       R"({"message":"invalid key","key":")" + kFakeServiceKey + "\"}", -1);
    // A JSON error body is quoted whole, what it echoes of the request redacted.
    EXPECT_EQ(Capture("K")["supabase_error"],
              R"(Supabase upload K.meta.json failed (401): {"message":"invalid key","key":"[redacted]"})");
    const std::string refused = lastMessage;
    ScopedStorageEnvironment wrong(Storage().Url(), "wrong-public-key-0123", "wrong-service-key-4567");
    Capture("K");
    DebugLog("storage keys " + kFakeAnonKey + " " + kFakeServiceKey);  // redacted even if quoted
    const std::string log = LogText();
    ASSERT_FALSE(log.empty());
    for (const std::string& key :
         {kFakeAnonKey, kFakeServiceKey, std::string("wrong-public-key-0123"), std::string("wrong-service-key-4567")}) {
        EXPECT_EQ((refused + lastMessage).find(key), std::string::npos);
        EXPECT_EQ(log.find(key), std::string::npos);
    }
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
