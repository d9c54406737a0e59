// The host's module files: what 'SMOD' writes comes back element by element, other files are
// refused, and a failed write leaves nothing behind.

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>

#include "HostTestingModules.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"

namespace fs = std::filesystem;

namespace {

class ModuleFiles : public HostTest {
protected:
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

TEST_F(ModuleFiles, SavedProjectReadIntoAnEmptyProjectComesBackElementByElement)
{
    HostTesting::SetStories({{-1, -2.8, "Basement"}, {0, 0.0, "Ground"}, {1, 3.1, "Étage 1"}});
    API_Attribute layer = HostTesting::MakeLayer("Module Walls");
    layer.header.index = 30;
    HostTesting::SetAttribute(layer);
    const API_Guid wall = HostTesting::AddWall(0, 0, 8, 0, 1);
    API_Element walled;
    HostTesting::GetElement(wall, &walled);
    walled.header.layer = 30, walled.wall.refMat = 2, walled.wall.buildingMaterial = 5;
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

    // Every element's record and memo bytes in list order, and the stories.
    const auto project = [] {
        std::vector<std::pair<std::string, std::vector<std::string>>> out;
        for (const API_Guid& guid : HostTesting::AllElements()) {
            API_Element record;
            EXPECT_TRUE(HostTesting::GetElement(guid, &record));
            out.emplace_back(std::string(reinterpret_cast<const char*>(&record), sizeof record), MemoBytes(guid));
        }
        std::vector<std::tuple<Int16, double, std::string>> stories;
        for (const auto& story : HostTesting::GetStories()) stories.emplace_back(story.index, story.level, story.name);
        return std::make_pair(out, stories);
    };
    const auto before = project();
    // Drafting drawn in a worksheet is not part of the plan a module holds.
    API_DatabaseInfo sheet{};
    sheet.typeID = APIWind_WorksheetID;
    ASSERT_EQ(ACAPI_Database(APIDb_NewDatabaseID, &sheet), NoError);
    ASSERT_EQ(ACAPI_Database(APIDb_ChangeCurrentDatabaseID, &sheet), NoError);
    HostTesting::AddFixture(API_LineID);
    ASSERT_EQ(Save(folder.Path("house.mod")), NoError);
    EXPECT_EQ(folder.Files(), std::vector<std::string>{"house.mod"}) << "no temporary file stays";
    ASSERT_EQ(HostTesting::LoadModuleAsProject(folder.Path("house.mod")), NoError);
    const auto after = project();
    ASSERT_EQ(after.first.size(), before.first.size());
    for (size_t i = 0; i < before.first.size(); ++i) EXPECT_TRUE(after.first[i] == before.first[i]) << "element " << i;
    EXPECT_EQ(after.second, before.second);

    // Used attributes travel (a building material with its cut fill); an unused layer stays behind.
    API_Attribute back;
    ASSERT_TRUE(HostTesting::GetAttribute(API_LayerID, 30, &back));
    EXPECT_STREQ(back.header.name, "Module Walls");
    const std::pair<API_AttrTypeID, Int32> travelled[] = {
        {API_MaterialID, 2}, {API_BuildingMaterialID, 5}, {API_FilltypeID, material.buildingMaterial.cutFill}};
    for (const auto& [type, index] : travelled) EXPECT_TRUE(HostTesting::GetAttribute(type, index, nullptr)) << type;
    EXPECT_FALSE(HostTesting::GetAttribute(API_LayerID, 10, nullptr));
}

TEST_F(ModuleFiles, TheReaderRefusesFilesThatAreNotWholeModulesOfAReadableVersion)
{
    ASSERT_EQ(HostTesting::WriteFixtureModule(folder.Path("fixture.mod")), NoError);
    const std::string good = TempFolder::Read(folder.Path("fixture.mod"));
    ASSERT_GT(good.size(), 200u);
    // A new record layout is a version decision of its own: the modules and templates users keep
    // were written with this one and open only while it holds.
    UInt64 layout = 0;
    std::memcpy(&layout, &good[12], sizeof layout);
    EXPECT_EQ(layout, 0xA54E7D00CC02F71Full) << "the record layout changed";
    std::string flipped = good, shortened = good.substr(0, good.size() / 2), newer = good;
    flipped[good.size() / 2] ^= 0x20;
    // A later version: refused for its version, not as damage.
    newer[8] = 3;
    // A file of the first version carries FNV-1a in its trailer, and still opens: records changed
    // in a sound file, signed so, reach the checks of the records themselves.
    const auto firstVersion = [](std::string bytes) {
        bytes[8] = 1;
        UInt64 sum = 0xCBF29CE484222325ull;
        for (size_t i = 0; i + 12 < bytes.size(); ++i) sum = (sum ^ UInt8(bytes[i])) * 0x100000001B3ull;
        std::memcpy(&bytes[bytes.size() - 12], &sum, 8);
        return bytes;
    };
    const size_t layerName = good.find("Structural - Bearing");
    HostTesting::ModuleSummary fixture;
    ASSERT_TRUE(layerName != std::string::npos &&
                HostTesting::ReadModuleSummary(folder.Path("fixture.mod"), &fixture) == NoError);
    // The layer's record as stored, with one of its header fields or its name set to value.
    const size_t layer = layerName - offsetof(API_Attr_Head, name);
    const auto withField = [&](size_t offset, const std::string& value) {
        std::string bytes = good;
        bytes.replace(layer + offset, value.size(), value);
        return bytes;
    };
    const auto int32 = [](Int32 value) { return std::string(reinterpret_cast<const char*>(&value), 4); };
    // Another attribute of the layer's type, to share the layer's index.
    const auto sameType =
        std::find_if(fixture.attributes.begin(), fixture.attributes.end(), [](const API_Attribute& a) {
            return a.header.typeID == API_LayerID && std::strcmp(a.header.name, "Structural - Bearing") != 0;
        });
    ASSERT_NE(sameType, fixture.attributes.end()) << "the fixture holds one layer only";
    const Int32 layerIndex =
        std::find_if(fixture.attributes.begin(), fixture.attributes.end(), [](const API_Attribute& a) {
            return std::strcmp(a.header.name, "Structural - Bearing") == 0;
        })->header.index;
    std::string twoIndices = good;
    const size_t other = twoIndices.find(sameType->header.name, 0, std::strlen(sameType->header.name) + 1);
    ASSERT_NE(other, std::string::npos);
    twoIndices.replace(other - offsetof(API_Attr_Head, name) + offsetof(API_Attr_Head, index), 4, int32(layerIndex));
    std::string twoGuids = good;
    const auto guidBytes = [](const API_Guid& guid) { return std::string(reinterpret_cast<const char*>(&guid), 16); };
    twoGuids.replace(twoGuids.find(guidBytes(fixture.elements[1].guid)), 16, guidBytes(fixture.elements[0].guid));

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
        {"first version", firstVersion(good), NoError, ""},
        {"a layer at the last index", firstVersion(withField(offsetof(API_Attr_Head, index), int32(0x7FFFFFFF))),
         APIERR_BADPARS, "an attribute index out of range"},
        {"a layer at index 0", firstVersion(withField(offsetof(API_Attr_Head, index), int32(0))), APIERR_BADPARS,
         "an attribute index out of range"},
        {"an attribute of no known type", firstVersion(withField(offsetof(API_Attr_Head, typeID), int32(9))),
         APIERR_BADPARS, "an attribute index out of range"},
        {"a layer name not UTF-8", firstVersion(withField(offsetof(API_Attr_Head, name), "\xFF")), APIERR_BADPARS,
         "an attribute name that is not UTF-8"},
        // Readers take a name as a C string: one that fills its field would be read past it.
        {"a layer name with no terminator",
         firstVersion(withField(offsetof(API_Attr_Head, name), std::string(sizeof(API_Attr_Head::name), 'n'))),
         APIERR_BADPARS, "an attribute name with no terminator"},
        {"two layers with one index", firstVersion(twoIndices), APIERR_BADPARS, "two attributes with one index"},
        {"two elements with one GUID", firstVersion(twoGuids), APIERR_BADPARS, "two elements with one GUID"},
    };
    const API_Guid openWall = HostTesting::AddWall(0, 0, 5, 0);
    for (const Case& c : cases) {
        const std::string path = folder.Path(std::string(c.name) + ".mod");
        if (c.bytes) TempFolder::Write(path, *c.bytes);
        HostTesting::ModuleSummary summary;
        std::string why;
        EXPECT_EQ(HostTesting::ReadModuleSummary(path, &summary, &why), c.code) << c.name;
        EXPECT_EQ(why, c.why) << c.name;
        EXPECT_EQ(summary.elements.empty(), c.code != NoError) << c.name;
        // Refused whole: the open project keeps what it held, nothing of the module in it.
        if (c.code == NoError) continue;
        EXPECT_EQ(HostTesting::LoadModuleAsProject(path), c.code) << c.name;
        EXPECT_EQ(HostTesting::AllElements(), std::vector<API_Guid>{openWall}) << c.name;
    }
}

TEST_F(ModuleFiles, AFailedWriteKeepsTheExistingFileWholeAndLeavesNoOther)
{
    HostTesting::AddWall(0, 0, 5, 0);
    fs::create_directory(folder.Path("sub"));

    // The disk fills up half way: the old file stays whole and no temporary file is left.
    for (int i = 0; i < 3000; ++i) HostTesting::AddWall(0, i, 5, i);
    TempFolder::Write(folder.Path("sub/house.mod"), "the previous module");
    struct rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const GSErrCode code = Save(folder.Path("sub/house.mod"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(code, APIERR_GENERAL);
    EXPECT_EQ(folder.Files("sub"), std::vector<std::string>{"house.mod"});
    EXPECT_EQ(TempFolder::Read(folder.Path("sub/house.mod")), "the previous module");

    const std::string longest(251, 'm');
    EXPECT_EQ(Save(folder.Path(longest + ".mod")), NoError) << "a name as long as names go";
    EXPECT_TRUE(fs::exists(folder.Path(longest + ".mod")));
    ASSERT_EQ(Save(folder.Path("sub/house.mod")), NoError) << "a successful save replaces it";
    HostTesting::ModuleSummary summary;
    ASSERT_EQ(HostTesting::ReadModuleSummary(folder.Path("sub/house.mod"), &summary), NoError);
    EXPECT_EQ(summary.elements.size(), 3001u);
}

}  // namespace
