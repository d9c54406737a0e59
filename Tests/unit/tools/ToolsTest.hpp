#pragma once
// What the tool tests add to the shared fixture: a wall on story 1 to open or delete, a runner
// for tables of failing calls, and the stored memo read back as plain lists.
#include <functional>
#include <string>
#include <vector>

#include "HostTestingLibrary.hpp"
#include "QuillmereTest.hpp"

class ToolsTest : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        wall = Text(HostTesting::AddWall(0, 0, 6, 0, 1));
    }

    struct Failure {
        const char* tool;
        json input;
        std::string error;
    };
    // Every call fails with exactly its error and the project is as before. notCalled names a
    // host function none of the calls may reach; "" means no host call at all.
    void ExpectFailures(const std::vector<Failure>& cases, const char* notCalled = nullptr)
    {
        const Footprint before = TakeFootprint();
        for (const Failure& c : cases) {
            SCOPED_TRACE(std::string(c.tool) + " " + c.input.dump());
            HostTesting::ClearCallLog();
            const ToolResult result = Run(c.tool, c.input);
            EXPECT_FALSE(result.success);
            EXPECT_EQ(result.error, c.error);
            EXPECT_TRUE(result.elementGuid.empty() && result.message.empty());
            if (notCalled != nullptr) {
                const size_t reached =
                    *notCalled != '\0' ? HostTesting::CallCount(notCalled) : HostTesting::CallLog().size();
                EXPECT_EQ(reached, 0u) << "host calls made: " << notCalled;
            }
        }
        EXPECT_EQ(TakeFootprint(), before);
    }

    // Runs a tool that must succeed; the stored record may differ from the host's current
    // defaults of type only in what toolFields writes.
    API_Element ExpectOnlyToolFields(const char* tool, const json& input, API_ElemTypeID type,
                                     const std::function<void(API_Element&)>& toolFields)
    {
        SCOPED_TRACE(std::string(tool) + " " + input.dump());
        const ToolResult result = Run(tool, input);
        EXPECT_TRUE(result.success) << result.error;
        API_Element expected = HostTesting::GetDefaults(type);
        toolFields(expected);
        const API_Element stored = Element(result.elementGuid);
        expected.header.guid = stored.header.guid;
        EXPECT_EQ(FirstDifference(expected, stored), sizeof(API_Element));
        return stored;
    }

    struct StoredMemo {
        std::vector<API_ColumnSegmentType> columnSegments;
        std::vector<API_BeamSegmentType> beamSegments;
        std::vector<Int32> pends;
        std::vector<API_AddParType> params;
    };
    StoredMemo Memo(const std::string& guidText)
    {
        API_ElementMemo memo;
        BNClear(memo);
        EXPECT_TRUE(HostTesting::GetElementMemo(Guid(guidText), &memo));
        const auto ptrSize = [](const void* p) { return p ? BMGetPtrSize(static_cast<GSConstPtr>(p)) : 0; };
        StoredMemo out;
        out.columnSegments.assign(memo.columnSegments,
                                  memo.columnSegments + ptrSize(memo.columnSegments) / sizeof(API_ColumnSegmentType));
        out.beamSegments.assign(memo.beamSegments,
                                memo.beamSegments + ptrSize(memo.beamSegments) / sizeof(API_BeamSegmentType));
        if (memo.pends != nullptr)
            out.pends.assign(*memo.pends, *memo.pends + BMGetHandleSize(memo.pends) / sizeof(Int32));
        if (memo.params != nullptr)
            out.params.assign(*memo.params, *memo.params + BMGetHandleSize(memo.params) / sizeof(API_AddParType));
        ACAPI_DisposeElemMemoHdls(&memo);
        return out;
    }

    static json Square(double size)
    {
        return {{"x1", 0}, {"y1", 0}, {"x2", size}, {"y2", 0}, {"x3", size}, {"y3", size}, {"x4", 0}, {"y4", size}};
    }
    static json With(json base, const json& more)
    {
        base.update(more);
        return base;
    }

    std::string wall;
};

// The editing tools' tests start from the empty default project.
using ModifyToolTest = QuillmereTest;
