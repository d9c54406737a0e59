// The host's module files: what 'SMOD' writes comes back element by element, other files are
// refused, and a failed write leaves nothing behind.

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/resource.h>

#include "HostTestingModules.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"

namespace fs = std::filesystem;

namespace {

class ModuleFiles : public HostTest {
protected:
    std::string Path(const std::string& name) const { return folder.Path(name); }
    std::vector<std::string> FilesIn(const std::string& sub = std::string()) const { return folder.Files(sub); }
    static std::string Contents(const std::string& path) { return TempFolder::Read(path); }
    static void Put(const std::string& path, const std::string& bytes) { TempFolder::Write(path, bytes); }

    static GSErrCode Save(const std::string& path)
    {
        IO::Location location(path);
        API_ModuleSavePars pars;
        BNClear(pars);
        pars.file = &location;
        return ACAPI_Automate(APIDo_SaveAsModuleFileID, &pars);
    }

    // Every memo handle and pointer of a stored element as bytes (empty when absent).
    static std::vector<std::string> MemoBytes(const API_Guid& guid)
    {
        API_ElementMemo memo;
        BNClear(memo);
        EXPECT_TRUE(HostTesting::GetElementMemo(guid, &memo));
        auto handle = [](auto** h) {
            return h ? std::string(reinterpret_cast<const char*>(*h), size_t(BMGetHandleSize(h))) : std::string();
        };
        auto ptr = [](auto* p) {
            return p ? std::string(reinterpret_cast<const char*>(p),
                                   size_t(BMGetPtrSize(reinterpret_cast<GSConstPtr>(p))))
                     : std::string();
        };
        std::vector<std::string> parts = {
            handle(memo.coords),     handle(memo.pends),           handle(memo.parcs),         handle(memo.textContent),
            handle(memo.params),     ptr(memo.columnSegments),     ptr(memo.beamSegments),     handle(memo.dimElems),
            handle(memo.bezierDirs), handle(memo.pivotPolyCoords), handle(memo.pivotPolyPends)};
        ACAPI_DisposeElemMemoHdls(&memo);
        return parts;
    }

    TempFolder folder{"quillmere-modules"};
};

struct Snapshot {
    API_Element record;
    std::vector<std::string> memo;
};

TEST_F(ModuleFiles, SavedProjectReadIntoAnEmptyProjectComesBackElementByElement)
{
    HostTesting::SetStories({{-1, -2.8, "Basement"}, {0, 0.0, "Ground"}, {1, 3.1, "Étage 1"}});
    API_Attribute layer = HostTesting::MakeLayer("Module Walls");
    layer.header.index = 30;
    HostTesting::SetAttribute(layer);

    const API_Guid wall = HostTesting::AddWall(0, 0, 8, 0, 1);
    API_Element walled;
    HostTesting::GetElement(wall, &walled);
    walled.header.layer = 30;
    walled.wall.refMat = 2;
    walled.wall.buildingMaterial = 5;
    API_Attribute material;
    ASSERT_TRUE(HostTesting::GetAttribute(API_BuildingMaterialID, 5, &material));
    HostTesting::AddElement(walled);  // the same GUID: replaced in place
    HostTesting::AddFixture(API_DoorID, 0, wall);
    HostTesting::AddFixture(API_WindowID, 0, wall);
    for (API_ElemTypeID type :
         {API_ColumnID, API_BeamID, API_ObjectID, API_SlabID, API_RoofID, API_ZoneID, API_HatchID, API_PolyLineID,
          API_LineID, API_ArcID, API_TextID, API_SplineID, API_DimensionID, API_HotspotID})
        HostTesting::AddFixture(type, type % 2 == 0 ? 0 : -1);
    API_Element grouped = HostTesting::MakeElement(API_LineID);
    grouped.header.groupGuid = GSGuid2APIGuid(GS::Guid("0A0B0C0D-0000-4000-8000-000000000001"));
    HostTesting::AddElement(grouped);

    std::vector<API_Guid> order = HostTesting::AllElements();
    std::vector<Snapshot> before;
    for (const API_Guid& guid : order) {
        Snapshot s;
        HostTesting::GetElement(guid, &s.record);
        s.memo = MemoBytes(guid);
        before.push_back(s);
    }
    const auto stories = HostTesting::GetStories();

    ASSERT_EQ(Save(Path("house.mod")), NoError);
    EXPECT_EQ(FilesIn(), std::vector<std::string>{"house.mod"}) << "no temporary file stays";
    ASSERT_EQ(HostTesting::LoadModuleAsProject(Path("house.mod")), NoError);

    ASSERT_EQ(HostTesting::AllElements(), order) << "same GUIDs in the same order";
    for (size_t i = 0; i < order.size(); ++i) {
        Snapshot after;
        ASSERT_TRUE(HostTesting::GetElement(order[i], &after.record));
        EXPECT_EQ(std::memcmp(&after.record, &before[i].record, sizeof(API_Element)), 0) << "record of element " << i;
        EXPECT_EQ(MemoBytes(order[i]), before[i].memo) << "memo of element " << i;
    }
    const auto storiesAfter = HostTesting::GetStories();
    ASSERT_EQ(storiesAfter.size(), stories.size());
    for (size_t i = 0; i < stories.size(); ++i)
        EXPECT_EQ(std::tie(storiesAfter[i].index, storiesAfter[i].level, storiesAfter[i].name),
                  std::tie(stories[i].index, stories[i].level, stories[i].name));

    API_Attribute back;
    ASSERT_TRUE(HostTesting::GetAttribute(API_LayerID, 30, &back)) << "a used layer travels";
    EXPECT_STREQ(back.header.name, "Module Walls");
    EXPECT_TRUE(HostTesting::GetAttribute(API_MaterialID, 2, nullptr)) << "a used surface travels";
    EXPECT_TRUE(HostTesting::GetAttribute(API_BuildingMaterialID, 5, nullptr));
    EXPECT_TRUE(HostTesting::GetAttribute(API_FilltypeID, material.buildingMaterial.cutFill, nullptr))
        << "its cut fill comes along";
    EXPECT_FALSE(HostTesting::GetAttribute(API_LayerID, 10, nullptr)) << "an unused layer stays behind";
}

TEST_F(ModuleFiles, TheReaderRefusesFilesThatAreNotWholeModulesOfAReadableVersion)
{
    ASSERT_EQ(HostTesting::WriteFixtureModule(Path("fixture.mod")), NoError);
    const std::string good = Contents(Path("fixture.mod"));
    ASSERT_GT(good.size(), 200u);
    std::string flipped = good, shortened = good.substr(0, good.size() / 2), newer = good, older = good;
    flipped[good.size() / 2] ^= 0x20;
    // A later version: refused for its version, not as damage.
    newer[8] = 3;
    // A file of the first version carries FNV-1a in its trailer, and still opens.
    older[8] = 1;
    UInt64 sum = 0xCBF29CE484222325ull;
    for (size_t i = 0; i + 12 < older.size(); ++i) sum = (sum ^ UInt8(older[i])) * 0x100000001B3ull;
    std::memcpy(&older[older.size() - 12], &sum, 8);

    struct Case {
        const char* name;
        std::optional<std::string> bytes;  // none: no file at all
        GSErrCode code;
        const char* why;
    };
    const Case cases[] = {
        {"missing", std::nullopt, APIERR_BADPARS, "cannot read the file"},
        {"empty", std::string(), APIERR_BADPARS, "not a module file"},
        {"library part", std::string("GSM\x01\x02\x03 a library part, not a module, long enough to hold a trailer"),
         APIERR_BADPARS, "not a module file"},
        {"cut short", shortened, APIERR_BADPARS, "the module is cut short"},
        {"one byte changed", flipped, APIERR_BADPARS, "the module is damaged"},
        {"newer version", newer, APIERR_NOTSUPPORTED, "a module of another format version"},
        {"first version", older, NoError, ""},
    };
    for (const Case& c : cases) {
        const std::string path = Path(std::string(c.name) + ".mod");
        if (c.bytes) Put(path, *c.bytes);
        HostTesting::ModuleSummary summary;
        std::string why;
        EXPECT_EQ(HostTesting::ReadModuleSummary(path, &summary, &why), c.code) << c.name;
        EXPECT_EQ(why, c.why) << c.name;
        EXPECT_EQ(summary.elements.empty(), c.code != NoError) << c.name;
    }
}

TEST_F(ModuleFiles, RefusedTargetsAndFailedWritesLeaveNoFileAndKeepAnExistingOne)
{
    HostTesting::AddWall(0, 0, 5, 0);
    Put(Path("plain.txt"), "not a folder");
    fs::create_directory(Path("sub"));
    struct Case {
        const char* name;
        std::string path;
        GSErrCode code;
    };
    const Case cases[] = {
        {"empty path", "", APIERR_BADPARS},
        {"a folder", Path("sub"), APIERR_BADPARS},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Save(c.path), c.code) << c.name;
        EXPECT_EQ(FilesIn(), (std::vector<std::string>{"plain.txt", "sub"})) << c.name;
        EXPECT_TRUE(fs::is_empty(Path("sub"))) << c.name;
    }

    // The disk fills up half way: the old file stays whole and no temporary file is left.
    for (int i = 0; i < 3000; ++i) HostTesting::AddWall(0, i, 5, i);
    Put(Path("sub/house.mod"), "the previous module");
    struct rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const GSErrCode code = Save(Path("sub/house.mod"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(code, APIERR_GENERAL);
    EXPECT_EQ(FilesIn("sub"), std::vector<std::string>{"house.mod"});
    EXPECT_EQ(Contents(Path("sub/house.mod")), "the previous module");

    const std::string longest(251, 'm');
    EXPECT_EQ(Save(Path(longest + ".mod")), NoError) << "a name as long as names go";
    EXPECT_TRUE(fs::exists(Path(longest + ".mod")));
    ASSERT_EQ(Save(Path("sub/house.mod")), NoError) << "a successful save replaces it";
    HostTesting::ModuleSummary summary;
    ASSERT_EQ(HostTesting::ReadModuleSummary(Path("sub/house.mod"), &summary), NoError);
    EXPECT_EQ(summary.elements.size(), 3001u);
}

}  // namespace
