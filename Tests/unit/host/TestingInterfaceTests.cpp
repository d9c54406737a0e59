// The emulated host's test interface: failure injection, the call log, resets and fixtures.

#include <thread>

#include "HostFixture.hpp"

namespace {

HostTesting::FailureRule Rule(const char* function, GSErrCode code = APIERR_GENERAL)
{
    HostTesting::FailureRule rule;
    rule.function = function;
    rule.code = code;
    return rule;
}

class FailureInjection : public HostTest {
protected:
    static GSErrCode GetElement(const API_Guid& guid)
    {
        API_Element e = Cleared();
        e.header.guid = guid;
        return ACAPI_Element_Get(&e);
    }

    // Reads the attribute and, when asked, stores it back unchanged.
    static GSErrCode AttributeCall(bool modify, API_AttrTypeID type, Int32 index)
    {
        API_Attribute a;
        BNClear(a);
        a.header.typeID = type;
        a.header.index = index;
        const GSErrCode code = ACAPI_Attribute_Get(&a);
        return modify && code == NoError ? ACAPI_Attribute_Modify(&a) : code;
    }
};

TEST_F(FailureInjection, RulesSelectByGuidTypeIndexAndName)
{
    API_Guid a = HostTesting::AddWall(0, 0, 1, 0);
    API_Guid b = HostTesting::AddWall(0, 1, 1, 1);
    HostTesting::FailureRule byGuid = Rule("ACAPI_Element_Get", APIERR_BADPARS);
    byGuid.guid = b;
    HostTesting::FailureRule byType = Rule("ACAPI_Element_GetElemList");
    byType.typeID = API_SlabID;
    HostTesting::FailureRule byIndex = Rule("ACAPI_Attribute_Get", APIERR_DELETED);
    byIndex.typeID = API_PenID;
    byIndex.index = 9;
    HostTesting::FailureRule byName = Rule("ACAPI_Attribute_Modify");
    byName.name = "Furniture";
    for (const auto& rule : {byGuid, byType, byIndex, byName}) HostTesting::InjectFailure(rule);

    EXPECT_EQ(GetElement(a), NoError);
    EXPECT_EQ(GetElement(b), APIERR_BADPARS);
    EXPECT_EQ(GetElement(b), APIERR_BADPARS) << "a rule without a limit keeps firing";
    GS::Array<API_Guid> list;
    EXPECT_EQ(ACAPI_Element_GetElemList(API_SlabID, &list), APIERR_GENERAL);
    EXPECT_EQ(ACAPI_Element_GetElemList(API_WallID, &list), NoError);
    EXPECT_EQ(list.GetSize(), 2u);
    EXPECT_EQ(AttributeCall(false, API_PenID, 9), APIERR_DELETED);
    EXPECT_EQ(AttributeCall(false, API_PenID, 10), NoError);
    EXPECT_EQ(AttributeCall(true, API_LayerID, 5), APIERR_GENERAL) << "layer 5 is Furniture";
    EXPECT_EQ(AttributeCall(true, API_LayerID, 4), NoError);
}

TEST_F(FailureInjection, SkipAndTimesPickTheCallsThatFailAndResetClearsRules)
{
    HostTesting::FailureRule rule = Rule("ACAPI_Attribute_GetNum", APIERR_MEMFULL);
    rule.skip = 1;
    rule.times = 2;
    HostTesting::InjectFailure(rule);
    Int32 count = 0;
    for (GSErrCode expected : {NoError, APIERR_MEMFULL, APIERR_MEMFULL, NoError})
        EXPECT_EQ(ACAPI_Attribute_GetNum(API_LayerID, &count), expected);

    HostTesting::FailNextCall("ACAPI_Element_GetElemList", APIERR_GENERAL);
    HostTesting::FailAllocation(1);
    HostTesting::ResetProject();
    GS::Array<API_Guid> list;
    EXPECT_EQ(ACAPI_Element_GetElemList(API_WallID, &list), NoError);
    GSHandle h = BMAllocateHandle(1, 0, 0);
    EXPECT_NE(h, nullptr);
    BMKillHandle(&h);
}

TEST_F(FailureInjection, AnInjectedFailureInsideACommandStoresNothingAndDeletesNothing)
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
    ASSERT_EQ(HostTesting::ElementCount(), 1u);

    API_Guid a = HostTesting::AllElements().front();
    API_Guid b = HostTesting::AddWall(0, 1, 1, 1);
    HostTesting::FailureRule rule = Rule("ACAPI_Element_Delete");
    rule.guid = b;
    HostTesting::InjectFailure(rule);
    EXPECT_EQ(DeleteInCommand({a, b}), APIERR_GENERAL);
    EXPECT_TRUE(HostTesting::ElementExists(a)) << "the list fails whole";
}

class CallLogging : public HostTest {};

TEST_F(CallLogging, CallsAreLoggedInOrderWithTheirResultsFixturesAreNot)
{
    HostTesting::ClearCallLog();
    Command([] {
        API_Element e = HostTesting::MakeElement(API_WallID);
        ACAPI_Element_Create(&e, nullptr);
        return NoError;
    }, "Quillmere: Create Wall");
    API_Element missing = Cleared();
    ACAPI_Element_Get(&missing);
    Command([] { return APIERR_BADPARS; });
    std::vector<HostTesting::CallRecord> log = HostTesting::CallLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].function, "ACAPI_CallUndoableCommand");
    EXPECT_EQ(log[0].detail, "Quillmere: Create Wall");
    EXPECT_EQ(log[0].result, NoError);
    EXPECT_EQ(log[1].function, "ACAPI_Element_Create");
    EXPECT_EQ(log[1].detail, "type=1");
    EXPECT_EQ(log[2].function, "ACAPI_Element_Get");
    EXPECT_EQ(log[2].detail, "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(log[2].result, APIERR_BADID);
    EXPECT_EQ(log[3].result, APIERR_BADPARS) << "a failed command logs its code";
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 1);
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Delete"), 0);
    HostTesting::ClearCallLog();
    HostTesting::AddFixture(API_ZoneID);
    HostTesting::GetElement(HostTesting::AllElements().front(), nullptr);
    EXPECT_TRUE(HostTesting::CallLog().empty()) << "fixtures bypass the log";
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
