// Undoable commands: one step per success, rollback of failures, no nesting, undo to the exact previous state.

#include <cstdint>
#include <thread>

#include "QuillmereTest.hpp"

namespace {

using Steps = std::vector<std::string>;

class UndoableCommands : public HostTest {
protected:
    static API_Guid CreateWall(double x)
    {
        API_Element e = HostTesting::MakeElement(API_WallID);
        e.wall.begC = {x, 0};
        e.wall.endC = {x, 3};
        EXPECT_EQ(ACAPI_Element_Create(&e, nullptr), NoError);
        return e.header.guid;
    }
    static GSErrCode SetHeight(const API_Guid& guid, double height)
    {
        API_Element e = Cleared(), mask = Cleared();
        e.header.guid = guid;
        e.wall.height = height;
        ACAPI_ELEMENT_MASK_SET(mask, wall, height);
        return ACAPI_Element_Change(&e, &mask);
    }
    static GSErrCode ReplacePolygon(const API_Guid& guid)
    {
        API_Element change = Read(guid);
        ScopedMemo memo;
        PutPolygon(memo.memo, kRectangle8x6);
        return ACAPI_Element_Change(&change, nullptr, memo.get(), 0, true);
    }
    // One step of every kind of change: a new wall, a changed height, a new polygon, a hidden
    // layer, a new layer and deleted elements.
    // The body ends with finish, given the deletion's result.
    static GSErrCode MixedStep(
        const API_Guid& heightened, const API_Guid& reshaped, API_Attribute hidden, API_Attribute created,
        const GS::Array<API_Guid>& doomed,
        const std::function<GSErrCode(GSErrCode)>& finish = [](GSErrCode deleted) { return deleted; })
    {
        return Command(
            [&] {
                CreateWall(7);
                SetHeight(heightened, 3.1);
                EXPECT_EQ(ReplacePolygon(reshaped), NoError);
                hidden.header.flags = Int16(hidden.header.flags | APILay_Hidden);
                EXPECT_EQ(ACAPI_Attribute_Modify(&hidden), NoError);
                EXPECT_EQ(ACAPI_Attribute_Create(&created), NoError);
                return finish(ACAPI_Element_Delete(doomed));
            },
            "Quillmere: Mixed");
    }
    // Everything observable about the elements (records and polygons), in creation order.
    static std::vector<std::pair<std::string, std::vector<API_Coord>>> Snapshot()
    {
        std::vector<std::pair<std::string, std::vector<API_Coord>>> out;
        for (const API_Guid& guid : HostTesting::AllElements()) {
            const API_Element e = Read(guid);
            out.emplace_back(std::string(reinterpret_cast<const char*>(&e), sizeof e), HostTesting::GetPolygon(guid));
        }
        return out;
    }
};

TEST_F(UndoableCommands, TheBodyRunsOnceAsOneStepNamedByteForByteAndNestingAndUndoAreRefusedInside)
{
    int runs = 0;
    GSErrCode inner = NoError, undo = NoError;
    const auto body = [&] { return ++runs, CreateWall(runs), NoError; };
    bool inside = false;
    EXPECT_EQ(
        Command([&] { return body(), inside = HostTesting::InUndoableCommand(), body(); }, "Quillmere: Größe ändern"),
        NoError);
    EXPECT_TRUE(inside && runs == 2);
    EXPECT_EQ(Command([&] { return inner = Command(body, "Inner"), undo = HostTesting::Undo(), body(); },
                      "Quillmere: Move Elements"),
              NoError);
    EXPECT_EQ(std::make_tuple(inner, undo != NoError, runs), std::make_tuple(APIERR_REFUSEDCMD, true, 3));
    EXPECT_EQ(HostTesting::UndoStepNames(), (Steps{"Quillmere: Größe ändern", "Quillmere: Move Elements"}));
    HostTesting::FailNextCall("ACAPI_CallUndoableCommand", APIERR_GENERAL);
    EXPECT_EQ(Command(body), APIERR_GENERAL);
    EXPECT_EQ(runs, 3) << "an injected refusal skips the body";
}

TEST_F(UndoableCommands, UndoRestoresTheExactPreviousStateAndRedoMakesTheStepAgain)
{
    API_Guid a = HostTesting::AddWall(0, 0, 5, 0), b = HostTesting::AddWall(0, 1, 5, 1),
             c = HostTesting::AddFixture(API_SlabID);
    API_Guid window = HostTesting::AddFixture(API_WindowID, 0, a), d = HostTesting::AddFixture(API_SlabID);
    // A deleted text comes back with its content.
    const std::string content = "Küche 3×4 m";
    ScopedMemo memo, back;
    API_Element label = HostTesting::MakeElement(API_TextID, memo.get());
    BMKillHandle(&memo->textContent);
    memo->textContent = BMAllocateHandle(GSSize(content.size() + 1), ALLOCATE_CLEAR, 0);
    std::memcpy(*memo->textContent, content.c_str(), content.size());
    const API_Guid text = HostTesting::AddElement(label, memo.get());
    API_Attribute outside = HostTesting::MakeLayer("Made Outside"), inside = HostTesting::MakeLayer("Made Inside");
    ASSERT_EQ(ACAPI_Attribute_Create(&outside), NoError);
    const Int32 insideIndex = AttributeCount(API_LayerID) + 1;
    EXPECT_TRUE(HostTesting::UndoStepNames().empty()) << "attribute calls outside a command make no step";
    const API_Attribute layer = GetAttr(API_LayerID, 2);
    // The elements, the wall list's order, layer 2's record and which made layers exist.
    const auto state = [&] {
        const API_Attribute shown = GetAttr(API_LayerID, 2);
        return std::make_tuple(Snapshot(), ListOf(API_WallID),
                               std::string(reinterpret_cast<const char*>(&shown), sizeof shown),
                               HostTesting::GetAttribute(API_LayerID, insideIndex, nullptr),
                               HostTesting::GetAttribute(API_LayerID, outside.header.index, nullptr));
    };
    const auto before = state();
    // A body that fails or throws is rolled back whole, polygons, attributes and memos too.
    const struct {
        const char* how;
        std::function<GSErrCode(GSErrCode)> finish;
        GSErrCode code;
    } failures[] = {{"a non-zero result", [](GSErrCode) { return APIERR_BADPARS; }, APIERR_BADPARS},
                    {"a non-standard exception", [](GSErrCode) -> GSErrCode { throw 42; }, APIERR_COMMANDFAILED}};
    for (const auto& f : failures) {
        GSErrCode code = NoError;
        EXPECT_NO_THROW(code = MixedStep(b, d, layer, inside, {a, c, text}, f.finish)) << f.how;
        EXPECT_EQ(code, f.code) << f.how;
        EXPECT_TRUE(HostTesting::UndoStepNames().empty()) << f.how;
        EXPECT_TRUE(state() == before) << f.how;
    }
    ASSERT_EQ(MixedStep(b, d, layer, inside, {a, c, text}), NoError);
    EXPECT_FALSE(HostTesting::ElementExists(window));
    EXPECT_EQ(HostTesting::GetPolygon(d)[1], (API_Coord{8, 0})) << "the polygon was replaced";
    EXPECT_NE(HostTesting::Redo(), NoError) << "nothing was undone";
    const auto after = state();
    EXPECT_TRUE(after != before && std::get<3>(after));
    // Restored and redone elements keep their place in the list.
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_TRUE(state() == before);
    ASSERT_TRUE(HostTesting::GetElementMemo(text, back.get()) && back->textContent != nullptr);
    EXPECT_EQ(std::string(*back->textContent), content);
    EXPECT_TRUE(HostTesting::UndoStepNames().empty());
    EXPECT_EQ(HostTesting::RedoStepNames(), Steps{"Quillmere: Mixed"});
    EXPECT_NE(HostTesting::Undo(), NoError) << "nothing left to undo";
    ASSERT_EQ(HostTesting::Redo(), NoError);
    EXPECT_TRUE(state() == after);
}

TEST_F(UndoableCommands, UndoTakesBackOnlyTheLastStepToTheStateBeforeIt)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    Command([&] { return SetHeight(wall, 3.0); }, "First");
    Command([&] { return SetHeight(wall, 4.0); }, "Second");
    Command(
        [&] {
            SetHeight(wall, 4.5);  // touched twice in one step
            return SetHeight(wall, 5.0);
        },
        "Third");
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(Read(wall).wall.height, 4.0);
    EXPECT_EQ(HostTesting::UndoStepNames(), (Steps{"First", "Second"}));
    const auto before = Snapshot();
    Command([&] { return ACAPI_Element_Delete({CreateWall(0)}); });
    EXPECT_EQ(Snapshot(), before) << "created and deleted in one step leaves no trace";
    HostTesting::Undo();
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(UndoableCommands, TheRevisionMovesOnWithEveryStepUndoRedoAndResetButNotWithAFailedCommand)
{
    const auto wall = [](GSErrCode result) {
        return [result] { return Command([result] { return CreateWall(0), result; }); };
    };
    const struct {
        const char* what;
        std::function<GSErrCode()> run;
        GSErrCode code;
        bool moves;
    } steps[] = {{"a rolled-back command", wall(APIERR_GENERAL), APIERR_GENERAL, false},
                 {"a command", wall(NoError), NoError, true},
                 {"undo", HostTesting::Undo, NoError, true},
                 {"redo", HostTesting::Redo, NoError, true}};
    std::uint64_t last = HostTesting::ProjectRevision();
    for (const auto& step : steps) {
        EXPECT_EQ(step.run(), step.code) << step.what;
        EXPECT_EQ(HostTesting::ProjectRevision() != last, step.moves) << step.what;
        last = HostTesting::ProjectRevision();
    }
    // A waiter on another thread wakes for the change; a wait with nothing happening times out.
    EXPECT_EQ(HostTesting::WaitForProjectChange(last, 10), last);
    std::thread waiter([seen = last] { EXPECT_NE(HostTesting::WaitForProjectChange(seen, 60000), seen); });
    ASSERT_EQ(HostTesting::Undo(), NoError);
    waiter.join();
    last = HostTesting::ProjectRevision();
    HostTesting::ResetProject();
    EXPECT_NE(HostTesting::ProjectRevision(), last);
}

// The history is bounded in steps and bytes, the oldest step dropped first (never the newest);
// the steps kept still undo.
TEST_F(UndoableCommands, HistoryKeepsTheNewestStepsUpToItsLimit)
{
    struct Case {
        const char* name;
        size_t limit, limitAfter;  // the second set once the steps are made
        int steps;                 // each makes one wall, named "Step <n>"
        std::vector<std::string> kept;
        double budget = 0;  // in bytes of the first step, set once it is made (0: the default)
    };
    const Case cases[] = {
        {"under the limit", 5, 5, 3, {"Step 1", "Step 2", "Step 3"}},
        {"past the limit", 2, 2, 4, {"Step 3", "Step 4"}},
        {"no history", 0, 0, 2, {}},
        {"limit lowered afterwards", 5, 1, 3, {"Step 3"}},
        {"past the byte budget", 5, 5, 4, {"Step 3", "Step 4"}, 2.5},
        {"a step over the budget", 5, 5, 3, {"Step 3"}, 0.5},
    };
    for (const Case& c : cases) {
        HostTesting::ResetProject();
        const size_t wallsBefore = HostTesting::ElementCount(API_WallID);
        HostTesting::SetUndoLimit(c.limit);
        for (int i = 1; i <= c.steps; ++i) {
            const std::string name = "Step " + std::to_string(i);
            ASSERT_EQ(Command([&] { return CreateWall(i), NoError; }, name.c_str()), NoError);
            if (i == 1 && c.budget > 0) HostTesting::SetUndoBudget(size_t(HostTesting::UndoHistoryBytes() * c.budget));
        }
        HostTesting::SetUndoLimit(c.limitAfter);
        EXPECT_EQ(HostTesting::UndoStepNames(), c.kept) << c.name;
        size_t undone = 0;
        while (HostTesting::Undo() == NoError) ++undone;
        EXPECT_EQ(undone, c.kept.size()) << c.name;
        EXPECT_EQ(HostTesting::ElementCount(API_WallID) - wallsBefore, size_t(c.steps) - undone) << c.name;
    }
}

}  // namespace
