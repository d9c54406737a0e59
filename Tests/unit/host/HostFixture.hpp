#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"

// Every host test starts from the default project and must leave no memory handle or file
// location behind.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HostTesting::ResetProject();
        handleBaseline_ = HostTesting::LiveHandleCount();
        locationBaseline_ = HostTesting::LiveLocationCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(HostTesting::LiveHandleCount(), handleBaseline_) << "memory handles leaked";
        EXPECT_EQ(HostTesting::LiveLocationCount(), locationBaseline_) << "IO::Location objects leaked";
        EXPECT_EQ(HostTesting::BadFreeCount(), 0) << "a handle was freed that the host never handed out";
    }
    static GSErrCode Command(const std::function<GSErrCode()>& body, const char* name = "Test Step")
    {
        return ACAPI_CallUndoableCommand(GS::UniString(name), body);
    }
    static GSErrCode CreateInCommand(API_Element& e, API_ElementMemo* memo = nullptr)
    {
        return Command([&] { return ACAPI_Element_Create(&e, memo); });
    }
    static GSErrCode ChangeInCommand(API_Element& e, const API_Element* mask, const API_ElementMemo* memo = nullptr, UInt64 memoMask = 0)
    {
        return Command([&] { return ACAPI_Element_Change(&e, mask, memo, memoMask, true); });
    }
    static GSErrCode DeleteInCommand(const GS::Array<API_Guid>& guids)
    {
        return Command([&] { return ACAPI_Element_Delete(guids); });
    }
    static API_Element Cleared(API_ElemTypeID typeID = API_ZombieElemID)
    {
        API_Element e;
        BNClear(e);
        e.header.type.typeID = typeID;
        return e;
    }
    static API_Element Read(const API_Guid& guid)
    {
        API_Element e = Cleared();
        EXPECT_TRUE(HostTesting::GetElement(guid, &e));
        return e;
    }
    template <typename T>
    static bool Same(const T& a, const T& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
    static Int32 AttributeCount(API_AttrTypeID type)
    {
        Int32 count = 0;
        EXPECT_EQ(ACAPI_Attribute_GetNum(type, &count), NoError);
        return count;
    }
    // Reads an attribute by index (or, with index 0, by name); code receives the result.
    static API_Attribute GetAttr(API_AttrTypeID type, Int32 index, const char* name = nullptr, GSErrCode* code = nullptr)
    {
        API_Attribute a;
        BNClear(a);
        a.header.typeID = type;
        a.header.index = index;
        if (name) std::strncpy(a.header.name, name, sizeof a.header.name - 1);
        const GSErrCode c = ACAPI_Attribute_Get(&a);
        if (code) *code = c;
        return a;
    }

    static GSErrCode AttrCode(API_AttrTypeID type, Int32 index, const char* name = nullptr)
    {
        GSErrCode code;
        GetAttr(type, index, name, &code);
        return code;
    }

private:
    Int64 handleBaseline_ = 0;
    Int64 locationBaseline_ = 0;
};

// A zero-filled memo that disposes itself.
struct ScopedMemo {
    API_ElementMemo memo;
    ScopedMemo() { BNClear(memo); }
    ~ScopedMemo() { ACAPI_DisposeElemMemoHdls(&memo); }
    API_ElementMemo* operator->() { return &memo; }
    API_ElementMemo* get() { return &memo; }
};

inline std::vector<API_Guid> ListOf(API_ElemTypeID typeID)
{
    GS::Array<API_Guid> list;
    EXPECT_EQ(ACAPI_Element_GetElemList(typeID, &list), NoError);
    return std::vector<API_Guid>(list.begin(), list.end());
}

// Fills memo with a closed polygon through the host's handles.
inline void PutPolygon(API_ElementMemo& memo, const std::vector<API_Coord>& points)
{
    Int32 n = Int32(points.size()) + 1;
    memo.coords = reinterpret_cast<API_Coord**>(BMAllocateHandle((n + 1) * GSSize(sizeof(API_Coord)), ALLOCATE_CLEAR, 0));
    memo.pends = reinterpret_cast<Int32**>(BMAllocateHandle(2 * GSSize(sizeof(Int32)), ALLOCATE_CLEAR, 0));
    for (size_t i = 0; i < points.size(); ++i) (*memo.coords)[i + 1] = points[i];
    (*memo.coords)[n] = points[0];
    (*memo.pends)[1] = n;
}
inline const std::vector<API_Coord> kRectangle8x6 = {{0, 0}, {8, 0}, {8, 6}, {0, 6}};

// The polygon vertices of a memo, slots 1..n.
inline std::vector<API_Coord> MemoCoords(const API_ElementMemo& memo)
{
    const size_t n = memo.coords ? size_t(BMGetHandleSize(memo.coords)) / sizeof(API_Coord) : 0;
    return n < 2 ? std::vector<API_Coord>() : std::vector<API_Coord>(*memo.coords + 1, *memo.coords + n);
}
inline bool operator==(const API_Coord& a, const API_Coord& b) { return a.x == b.x && a.y == b.y; }
inline void PrintTo(const API_Coord& c, std::ostream* os) { *os << "(" << c.x << ", " << c.y << ")"; }
