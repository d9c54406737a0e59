// The emulated host's test interface: failure injection, the call log, resets and fixtures.

#include <thread>

#include "HostFixture.hpp"

namespace {

class FailureInjection : public HostTest {};

TEST_F(FailureInjection, ARuleForOneGuidLeavesOtherElementsAlone)
{
    API_Guid a = HostTesting::AddWall(0, 0, 1, 0);
    API_Guid b = HostTesting::AddWall(0, 1, 1, 1);
    HostTesting::FailureRule rule;
    rule.function = "ACAPI_Element_Get";
    rule.guid = b;
    rule.code = APIERR_BADPARS;
    HostTesting::InjectFailure(rule);
    API_Element e;
    BNClear(e);
    e.header.guid = a;
    EXPECT_EQ(ACAPI_Element_Get(&e), NoError);
    e.header.guid = b;
    EXPECT_EQ(ACAPI_Element_Get(&e), APIERR_BADPARS);
    EXPECT_EQ(ACAPI_Element_Get(&e), APIERR_BADPARS) << "a rule without a limit keeps firing";
}

TEST_F(FailureInjection, ARuleForOneTypeFailsOnlyThatList)
{
    HostTesting::AddWall(0, 0, 1, 0);
    HostTesting::FailureRule rule;
    rule.function = "ACAPI_Element_GetElemList";
    rule.typeID = API_SlabID;
    HostTesting::InjectFailure(rule);
    GS::Array<API_Guid> list;
    EXPECT_EQ(ACAPI_Element_GetElemList(API_SlabID, &list), APIERR_GENERAL);
    EXPECT_EQ(ACAPI_Element_GetElemList(API_WallID, &list), NoError);
    EXPECT_EQ(list.GetSize(), 1u);
}

TEST_F(FailureInjection, SkipAndTimesPickTheCallsThatFail)
{
    HostTesting::FailureRule rule;
    rule.function = "ACAPI_Attribute_GetNum";
    rule.skip = 1;
    rule.times = 2;
    rule.code = APIERR_MEMFULL;
    HostTesting::InjectFailure(rule);
    Int32 count = 0;
    EXPECT_EQ(ACAPI_Attribute_GetNum(API_LayerID, &count), NoError);
    EXPECT_EQ(ACAPI_Attribute_GetNum(API_LayerID, &count), APIERR_MEMFULL);
    EXPECT_EQ(ACAPI_Attribute_GetNum(API_LayerID, &count), APIERR_MEMFULL);
    EXPECT_EQ(ACAPI_Attribute_GetNum(API_LayerID, &count), NoError);
}

TEST_F(FailureInjection, RulesByIndexAndByName)
{
    HostTesting::FailureRule byIndex;
    byIndex.function = "ACAPI_Attribute_Get";
    byIndex.typeID = API_PenID;
    byIndex.index = 9;
    byIndex.code = APIERR_DELETED;
    HostTesting::InjectFailure(byIndex);
    HostTesting::FailureRule byName;
    byName.function = "ACAPI_Attribute_Modify";
    byName.name = "Furniture";
    byName.code = APIERR_GENERAL;
    HostTesting::InjectFailure(byName);

    API_Attribute pen;
    BNClear(pen);
    pen.header.typeID = API_PenID;
    pen.header.index = 9;
    EXPECT_EQ(ACAPI_Attribute_Get(&pen), APIERR_DELETED);
    pen.header.index = 10;
    EXPECT_EQ(ACAPI_Attribute_Get(&pen), NoError);

    API_Attribute furniture;
    BNClear(furniture);
    furniture.header.typeID = API_LayerID;
    furniture.header.index = 5;
    ASSERT_EQ(ACAPI_Attribute_Get(&furniture), NoError);
    furniture.header.flags = APILay_Hidden;
    EXPECT_EQ(ACAPI_Attribute_Modify(&furniture), APIERR_GENERAL);
    API_Attribute other;
    BNClear(other);
    other.header.typeID = API_LayerID;
    other.header.index = 4;
    ASSERT_EQ(ACAPI_Attribute_Get(&other), NoError);
    EXPECT_EQ(ACAPI_Attribute_Modify(&other), NoError);
}

TEST_F(FailureInjection, AFailedCreateInsideACommandStoresNothing)
{
    HostTesting::FailNextCall("ACAPI_Element_Create", APIERR_MEMFULL, 1);
    GSErrCode second = NoError;
    EXPECT_EQ(Command([&] {
        API_Element a = HostTesting::MakeElement(API_WallID);
        API_Element b = HostTesting::MakeElement(API_WallID);
        EXPECT_EQ(ACAPI_Element_Create(&a, nullptr), NoError);
        second = ACAPI_Element_Create(&b, nullptr);
        EXPECT_EQ(b.header.guid, APINULLGuid);
        return NoError;
    }), NoError);
    EXPECT_EQ(second, APIERR_MEMFULL);
    EXPECT_EQ(HostTesting::ElementCount(), 1u);
}

TEST_F(FailureInjection, ADeleteListWithAnInjectedGuidFailsWhole)
{
    API_Guid a = HostTesting::AddWall(0, 0, 1, 0);
    API_Guid b = HostTesting::AddWall(0, 1, 1, 1);
    HostTesting::FailureRule rule;
    rule.function = "ACAPI_Element_Delete";
    rule.guid = b;
    HostTesting::InjectFailure(rule);
    GS::Array<API_Guid> list{a, b};
    EXPECT_EQ(Command([&] { return ACAPI_Element_Delete(list); }), APIERR_GENERAL);
    EXPECT_TRUE(HostTesting::ElementExists(a));
}

TEST_F(FailureInjection, ResetClearsRules)
{
    HostTesting::FailNextCall("ACAPI_Element_GetElemList", APIERR_GENERAL);
    HostTesting::FailAllocation(1);
    HostTesting::ResetProject();
    GS::Array<API_Guid> list;
    EXPECT_EQ(ACAPI_Element_GetElemList(API_WallID, &list), NoError);
    GSHandle h = BMAllocateHandle(1, 0, 0);
    EXPECT_NE(h, nullptr);
    BMKillHandle(&h);
}

class CallLogging : public HostTest {};

TEST_F(CallLogging, CallsAreLoggedInOrderWithTheirResults)
{
    HostTesting::ClearCallLog();
    Command([] {
        API_Element e = HostTesting::MakeElement(API_WallID);
        ACAPI_Element_Create(&e, nullptr);
        return NoError;
    }, "Quillmere: Create Wall");
    API_Element missing;
    BNClear(missing);
    ACAPI_Element_Get(&missing);
    std::vector<HostTesting::CallRecord> log = HostTesting::CallLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].function, "ACAPI_CallUndoableCommand");
    EXPECT_EQ(log[0].detail, "Quillmere: Create Wall");
    EXPECT_EQ(log[0].result, NoError);
    EXPECT_EQ(log[1].function, "ACAPI_Element_Create");
    EXPECT_EQ(log[1].detail, "type=1");
    EXPECT_EQ(log[2].function, "ACAPI_Element_Get");
    EXPECT_EQ(log[2].detail, "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(log[2].result, APIERR_BADID);
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 1);
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Delete"), 0);
}

TEST_F(CallLogging, AFailedCommandLogsItsCode)
{
    HostTesting::ClearCallLog();
    Command([] { return APIERR_BADPARS; });
    std::vector<HostTesting::CallRecord> log = HostTesting::CallLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].result, APIERR_BADPARS);
}

TEST_F(CallLogging, FixturesBypassTheLog)
{
    HostTesting::ClearCallLog();
    HostTesting::AddFixture(API_ZoneID);
    HostTesting::GetElement(HostTesting::AllElements().front(), nullptr);
    EXPECT_TRUE(HostTesting::CallLog().empty());
}

class ProjectFixtures : public HostTest {};

TEST_F(ProjectFixtures, ResetReturnsToTheDefaultProject)
{
    HostTesting::AddWall(0, 0, 1, 0);
    Command([] { return NoError; });
    HostTesting::SetStories({{0, 0.0, "Only"}});
    HostTesting::ResetProject();
    EXPECT_EQ(HostTesting::ElementCount(), 0u);
    EXPECT_TRUE(HostTesting::UndoStepNames().empty());
    std::vector<HostTesting::StoryFixture> stories = HostTesting::GetStories();
    ASSERT_EQ(stories.size(), 3u);
    EXPECT_EQ(stories[1].level, 3.0);
    EXPECT_EQ(stories[2].level, 6.0);
}

TEST_F(ProjectFixtures, EveryTypeHasAFixtureTheHostWouldAccept)
{
    HostTesting::AddLibraryPart(APILib_ObjectID, "Sofa", 2.0, 0.9);
    API_Guid wall = HostTesting::AddWall(0, 0, 6, 0);
    for (API_ElemTypeID type : {API_WallID, API_ColumnID, API_BeamID, API_WindowID, API_DoorID, API_ObjectID, API_SlabID,
                                API_RoofID, API_DimensionID, API_TextID, API_ZoneID, API_HatchID, API_LineID, API_PolyLineID,
                                API_ArcID, API_SplineID, API_HotspotID, API_HotlinkID}) {
        ScopedMemo memo;
        API_Element e = HostTesting::MakeElement(type, memo.get());
        if (type == API_WindowID) e.window.owner = wall;
        if (type == API_DoorID) e.door.owner = wall;
        EXPECT_EQ(Command([&] { return ACAPI_Element_Create(&e, memo.get()); }), NoError) << "type " << type;
    }
}

}  // namespace

namespace {

class MainThreadWatch : public HostTest {};

TEST_F(MainThreadWatch, CallsFromAnotherThreadAreCounted)
{
    EXPECT_EQ(HostTesting::OffThreadCallCount(), 0);
    Int32 count = 0;
    ACAPI_Attribute_GetNum(API_LayerID, &count);
    EXPECT_EQ(HostTesting::OffThreadCallCount(), 0);
    std::thread worker([] {
        Int32 n = 0;
        ACAPI_Attribute_GetNum(API_PenID, &n);
    });
    worker.join();
    EXPECT_EQ(HostTesting::OffThreadCallCount(), 1);

    // Naming the worker's thread as the main thread makes the test thread the foreign one.
    std::thread pump([] { HostTesting::SetMainThread(); });
    pump.join();
    ACAPI_Attribute_GetNum(API_LayerID, &count);
    EXPECT_EQ(HostTesting::OffThreadCallCount(), 2);
    HostTesting::SetMainThread();
}

}  // namespace
