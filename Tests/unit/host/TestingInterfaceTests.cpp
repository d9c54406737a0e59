// The emulated host's test interface: failure injection, the call log, resets and the main-thread watch.

#include <thread>

#include "QuillmereTest.hpp"

namespace {

class TestingInterface : public HostTest {
protected:
    static GSErrCode GetElement(const API_Guid& guid)
    {
        API_Element e = Cleared();
        e.header.guid = guid;
        return ACAPI_Element_Get(&e);
    }
};

TEST_F(TestingInterface, FailureRulesSelectTheirCallsAFailedCallInACommandChangesNothingAndResetClearsAll)
{
    API_Guid a = HostTesting::AddWall(0, 0, 1, 0), b = HostTesting::AddWall(0, 1, 1, 1);
    // Fields: function, code, skip, times, guid, typeID, index, name.
    HostTesting::InjectFailure({"ACAPI_Element_Get", APIERR_BADPARS, 0, -1, b});
    HostTesting::InjectFailure({"ACAPI_Element_GetElemList", APIERR_GENERAL, 0, -1, {}, API_SlabID});
    HostTesting::InjectFailure({"ACAPI_Attribute_Get", APIERR_DELETED, 0, -1, {}, API_PenID, 9});
    EXPECT_EQ(std::make_tuple(GetElement(a), GetElement(b), GetElement(b)),
              std::make_tuple(NoError, APIERR_BADPARS, APIERR_BADPARS))
        << "a rule without a limit keeps firing";
    GS::Array<API_Guid> list;
    EXPECT_EQ(ACAPI_Element_GetElemList(API_SlabID, &list), APIERR_GENERAL);
    EXPECT_EQ(ACAPI_Element_GetElemList(API_WallID, &list), NoError);
    EXPECT_EQ(list.GetSize(), 2u);
    EXPECT_EQ(std::make_tuple(AttrCode(API_PenID, 9), AttrCode(API_PenID, 10)),
              std::make_tuple(APIERR_DELETED, NoError));
    HostTesting::ClearFailures();

    HostTesting::FailNextCall("ACAPI_Element_Create", APIERR_MEMFULL, 1);
    API_Element made = HostTesting::MakeElement(API_WallID), refused = made;
    GSErrCode refusal = NoError;
    EXPECT_EQ(Command([&] {
                  EXPECT_EQ(ACAPI_Element_Create(&made, nullptr), NoError);
                  refusal = ACAPI_Element_Create(&refused, nullptr);
                  return NoError;
              }),
              NoError);
    EXPECT_EQ(refusal, APIERR_MEMFULL);
    EXPECT_EQ(refused.header.guid, APINULLGuid);
    EXPECT_EQ(HostTesting::AllElements(), (std::vector<API_Guid>{a, b, made.header.guid}));
    HostTesting::InjectFailure({"ACAPI_Element_Delete", APIERR_GENERAL, 0, -1, b});
    EXPECT_EQ(DeleteInCommand({a, b}), APIERR_GENERAL);
    EXPECT_TRUE(HostTesting::ElementExists(a)) << "the list fails whole";

    HostTesting::FailNextCall("ACAPI_Element_GetElemList", APIERR_GENERAL);
    HostTesting::ResetProject();
    EXPECT_EQ(ACAPI_Element_GetElemList(API_WallID, &list), NoError) << "a reset clears the rules";
}

TEST_F(TestingInterface, CallsAreLoggedInOrderWithTheirResultsFixturesAreNotAndOffThreadCallsAreCounted)
{
    HostTesting::ClearCallLog();
    Command(
        [] {
            API_Element e = HostTesting::MakeElement(API_WallID);
            ACAPI_Element_Create(&e, nullptr);
            return NoError;
        },
        "Quillmere: Create Wall");
    GetElement(APINULLGuid);
    Command([] { return APIERR_BADPARS; });
    std::vector<HostTesting::CallRecord> log = HostTesting::CallLog();
    ASSERT_EQ(log.size(), 4u);
    auto row = [&](size_t i) { return std::make_tuple(log[i].function, log[i].detail, log[i].result); };
    EXPECT_EQ(row(0), std::make_tuple("ACAPI_CallUndoableCommand", "Quillmere: Create Wall", NoError));
    EXPECT_EQ(row(1), std::make_tuple("ACAPI_Element_Create", "type=1", NoError));
    EXPECT_EQ(row(2), std::make_tuple("ACAPI_Element_Get", "00000000-0000-0000-0000-000000000000", APIERR_BADID));
    EXPECT_EQ(log[3].result, APIERR_BADPARS) << "a failed command logs its code";
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 1);
    HostTesting::ClearCallLog();
    HostTesting::AddFixture(API_ZoneID);
    HostTesting::GetElement(HostTesting::AllElements().front(), nullptr);
    EXPECT_TRUE(HostTesting::CallLog().empty()) << "fixtures bypass the log";

    Int32 count = 0;
    ACAPI_Attribute_GetNum(API_LayerID, &count);
    EXPECT_EQ(HostTesting::OffThreadCallCount(), 0);
    std::thread([] {
        Int32 n = 0;
        ACAPI_Attribute_GetNum(API_PenID, &n);
    }).join();
    EXPECT_EQ(HostTesting::OffThreadCallCount(), 1);
    HostTesting::ClearCallLog();  // that call was this test's own
}

}  // namespace
