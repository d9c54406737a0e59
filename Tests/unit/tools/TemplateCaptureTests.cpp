// capture_project_template's mended faults: a failed save never passes an earlier module off as
// the new one, the summary counts as written only when it was, a storage reply that is not
// UTF-8 still makes valid text, and no key reaches a result or the log.
#include <fstream>

#include "FakeStorage.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"
#include "core/DebugLog.hpp"

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

TEST_F(TemplateCapture, NoKeyReachesAResultOrTheLog)
{
    Storage().FailNext("/storage/v1/object/Templates/", 401, R"({"message":"invalid key"})", -1);
    Capture("K");
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

}  // namespace
