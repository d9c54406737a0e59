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
        API_Element e;
        BNClear(e);
        e.header.guid = guid;
        e.wall.height = height;
        API_Element mask;
        BNClear(mask);
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

TEST_F(UndoableCommands, TheBodyRunsOnceAndASuccessIsOneNamedStep)
{
    int runs = 0;
    GSErrCode code = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Create Wall"), [&] {
        ++runs;
        EXPECT_TRUE(HostTesting::InUndoableCommand());
        CreateWall(0);
        CreateWall(1);
        return NoError;
    });
    EXPECT_EQ(code, NoError);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(HostTesting::InUndoableCommand());
    EXPECT_EQ(HostTesting::UndoStepNames(), std::vector<std::string>{"Quillmere: Create Wall"});
    EXPECT_EQ(HostTesting::ElementCount(), 2u);
}

TEST_F(UndoableCommands, StepNamesAreKeptByteForByte)
{
    Command([] { return NoError; }, "Quillmere: Größe ändern");
    Command([] { return NoError; }, "Quillmere: Move Elements");
    EXPECT_EQ(HostTesting::UndoStepNames(), (std::vector<std::string>{"Quillmere: Größe ändern", "Quillmere: Move Elements"}));
}

TEST_F(UndoableCommands, ANonZeroResultRollsBackEverythingAndRecordsNoStep)
{
    API_Guid kept = HostTesting::AddWall(0, 0, 5, 0);
    API_Guid doomed = HostTesting::AddWall(0, 1, 5, 1);
    const auto before = Snapshot();
    Int32 layersBefore = 0;
    ACAPI_Attribute_GetNum(API_LayerID, &layersBefore);

    GSErrCode code = Command([&] {
        CreateWall(9);
        EXPECT_EQ(SetHeight(kept, 4.4), NoError);
        GS::Array<API_Guid> list;
        list.Push(doomed);
        EXPECT_EQ(ACAPI_Element_Delete(list), NoError);
        API_Attribute layer = HostTesting::MakeLayer("Scratch");
        EXPECT_EQ(ACAPI_Attribute_Create(&layer), NoError);
        return APIERR_BADPARS;
    });
    EXPECT_EQ(code, APIERR_BADPARS);
    EXPECT_TRUE(HostTesting::UndoStepNames().empty());
    EXPECT_EQ(Snapshot(), before);
    Int32 layersAfter = 0;
    ACAPI_Attribute_GetNum(API_LayerID, &layersAfter);
    EXPECT_EQ(layersAfter, layersBefore);
}

TEST_F(UndoableCommands, AThrowingBodyIsRolledBackAndNeverEscapes)
{
    const auto before = Snapshot();
    GSErrCode code = APIERR_GENERAL;
    EXPECT_NO_THROW(code = Command([&]() -> GSErrCode {
        CreateWall(0);
        throw std::runtime_error("tool failed half way");
    }));
    EXPECT_EQ(code, APIERR_COMMANDFAILED);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(HostTesting::UndoStepNames().empty());
    // Not even a non-standard exception gets out.
    EXPECT_NO_THROW(code = Command([]() -> GSErrCode { throw 42; }));
    EXPECT_EQ(code, APIERR_COMMANDFAILED);
    // The host is usable afterwards.
    EXPECT_EQ(Command([] { CreateWall(1); return NoError; }), NoError);
}

TEST_F(UndoableCommands, ANestedCommandIsRefusedAndDoesNotRun)
{
    bool innerRan = false;
    GSErrCode inner = NoError;
    GSErrCode outer = Command([&] {
        inner = Command([&] {
            innerRan = true;
            return NoError;
        }, "Inner");
        CreateWall(0);
        return NoError;
    }, "Outer");
    EXPECT_EQ(inner, APIERR_REFUSEDCMD);
    EXPECT_FALSE(innerRan);
    EXPECT_EQ(outer, NoError);
    EXPECT_EQ(HostTesting::UndoStepNames(), std::vector<std::string>{"Outer"});
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
        GS::Array<API_Guid> list;
        list.Push(a);
        list.Push(c);
        return ACAPI_Element_Delete(list);
    }, "Quillmere: Mixed"), NoError);
    EXPECT_FALSE(HostTesting::ElementExists(window));

    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(ListOf(API_WallID), wallsBefore) << "restored elements keep their place in the list";
    EXPECT_TRUE(HostTesting::ElementExists(window));
    EXPECT_TRUE(HostTesting::UndoStepNames().empty());
    EXPECT_NE(HostTesting::Undo(), NoError) << "nothing left to undo";
}

TEST_F(UndoableCommands, UndoTakesBackOnlyTheLastStep)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    Command([&] { return SetHeight(wall, 3.0); }, "First");
    Command([&] { return SetHeight(wall, 4.0); }, "Second");
    Command([&] { return SetHeight(wall, 5.0); }, "Third");
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(Read(wall).wall.height, 4.0);
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(Read(wall).wall.height, 3.0);
    EXPECT_EQ(HostTesting::UndoStepNames(), std::vector<std::string>{"First"});
}

TEST_F(UndoableCommands, AnElementTouchedTwiceInAStepIsRestoredToItsStateBeforeTheStep)
{
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    Command([&] {
        SetHeight(wall, 3.0);
        SetHeight(wall, 4.0);
        return NoError;
    });
    HostTesting::Undo();
    EXPECT_EQ(Read(wall).wall.height, 2.7);
}

TEST_F(UndoableCommands, AnElementCreatedAndDeletedInOneStepLeavesNoTrace)
{
    const auto before = Snapshot();
    Command([&] {
        GS::Array<API_Guid> list;
        list.Push(CreateWall(0));
        return ACAPI_Element_Delete(list);
    });
    EXPECT_EQ(Snapshot(), before);
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
    const Int16 flagsBefore = layer.header.flags;
    API_Attribute inside = HostTesting::MakeLayer("Made Inside");
    ASSERT_EQ(Command([&] {
        layer.header.flags = Int16(layer.header.flags | APILay_Hidden);
        EXPECT_EQ(ACAPI_Attribute_Modify(&layer), NoError);
        return ACAPI_Attribute_Create(&inside);
    }), NoError);
    ASSERT_EQ(HostTesting::Undo(), NoError);

    API_Attribute check;
    BNClear(check);
    check.header.typeID = API_LayerID;
    check.header.index = 2;
    ASSERT_EQ(ACAPI_Attribute_Get(&check), NoError);
    EXPECT_EQ(check.header.flags, flagsBefore);
    EXPECT_FALSE(HostTesting::GetAttribute(API_LayerID, inside.header.index, nullptr));
    EXPECT_TRUE(HostTesting::GetAttribute(API_LayerID, outside.header.index, nullptr));
}

TEST_F(UndoableCommands, UndoIsRefusedWhileACommandRuns)
{
    Command([] { return NoError; }, "Earlier");
    GSErrCode inside = NoError;
    Command([&] {
        inside = HostTesting::Undo();
        return NoError;
    });
    EXPECT_NE(inside, NoError);
    EXPECT_EQ(HostTesting::UndoStepNames().size(), 2u);
}

}  // namespace
