#pragma once

// The one fixture every test folder builds on: a fresh default project per test with the test
// thread as the host's main thread, a debug log of its own (never the user's), one registry
// with every tool family, readers of what the host stored, and a check that the test leaves no
// memory handle or file location behind and made no host call off the main thread. Tests that
// reach outside services get fakes on 127.0.0.1, a private home and temporary folder, and the
// palette's own families, all started on first use.

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "core/ToolRegistry.hpp"
#include "tools/ToolFamilies.hpp"

class FakeProductService;
class FakeStorage;
class ScopedHome;

using json = nlohmann::json;

// The add-on's degrees-to-radians factor, so that stored angles compare bit for bit.
constexpr double kStoredDegree = 0.017453292519943278;

class QuillmereTest : public ::testing::Test {
protected:
    QuillmereTest();
    ~QuillmereTest() override;

    void SetUp() override;
    // Fails the test when live handles or locations differ from the start of the test.
    void TearDown() override;

    // What the add-on wrote to this test's debug log.
    std::string LogText() const;

    // Runs a tool through the registry as the conversation engine would.
    ToolResult Run(const std::string& tool, const json& input);
    // The same with the input given as JSON text (parsed here; a parse error fails the test).
    ToolResult RunText(const std::string& tool, const std::string& inputText);

    std::vector<std::string> UndoSteps() const;
    size_t UndoStepCount() const;
    // Undoes the last step; false when the host refused.
    bool UndoLast();
    // Runs body as an undoable command, as an add-on would.
    static GSErrCode Command(const std::function<GSErrCode()>& body, const char* name = "Test Step");
    static GSErrCode CreateInCommand(API_Element& e, API_ElementMemo* memo = nullptr);
    static GSErrCode ChangeInCommand(API_Element& e, const API_Element* mask, const API_ElementMemo* memo = nullptr,
                                     UInt64 memoMask = 0);
    static GSErrCode DeleteInCommand(const GS::Array<API_Guid>& guids);

    static API_Element Cleared(API_ElemTypeID typeID = API_ZombieElemID);
    // The stored element (read without a host call); fails the test when there is none.
    static API_Element Read(const API_Guid& guid);
    static API_Element Element(const std::string& guidText) { return Read(Guid(guidText)); }
    static API_Guid Guid(const std::string& guidText);
    static std::string Text(const API_Guid& guid);
    template <typename T>
    static bool Same(const T& a, const T& b)
    {
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
    // The offset of the first byte where two records differ, or sizeof(API_Element) when
    // they are the same: "the tool wrote only these fields" as one comparison.
    static size_t FirstDifference(const API_Element& a, const API_Element& b);

    static Int32 AttributeCount(API_AttrTypeID type);
    // Reads an attribute by index (or, with index 0, by name); code receives the result.
    static API_Attribute GetAttr(API_AttrTypeID type, Int32 index, const char* name = nullptr,
                                 GSErrCode* code = nullptr);
    static GSErrCode AttrCode(API_AttrTypeID type, Int32 index, const char* name = nullptr);

    // ---- The project as a whole ----
    // Element count and undo-step count together: "the project did not change" for the
    // purposes of a failed call.
    struct Footprint {
        size_t elements;
        size_t undoSteps;
        bool operator==(const Footprint& other) const
        {
            return elements == other.elements && undoSteps == other.undoSteps;
        }
    };
    Footprint TakeFootprint() const;

    // ---- Outside services and the palette's families (started on first use) ----
    // A fake product service (which also answers as the language model) and a fake storage on
    // 127.0.0.1 with the add-on pointed at both, and TMPDIR in a fresh folder of the test.
    FakeProductService& Service();
    FakeStorage& Storage();
    // HOME: a fresh folder for every test (made before any fixture built on this one), so that
    // no test reads or writes the user's ~/.quillmere.
    static std::string HomeDir();
    // Nothing left in the test's TMPDIR.
    bool TmpEmpty();
    // Registers the palette's families on registry through the palette's own call, with an
    // engine whose model is the fake service; callbacks left empty do nothing.
    void RegisterPaletteTools(ChatPreview preview = nullptr, ChatToolResult card = nullptr);
    // Waits until no render job runs, then runs what they left for the main thread.
    static void WaitForRenderJobs();
    // One engine turn carrying these attachments ({media type, base64}), answered with text: the
    // message's attachments stay current for the upload tool until the next turn.
    void Attach(const std::vector<std::pair<std::string, std::string>>& attachments);
    // The result object of a data tool's success (the test fails on a failure).
    static json Data(const ToolResult& r);
    // The bytes of the host's fixture module (four walls, a door, a window, a slab, a zone
    // "Living" and a text on the ground floor; a polyline and a fill above) plus extra walls.
    static std::string FixtureModuleBytes(size_t extraWalls = 0);

    ToolRegistry registry;
    const std::string logPath;

private:
    struct Outside;
    std::unique_ptr<ScopedHome> home_;
    std::unique_ptr<Outside> outside_;
    Outside& Services();
    Int64 baselineHandles_ = 0;
    Int64 baselineLocations_ = 0;
};

// The suite name the host's own tests use.
using HostTest = QuillmereTest;

// ---- Whole-project snapshots: "nothing changed" and "undo brought it all back" as one check ----

struct ElementState {
    API_Element record;
    std::vector<API_Coord> polygon;
};
// Every element in creation order, with its polygon.
std::vector<ElementState> TakeSnapshot();
::testing::AssertionResult SameProject(const std::vector<ElementState>& expected,
                                       const std::vector<ElementState>& actual);

// ---- Memos and polygons ----

// A zero-filled memo that disposes itself.
struct ScopedMemo {
    API_ElementMemo memo;
    ScopedMemo() { BNClear(memo); }
    ~ScopedMemo() { ACAPI_DisposeElemMemoHdls(&memo); }
    API_ElementMemo* operator->() { return &memo; }
    API_ElementMemo* get() { return &memo; }
};

std::vector<API_Guid> ListOf(API_ElemTypeID typeID);
// The host's selection, in its order (its count checked against the list it gives).
std::vector<API_Guid> SelectedGuids();
// Fills memo with a closed polygon through the host's handles.
void PutPolygon(API_ElementMemo& memo, const std::vector<API_Coord>& points);
inline const std::vector<API_Coord> kRectangle8x6 = {{0, 0}, {8, 0}, {8, 6}, {0, 6}};
// The polygon vertices of a memo, slots 1..n.
std::vector<API_Coord> MemoCoords(const API_ElementMemo& memo);

// ---- Comparisons and printing ----

inline bool operator==(const API_Coord& a, const API_Coord& b) { return a.x == b.x && a.y == b.y; }
inline void PrintTo(const API_Coord& c, std::ostream* os) { *os << "(" << c.x << ", " << c.y << ")"; }
void PrintTo(const ToolResult& result, std::ostream* os);

// Points are compared to 1e-9 m: rotations go through sine and cosine.
template <typename Point>
::testing::AssertionResult Near(const Point& p, double x, double y)
{
    if (std::fabs(p.x - x) <= 1e-9 && std::fabs(p.y - y) <= 1e-9) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << p.x << ", " << p.y << ") is not (" << x << ", " << y << ")";
}
#define EXPECT_POINT(point, x, y) EXPECT_TRUE(Near(point, x, y))
#define EXPECT_AT(point, expected) EXPECT_TRUE(Near(point, (expected).x, (expected).y))

// A tool's failure text for a host refusal.
inline std::string HostError(const char* prefix, GSErrCode code)
{
    return prefix + (" ACAPI error: " + std::to_string(code));
}
