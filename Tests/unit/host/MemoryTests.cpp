#include <memory>

#include "HostFixture.hpp"

namespace {

class MemoryHandles : public HostTest {};

TEST_F(MemoryHandles, ClearFlagZeroFillsAndSizeIsReported)
{
    Int64 before = HostTesting::LiveHandleCount();
    GSHandle h = BMAllocateHandle(64, ALLOCATE_CLEAR, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(HostTesting::LiveHandleCount(), before + 1);
    EXPECT_EQ(BMGetHandleSize(h), 64);
    for (int i = 0; i < 64; ++i) EXPECT_EQ((*h)[i], 0) << i;
    EXPECT_EQ(BMKillHandle(&h), NoError);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(HostTesting::LiveHandleCount(), before);
}

TEST_F(MemoryHandles, ReallocKeepsContentAndZeroFillsGrowth)
{
    GSHandle h = BMAllocateHandle(4, 0, 0);
    std::memcpy(*h, "abcd", 4);
    ASSERT_EQ(BMReallocHandle(h, 8, 0, 0), h);
    EXPECT_EQ(BMGetHandleSize(h), 8);
    EXPECT_EQ(std::memcmp(*h, "abcd\0\0\0\0", 8), 0);
    ASSERT_EQ(BMReallocHandle(h, 2, 0, 0), h);
    EXPECT_EQ(BMGetHandleSize(h), 2);
    BMKillHandle(&h);
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

TEST_F(MemoryHandles, PointersAreCountedAndSized)
{
    Int64 before = HostTesting::LiveHandleCount();
    GSPtr p = BMAllocatePtr(24, ALLOCATE_CLEAR, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(BMGetPtrSize(p), 24);
    EXPECT_EQ(HostTesting::LiveHandleCount(), before + 1);
    EXPECT_EQ(BMKillPtr(&p), NoError);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(HostTesting::LiveHandleCount(), before);
}

TEST_F(MemoryHandles, InjectedAllocationFailureHitsTheNthAllocationOnly)
{
    HostTesting::FailAllocation(2);
    GSHandle first = BMAllocateHandle(8, 0, 0);
    GSHandle second = BMAllocateHandle(8, 0, 0);
    GSHandle third = BMAllocateHandle(8, 0, 0);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    BMKillHandle(&first);
    BMKillHandle(&third);

    HostTesting::FailAllocation(1, 2);
    EXPECT_EQ(BMAllocatePtr(8, 0, 0), nullptr);
    EXPECT_EQ(BMAllocateHandle(8, 0, 0), nullptr);
    GSPtr ok = BMAllocatePtr(8, 0, 0);
    EXPECT_NE(ok, nullptr);
    BMKillPtr(&ok);
}

TEST_F(MemoryHandles, HandleCopyIsIndependent)
{
    GSHandle h = BMAllocateHandle(3, 0, 0);
    std::memcpy(*h, "xyz", 3);
    GSHandle copy = nullptr;
    ASSERT_EQ(BMHandleToHandle(h, &copy), NoError);
    (*h)[0] = 'a';
    EXPECT_EQ(std::memcmp(*copy, "xyz", 3), 0);
    BMKillHandle(&h);
    BMKillHandle(&copy);
}

TEST_F(MemoryHandles, MemoDisposalFreesEveryPartAndNullsIt)
{
    Int64 before = HostTesting::LiveHandleCount();
    API_ElementMemo memo;
    BNClear(memo);
    PutPolygon(memo, {{0, 0}, {1, 0}, {1, 1}});
    memo.textContent = BMAllocateHandle(5, 0, 0);
    memo.columnSegments = reinterpret_cast<API_ColumnSegmentType*>(BMAllocatePtr(sizeof(API_ColumnSegmentType), 0, 0));
    memo.params = reinterpret_cast<API_AddParType**>(BMAllocateHandle(sizeof(API_AddParType), 0, 0));
    EXPECT_EQ(HostTesting::LiveHandleCount(), before + 5);
    EXPECT_EQ(ACAPI_DisposeElemMemoHdls(&memo), NoError);
    EXPECT_EQ(HostTesting::LiveHandleCount(), before);
    EXPECT_EQ(memo.coords, nullptr);
    EXPECT_EQ(memo.pends, nullptr);
    EXPECT_EQ(memo.textContent, nullptr);
    EXPECT_EQ(memo.columnSegments, nullptr);
    EXPECT_EQ(memo.params, nullptr);
    // Disposing again (or an empty memo) is safe.
    EXPECT_EQ(ACAPI_DisposeElemMemoHdls(&memo), NoError);
}

TEST_F(MemoryHandles, LocationsAreCounted)
{
    Int64 before = HostTesting::LiveLocationCount();
    auto loc = std::make_unique<IO::Location>("/tmp/module.mod");
    IO::Location copy(*loc);
    EXPECT_EQ(HostTesting::LiveLocationCount(), before + 2);
    EXPECT_EQ(copy.GetPath(), "/tmp/module.mod");
    GS::UniString path;
    EXPECT_EQ(loc->ToPath(&path), NoError);
    EXPECT_STREQ(path.ToCStr().Get(), "/tmp/module.mod");
    loc.reset();
    EXPECT_EQ(HostTesting::LiveLocationCount(), before + 1);
    EXPECT_TRUE(IO::Location("").IsEmpty());
}

}  // namespace
