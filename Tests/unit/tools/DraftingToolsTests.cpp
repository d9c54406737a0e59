// What the drafting tools compute themselves: the memo layout of each kind of point list, the
// dimension's direction and reference line, the low 16 bits of the fill index; and the
// mended faults: allocations that fail end in memory full with nothing made, handles the
// defaults bring are replaced and freed, lists too long for a handle and dimensions that
// measure nothing or overflow are refused before the host stores them.
#include <limits>

#include "QuillmereTest.hpp"
#include "core/ElementFunctions.hpp"

namespace {

json Pts(std::initializer_list<std::pair<double, double>> points)
{
    json list = json::array();
    for (const auto& p : points) list.push_back({{"x", p.first}, {"y", p.second}});
    return list;
}

template <typename T>
std::vector<T> Records(T** h)
{
    return h ? std::vector<T>(*h, *h + BMGetHandleSize(h) / GSSize(sizeof(T))) : std::vector<T>();
}

class DraftingTools : public QuillmereTest {
protected:
    struct Memo {
        std::vector<API_Coord> coords;
        std::vector<Int32> pends;
        std::vector<API_SplineDir> dirs;
        std::vector<API_DimElem> dimElems;
        std::vector<char> text;
    };
    Memo MemoOf(const ToolResult& result)
    {
        EXPECT_TRUE(result.success) << result.error;
        ScopedMemo memo;
        HostTesting::GetElementMemo(Guid(result.elementGuid), memo.get());
        return {Records(memo->coords), Records(memo->pends), Records(memo->bezierDirs), Records(memo->dimElems),
                Records(memo->textContent)};
    }
};

TEST_F(DraftingTools, EachKindOfPointListKeepsItsMemoLayout)
{
    const struct {
        const char* name;
        const char* tool;
        json input;
        std::vector<API_Coord> coords;
        std::vector<Int32> pends;  // empty: the kind has no contour ends
    } rows[] = {
        {"a last point equal to the first stays",
         "create_polyline",
         {{"points", Pts({{0, 0}, {2, 0}, {0, 0}})}},
         {{0, 0}, {0, 0}, {2, 0}, {0, 0}},
         {0, 3}},
        {"closed: the first point repeated",
         "create_fill",
         {{"points", Pts({{0, 0}, {0, 3}, {3, 3}})}},
         {{0, 0}, {0, 0}, {0, 3}, {3, 3}, {0, 0}},
         {0, 4}},
        {"spline: no closing copy, a missing coordinate is 0",
         "create_spline",
         json::parse(R"({"points":[{"x":1},{"y":2,"z":9}],"closed":true})"),
         {{0, 0}, {1, 0}, {0, 2}},
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Memo memo = MemoOf(Run(row.tool, row.input));
        EXPECT_EQ(memo.coords, row.coords);
        EXPECT_EQ(memo.pends, row.pends);
        if (row.pends.empty()) {
            EXPECT_EQ(memo.dirs.size(), row.coords.size()) << "one direction per slot";
        }
    }
}

TEST_F(DraftingTools, TheFillIndexIsReadBeforeTheUndoStepAndKeepsItsLow16Bits)
{
    API_Attribute fill = HostTesting::MakeAttribute(API_FilltypeID, "Far fill");
    fill.header.index = 4464;
    HostTesting::SetAttribute(fill);
    const json triangle = Pts({{0, 0}, {1, 0}, {0, 1}});
    EXPECT_EQ(Element(Run("create_fill", {{"points", triangle}, {"fill_index", 70000}}).elementGuid).hatch.fillInd,
              4464);
    HostTesting::ClearCallLog();
    EXPECT_EQ(Run("create_fill", {{"points", triangle}, {"fill_index", "brick"}}).error,
              "[json.exception.type_error.302] type must be number, but is string");
    EXPECT_EQ(HostTesting::CallCount("ACAPI_CallUndoableCommand"), 0);
}

TEST_F(DraftingTools, HandlesTheDefaultsBringAreReplacedAndTextArrivesAsItsBytes)
{
    ScopedMemo seed;  // the fixture's teardown finds any of these left behind
    seed->coords = reinterpret_cast<API_Coord**>(BMAllocateHandle(8 * sizeof(API_Coord), ALLOCATE_CLEAR, 0));
    seed->bezierDirs =
        reinterpret_cast<API_SplineDir**>(BMAllocateHandle(8 * sizeof(API_SplineDir), ALLOCATE_CLEAR, 0));
    seed->dimElems = reinterpret_cast<API_DimElem**>(BMAllocateHandle(5 * sizeof(API_DimElem), ALLOCATE_CLEAR, 0));
    seed->textContent = BMAllocateHandle(8, ALLOCATE_CLEAR, 0);
    for (API_ElemTypeID type : {API_SplineID, API_DimensionID, API_TextID})
        HostTesting::SetDefaults(HostTesting::GetDefaults(type), seed.get());
    EXPECT_EQ(MemoOf(Run("create_spline", {{"points", Pts({{0, 0}, {1, 1}})}})).dirs.size(), 3u);
    EXPECT_EQ(MemoOf(Run("create_dimension", {{"x2", 2}})).dimElems.size(), 2u);
    const std::string content = "Küche – 厨房 🏠";
    std::vector<char> expected(content.begin(), content.end());
    expected.push_back('\0');
    EXPECT_EQ(MemoOf(Run("create_text", {{"content", content}})).text, expected);
}

TEST_F(DraftingTools, AFailedAllocationEndsInMemoryFullWithNothingMade)
{
    const struct {
        const char* tool;
        json input;
        int allocation;
        const char* prefix;
    } rows[] = {
        {"create_polyline", {{"points", Pts({{0, 0}, {1, 1}})}}, 1, "CreatePolyline"},  // coordinates
        {"create_spline", {{"points", Pts({{0, 0}, {1, 1}})}}, 2, "CreateSpline"},      // directions
        {"create_fill", {{"points", Pts({{0, 0}, {1, 0}, {0, 1}})}}, 2, "CreateFill"},
        {"create_dimension", json::object(), 1, "CreateDimension"},  // witness points
        {"create_text", {{"content", "Lost"}}, 1, "CreateText"},     // never an empty text instead
    };
    for (const auto& row : rows) {
        HostTesting::FailAllocation(row.allocation);
        EXPECT_EQ(Run(row.tool, row.input).error, HostError(row.prefix, APIERR_MEMFULL)) << row.tool;
        HostTesting::ClearFailures();
    }
    EXPECT_EQ(TakeFootprint(), (Footprint{0, 0}));
}

TEST_F(DraftingTools, DimensionsMeasureBetweenTheirPointsWithTheReferenceToTheLeft)
{
    const ToolResult made = Run("create_dimension", {{"x1", 1}, {"y1", 1}, {"x2", 4}, {"y2", 5}, {"text_offset", 0}});
    const API_DimensionType d = Element(made.elementGuid).dimension;
    EXPECT_EQ(d.direction, (API_Coord{0.6, 0.8}));
    EXPECT_EQ(d.refC, (API_Coord{2.5, 3.0}));
    const Memo memo = MemoOf(made);
    ASSERT_EQ(memo.dimElems.size(), 2u);
    EXPECT_EQ(memo.dimElems[1].base.loc, (API_Coord{4, 5}));
    for (const json& input : std::vector<json>{
             {{"x1", 2}, {"y1", 3}, {"x2", 2}, {"y2", 3}},
             {{"x1", 1.0}, {"y1", 0.0}, {"y2", 0.0}},                   // x2 missing: both at (1, 0)
             {{"x1", -1.5e308}, {"x2", 1.5e308}},                       // the difference overflows
             {{"x1", 1.7e308}, {"x2", 1.7e308}, {"y1", 0}, {"y2", 1}},  // the midpoint overflows
         }) {
        HostTesting::ClearCallLog();
        EXPECT_EQ(Run("create_dimension", input).error, HostError("CreateDimension", APIERR_BADPARS)) << input;
        EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 0) << input;
    }
}

TEST(DraftingHandleSizes, ListsWhoseHandleWouldPassThirtyTwoBitsAreRefused)
{
    const std::size_t limit = std::size_t(std::numeric_limits<Int32>::max());
    EXPECT_TRUE(FitsHandleSize(limit / 16, 16));
    EXPECT_FALSE(FitsHandleSize(limit / 16 + 1, 16));
    EXPECT_FALSE(FitsHandleSize(std::numeric_limits<std::size_t>::max(), 16));
}

}  // namespace
