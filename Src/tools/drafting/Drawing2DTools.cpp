// 2D drafting tools: lines, arcs, texts, polylines, hotspots, splines, fills and linear
// dimensions. Each places one element from the host's current defaults for its type, so the
// user's drafting settings decide how it looks; only geometry and story come from the input.
// Coordinates in metres and angles in radians go to the host exactly as given.
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

namespace {

// The host's default end angle of an arc: the 15-digit value, not the double nearest to pi.
constexpr double kHalfTurn = 3.14159265358979;
// Witness points closer than this measure nothing.
constexpr double kMinDimensionLength = 1e-9;

// What tells the tools apart besides their geometry: the element type, the undo step, the
// failure prefix and the success message.
struct Drafting {
    API_ElemTypeID type;
    const char* undoName;
    const char* prefix;
    const char* created;
};
const Drafting kLine{API_LineID, "Quillmere: Create Line", "CreateLine", "Line created"};
const Drafting kArc{API_ArcID, "Quillmere: Create Arc", "CreateArc", "Arc created"};
const Drafting kText{API_TextID, "Quillmere: Create Text", "CreateText", "Text created"};
const Drafting kPolyline{API_PolyLineID, "Quillmere: Create Polyline", "CreatePolyline", "Polyline created"};
const Drafting kHotspot{API_HotspotID, "Quillmere: Create Hotspot", "CreateHotspot", "Hotspot created"};
const Drafting kSpline{API_SplineID, "Quillmere: Create Spline", "CreateSpline", "Spline created"};
const Drafting kFill{API_HatchID, "Quillmere: Create Fill", "CreateFill", "Fill created"};
const Drafting kDimension{API_DimensionID, "Quillmere: Create Dimension", "CreateDimension", "Dimension created"};

// One undo step that creates the element from the type's defaults: fill writes the tool's
// fields (and, with a memo, its memo data) and may stop with a code of its own. The types
// whose geometry is a few numbers pass no memo to the host at all; a memo is disposed of on
// every path.
template <bool withMemo, typename Fill>
ToolResult CreateDrafting(const Drafting& kind, Fill fill)
{
    std::string guidText;
    return UndoableCommand(
        kind.undoName, kind.prefix,
        [&]() -> GSErrCode {
            API_Element element;
            BNClear(element);
            element.header.type.typeID = kind.type;
            std::optional<MemoHolder> memo;
            if (withMemo) memo.emplace();
            API_ElementMemo* passed = memo ? memo->Get() : nullptr;
            API_ElementMemo unused;  // what the plain types' fill is handed and never reads
            BNClear(unused);
            GSErrCode code = ACAPI_Element_GetDefaults(&element, passed);
            if (code == NoError) code = fill(element, passed != nullptr ? *passed : unused);
            if (code == NoError) code = ACAPI_Element_Create(&element, passed);
            if (code == NoError) guidText = GuidToStr(element.header.guid);
            return code;
        },
        [&] { return ToolResult::Ok(guidText, kind.created); });
}

template <typename Fill>
ToolResult CreatePlain(const Drafting& kind, Fill fill)
{
    return CreateDrafting<false>(kind, [&](API_Element& element, API_ElementMemo&) -> GSErrCode {
        fill(element);
        return NoError;
    });
}

template <typename Fill>
ToolResult CreateWithMemo(const Drafting& kind, Fill fill)
{
    return CreateDrafting<true>(kind, fill);
}

// A fresh zero-filled handle of count records in place of whatever the defaults left there.
// A count whose byte size would not fit the host's 32 bits is refused before allocating.
template <typename Record>
bool ReplaceHandle(Record**& handle, std::size_t count)
{
    BMKillHandle(reinterpret_cast<GSHandle*>(&handle));
    if (!FitsHandleSize(count, sizeof(Record))) return false;
    handle =
        reinterpret_cast<Record**>(BMAllocateHandle(static_cast<GSSize>(count * sizeof(Record)), ALLOCATE_CLEAR, 0));
    return handle != nullptr;
}

// The polygon counts of one contour of count coordinates (closing repeat included).
void SetSinglePolygon(API_Polygon& poly, std::size_t count)
{
    poly.nCoords = static_cast<Int32>(count);
    poly.nSubPolys = 1;
    poly.nArcs = 0;
}

ToolResult CreateLine(const json& input)
{
    const double startX = NumberInput(input, "start_x", 0.0);
    const double startY = NumberInput(input, "start_y", 0.0);
    const double endX = NumberInput(input, "end_x", 0.0);
    const double endY = NumberInput(input, "end_y", 0.0);
    const int story = IntInput(input, "story", 0);

    return CreatePlain(kLine, [&](API_Element& element) {
        element.line.begC = {startX, startY};
        element.line.endC = {endX, endY};
        element.header.floorInd = StoryBits(story);
    });
}

ToolResult CreateArc(const json& input)
{
    const double centerX = NumberInput(input, "center_x", 0.0);
    const double centerY = NumberInput(input, "center_y", 0.0);
    const double radius = NumberInput(input, "radius", 1.0);
    const double startAngle = NumberInput(input, "start_angle", 0.0);
    const double endAngle = NumberInput(input, "end_angle", kHalfTurn);
    const int story = IntInput(input, "story", 0);

    return CreatePlain(kArc, [&](API_Element& element) {
        element.arc.origC = {centerX, centerY};
        element.arc.r = radius;
        element.arc.begAng = startAngle;
        element.arc.endAng = endAngle;
        element.header.floorInd = StoryBits(story);
    });
}

ToolResult CreateText(const json& input)
{
    const double x = NumberInput(input, "x", 0.0);
    const double y = NumberInput(input, "y", 0.0);
    const std::string content = StringInput(input, "content", "Text");
    const double size = NumberInput(input, "size", 0.005);
    const int story = IntInput(input, "story", 0);

    return CreateWithMemo(kText, [&](API_Element& element, API_ElementMemo& memo) -> GSErrCode {
        element.text.loc = {x, y};
        element.text.size = size;
        element.header.floorInd = StoryBits(story);
        // The UTF-8 bytes as the input holds them, and a closing zero. A content that cannot be
        // stored fails the call instead of leaving an empty text behind.
        if (!ReplaceHandle(memo.textContent, content.size() + 1)) return APIERR_MEMFULL;
        std::memcpy(*memo.textContent, content.data(), content.size());
        (*memo.textContent)[content.size()] = '\0';
        return NoError;
    });
}

ToolResult CreateHotspot(const json& input)
{
    const double x = NumberInput(input, "x", 0.0);
    const double y = NumberInput(input, "y", 0.0);
    const int story = IntInput(input, "story", 0);

    return CreatePlain(kHotspot, [&](API_Element& element) {
        element.hotspot.pos = {x, y};
        element.header.floorInd = StoryBits(story);
    });
}

ToolResult CreatePolyline(const json& input)
{
    const int story = IntInput(input, "story", 0);
    const Points points = PointsInput(input, "points");
    if (points.size() < 2) return ToolResult::Fail("create_polyline: need at least 2 points");

    return CreateWithMemo(kPolyline, [&](API_Element& element, API_ElementMemo& memo) -> GSErrCode {
        SetSinglePolygon(element.polyLine.poly, points.size());
        element.header.floorInd = StoryBits(story);
        return BuildPolygonMemo(memo, points, false) ? NoError : APIERR_MEMFULL;
    });
}

ToolResult CreateSpline(const json& input)
{
    const int story = IntInput(input, "story", 0);
    const bool closed = BoolInput(input, "closed", false);
    const Points points = PointsInput(input, "points");
    if (points.size() < 2) return ToolResult::Fail("create_spline: need at least 2 points");

    return CreateWithMemo(kSpline, [&](API_Element& element, API_ElementMemo& memo) -> GSErrCode {
        // Zero directions with automatic smoothing: the host shapes the curve.
        element.spline.autoSmooth = true;
        element.spline.closed = closed;
        element.header.floorInd = StoryBits(story);
        const std::size_t slots = points.size() + 1;  // slot 0 holds no point
        if (!ReplaceHandle(memo.coords, slots)) return APIERR_MEMFULL;
        for (std::size_t i = 0; i < points.size(); ++i) (*memo.coords)[i + 1] = {points[i].first, points[i].second};
        return ReplaceHandle(memo.bezierDirs, slots) ? NoError : APIERR_MEMFULL;
    });
}

ToolResult CreateFill(const json& input)
{
    const int story = IntInput(input, "story", 0);
    const Points points = PointsInput(input, "points");
    if (points.size() < 3) return ToolResult::Fail("create_fill: need at least 3 points");
    // Read before the undo step, so that a wrongly typed index fails with the library's text
    // and nothing is opened or changed.
    const std::optional<int> fillIndex = OptionalInt(input, "fill_index");

    return CreateWithMemo(kFill, [&](API_Element& element, API_ElementMemo& memo) -> GSErrCode {
        // Fill indices are 16-bit on the host, like stories.
        if (fillIndex) element.hatch.fillInd = StoryBits(*fillIndex);
        SetSinglePolygon(element.hatch.poly, points.size() + 1);
        element.header.floorInd = StoryBits(story);
        return BuildPolygonMemo(memo, points, true) ? NoError : APIERR_MEMFULL;
    });
}

ToolResult CreateDimension(const json& input)
{
    const double x1 = NumberInput(input, "x1", 0.0);
    const double y1 = NumberInput(input, "y1", 0.0);
    const double x2 = NumberInput(input, "x2", 1.0);
    const double y2 = NumberInput(input, "y2", 0.0);
    const double offset = NumberInput(input, "text_offset", 0.5);
    const int story = IntInput(input, "story", 0);

    return CreateWithMemo(kDimension, [&](API_Element& element, API_ElementMemo& memo) -> GSErrCode {
        element.header.floorInd = StoryBits(story);
        const double dx = x2 - x1;
        const double dy = y2 - y1;
        const double length = std::sqrt(dx * dx + dy * dy);
        if (kMinDimensionLength > length) return APIERR_BADPARS;
        const double ux = dx / length;
        const double uy = dy / length;
        // The reference point sits t to the left of the direction, from the midpoint.
        const API_Coord ref = {(x1 + x2) * 0.5 - uy * offset, ux * offset + (y1 + y2) * 0.5};
        // Coordinates so large that the length or the reference point overflow give no
        // dimension the host could draw.
        if (!std::isfinite(length) || !std::isfinite(ux) || !std::isfinite(uy) || !std::isfinite(ref.x) ||
            !std::isfinite(ref.y))
            return APIERR_BADPARS;
        element.dimension.direction = {ux, uy};
        element.dimension.refC = ref;
        element.dimension.nDimElem = 2;
        if (!ReplaceHandle(memo.dimElems, 2)) return APIERR_MEMFULL;
        (*memo.dimElems)[0].base.loc = {x1, y1};
        (*memo.dimElems)[1].base.loc = {x2, y2};
        return NoError;
    });
}

const char* const kStoryDescription = "Story index (default 0)";

}  // namespace

void RegisterDrawing2DTools(ToolRegistry& registry)
{
    Tool(registry, "create_line", "Create a 2D line between two points. Coordinates in metres.")
        .Number("start_x", "Line start X (metres)")
        .Number("start_y", "Line start Y (metres)")
        .Number("end_x", "Line end X (metres)")
        .Number("end_y", "Line end Y (metres)")
        .Integer("story", kStoryDescription)
        .Required({"start_x", "start_y", "end_x", "end_y"})
        .Handler(CreateLine);

    Tool(registry, "create_arc", "Create a 2D arc (partial circle). Angles in radians.")
        .Number("center_x", "Arc centre X (metres)")
        .Number("center_y", "Arc centre Y (metres)")
        .Number("radius", "Arc radius (metres)")
        .Number("start_angle", "Start angle in radians (default 0)")
        .Number("end_angle", "End angle in radians (default PI)")
        .Integer("story", kStoryDescription)
        .Required({"center_x", "center_y", "radius"})
        .Handler(CreateArc);

    Tool(registry, "create_text", "Place a text element on the floor plan.")
        .Number("x", "Text anchor X (metres)")
        .Number("y", "Text anchor Y (metres)")
        .String("content", "The text string to display")
        .Number("size", "Text size in metres (default 0.005)")
        .Integer("story", kStoryDescription)
        .Required({"x", "y", "content"})
        .Handler(CreateText);

    Tool(registry, "create_polyline", "Create an open polyline through a list of points. Coordinates in metres.")
        .Array("points", "Array of {x,y} point objects", PointItemSchema())
        .Integer("story", kStoryDescription)
        .Required({"points"})
        .Handler(CreatePolyline);

    Tool(registry, "create_hotspot", "Place a hotspot point on the floor plan.")
        .Number("x", "Hotspot X (metres)")
        .Number("y", "Hotspot Y (metres)")
        .Integer("story", kStoryDescription)
        .Required({"x", "y"})
        .Handler(CreateHotspot);

    Tool(registry, "create_spline", "Create a spline curve through a list of points. Coordinates in metres.")
        .Array("points", "Array of {x,y} control points", PointItemSchema())
        .Boolean("closed", "Close the spline (default false)")
        .Integer("story", kStoryDescription)
        .Required({"points"})
        .Handler(CreateSpline);

    Tool(registry, "create_fill",
         "Place a 2D fill/hatch region defined by a polygon. Corners in counter-clockwise order, metres.")
        .Array("points", "Array of {x,y} polygon vertices (at least 3)", PointItemSchema())
        .Integer("fill_index", "Fill pattern index (default uses current default)")
        .Integer("story", kStoryDescription)
        .Required({"points"})
        .Handler(CreateFill);

    Tool(registry, "create_dimension", "Place a linear dimension between two points on the floor plan.")
        .Number("x1", "First witness point X (metres)")
        .Number("y1", "First witness point Y (metres)")
        .Number("x2", "Second witness point X (metres)")
        .Number("y2", "Second witness point Y (metres)")
        .Number("text_offset", "Distance of dimension text from measured line (metres, default 0.5)")
        .Integer("story", kStoryDescription)
        .Required({"x1", "y1", "x2", "y2"})
        .Handler(CreateDimension);
}
