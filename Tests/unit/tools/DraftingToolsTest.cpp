// The drafting tools as a family: the shared creation sequence (defaults kept, one named undo
// step, undo removes exactly the element), point lists and their memo layouts, text content,
// dimension geometry, the 16-bit story and fill index, and the inputs and host answers that
// must change nothing.
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "QuillmereTest.hpp"
#include "core/ElementFunctions.hpp"

namespace {

using json = nlohmann::json;

constexpr GSErrCode kMemoryFull = APIERR_MEMFULL;     // -2130313214 in messages
constexpr GSErrCode kBadParameters = APIERR_BADPARS;  // -2130313112

json Pts(std::initializer_list<std::pair<double, double>> points)
{
    json list = json::array();
    for (const auto& p : points) list.push_back({{"x", p.first}, {"y", p.second}});
    return list;
}

template <typename T>
std::vector<T> HandleRecords(T** h)
{
    return h ? std::vector<T>(*h, *h + BMGetHandleSize(h) / GSSize(sizeof(T))) : std::vector<T>();
}

class DraftingTools : public QuillmereTest {
public:
    // The stored memo of an element, read back as plain lists.
    struct Memo {
        std::vector<API_Coord> coords;
        std::vector<Int32> pends;
        std::vector<API_SplineDir> dirs;
        std::vector<API_DimElem> dimElems;
        std::vector<char> text;
        bool hasArcs = false;
    };
    Memo MemoOf(const std::string& guidText)
    {
        API_ElementMemo memo;
        BNClear(memo);
        EXPECT_TRUE(HostTesting::GetElementMemo(Guid(guidText), &memo));
        Memo out{HandleRecords(memo.coords),   HandleRecords(memo.pends),       HandleRecords(memo.bezierDirs),
                 HandleRecords(memo.dimElems), HandleRecords(memo.textContent), memo.parcs != nullptr};
        ACAPI_DisposeElemMemoHdls(&memo);
        return out;
    }

protected:
    // How far a refused call may get: no host call at all, up to (not into) the element's
    // creation, or a creation that the host refuses.
    enum Reach { NoHostCall, BeforeCreate, HostRefuses };

    // The call fails with exactly error, and neither the project nor the undo history moved.
    void ExpectRefused(const char* tool, const json& input, const std::string& error, Reach reach = BeforeCreate)
    {
        SCOPED_TRACE(std::string(tool) + " " + input.dump());
        const Footprint before = TakeFootprint();
        HostTesting::ClearCallLog();
        const ToolResult result = Run(tool, input);
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error, error);
        EXPECT_TRUE(result.elementGuid.empty());
        EXPECT_EQ(TakeFootprint(), before);
        EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), reach == HostRefuses ? 1 : 0);
        if (reach == NoHostCall) {
            EXPECT_TRUE(HostTesting::CallLog().empty()) << "a host call was made";
        }
    }

    static std::string Code(const char* prefix, GSErrCode code)
    {
        return std::string(prefix) + " ACAPI error: " + std::to_string(code);
    }
};

// Defaults unlike anything a tool writes (story 1 included), so that every field the tool
// must leave alone is seen to keep the host's value.
void MarkDefaults()
{
    const auto mark = [](API_ElemTypeID type, const std::function<void(API_Element&)>& change) {
        API_Element defaults = HostTesting::GetDefaults(type);
        defaults.header.floorInd = 1;
        change(defaults);
        HostTesting::SetDefaults(defaults);
    };
    mark(API_LineID, [](API_Element& e) {
        e.line.pen = 7;
        e.line.begC = {9, 9};
    });
    mark(API_ArcID, [](API_Element& e) {
        e.arc.angle = 0.2;
        e.arc.ratio = 0.5;
        e.arc.begAng = 1.1;
        e.arc.endAng = 2.2;
    });
    mark(API_TextID, [](API_Element& e) {
        e.text.angle = 0.3;
        e.text.pen = 4;
        e.text.anchor = 5;
    });
    mark(API_PolyLineID, [](API_Element& e) { e.polyLine.pen = 9; });
    mark(API_HotspotID, [](API_Element& e) { e.hotspot.height = 1.25; });
    mark(API_SplineID, [](API_Element& e) {
        e.spline.closed = true;
        e.spline.autoSmooth = false;
        e.spline.pen = 3;
    });
    mark(API_HatchID, [](API_Element& e) {
        e.hatch.fillInd = 3;
        e.hatch.fillBGPen = 6;
    });
    mark(API_DimensionID, [](API_Element& e) {
        e.dimension.textPos = 2;
        e.dimension.refC = {7, 7};
    });
}

TEST_F(DraftingTools, EachToolWritesOnlyItsFieldsInOneNamedUndoStepThatUndoRemoves)
{
    MarkDefaults();
    struct Case {
        const char* tool;
        json input;
        API_ElemTypeID type;
        std::string noun;  // "<noun> created", undo step "Quillmere: Create <noun>"
        std::function<void(API_Element&)> fields;
    };
    const std::vector<Case> cases = {
        {"create_line",
         {{"start_x", 1}, {"start_y", 2}, {"end_x", 4.5}, {"end_y", -6}, {"story", 2}},
         API_LineID,
         "Line",
         [](API_Element& e) {
             e.line.begC = {1, 2};
             e.line.endC = {4.5, -6};
             e.header.floorInd = 2;
         }},
        // The default end angle is the 15-digit constant, written bit for bit.
        {"create_arc",
         {{"center_x", 1}, {"center_y", 1}, {"radius", 2}},
         API_ArcID,
         "Arc",
         [](API_Element& e) {
             e.arc.origC = {1, 1};
             e.arc.r = 2;
             e.arc.begAng = 0;
             e.arc.endAng = 3.14159265358979;
             e.header.floorInd = 0;
         }},
        {"create_arc",
         {{"center_x", 0}, {"center_y", 0}, {"start_angle", 7.0}, {"end_angle", -1.0}, {"story", 1}},
         API_ArcID,
         "Arc",
         [](API_Element& e) {
             e.arc.origC = {0, 0};
             e.arc.r = 1.0;
             e.arc.begAng = 7.0;
             e.arc.endAng = -1.0;
             e.header.floorInd = 1;
         }},
        {"create_text",
         {{"x", 3}, {"y", 4}, {"content", "Hall"}},
         API_TextID,
         "Text",
         [](API_Element& e) {
             e.text.loc = {3, 4};
             e.text.size = 0.005;
             e.header.floorInd = 0;
         }},
        {"create_hotspot",
         {{"x", -2}, {"y", 5}, {"colour", "red"}},
         API_HotspotID,
         "Hotspot",
         [](API_Element& e) {
             e.hotspot.pos = {-2, 5};
             e.header.floorInd = 0;
         }},
        {"create_polyline",
         {{"points", Pts({{0, 0}, {3, 0}})}},
         API_PolyLineID,
         "Polyline",
         [](API_Element& e) {
             e.polyLine.poly = {2, 1, 0};
             e.header.floorInd = 0;
         }},
        {"create_spline",
         {{"points", Pts({{0, 0}, {2, 1}, {4, 0}})}},
         API_SplineID,
         "Spline",
         [](API_Element& e) {
             e.spline.autoSmooth = true;
             e.spline.closed = false;
             e.header.floorInd = 0;
         }},
        {"create_fill",
         {{"points", Pts({{0, 0}, {2, 0}, {0, 2}})}},
         API_HatchID,
         "Fill",
         [](API_Element& e) {
             e.hatch.poly = {4, 1, 0};
             e.header.floorInd = 0;
         }},
        {"create_dimension", json::object(), API_DimensionID, "Dimension",
         [](API_Element& e) {
             e.dimension.direction = {1, 0};
             e.dimension.refC = {0.5, 0.5};
             e.dimension.nDimElem = 2;
             e.header.floorInd = 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.input.dump());
        const size_t count = HostTesting::ElementCount(c.type);
        const size_t steps = UndoStepCount();
        const ToolResult result = Run(c.tool, c.input);
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.message, c.noun + " created");
        API_Element expected = HostTesting::GetDefaults(c.type);
        c.fields(expected);
        const API_Element stored = Element(result.elementGuid);
        expected.header.guid = stored.header.guid;
        EXPECT_EQ(FirstDifference(expected, stored), sizeof(API_Element));
        ASSERT_EQ(UndoStepCount(), steps + 1);
        EXPECT_EQ(UndoSteps().back(), "Quillmere: Create " + c.noun);
        ASSERT_TRUE(UndoLast());
        EXPECT_EQ(HostTesting::ElementCount(c.type), count);
    }
}

TEST_F(DraftingTools, StoryAndFillIndexKeepTheirLow16Bits)
{
    HostTesting::SetStories(
        {{-32768, -9.0, "Deep"}, {-1, -3.0, "Basement"}, {0, 0.0, "Ground"}, {1, 3.0, "First"}, {4464, 9.0, "High"}});
    API_Attribute fill = HostTesting::MakeAttribute(API_FilltypeID, "Far fill");
    fill.header.index = 4464;
    HostTesting::SetAttribute(fill);
    const struct {
        json story;
        Int16 stored;
    } stories[] = {
        {32768, -32768},
        {true, 1},
    };
    for (const auto& s : stories) {
        for (const char* tool : {"create_hotspot", "create_dimension", "create_polyline"}) {
            const ToolResult result = Run(tool, {{"story", s.story}, {"points", Pts({{0, 0}, {1, 1}})}});
            ASSERT_TRUE(result.success) << tool << " story " << s.story.dump() << ": " << result.error;
            EXPECT_EQ(Element(result.elementGuid).header.floorInd, s.stored) << tool << " story " << s.story.dump();
        }
    }
    const json triangle = Pts({{0, 0}, {1, 0}, {0, 1}});
    const ToolResult wrapped = Run("create_fill", {{"points", triangle}, {"fill_index", 70000}});
    ASSERT_TRUE(wrapped.success) << wrapped.error;
    EXPECT_EQ(Element(wrapped.elementGuid).hatch.fillInd, 4464);
    // No check of its own: the host answers for an index that names no fill.
    ExpectRefused("create_fill", {{"points", triangle}, {"fill_index", -3}}, Code("CreateFill", APIERR_BADINDEX),
                  HostRefuses);
    ExpectRefused("create_line", {{"end_x", 1}, {"story", 2}, {"start_y", 0}}, Code("CreateLine", APIERR_BADINDEX),
                  HostRefuses);
}

TEST_F(DraftingTools, PointListsNeedTheirMinimumAndKeepTheMemoLayoutOfTheirKind)
{
    for (const auto& [tool, input, error] : std::vector<std::tuple<const char*, json, std::string>>{
             {"create_polyline", {{"points", Pts({{1, 1}})}}, "create_polyline: need at least 2 points"},
             {"create_fill", {{"points", Pts({{0, 0}, {1, 0}})}}, "create_fill: need at least 3 points"},
             // The count is checked before the index is read.
             {"create_fill",
              {{"points", Pts({{0, 0}, {1, 0}})}, {"fill_index", "brick"}},
              "create_fill: need at least 3 points"},
         })
        ExpectRefused(tool, input, error, NoHostCall);

    // Open: slot 0 empty, the points, one contour ending at n; a last point equal to the first stays.
    const ToolResult two = Run("create_polyline", {{"points", Pts({{1, 2}, {3, 4}})}});
    ASSERT_TRUE(two.success) << two.error;
    const Memo open = MemoOf(two.elementGuid);
    EXPECT_EQ(open.coords, (std::vector<API_Coord>{{0, 0}, {1, 2}, {3, 4}}));
    EXPECT_EQ(open.pends, (std::vector<Int32>{0, 2}));
    EXPECT_FALSE(open.hasArcs);
    const ToolResult loop = Run("create_polyline", {{"points", Pts({{0, 0}, {2, 0}, {2, 2}, {0, 0}})}});
    ASSERT_TRUE(loop.success) << loop.error;
    EXPECT_EQ(Element(loop.elementGuid).polyLine.poly.nCoords, 4);
    EXPECT_EQ(MemoOf(loop.elementGuid).pends, (std::vector<Int32>{0, 4}));

    // Closed: the first point repeated after the last; the order given is kept (clockwise here).
    const ToolResult fill = Run("create_fill", {{"points", Pts({{0, 0}, {0, 3}, {3, 3}})}});
    ASSERT_TRUE(fill.success) << fill.error;
    const Memo closed = MemoOf(fill.elementGuid);
    EXPECT_EQ(closed.coords, (std::vector<API_Coord>{{0, 0}, {0, 0}, {0, 3}, {3, 3}, {0, 0}}));
    EXPECT_EQ(closed.pends, (std::vector<Int32>{0, 4}));

    // Spline: no closing copy (the flag closes it), one zero direction per slot; a missing
    // coordinate reads as 0.
    const ToolResult spline = RunText("create_spline", R"({"points":[{"x":1},{"y":2,"z":9}],"closed":true})");
    ASSERT_TRUE(spline.success) << spline.error;
    EXPECT_TRUE(Element(spline.elementGuid).spline.closed);
    const Memo curve = MemoOf(spline.elementGuid);
    EXPECT_EQ(curve.coords, (std::vector<API_Coord>{{0, 0}, {1, 0}, {0, 2}}));
    ASSERT_EQ(curve.dirs.size(), 3u);
    for (const API_SplineDir& d : curve.dirs)
        EXPECT_EQ(std::make_tuple(d.lenPrev, d.lenNext, d.dirAng), std::make_tuple(0.0, 0.0, 0.0));
}

TEST_F(DraftingTools, HandlesTheDefaultsLeaveAreReplacedNotLeaked)
{
    // Defaults that bring their own coordinates, directions, witness points and content.
    API_ElementMemo seed;
    BNClear(seed);
    seed.coords = reinterpret_cast<API_Coord**>(BMAllocateHandle(8 * sizeof(API_Coord), ALLOCATE_CLEAR, 0));
    seed.bezierDirs = reinterpret_cast<API_SplineDir**>(BMAllocateHandle(8 * sizeof(API_SplineDir), ALLOCATE_CLEAR, 0));
    seed.dimElems = reinterpret_cast<API_DimElem**>(BMAllocateHandle(5 * sizeof(API_DimElem), ALLOCATE_CLEAR, 0));
    seed.textContent = BMAllocateHandle(8, ALLOCATE_CLEAR, 0);
    std::memcpy(*seed.textContent, "Default", 8);
    for (API_ElemTypeID type : {API_SplineID, API_DimensionID, API_TextID})
        HostTesting::SetDefaults(HostTesting::GetDefaults(type), &seed);
    ACAPI_DisposeElemMemoHdls(&seed);

    const ToolResult spline = Run("create_spline", {{"points", Pts({{0, 0}, {1, 1}})}});
    ASSERT_TRUE(spline.success) << spline.error;
    EXPECT_EQ(MemoOf(spline.elementGuid).coords.size(), 3u);
    EXPECT_EQ(MemoOf(spline.elementGuid).dirs.size(), 3u);
    const ToolResult dimension = Run("create_dimension", {{"x2", 2}});
    ASSERT_TRUE(dimension.success) << dimension.error;
    EXPECT_EQ(MemoOf(dimension.elementGuid).dimElems.size(), 2u);
    const ToolResult text = Run("create_text", json::object());
    ASSERT_TRUE(text.success) << text.error;
    EXPECT_EQ(std::string(MemoOf(text.elementGuid).text.data()), "Text");
}

TEST_F(DraftingTools, TextContentArrivesAsItsUtf8BytesOrTheCallFailsWhole)
{
    for (const std::string& content : {std::string("Küche – 厨房 🏠"), std::string("")}) {
        const ToolResult result = Run("create_text", {{"x", 1}, {"y", 1}, {"content", content}});
        ASSERT_TRUE(result.success) << result.error;
        const std::vector<char> stored = MemoOf(result.elementGuid).text;
        std::vector<char> expected(content.begin(), content.end());
        expected.push_back('\0');
        EXPECT_EQ(stored, expected);
    }
}

TEST_F(DraftingTools, EveryAllocationThatFailsEndsInMemoryFullWithNothingMade)
{
    const json two = Pts({{0, 0}, {1, 1}}), three = Pts({{0, 0}, {1, 0}, {0, 1}});
    const struct {
        const char* tool;
        json input;
        int allocation;
        const char* prefix;
    } cases[] = {
        {"create_polyline", {{"points", two}}, 1, "CreatePolyline"},  // coordinates
        {"create_spline", {{"points", two}}, 2, "CreateSpline"},      // directions
        {"create_fill", {{"points", three}}, 2, "CreateFill"},
        {"create_dimension", json::object(), 1, "CreateDimension"},  // witness points
        {"create_text", {{"content", "Lost"}}, 1, "CreateText"},     // content: no empty text instead
    };
    for (const auto& c : cases) {
        HostTesting::FailAllocation(c.allocation);
        ExpectRefused(c.tool, c.input, Code(c.prefix, kMemoryFull));
        HostTesting::ClearFailures();
    }
}

TEST_F(DraftingTools, HostRefusalsAreReportedWithEachToolsPrefixAndChangeNothing)
{
    const json two = Pts({{0, 0}, {1, 1}}), three = Pts({{0, 0}, {1, 0}, {0, 1}});
    const struct {
        const char* tool;
        json input;
        const char* prefix;
    } tools[] = {
        {"create_line", {{"end_x", 1}}, "CreateLine"},       {"create_arc", json::object(), "CreateArc"},
        {"create_text", json::object(), "CreateText"},       {"create_polyline", {{"points", two}}, "CreatePolyline"},
        {"create_hotspot", json::object(), "CreateHotspot"}, {"create_spline", {{"points", two}}, "CreateSpline"},
        {"create_fill", {{"points", three}}, "CreateFill"},  {"create_dimension", json::object(), "CreateDimension"},
    };
    for (const auto& t : tools) {
        for (const char* function : {"ACAPI_Element_GetDefaults", "ACAPI_Element_Create"}) {
            HostTesting::FailNextCall(function, kBadParameters);
            const Footprint before = TakeFootprint();
            const ToolResult result = Run(t.tool, t.input);
            EXPECT_EQ(result.error, Code(t.prefix, kBadParameters)) << t.tool << " " << function;
            EXPECT_EQ(TakeFootprint(), before) << t.tool << " " << function;
            HostTesting::ClearFailures();
        }
    }
    // Geometry the host refuses goes to it unchanged and comes back as its code.
    ExpectRefused("create_line", {{"start_x", 2}, {"end_x", 2}}, "CreateLine ACAPI error: -2130313112", HostRefuses);
}

TEST_F(DraftingTools, DimensionsMeasureBetweenTheirWitnessPointsWithTheReferenceToTheLeft)
{
    const struct {
        json input;
        API_Coord direction;
        API_Coord ref;
        API_Coord first;
        API_Coord second;
    } cases[] = {
        {json::object(), {1, 0}, {0.5, 0.5}, {0, 0}, {1, 0}},
        {{{"x1", 1}, {"y1", 1}, {"x2", 4}, {"y2", 5}, {"text_offset", 0}}, {0.6, 0.8}, {2.5, 3.0}, {1, 1}, {4, 5}},
        {{{"x1", 0}, {"y1", 0}, {"x2", 1e-9}, {"y2", 0}}, {1, 0}, {0.5e-9, 0.5}, {0, 0}, {1e-9, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.dump());
        const ToolResult result = Run("create_dimension", c.input);
        if (c.second.x == 1e-9) {
            // Long enough for the tool; the host still refuses points it cannot tell apart.
            EXPECT_EQ(result.error, Code("CreateDimension", kBadParameters));
            EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 1);
            continue;
        }
        ASSERT_TRUE(result.success) << result.error;
        const API_DimensionType d = Element(result.elementGuid).dimension;
        EXPECT_EQ(d.direction, c.direction);
        EXPECT_EQ(d.refC, c.ref);
        EXPECT_EQ(d.nDimElem, 2);
        const Memo memo = MemoOf(result.elementGuid);
        ASSERT_EQ(memo.dimElems.size(), 2u);
        EXPECT_EQ(memo.dimElems[0].base.loc, c.first);
        EXPECT_EQ(memo.dimElems[1].base.loc, c.second);
        HostTesting::ClearCallLog();
    }
}

TEST_F(DraftingTools, DimensionsThatMeasureNothingOrOverflowAreRefusedBeforeTheHostStoresThem)
{
    const std::string bad = Code("CreateDimension", kBadParameters);
    for (const json& input : std::vector<json>{
             {{"x1", 2}, {"y1", 3}, {"x2", 2}, {"y2", 3}},
             {{"x1", 1.0}, {"y1", 0.0}, {"y2", 0.0}},                   // x2 missing: both at (1, 0)
             {{"x1", -1.5e308}, {"x2", 1.5e308}},                       // the difference overflows
             {{"x1", 1.7e308}, {"x2", 1.7e308}, {"y1", 0}, {"y2", 1}},  // the midpoint overflows
         }) {
        ExpectRefused("create_dimension", input, bad);
        EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_GetDefaults"), 1);
    }
}

TEST(DraftingHandleSizes, ListsWhoseHandleWouldPassThirtyTwoBitsAreRefused)
{
    const std::size_t limit = std::size_t(std::numeric_limits<Int32>::max());
    const struct {
        std::size_t count;
        std::size_t size;
        bool fits;
    } cases[] = {
        {limit / 16, 16, true},
        {limit / 16 + 1, 16, false},
        {std::numeric_limits<std::size_t>::max(), 16, false},
    };
    for (const auto& c : cases) EXPECT_EQ(FitsHandleSize(c.count, c.size), c.fits) << c.count << " x " << c.size;
}

}  // namespace
