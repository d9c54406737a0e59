// Tools against a product service and a storage that answer badly on purpose (replies nested
// 100,000 deep, bodies echoing the keys, megabytes, ids that climb out of their folder,
// catalogue numbers no int holds) and against damaged module files: every call ends with a
// clear result, no key and no flood in it, and a refused module changes nothing.
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeProductService.hpp"
#include "FakeStorage.hpp"
#include "HostTestingModules.hpp"
#include "MainQueue.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"
#include "core/HttpClient.hpp"
#include "core/LocalStorage.hpp"
#include "core/OutsideText.hpp"
#include "engine/ModelBridge.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/library/TypologyCatalogue.hpp"

namespace {

using Reply = FakeProductService::Reply;

const std::string kDeep = std::string(100000, '[') + std::string(100000, ']');

class HostileReplies : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        ResetTypologyCatalogueForTesting();
        bridge = std::make_unique<ModelBridge>(std::make_unique<ToolRegistry>());
        RegisterPlanTools(
            registry, [](const std::string&, const std::string&) {},
            [](const std::string&, bool, const std::string&) {}, *bridge);
    }
    void TearDown() override
    {
        bridge.reset();
        MainQueue::DrainUntilIdle();
        ResetTypologyCatalogueForTesting();
        QuillmereTest::TearDown();
    }

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

    FakeProductService service;
    ServiceUrlScope serviceScope{service.BaseUrl()};
    FakeStorage storage;
    ScopedStorageEnvironment storageScope{storage};
    std::unique_ptr<ModelBridge> bridge;
};

TEST_F(HostileReplies, EveryReplyEndsInAClearResultWithoutKeysOrFlood)
{
    const std::string echo =
        "apikey: " + storage.AnonKey() + "\r\nAuthorization: Bearer " + storage.ServiceKey() + std::string(20000, 'x');
    json manyPoints = json::array();
    for (int i = 0; i < 40000; ++i) manyPoints.push_back({i, i});
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* tool;
        json input;
        bool success;
        std::string contains;
    };
    const std::vector<Case> cases = {
        {"detections nested 100,000 deep",
         [&] {
             service.Script("GET /plans/p1/detections", Reply{200, kDeep});
         },
         "get_plan_detections",
         {{"plan_id", "p1"}},
         false,
         "Invalid detections data"},
        {"a status nested 100,000 deep",
         [&] {
             service.Script("GET /plans/p1/status", Reply{200, kDeep});
         },
         "get_plan_extraction_status",
         {{"plan_id", "p1"}},
         false,
         "Invalid response from server"},
        {"a summary nested 100,000 deep",
         [&] { storage.Put("Deep.meta.json", kDeep); },
         "get_template_layout",
         {{"template_name", "Deep"}},
         false,
         "Failed to parse .meta.json for: Deep"},
        {"a catalogue nested 100,000 deep",
         [&] { storage.Put("typologies/index.json", kDeep); },
         "select_typology",
         {{"bedrooms", 2}},
         true,
         "\"typology_name\":\"compact-2br-1bath\""},
        {"an error body echoing the keys", [&] { storage.FailNext("/storage/v1/object/list/", 500, echo); },
         "list_templates", json::object(), true,
         R"(failed (500): apikey: [redacted]\r\nAuthorization: Bearer [redacted]xx)"},
        {"a plan id of two dots", [] {}, "get_plan_detections", {{"plan_id", ".."}}, false, "Invalid plan_id"},
        {"a plan id of 300 bytes",
         [] {},
         "get_plan_extraction_status",
         {{"plan_id", std::string(300, 'p')}},
         false,
         "Invalid plan_id"},
        {"detections past the reply cap",
         [&] {
             service.Script("GET /plans/p1/detections",
                            Reply{200, std::string(Quillmere::kMaxServiceReplyBytes + 1, ' ')});
         },
         "get_plan_detections",
         {{"plan_id", "p1"}},
         false,
         "Failed to fetch detections: The reply is larger than 4194304 bytes and was not read."},
        {"detections that would flood the conversation",
         [&] {
             service.Script("GET /plans/p1/detections", Reply{200, manyPoints.dump()});
         },
         "get_plan_detections",
         {{"plan_id", "p1"}},
         true,
         "[Result cut: only the first " + std::to_string(kMaxToolResultBytes) + " of"},
        {"a listing with entries that are not templates",
         [&] {
             storage.FailNext(
                 "/storage/v1/object/list/", 200,
                 R"([{"name":"../x.meta.json"},{"name":5},7,{"name":"bad.meta.json"},{"name":"good.meta.json"}])");
             storage.Put("bad.meta.json", "[1]");
             storage.Put("good.meta.json", "{}");
         },
         "list_templates", json::object(), true, R"("unreadable_count":4})"},
        {"catalogue numbers no int holds",
         [&] {
             storage.Put(
                 "typologies/index.json",
                 R"([{"name":"huge","bedrooms":1e10},{"name":"tiny","bathrooms":-1e308},{"name":"fits","bedrooms":2}])");
         },
         "select_typology",
         {{"bedrooms", 2}},
         true,
         R"("typology_name":"fits","unreadable_entries":2})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetTypologyCatalogueForTesting();
        c.arrange();
        const ToolResult r = Run(c.tool, c.input);
        const std::string& text = r.success ? r.message : r.error;
        EXPECT_EQ(r.success, c.success) << text.substr(0, 300);
        EXPECT_NE(text.find(c.contains), std::string::npos) << text.substr(0, 300);
        EXPECT_EQ(text.find(storage.AnonKey()), std::string::npos);
        EXPECT_EQ(text.find(storage.ServiceKey()), std::string::npos);
        EXPECT_LT(text.size(), kMaxToolResultBytes + 200);
        storage.ClearScripts();
    }
    for (const auto& sent : service.Requests()) EXPECT_EQ(sent.path.rfind("/plans/p1/", 0), 0u) << sent.path;
    for (const auto& sent : storage.RequestsTo("GET", "/"))
        EXPECT_EQ(sent.path.rfind("/storage/v1/object/public/Templates/", 0), 0u) << sent.path;
}

TEST_F(HostileReplies, ADamagedModuleIsRefusedWholeAndAnOddNameStillReports)
{
    const auto wallWith = [](const std::function<void(API_Element&)>& damage) {
        return ModuleOf([&] {
            API_Element wall = HostTesting::MakeElement(API_WallID);
            damage(wall);
            HostTesting::AddElement(wall);
        });
    };
    const std::string polylineCountingArcs = ModuleOf([] {
        ScopedMemo memo;
        API_Element line = HostTesting::MakeElement(API_PolyLineID, memo.get());
        line.polyLine.poly.nArcs = 5;
        HostTesting::AddElement(line, memo.get());
    });
    TempFolder scratch("quillmere-hostile-fixture");
    ASSERT_EQ(HostTesting::WriteFixtureModule(scratch.Path("f.mod")), NoError);
    struct Case {
        const char* name;
        std::string module;
        std::string templateName;
        bool success;
        std::string contains;
    };
    const std::vector<Case> cases = {
        {"a wall of no length", wallWith([](API_Element& w) { w.wall.endC = w.wall.begC; }), "Short", false,
         "Module apply failed"},
        {"a bool stored as 4", wallWith([](API_Element& w) { std::memset(&w.wall.flipped, 4, 1); }), "Flipped", false,
         "Module apply failed"},
        {"a polyline counting arcs it lacks", polylineCountingArcs, "Arcs", false, "Module apply failed"},
        {"a name of invalid UTF-8", TempFolder::Read(scratch.Path("f.mod")), "Odd\xff", true,
         "\"template\":\"Odd\xEF\xBF\xBD\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTesting::ResetProject();
        storage.Put(LocalStorage::SanitiseName(c.templateName) + ".mod", c.module);
        const Footprint before = TakeFootprint();
        const ToolResult r = Run("apply_template_exact", {{"template_name", c.templateName}});
        EXPECT_EQ(r.success, c.success) << r.error;
        EXPECT_NE((r.success ? r.message : r.error).find(c.contains), std::string::npos) << r.message << r.error;
        if (!c.success) {
            EXPECT_TRUE(TakeFootprint() == before) << "a refused module changed the project";
        }
        EXPECT_FALSE(std::filesystem::exists(serviceScope.Home() + "/.quillmere")) << "a folder was left behind";
    }
}

}  // namespace
