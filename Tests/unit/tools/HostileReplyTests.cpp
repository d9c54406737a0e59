// Tools against a storage that answers badly on purpose (replies nested 100,000 deep, bodies
// echoing the keys, megabytes, names that climb out of their folder, catalogue numbers no int
// holds) and against damaged module files: every call ends with a clear result, no key and no
// flood in it, and a refused module changes nothing.
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FakeStorage.hpp"
#include "HostTestingModules.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"
#include "core/HttpClient.hpp"
#include "core/LocalStorage.hpp"
#include "core/OutsideText.hpp"
#include "core/PercentEncoding.hpp"

namespace {

const std::string kDeep = std::string(100000, '[') + std::string(100000, ']');

class HostileReplies : public QuillmereTest {
protected:
    // The open project as module bytes after arrange() has stored what it likes in a fresh
    // project (bypassing the host's checks); the project is fresh again afterwards.
    static std::string ModuleOf(const std::function<void()>& arrange)
    {
        HostTesting::ResetProject();
        arrange();
        TempFolder scratch("quillmere-hostile-module");
        EXPECT_EQ(HostTesting::WriteProjectModule(scratch.Path("m.mod")), NoError);
        HostTesting::ResetProject();
        return TempFolder::Read(scratch.Path("m.mod"));
    }
};

TEST_F(HostileReplies, EveryReplyEndsInAClearResultWithoutKeysOrFlood)
{
    const std::string echo = "apikey: " + Storage().AnonKey() + "\r\nAuthorization: Bearer " + Storage().ServiceKey() +
                             std::string(20000, 'x');
    json manyPoints = json::array();
    for (int i = 0; i < 40000; ++i) manyPoints.push_back({i, i});
    // A JSON error body is quoted whole and cut at 300 bytes, the keys it echoes, however
    // spelled, redacted first.
    std::string escapedKey;
    for (unsigned char c : Storage().AnonKey())
        escapedKey += "\\u00" + PercentEncoded(std::string(1, c), true).substr(1);
    const auto jsonEcho = [&](const std::string& anon, const std::string& service) {
        return R"({"message":"Invalid JWT","apikey":")" + anon + R"(","sent":")" + service + R"(","pad":")" +
               std::string(400, 'x') + R"("})";
    };
    const std::string quotedEcho =
        json("Supabase list failed (401): " + jsonEcho("[redacted]", "[redacted]").substr(0, kMaxQuotedBytes) + "...")
            .dump();
    const auto summary = [this](const std::string& body) {
        return [this, body] { Storage().Put("S.meta.json", body); };
    };
    const json layout = {{"template_name", "S"}};
    const auto listing = [this](const std::vector<std::string>& names) {
        json entries = json::array();
        for (const std::string& name : names) entries.push_back({{"name", name}});
        Storage().FailNext("/storage/v1/object/list/", 200, entries.dump());
        Storage().Put("S.meta.json", "{}");
    };
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* tool;
        json input;
        std::string outcome;  // a fragment of the message, or "!" and a fragment of the error
    };
    const std::vector<Case> cases = {
        {"nested 100,000 deep", summary(kDeep), "get_template_layout", layout, "!Failed to parse .meta.json for: S"},
        {"past the reply cap", summary(std::string(Quillmere::kMaxServiceReplyBytes + 1, ' ')), "get_template_layout",
         layout, "!Template meta could not be downloaded: S.meta.json (The reply is larger than 4194304 bytes"},
        {"flooding the conversation", summary(manyPoints.dump()), "get_template_layout", layout,
         "[Result cut: only the first "},
        {"an error body echoing the keys", [&] { Storage().FailNext("/storage/v1/object/list/", 500, echo); },
         "list_templates", json::object(), R"((500): apikey: [redacted]\r\nAuthorization: Bearer [redacted]xx)"},
        {"a JSON error body echoing the keys encoded",
         [&] {
             Storage().FailNext("/storage/v1/object/list/", 401,
                                jsonEcho(escapedKey, PercentEncoded(Storage().ServiceKey(), true)));
         },
         "list_templates", json::object(), quotedEcho},
        {"listing entries that are not templates",
         [&] {
             Storage().FailNext(
                 "/storage/v1/object/list/", 200,
                 R"([{"name":"../x.meta.json"},{"name":5},7,{"name":"bad.meta.json"},{"name":"S.meta.json"}])");
             Storage().Put("bad.meta.json", "[1]");
             Storage().Put("S.meta.json", "{}");
         },
         "list_templates", json::object(), R"("unreadable_count":4})"},
        {"catalogue numbers no int holds",
         [&] {
             Storage().Put(
                 "typologies/index.json",
                 R"([{"name":"big","bedrooms":1e10},{"name":"low","bathrooms":-1e308},{"name":"fits","bedrooms":2}])");
         },
         "select_typology",
         {{"bedrooms", 2}},
         R"("typology_name":"fits"})"},  // the entries it could not read are passed over without a key
        {"summaries past the bytes one listing reads",
         [&] {
             for (const char* big : {"b1.meta.json", "b2.meta.json", "b3.meta.json", "b4.meta.json"})
                 Storage().Put(big, '"' + std::string(Quillmere::kMaxServiceReplyBytes - 2, 'x') + '"');
             listing({"b1.meta.json", "b2.meta.json", "b3.meta.json", "b4.meta.json", "S.meta.json"});
         },
         "list_templates", json::object(), R"({"count":0,"templates":[],"unreadable_count":5})"},
        {"a summary read that fails is counted",
         [&] {
             listing({"e.meta.json", "S.meta.json"});
             Storage().FailNext("/storage/v1/object/public/Templates/e.meta.json", 500, "{}");
         },
         "list_templates", json::object(), R"("template_name":"S"}],"unreadable_count":1})"},
        {"summaries of 4 MiB each are listed whole while they fit",
         [&] {
             const std::string big = R"({"pad":")" + std::string(Quillmere::kMaxServiceReplyBytes - 16, 'x') + "\"}";
             for (const char* name : {"b1.meta.json", "b2.meta.json", "b3.meta.json"}) Storage().Put(name, big);
             listing({"b1.meta.json", "b2.meta.json", "b3.meta.json", "S.meta.json"});
             Storage().Put("S.meta.json", R"({"captured_at":"2026-01-01T00:00:00Z"})");  // newest: first
         },
         "list_templates", json::object(),
         "\"template_name\":\"S\"}]}\n[Only the first 1 of 4 templates are listed: a result holds at most 65536 "
         "bytes.]"},
        {"summaries that never answer share one deadline",
         [&] {
             // For this last row; long enough for the listing itself on a busy machine.
             Quillmere::SetHttpTimeoutOverrideForTesting(2000);
             Storage().FailNext("/storage/v1/object/public/Templates/slow", 0, "", 2);
             listing({"slow1.meta.json", "slow2.meta.json", "S.meta.json"});
         },
         "list_templates", json::object(),
         "{\"count\":0,\"templates\":[],\"unreadable_count\":3}\n[3 of the unreadable template summaries were not "
         "read in time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        const ToolResult r = Run(c.tool, c.input);
        const std::string text = r.success ? r.message : "!" + r.error;
        const bool failure = c.outcome[0] == '!';
        EXPECT_NE(text.find(c.outcome.substr(failure ? 1 : 0)), std::string::npos) << text.substr(0, 300);
        EXPECT_EQ(r.success, !failure);
        EXPECT_EQ(text.find(Storage().ServiceKey()), std::string::npos);
        EXPECT_LE(r.toJson().size(), kMaxToolResultBytes);
    }
    Quillmere::SetHttpTimeoutOverrideForTesting(0);
    for (const auto& sent : Storage().RequestsTo("GET", "/"))
        EXPECT_EQ(sent.path.rfind("/storage/v1/object/public/Templates/", 0), 0u) << sent.path;
}

TEST_F(HostileReplies, ADownloadThatFailedOrRanOutOfTimeSaysSoAndOnlyAMissingObjectIsNotFound)
{
    const std::string local = HomeDir() + "/.quillmere/templates/";
    const std::string timedOut = "The request timed out.";
    const struct {
        const char* tool;
        json input;
        const char* object;   // the download that fails
        int status;           // 0: never answered
        std::string outcome;  // the error after "!", else a fragment of the message
    } rows[] = {
        {"get_template_layout",
         {{"template_name", "T"}},
         "T.meta.json",
         0,
         "!Template meta could not be downloaded: T.meta.json (" + timedOut + ")"},
        {"get_template_layout",
         {{"template_name", "T"}},
         "T.meta.json",
         500,
         "!Template meta could not be downloaded: T.meta.json (HTTP 500)"},
        {"get_template_layout", {{"template_name", "T"}}, "T.meta.json", 404, "!Template meta not found: T.meta.json"},
        {"apply_template_exact",
         {{"template_name", "T"}},
         "T.mod",
         0,
         "!Template module could not be downloaded: T.mod (" + timedOut + "), and there is no local copy at " + local +
             "T.mod"},
        {"apply_template_exact", {{"template_name", "T"}}, "T.mod", 404, R"("error":"NO_MOD_FILE")"},
        {"apply_typology_skeleton",
         {{"typology_name", "t"}},
         "typologies/t/model.mod",
         0,
         "!NO_MOD_FILE: Could not download module for typology 't': " + timedOut},
        {"apply_typology_skeleton",
         {{"typology_name", "t"}},
         "typologies/t/model.mod",
         404,
         "!NO_MOD_FILE: Could not download module for typology 't'"},
        // The built-in catalogue stands in without a word in the reply; the log says why.
        {"select_typology",
         {{"bedrooms", 2}},
         "typologies/index.json",
         0,
         R"({"approx_sqm":85.0,"bathrooms":1,"bedrooms":2,"match":true,"score":23,"stories":1,"style":"modern",)"
         R"("typology_name":"compact-2br-1bath"})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.tool) + " " + std::to_string(row.status));
        // Only a download that never answers ends by a short deadline: the others take their time.
        Quillmere::SetHttpTimeoutOverrideForTesting(row.status == 0 ? 300 : 0);
        Storage().FailNext(std::string("/storage/v1/object/public/Templates/") + row.object, row.status, "{}");
        const ToolResult r = Run(row.tool, row.input);
        if (row.outcome[0] == '!')
            EXPECT_EQ("!" + r.error, row.outcome);
        else
            EXPECT_NE(r.message.find(row.outcome), std::string::npos) << r.message << r.error;
    }
    Quillmere::SetHttpTimeoutOverrideForTesting(0);
    const std::string cause = "The stored typology catalogue could not be downloaded (" + timedOut + ")";
    EXPECT_NE(LogText().find(cause), std::string::npos) << LogText();
    const size_t logged = LogText().size();
    Run("select_typology", {{"bedrooms", 2}});
    EXPECT_EQ(LogText().find("typology catalogue", logged), std::string::npos)
        << "a catalogue not stored is no failure";
}

TEST_F(HostileReplies, ADamagedModuleIsRefusedWholeAndAnOddNameStillReports)
{
    TempFolder scratch("quillmere-hostile-fixture");
    ASSERT_EQ(HostTesting::WriteFixtureModule(scratch.Path("f.mod")), NoError);
    const std::vector<std::pair<std::string, std::string>> cases = {
        // template name, module
        {"BoolOf4", ModuleOf([] {
             API_Element wall = HostTesting::MakeElement(API_WallID);
             std::memset(&wall.wall.flipped, 4, 1);
             HostTesting::AddElement(wall);
         })},
        {"ArcsItLacks", ModuleOf([] {
             ScopedMemo memo;
             API_Element line = HostTesting::MakeElement(API_PolyLineID, memo.get());
             line.polyLine.poly.nArcs = 5;
             HostTesting::AddElement(line, memo.get());
         })},
        {"Odd\xff", TempFolder::Read(scratch.Path("f.mod"))},  // placed, and reported with the byte replaced
    };
    for (const auto& [name, module] : cases) {
        SCOPED_TRACE(name);
        HostTesting::ResetProject();
        Storage().Put(LocalStorage::SanitiseName(name) + ".mod", module);
        const Footprint before = TakeFootprint();
        const ToolResult r = Run("apply_template_exact", {{"template_name", name}});
        if (name == "Odd\xff") {
            EXPECT_NE(r.message.find("\"template\":\"Odd\xEF\xBF\xBD\""), std::string::npos) << r.error;
        } else {
            EXPECT_EQ(r.error.rfind("Module apply failed", 0), 0u) << r.message;
            EXPECT_TRUE(TakeFootprint() == before) << "a refused module changed the project";
        }
        EXPECT_FALSE(std::filesystem::exists(HomeDir() + "/.quillmere")) << "a folder was left behind";
    }
}

}  // namespace
