#include <memory>

#include "HostFixture.hpp"

namespace {

class MemoryHandles : public HostTest {};

TEST_F(MemoryHandles, HandlesAndPointersAreCountedSizedClearedAndResized)
{
    const Int64 before = HostTesting::LiveHandleCount();
    GSHandle h = BMAllocateHandle(64, ALLOCATE_CLEAR, 0);
    GSPtr p = BMAllocatePtr(24, ALLOCATE_CLEAR, 0);
    ASSERT_NE(h, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::make_tuple(HostTesting::LiveHandleCount(), BMGetHandleSize(h), BMGetPtrSize(p)), std::make_tuple(before + 2, 64, 24));
    for (int i = 0; i < 64; ++i) EXPECT_EQ((*h)[i], 0) << i;

    EXPECT_EQ(BMKillHandle(&h), NoError);
    h = BMAllocateHandle(4, 0, 0);
    std::memcpy(*h, "abcd", 4);
    ASSERT_EQ(BMReallocHandle(h, 8, 0, 0), h);
    EXPECT_EQ(BMGetHandleSize(h), 8);
    EXPECT_EQ(std::memcmp(*h, "abcd\0\0\0\0", 8), 0) << "growth is zero-filled";
    ASSERT_EQ(BMReallocHandle(h, 2, 0, 0), h);
    EXPECT_EQ(BMGetHandleSize(h), 2);

    GSHandle copy = nullptr;
    ASSERT_EQ(BMHandleToHandle(h, &copy), NoError);
    (*h)[0] = 'x';
    EXPECT_EQ(std::memcmp(*copy, "ab", 2), 0) << "a copy is independent";
    EXPECT_EQ(std::make_tuple(BMKillHandle(&copy), BMKillHandle(&h), BMKillPtr(&p)), std::make_tuple(NoError, NoError, NoError));
    EXPECT_TRUE(h == nullptr && p == nullptr) << "a kill clears the caller's variable";
    EXPECT_EQ(HostTesting::LiveHandleCount(), before);
}

TEST_F(MemoryHandles, KillingNullIsHarmlessAndDoubleKillIsCaught)
{
    GSHandle none = nullptr;
    EXPECT_EQ(BMKillHandle(&none), NoError);
    EXPECT_EQ(BMKillHandle(static_cast<GSHandle*>(nullptr)), NoError);
    GSHandle h = BMAllocateHandle(8, 0, 0);
    GSHandle alias = h;
    BMKillHandle(&h);
    EXPECT_NE(BMKillHandle(&alias), NoError);
    EXPECT_EQ(alias, nullptr);
    EXPECT_EQ(HostTesting::BadFreeCount(), 1);
    HostTesting::ResetProject();   // the deliberate bad free is not a fault of this test
}

TEST_F(MemoryHandles, InjectedAllocationFailureHitsTheNthAllocationsOnly)
{
    HostTesting::FailAllocation(2);
    GSHandle first = BMAllocateHandle(8, 0, 0), second = BMAllocateHandle(8, 0, 0), third = BMAllocateHandle(8, 0, 0);
    EXPECT_TRUE(first != nullptr && second == nullptr && third != nullptr);
    BMKillHandle(&first);
    BMKillHandle(&third);

    HostTesting::FailAllocation(1, 2);
    EXPECT_EQ(BMAllocatePtr(8, 0, 0), nullptr);
    EXPECT_EQ(BMAllocateHandle(8, 0, 0), nullptr);
    GSPtr ok = BMAllocatePtr(8, 0, 0);
    EXPECT_NE(ok, nullptr);
    BMKillPtr(&ok);
}

TEST_F(MemoryHandles, MemoDisposalFreesEveryPartAndNullsIt)
{
    const Int64 before = HostTesting::LiveHandleCount();
    API_ElementMemo memo;
    BNClear(memo);
    PutPolygon(memo, {{0, 0}, {1, 0}, {1, 1}});
    memo.textContent = BMAllocateHandle(5, 0, 0);
    memo.columnSegments = reinterpret_cast<API_ColumnSegmentType*>(BMAllocatePtr(sizeof(API_ColumnSegmentType), 0, 0));
    memo.params = reinterpret_cast<API_AddParType**>(BMAllocateHandle(sizeof(API_AddParType), 0, 0));
    EXPECT_EQ(HostTesting::LiveHandleCount(), before + 5);
    EXPECT_EQ(ACAPI_DisposeElemMemoHdls(&memo), NoError);
    EXPECT_EQ(HostTesting::LiveHandleCount(), before);
    for (const void* part : {(void*)memo.coords, (void*)memo.pends, (void*)memo.textContent, (void*)memo.columnSegments,
                             (void*)memo.params})
        EXPECT_EQ(part, nullptr);
    EXPECT_EQ(ACAPI_DisposeElemMemoHdls(&memo), NoError) << "disposing again is safe";
    EXPECT_EQ(ACAPI_DisposeElemMemoHdls(nullptr), NoError);
}

TEST_F(MemoryHandles, LocationsAreCounted)
{
    const Int64 before = HostTesting::LiveLocationCount();
    auto loc = std::make_unique<IO::Location>("/tmp/module.mod");
    IO::Location copy(*loc);
    EXPECT_EQ(HostTesting::LiveLocationCount(), before + 2);
    EXPECT_EQ(copy.GetPath(), "/tmp/module.mod");
    GS::UniString path;
    EXPECT_EQ(loc->ToPath(&path), NoError);
    EXPECT_STREQ(path.ToCStr().Get(), "/tmp/module.mod");
    EXPECT_EQ(loc->ToPath(nullptr), APIERR_BADPARS);
    loc.reset();
    EXPECT_EQ(HostTesting::LiveLocationCount(), before + 1);
    EXPECT_TRUE(IO::Location("").IsEmpty());
}

}  // namespace
