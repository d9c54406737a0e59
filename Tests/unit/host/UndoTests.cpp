// Undoable commands: one step per successful command, rollback of failed ones, nesting
// refused, and undo back to the exact previous state.

#include <stdexcept>

#include "HostFixture.hpp"

namespace {

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
        API_Element e = Cleared();
        e.header.guid = guid;
        e.wall.height = height;
        API_Element mask = Cleared();
        ACAPI_ELEMENT_MASK_SET(mask, wall, height);
        return ACAPI_Element_Change(&e, &mask);
    }

    // Everything observable about the elements, in creation order.
    static std::vector<std::vector<char>> Snapshot()
    {
        std::vector<std::vector<char>> out;
        for (const API_Guid& guid : HostTesting::AllElements()) {
            API_Element e;
            HostTesting::GetElement(guid, &e);
            std::vector<char> bytes(reinterpret_cast<char*>(&e), reinterpret_cast<char*>(&e) + sizeof e);
            for (const API_Coord& c : HostTesting::GetPolygon(guid)) {
                const char* p = reinterpret_cast<const char*>(&c);
                bytes.insert(bytes.end(), p, p + sizeof c);
            }
            out.push_back(bytes);
        }
        return out;
    }
};

TEST_F(UndoableCommands, TheBodyRunsOnceAndASuccessIsOneStepNamedByteForByte)
{
    int runs = 0;
    EXPECT_EQ(Command([&] {
        ++runs;
        EXPECT_TRUE(HostTesting::InUndoableCommand());
        CreateWall(0);
        CreateWall(1);
        return NoError;
    }, "Quillmere: Größe ändern"), NoError);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(HostTesting::InUndoableCommand());
    EXPECT_EQ(HostTesting::ElementCount(), 2u);
    Command([] { return NoError; }, "Quillmere: Move Elements");
    EXPECT_EQ(HostTesting::UndoStepNames(), (std::vector<std::string>{"Quillmere: Größe ändern", "Quillmere: Move Elements"}));
}

TEST_F(UndoableCommands, AFailingOrThrowingBodyIsRolledBackWholeAndNothingEscapes)
{
    API_Guid kept = HostTesting::AddWall(0, 0, 5, 0);
    API_Guid doomed = HostTesting::AddWall(0, 1, 5, 1);
    const auto before = Snapshot();
    const Int32 layersBefore = AttributeCount(API_LayerID);
    struct Failure { const char* how; std::function<GSErrCode()> fail; GSErrCode code; };
    for (const Failure& f : std::vector<Failure>{
             {"a non-zero result", [] { return APIERR_BADPARS; }, APIERR_BADPARS},
             {"a standard exception", []() -> GSErrCode { throw std::runtime_error("tool failed half way"); }, APIERR_COMMANDFAILED},
             {"a non-standard exception", []() -> GSErrCode { throw 42; }, APIERR_COMMANDFAILED}}) {
        SCOPED_TRACE(f.how);
        GSErrCode code = NoError;
        EXPECT_NO_THROW(code = Command([&] {
            CreateWall(9);
            EXPECT_EQ(SetHeight(kept, 4.4), NoError);
            EXPECT_EQ(ACAPI_Element_Delete({doomed}), NoError);
            API_Attribute layer = HostTesting::MakeLayer("Scratch");
            EXPECT_EQ(ACAPI_Attribute_Create(&layer), NoError);
            return f.fail();
        }));
        EXPECT_EQ(code, f.code);
        EXPECT_TRUE(HostTesting::UndoStepNames().empty());
        EXPECT_EQ(Snapshot(), before);
        EXPECT_EQ(AttributeCount(API_LayerID), layersBefore);
    }
    EXPECT_EQ(Command([] { CreateWall(1); return NoError; }), NoError) << "the host is usable afterwards";
}

TEST_F(UndoableCommands, NestedCommandsAndUndoAreRefusedInsideACommand)
{
    Command([] { return NoError; }, "Earlier");
    bool innerRan = false;
    GSErrCode inner = NoError, undo = NoError;
    EXPECT_EQ(Command([&] {
        inner = Command([&] { innerRan = true; return NoError; }, "Inner");
        undo = HostTesting::Undo();
        CreateWall(0);
        return NoError;
    }, "Outer"), NoError);
    EXPECT_EQ(inner, APIERR_REFUSEDCMD);
    EXPECT_FALSE(innerRan);
    EXPECT_NE(undo, NoError);
    EXPECT_EQ(HostTesting::UndoStepNames(), (std::vector<std::string>{"Earlier", "Outer"}));
}

TEST_F(UndoableCommands, AnInjectedRefusalSkipsTheBody)
{
    HostTesting::FailNextCall("ACAPI_CallUndoableCommand", APIERR_GENERAL);
    bool ran = false;
    EXPECT_EQ(Command([&] { ran = true; return NoError; }), APIERR_GENERAL);
    EXPECT_FALSE(ran);
    EXPECT_EQ(Command([&] { ran = true; return NoError; }), NoError);
    EXPECT_TRUE(ran);
}

TEST_F(UndoableCommands, UndoRestoresTheExactPreviousState)
{
    API_Guid a = HostTesting::AddWall(0, 0, 5, 0);
    API_Guid b = HostTesting::AddWall(0, 1, 5, 1);
    API_Guid c = HostTesting::AddFixture(API_SlabID);
    API_Guid window = HostTesting::AddFixture(API_WindowID, 0, a);
    const auto before = Snapshot();
    const std::vector<API_Guid> wallsBefore = ListOf(API_WallID);
    ASSERT_EQ(Command([&] {
        CreateWall(7);
        SetHeight(b, 3.1);
        return ACAPI_Element_Delete({a, c});
    }, "Quillmere: Mixed"), NoError);
    EXPECT_FALSE(HostTesting::ElementExists(window));
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(ListOf(API_WallID), wallsBefore) << "restored elements keep their place in the list";
    EXPECT_TRUE(HostTesting::ElementExists(window));
    EXPECT_TRUE(HostTesting::UndoStepNames().empty());
    EXPECT_NE(HostTesting::Undo(), NoError) << "nothing left to undo";
}

TEST_F(UndoableCommands, AReplacedPolygonComesBackOnRollbackAndOnUndo)
{
    API_Guid slab = HostTesting::AddFixture(API_SlabID);
    const std::vector<API_Coord> original = HostTesting::GetPolygon(slab);
    auto replacePolygon = [&] {
        API_Element change = Read(slab);
        ScopedMemo memo;
        PutPolygon(memo.memo, kRectangle8x6);
        return ACAPI_Element_Change(&change, nullptr, memo.get(), 0, true);
    };
    auto sameAsOriginal = [&] {
        const std::vector<API_Coord> now = HostTesting::GetPolygon(slab);
        return now.size() == original.size() && std::memcmp(now.data(), original.data(), now.size() * sizeof(API_Coord)) == 0;
    };
    EXPECT_EQ(Command([&] {
        EXPECT_EQ(replacePolygon(), NoError);
        return APIERR_GENERAL;
    }), APIERR_GENERAL);
    EXPECT_TRUE(sameAsOriginal()) << "rolled back";
    ASSERT_EQ(Command(replacePolygon), NoError);
    EXPECT_FALSE(sameAsOriginal());
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_TRUE(sameAsOriginal()) << "undone";
}

TEST_F(UndoableCommands, UndoTakesBackOnlyTheLastStepToTheStateBeforeIt)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    Command([&] { return SetHeight(wall, 3.0); }, "First");
    Command([&] { return SetHeight(wall, 4.0); }, "Second");
    Command([&] {
        SetHeight(wall, 4.5);   // touched twice in one step
        return SetHeight(wall, 5.0);
    }, "Third");
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(Read(wall).wall.height, 4.0);
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(Read(wall).wall.height, 3.0);
    EXPECT_EQ(HostTesting::UndoStepNames(), std::vector<std::string>{"First"});
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(Read(wall).wall.height, 2.7);

    const auto before = Snapshot();
    Command([&] { return ACAPI_Element_Delete({CreateWall(0)}); });
    EXPECT_EQ(Snapshot(), before) << "created and deleted in one step leaves no trace";
    HostTesting::Undo();
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(UndoableCommands, AttributeChangesInsideAStepAreUndoneOutsideOnesStay)
{
    API_Attribute outside = HostTesting::MakeLayer("Made Outside");
    ASSERT_EQ(ACAPI_Attribute_Create(&outside), NoError);
    EXPECT_TRUE(HostTesting::UndoStepNames().empty()) << "attribute calls outside a command make no step";
    API_Attribute layer;
    BNClear(layer);
    layer.header.typeID = API_LayerID;
    layer.header.index = 2;
    ASSERT_EQ(ACAPI_Attribute_Get(&layer), NoError);
    const API_Attribute before = layer;
    API_Attribute inside = HostTesting::MakeLayer("Made Inside");
    ASSERT_EQ(Command([&] {
        layer.header.flags = Int16(layer.header.flags | APILay_Hidden);
        EXPECT_EQ(ACAPI_Attribute_Modify(&layer), NoError);
        return ACAPI_Attribute_Create(&inside);
    }), NoError);
    ASSERT_EQ(HostTesting::Undo(), NoError);
    ASSERT_EQ(ACAPI_Attribute_Get(&layer), NoError);
    EXPECT_EQ(layer.header.flags, before.header.flags);
    EXPECT_FALSE(HostTesting::GetAttribute(API_LayerID, inside.header.index, nullptr));
    EXPECT_TRUE(HostTesting::GetAttribute(API_LayerID, outside.header.index, nullptr));
}

}  // namespace
