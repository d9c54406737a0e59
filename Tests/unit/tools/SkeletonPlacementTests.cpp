// Placing modules: the shared placement routine (node, instance at the origin, break) and the
// skeleton tool around it: counts, zones and metadata, one undo step, a temporary file that
// never outlives the call and never replaces a file that was there, and the refusals.

#include <sys/stat.h>

#include "TypologyTest.hpp"
#include "tools/library/ModulePlacement.hpp"

namespace {

class ModulePlacement : public TypologyTest {
protected:
    std::string WriteModuleFile(const std::string& bytes)
    {
        const std::string path = folder.Path("placed.mod");
        TempFolder::Write(path, bytes);
        return path;
    }
    std::vector<std::string> CallNames() const
    {
        std::vector<std::string> names;
        for (const auto& call : HostTesting::CallLog()) names.push_back(call.function);
        return names;
    }
    TempFolder folder{"quillmere-placement"};
};

TEST_F(ModulePlacement, FailuresReturnTheFirstHostCodeAndLeaveNoNode)
{
    const std::string good = WriteModuleFile(FixtureModuleBytes());
    struct Case {
        const char* name;
        std::string path;
        HostTesting::FailureRule rule;  // empty function: no injection
        GSErrCode expected;
        size_t calls;  // inside the command
    };
    const Case cases[] = {
        {"foreign file",
         [&] {
             std::string p = folder.Path("text.mod");
             TempFolder::Write(p, "hello");
             return p;
         }(),
         {},
         APIERR_BADPARS,
         1},
        {"break refused", good, {"ACAPI_Database", APIERR_GENERAL, 1, 1}, APIERR_GENERAL, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTesting::ClearFailures();
        if (!c.rule.function.empty()) HostTesting::InjectFailure(c.rule);
        HostTesting::ClearCallLog();
        EXPECT_EQ(Command([&] { return PlaceModuleAsElements(c.path, "x"); }), c.expected);
        EXPECT_EQ(CallNames().size(), 1 + c.calls);
        EXPECT_EQ(HostTesting::HotlinkNodeCount(), 0u);
        EXPECT_EQ(HostTesting::ElementCount(), 0u);
        EXPECT_TRUE(UndoSteps().empty());
    }
}

class TypologySkeleton : public TypologyTest {
protected:
    void PutTypology(const std::string& name, const std::string& module, const std::string& meta = std::string())
    {
        storage.Put("typologies/" + name + "/model.mod", module);
        if (!meta.empty()) storage.Put("typologies/" + name + "/meta.json", meta);
    }
    std::string TypologiesDir() const { return QuillmereDir() + "/typologies"; }
};

TEST_F(TypologySkeleton, PlacesTheSkeletonAndReportsWhatItAdded)
{
    PutTypology("family-3br-2bath", FixtureModuleBytes(), R"({"rooms":["Living"],"note":"fixture"})");
    const std::string expectedCreated =
        R"({"beams":0,"columns":0,"doors":1,"objects":0,"roofs":0,"slabs":1,"walls":4,"windows":1,"zones":1})";

    json first = Data(Run("apply_typology_skeleton", {{"typology_name", "family-3br-2bath"}}));
    EXPECT_EQ(first["created"].dump(), expectedCreated);
    EXPECT_EQ(HostTesting::HotlinkNodeCount(), 0u) << "placed as plain elements";
    EXPECT_EQ(Read(ListOf(API_PolyLineID)[0]).header.floorInd, 1) << "content keeps its story";
    EXPECT_EQ(first["meta"], json::parse(R"({"rooms":["Living"],"note":"fixture"})"));
    ASSERT_EQ(first["zones"].size(), 1u);
    const API_Element zone = Read(ListOf(API_ZoneID)[0]);
    EXPECT_EQ(first["zones"][0], json({{"center", {zone.zone.pos.x, zone.zone.pos.y}}, {"name", "Living"}}));
    EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Apply Typology Skeleton"});
    EXPECT_TRUE(FilesIn(TypologiesDir()).empty()) << "the temporary module is gone";

    // A second placement counts only itself; the zones are those of the whole project.
    json second = Data(Run("apply_typology_skeleton", {{"typology_name", "family-3br-2bath"}}));
    EXPECT_EQ(second["created"].dump(), expectedCreated);
    EXPECT_EQ(second["zones"].size(), 2u);
    ASSERT_TRUE(UndoLast());
    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(HostTesting::ElementCount(), 0u);
}

TEST_F(TypologySkeleton, RefusalsChangeNothing)
{
    PutTypology("broken", "QMOD but not really a module");
    const std::string noModule = "NO_MOD_FILE: Could not download module for typology '";
    struct Case {
        json input;
        std::string error;
        size_t downloads;
    };
    const Case cases[] = {
        {json::object(), "typology_name is required", 0},
        {{{"typology_name", "no-such-house"}}, noModule + "no-such-house'", 1},
        {{{"typology_name", "broken"}}, "Typology apply failed (error -2130313112)", 2},
        // Names that would leave the typology's folder or change the request are never sent.
        {{{"typology_name", "../index.json"}}, noModule + "../index.json'", 0},
        {{{"typology_name", "%2e%2e"}}, noModule + "%2e%2e'", 0},
        {{{"typology_name", ".."}}, noModule + "..'", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.dump());
        const size_t before = PublicDownloads();
        const ToolResult r = Run("apply_typology_skeleton", c.input);
        EXPECT_FALSE(r.success);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(PublicDownloads() - before, c.downloads);
        EXPECT_EQ(HostTesting::ElementCount(), 0u);
        EXPECT_TRUE(UndoSteps().empty());
        EXPECT_TRUE(FilesIn(TypologiesDir()).empty());
    }
    EXPECT_FALSE(Run("apply_typology_skeleton", {{"typology_name", 5}}).success);
}

TEST_F(TypologySkeleton, TheTemporaryFileIsNeverOneThatWasThere)
{
    PutTypology("t", FixtureModuleBytes());
    ASSERT_EQ(::mkdir(QuillmereDir().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(TypologiesDir().c_str(), 0755), 0);
    // The fixed names of older builds, and a link that a fixed name would have followed.
    TempFolder::Write(TypologiesDir() + "/_tmp_typology.mod", "keep me");
    TempFolder outside("quillmere-outside");
    ASSERT_EQ(::symlink(outside.Path("target").c_str(), (TypologiesDir() + "/_tmp_typology_link.mod").c_str()), 0);

    EXPECT_TRUE(Run("apply_typology_skeleton", {{"typology_name", "t"}}).success);
    EXPECT_EQ(TempFolder::Read(TypologiesDir() + "/_tmp_typology.mod"), "keep me");
    EXPECT_EQ(FilesIn(TypologiesDir()).size(), 2u);
    EXPECT_TRUE(outside.Files().empty());

    // A host failure still removes the temporary file.
    HostTesting::FailNextCall("ACAPI_Element_Create", APIERR_MEMFULL);
    EXPECT_EQ(Run("apply_typology_skeleton", {{"typology_name", "t"}}).error,
              "Typology apply failed (error -2130313214)");
    EXPECT_EQ(FilesIn(TypologiesDir()).size(), 2u);
}

TEST_F(TypologySkeleton, AFolderThatCannotTakeTheFileFailsTheCall)
{
    PutTypology("t", FixtureModuleBytes());
    ASSERT_EQ(::mkdir(QuillmereDir().c_str(), 0755), 0);
    TempFolder::Write(TypologiesDir(), "a file where the folder should be");
    const ToolResult r = Run("apply_typology_skeleton", {{"typology_name", "t"}});
    EXPECT_EQ(r.error, "Failed to write temp .mod file");
    EXPECT_EQ(HostTesting::CallCount("ACAPI_CallUndoableCommand"), 0);
    EXPECT_EQ(HostTesting::ElementCount(), 0u);
}

}  // namespace
