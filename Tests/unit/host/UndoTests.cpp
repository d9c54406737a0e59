// Undoable commands: one step per success, rollback of failures, no nesting, undo to the exact previous state.

#include <cstdint>
#include <stdexcept>
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
    static GSErrCode MixedStep(const API_Guid& heightened, const API_Guid& reshaped, API_Attribute& hidden,
                               API_Attribute& created, const GS::Array<API_Guid>& doomed)
    {
        return Command(
            [&] {
                CreateWall(7);
                SetHeight(heightened, 3.1);
                EXPECT_EQ(ReplacePolygon(reshaped), NoError);
                hidden.header.flags = Int16(hidden.header.flags | APILay_Hidden);
                EXPECT_EQ(ACAPI_Attribute_Modify(&hidden), NoError);
                EXPECT_EQ(ACAPI_Attribute_Create(&created), NoError);
                return ACAPI_Element_Delete(doomed);
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

TEST_F(UndoableCommands, AFailingOrThrowingBodyIsRolledBackWholeWithPolygonsAndNothingEscapes)
{
    API_Guid kept = HostTesting::AddWall(0, 0, 5, 0), doomed = HostTesting::AddWall(0, 1, 5, 1),
             slab = HostTesting::AddFixture(API_SlabID);
    const auto before = Snapshot();
    const Int32 layersBefore = AttributeCount(API_LayerID);
    struct Failure {
        const char* how;
        std::function<GSErrCode()> fail;
        GSErrCode code;
    };
    for (const Failure& f :
         std::vector<Failure>{{"a non-zero result", [] { return APIERR_BADPARS; }, APIERR_BADPARS},
                              {"a non-standard exception", []() -> GSErrCode { throw 42; }, APIERR_COMMANDFAILED}}) {
        GSErrCode code = NoError;
        EXPECT_NO_THROW(code = Command([&] {
                            CreateWall(9);
                            EXPECT_EQ(SetHeight(kept, 4.4), NoError);
                            EXPECT_EQ(ReplacePolygon(slab), NoError);
                            EXPECT_EQ(ACAPI_Element_Delete({doomed}), NoError);
                            API_Attribute layer = HostTesting::MakeLayer("Scratch");
                            EXPECT_EQ(ACAPI_Attribute_Create(&layer), NoError);
                            return f.fail();
                        }))
            << f.how;
        EXPECT_EQ(code, f.code) << f.how;
        EXPECT_TRUE(HostTesting::UndoStepNames().empty()) << f.how;
        EXPECT_EQ(Snapshot(), before) << f.how;
        EXPECT_EQ(AttributeCount(API_LayerID), layersBefore) << f.how;
    }
    EXPECT_EQ(Command([] {
                  CreateWall(1);
                  return NoError;
              }),
              NoError)
        << "the host is usable afterwards";
}

TEST_F(UndoableCommands, TheBodyRunsOnceAsOneStepNamedByteForByteAndNestingAndUndoAreRefusedInside)
{
    int runs = 0;
    bool innerRan = false;
    GSErrCode inner = NoError, undo = NoError;
    EXPECT_EQ(Command(
                  [&] {
                      ++runs;
                      EXPECT_TRUE(HostTesting::InUndoableCommand());
                      CreateWall(0);
                      CreateWall(1);
                      return NoError;
                  },
                  "Quillmere: Größe ändern"),
              NoError);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(Command(
                  [&] {
                      inner = Command(
                          [&] {
                              innerRan = true;
                              return NoError;
                          },
                          "Inner");
                      undo = HostTesting::Undo();
                      CreateWall(2);
                      return NoError;
                  },
                  "Quillmere: Move Elements"),
              NoError);
    EXPECT_EQ(inner, APIERR_REFUSEDCMD);
    EXPECT_FALSE(innerRan);
    EXPECT_NE(undo, NoError);
    EXPECT_EQ(HostTesting::UndoStepNames(), (Steps{"Quillmere: Größe ändern", "Quillmere: Move Elements"}));
    HostTesting::FailNextCall("ACAPI_CallUndoableCommand", APIERR_GENERAL);
    runs = 0;
    EXPECT_EQ(Command([&] {
                  ++runs;
                  return NoError;
              }),
              APIERR_GENERAL)
        << "an injected refusal skips the body";
    EXPECT_EQ(runs, 0);
}

TEST_F(UndoableCommands, UndoRestoresTheExactPreviousStateAndRedoMakesTheStepAgain)
{
    API_Guid a = HostTesting::AddWall(0, 0, 5, 0), b = HostTesting::AddWall(0, 1, 5, 1),
             c = HostTesting::AddFixture(API_SlabID);
    API_Guid window = HostTesting::AddFixture(API_WindowID, 0, a), d = HostTesting::AddFixture(API_SlabID);
    API_Attribute outside = HostTesting::MakeLayer("Made Outside"), inside = HostTesting::MakeLayer("Made Inside");
    ASSERT_EQ(ACAPI_Attribute_Create(&outside), NoError);
    EXPECT_TRUE(HostTesting::UndoStepNames().empty()) << "attribute calls outside a command make no step";
    API_Attribute layer = GetAttr(API_LayerID, 2);
    const API_Attribute layerBefore = layer;
    const auto before = Snapshot();
    const std::vector<API_Guid> wallsBefore = ListOf(API_WallID);
    ASSERT_EQ(MixedStep(b, d, layer, inside, {a, c}), NoError);
    EXPECT_FALSE(HostTesting::ElementExists(window));
    EXPECT_EQ(HostTesting::GetPolygon(d)[1], (API_Coord{8, 0})) << "the polygon was replaced";
    EXPECT_NE(HostTesting::Redo(), NoError) << "nothing was undone";
    const auto after = Snapshot();
    const std::vector<API_Guid> wallsAfter = ListOf(API_WallID);
    const API_Attribute layerAfter = GetAttr(API_LayerID, 2);

    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(ListOf(API_WallID), wallsBefore) << "restored elements keep their place in the list";
    EXPECT_TRUE(Same(GetAttr(API_LayerID, 2), layerBefore));
    EXPECT_FALSE(HostTesting::GetAttribute(API_LayerID, inside.header.index, nullptr));
    EXPECT_TRUE(HostTesting::GetAttribute(API_LayerID, outside.header.index, nullptr));
    EXPECT_TRUE(HostTesting::UndoStepNames().empty());
    EXPECT_EQ(HostTesting::RedoStepNames(), Steps{"Quillmere: Mixed"});
    EXPECT_NE(HostTesting::Undo(), NoError) << "nothing left to undo";

    ASSERT_EQ(HostTesting::Redo(), NoError);
    EXPECT_EQ(Snapshot(), after);
    EXPECT_EQ(ListOf(API_WallID), wallsAfter) << "redone elements keep their place in the list";
    EXPECT_TRUE(Same(GetAttr(API_LayerID, 2), layerAfter));
    EXPECT_TRUE(HostTesting::GetAttribute(API_LayerID, inside.header.index, nullptr));
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

TEST_F(UndoableCommands, DeletedDraftingComesBackWithItsMemoOnUndo)
{
    const std::string content = "Küche 3×4 m";
    std::vector<API_Guid> made;
    GS::Array<API_Guid> all;
    for (API_ElemTypeID typeID : {API_LineID, API_ArcID, API_TextID, API_PolyLineID, API_HotspotID, API_SplineID,
                                  API_HatchID, API_DimensionID}) {
        ScopedMemo memo;
        API_Element e = HostTesting::MakeElement(typeID, memo.get());
        if (typeID == API_TextID) {
            BMKillHandle(&memo->textContent);
            memo->textContent = BMAllocateHandle(GSSize(content.size() + 1), ALLOCATE_CLEAR, 0);
            std::memcpy(*memo->textContent, content.c_str(), content.size());
        }
        ASSERT_EQ(CreateInCommand(e, memo.get()), NoError) << typeID;
        made.push_back(e.header.guid);
        all.Push(e.header.guid);
    }
    ASSERT_EQ(DeleteInCommand(all), NoError);
    EXPECT_EQ(HostTesting::ElementCount(), 0u);
    ASSERT_EQ(HostTesting::Undo(), NoError);
    ASSERT_EQ(HostTesting::AllElements(), made);
    ScopedMemo text;
    ASSERT_TRUE(HostTesting::GetElementMemo(made[2], text.get()));
    ASSERT_NE(text->textContent, nullptr);
    EXPECT_EQ(std::string(*text->textContent), content);
}

TEST_F(UndoableCommands, TheRevisionMovesOnWithEveryStepUndoRedoAndResetButNotWithAFailedCommand)
{
    using Revision = std::uint64_t;
    Revision last = HostTesting::ProjectRevision();
    auto moved = [&last] {
        const Revision now = HostTesting::ProjectRevision();
        const bool changed = now != last;
        last = now;
        return changed;
    };
    EXPECT_EQ(Command([] {
                  CreateWall(0);
                  return APIERR_GENERAL;
              }),
              APIERR_GENERAL);
    EXPECT_FALSE(moved()) << "a rolled-back command changed nothing";
    ASSERT_EQ(Command([] {
                  CreateWall(0);
                  return NoError;
              }),
              NoError);
    EXPECT_TRUE(moved());
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_TRUE(moved());
    ASSERT_EQ(HostTesting::Redo(), NoError);
    EXPECT_TRUE(moved());
    // A waiter on another thread wakes for the change; a wait with nothing happening times out.
    EXPECT_EQ(HostTesting::WaitForProjectChange(last, 10), last);
    std::thread waiter([seen = last] { EXPECT_NE(HostTesting::WaitForProjectChange(seen, 60000), seen); });
    ASSERT_EQ(HostTesting::Undo(), NoError);
    waiter.join();
    HostTesting::ResetProject();
    EXPECT_TRUE(moved());
}

}  // namespace
