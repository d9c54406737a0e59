// The shared fixture: per-test project, home, log and fakes, and the checks its teardown makes.
#include "QuillmereTest.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "FakeProductService.hpp"
#include "FakeStorage.hpp"
#include "HostTestingModules.hpp"
#include "HostTestingWindow.hpp"
#include "MainQueue.hpp"
#include "PlanWindow.hpp"
#include "TempFolder.hpp"
#include "core/DebugLog.hpp"
#include "core/ElementFunctions.hpp"
#include "engine/ModelBridge.hpp"
#include "tools/library/TypologyCatalogue.hpp"
#include "tools/recognition/RenderJobs.hpp"

// Started together, stopped in reverse order: the engine and the poll threads before the fakes
// they talk to, the environment restored last.
struct QuillmereTest::Outside {
    FakeProductService service;
    ScopedEnv serviceUrl{"QUILLMERE_SERVICE_URL", service.BaseUrl()};
    FakeStorage storage;
    ScopedStorageEnvironment storageScope{storage};
    TempDirScope tmp{"quillmere-test-tmp"};
    std::unique_ptr<ModelBridge> bridge;
};

QuillmereTest::QuillmereTest()
    : logPath((std::filesystem::temp_directory_path() / ("quillmere_test_" + std::to_string(::getpid()) + ".log"))
                  .string()),
      home_(std::make_unique<ScopedHome>())
{}

void QuillmereTest::SetUp()
{
    std::remove(logPath.c_str());
    SetDebugLogPath(logPath);
    HostTesting::ResetProject();
    MainQueue::SetMainThread();
    HostTesting::ClearOffThreadCallCount();
    MainQueue::DiscardPending();
    ResetTypologyCatalogueForTesting();
    baselineHandles_ = HostTesting::LiveHandleCount();
    baselineLocations_ = HostTesting::LiveLocationCount();
}

QuillmereTest::~QuillmereTest() = default;

void QuillmereTest::TearDown()
{
    if (outside_ != nullptr) {
        EXPECT_TRUE(RenderJobs::StopAll(std::chrono::seconds(10)));
        outside_->bridge.reset();
        MainQueue::DrainUntilIdle();
        RenderJobs::SetPollInterval(std::chrono::seconds(1));
        RenderJobs::SetPollDeadlineForTesting(std::chrono::nanoseconds(0));
        RenderJobs::SetHandMovedPollClockForTesting(false);
        HostTesting::ResetWindows();
        outside_.reset();
    }
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(HostTesting::OffThreadCallCount(), 0) << "a host call was made off the main thread";
    EXPECT_EQ(HostTesting::LiveHandleCount(), baselineHandles_) << "memory handles leaked or freed twice";
    EXPECT_EQ(HostTesting::LiveLocationCount(), baselineLocations_) << "file locations leaked";
    EXPECT_EQ(HostTesting::BadFreeCount(), 0) << "a handle the host never handed out was freed";
    HostTesting::ClearFailures();
    SetDebugLogPath("");
    std::remove(logPath.c_str());
}

std::string QuillmereTest::LogText() const
{
    std::ostringstream text;
    text << std::ifstream(logPath).rdbuf();
    return text.str();
}

ToolResult QuillmereTest::Run(const std::string& tool, const json& input) { return registry.ExecuteTool(tool, input); }

ToolResult QuillmereTest::RunText(const std::string& tool, const std::string& inputText)
{
    json input = json::parse(inputText, nullptr, false);
    EXPECT_FALSE(input.is_discarded()) << "test input is not JSON: " << inputText;
    return registry.ExecuteTool(tool, input);
}

std::vector<std::string> QuillmereTest::UndoSteps() const { return HostTesting::UndoStepNames(); }

size_t QuillmereTest::UndoStepCount() const { return HostTesting::UndoStepNames().size(); }

bool QuillmereTest::UndoLast() { return HostTesting::Undo() == NoError; }

GSErrCode QuillmereTest::Command(const std::function<GSErrCode()>& body, const char* name)
{
    return ACAPI_CallUndoableCommand(GS::UniString(name), body);
}

GSErrCode QuillmereTest::CreateInCommand(API_Element& e, API_ElementMemo* memo)
{
    return Command([&] { return ACAPI_Element_Create(&e, memo); });
}

GSErrCode QuillmereTest::ChangeInCommand(API_Element& e, const API_Element* mask, const API_ElementMemo* memo,
                                         UInt64 memoMask)
{
    return Command([&] { return ACAPI_Element_Change(&e, mask, memo, memoMask, true); });
}

GSErrCode QuillmereTest::DeleteInCommand(const GS::Array<API_Guid>& guids)
{
    return Command([&] { return ACAPI_Element_Delete(guids); });
}

API_Element QuillmereTest::Cleared(API_ElemTypeID typeID)
{
    API_Element e;
    BNClear(e);
    e.header.type.typeID = typeID;
    return e;
}

API_Element QuillmereTest::Read(const API_Guid& guid)
{
    API_Element e = Cleared();
    EXPECT_TRUE(HostTesting::GetElement(guid, &e)) << "no element " << Text(guid);
    return e;
}

API_Guid QuillmereTest::Guid(const std::string& guidText) { return GSGuid2APIGuid(GS::Guid(guidText.c_str())); }

std::string QuillmereTest::Text(const API_Guid& guid) { return GuidToStr(guid); }

size_t QuillmereTest::FirstDifference(const API_Element& a, const API_Element& b)
{
    const unsigned char* x = reinterpret_cast<const unsigned char*>(&a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(&b);
    for (size_t i = 0; i < sizeof(API_Element); ++i)
        if (x[i] != y[i]) return i;
    return sizeof(API_Element);
}

Int32 QuillmereTest::AttributeCount(API_AttrTypeID type)
{
    Int32 count = 0;
    EXPECT_EQ(ACAPI_Attribute_GetNum(type, &count), NoError);
    return count;
}

API_Attribute QuillmereTest::GetAttr(API_AttrTypeID type, Int32 index, const char* name, GSErrCode* code)
{
    API_Attribute a;
    BNClear(a);
    a.header.typeID = type;
    a.header.index = index;
    if (name) std::strncpy(a.header.name, name, sizeof a.header.name - 1);
    const GSErrCode c = ACAPI_Attribute_Get(&a);
    if (code) *code = c;
    return a;
}

GSErrCode QuillmereTest::AttrCode(API_AttrTypeID type, Int32 index, const char* name)
{
    GSErrCode code;
    GetAttr(type, index, name, &code);
    return code;
}

QuillmereTest::Footprint QuillmereTest::TakeFootprint() const
{
    return Footprint{HostTesting::ElementCount(), HostTesting::UndoStepNames().size()};
}

std::vector<ElementState> TakeSnapshot()
{
    std::vector<ElementState> states;
    for (const API_Guid& guid : HostTesting::AllElements()) {
        states.push_back({{}, HostTesting::GetPolygon(guid)});
        BNClear(states.back().record);
        HostTesting::GetElement(guid, &states.back().record);
    }
    return states;
}

static bool SameState(const ElementState& a, const ElementState& b)
{
    return std::memcmp(&a.record, &b.record, sizeof a.record) == 0 && a.polygon.size() == b.polygon.size() &&
           (a.polygon.empty() ||
            std::memcmp(a.polygon.data(), b.polygon.data(), a.polygon.size() * sizeof(API_Coord)) == 0);
}

::testing::AssertionResult SameProject(const std::vector<ElementState>& expected,
                                       const std::vector<ElementState>& actual)
{
    for (size_t i = 0; i < std::max(expected.size(), actual.size()); ++i)
        if (i >= expected.size() || i >= actual.size() || !SameState(expected[i], actual[i]))
            return ::testing::AssertionFailure() << "element " << i << " differs, is missing or is new";
    return ::testing::AssertionSuccess();
}

std::vector<API_Guid> ListOf(API_ElemTypeID typeID)
{
    GS::Array<API_Guid> list;
    EXPECT_EQ(ACAPI_Element_GetElemList(typeID, &list), NoError);
    return std::vector<API_Guid>(list.begin(), list.end());
}

void PutPolygon(API_ElementMemo& memo, const std::vector<API_Coord>& points)
{
    Int32 n = Int32(points.size()) + 1;
    memo.coords =
        reinterpret_cast<API_Coord**>(BMAllocateHandle((n + 1) * GSSize(sizeof(API_Coord)), ALLOCATE_CLEAR, 0));
    memo.pends = reinterpret_cast<Int32**>(BMAllocateHandle(2 * GSSize(sizeof(Int32)), ALLOCATE_CLEAR, 0));
    for (size_t i = 0; i < points.size(); ++i) (*memo.coords)[i + 1] = points[i];
    (*memo.coords)[n] = points[0];
    (*memo.pends)[1] = n;
}

std::vector<API_Coord> MemoCoords(const API_ElementMemo& memo)
{
    const size_t n = memo.coords ? size_t(BMGetHandleSize(memo.coords)) / sizeof(API_Coord) : 0;
    return n < 2 ? std::vector<API_Coord>() : std::vector<API_Coord>(*memo.coords + 1, *memo.coords + n);
}

QuillmereTest::Outside& QuillmereTest::Services()
{
    if (outside_ == nullptr) outside_ = std::make_unique<Outside>();
    return *outside_;
}

void QuillmereTest::WaitForRenderJobs()
{
    EXPECT_TRUE(MainQueue::PumpUntil([] { return RenderJobs::Running() == 0; }, std::chrono::seconds(20)));
    MainQueue::DrainUntilIdle();
}

FakeProductService& QuillmereTest::Service() { return Services().service; }

FakeStorage& QuillmereTest::Storage() { return Services().storage; }

std::string QuillmereTest::HomeDir()
{
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

bool QuillmereTest::TmpEmpty() { return Services().tmp.Empty(); }

void QuillmereTest::RegisterPaletteTools(ChatPreview preview, ChatToolResult card)
{
    Outside& outside = Services();
    if (!preview) preview = [](const std::string&, const std::string&) {};
    if (!card) card = [](const std::string&, bool, const std::string&) {};
    outside.bridge = std::make_unique<ModelBridge>(std::make_unique<ToolRegistry>());
    outside.bridge->SetBaseUrls(outside.service.BaseUrl(), outside.service.BaseUrl());
    outside.bridge->SetApiKeys("test-key", "test-key");
    outside.bridge->SetModel("claude-test-model");
    outside.bridge->SetCallbacks([](const std::string&) {}, [](bool) {},
                                 [](const std::string&, bool, const std::string&) {});
    HostTesting::ResetWindows();
    PlanWindow::Install();
    RenderJobs::SetPollInterval(std::chrono::milliseconds(1));
    RegisterPaletteFamilies(registry, preview, preview, card, *outside.bridge);
}

void QuillmereTest::Attach(const std::vector<std::pair<std::string, std::string>>& attachments)
{
    ModelBridge& bridge = *Services().bridge;
    json content = json::array({{{"type", "text"}, {"text", "my plan"}}});
    for (const auto& [mediaType, data] : attachments)
        content.push_back({{"type", mediaType == "application/pdf" ? "document" : "image"},
                           {"source", {{"type", "base64"}, {"media_type", mediaType}, {"data", data}}}});
    const json reply = {
        {"role", "assistant"}, {"content", {{{"type", "text"}, {"text", "Seen."}}}}, {"stop_reason", "end_turn"}};
    Service().Script("POST /v1/messages", FakeProductService::Reply{200, reply.dump()});
    bridge.SendMessageWithAttachments(content);
    EXPECT_TRUE(MainQueue::PumpUntil([&] { return !bridge.IsBusy(); }, std::chrono::seconds(20)));
    Service().ClearRequests();
}

json QuillmereTest::Data(const ToolResult& r)
{
    EXPECT_TRUE(r.success) << r.error;
    return r.success ? json::parse(r.message, nullptr, false) : json();
}

std::string QuillmereTest::FixtureModuleBytes(size_t extraWalls)
{
    TempFolder scratch("quillmere-fixture-module");
    const std::string path = scratch.Path("fixture.mod");
    EXPECT_EQ(HostTesting::WriteFixtureModule(path, extraWalls), NoError);
    return TempFolder::Read(path);
}

void PrintTo(const ToolResult& result, std::ostream* os) { *os << result.toJson(); }

std::vector<API_Guid> SelectedGuids()
{
    API_SelectionInfo info;
    GS::Array<API_Neig> neigs;
    EXPECT_EQ(ACAPI_Selection_Get(&info, &neigs, false), NoError);
    std::vector<API_Guid> guids;
    for (const API_Neig& neig : neigs) guids.push_back(neig.guid);
    EXPECT_EQ(size_t(info.sel_nElem), guids.size());
    return guids;
}
