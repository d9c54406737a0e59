// Element shapes and summaries. Lengths and areas in metres; a polygon's area is its first
// contour's less its holes'.
#include "tools/inspection/ElementSummary.hpp"

#include <algorithm>
#include <cmath>

#include "core/ElementFunctions.hpp"
#include "core/Utf8Cut.hpp"
#include "tools/ElementNames.hpp"
#include "tools/HostText.hpp"
#include "tools/MemoReading.hpp"
#include "tools/ToolKit.hpp"
#include "tools/TypeWords.hpp"

using json = nlohmann::json;

namespace {

constexpr size_t kSummaryTextCharacters = 80;

double Distance(const API_Coord& a, const API_Coord& b) { return std::hypot(b.x - a.x, b.y - a.y); }

json Point(const API_Coord& c) { return json::array({c.x, c.y}); }

// Start and end of a straight element: box, length.
void Segment(ElementShape& shape, const API_Coord& begin, const API_Coord& end)
{
    shape.start = begin;
    shape.end = end;
    shape.extent.Extend(begin.x, begin.y);
    shape.extent.Extend(end.x, end.y);
    shape.length = Distance(begin, end);
}

void At(ElementShape& shape, const API_Coord& position)
{
    shape.position = position;
    shape.extent.Extend(position.x, position.y);
}

double ContourArea(const API_Coord* first, size_t count)
{
    double twice = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const API_Coord& a = first[i];
        const API_Coord& b = first[(i + 1) % count];
        twice += a.x * b.y - b.x * a.y;
    }
    return std::fabs(twice) / 2.0;
}

// Extent and area of the memo's polygon.
void Polygon(ElementShape& shape, const API_ElementMemo& memo, const API_Polygon& poly)
{
    bool outer = true;
    double area = 0.0;
    ForEachContour(memo, poly, [&](const API_Coord* first, size_t count) {
        for (size_t i = 0; i < count; ++i) shape.extent.Extend(first[i].x, first[i].y);
        area += outer ? ContourArea(first, count) : -ContourArea(first, count);
        outer = false;
    });
    if (!outer) shape.area = std::max(area, 0.0);
}

// The first count vertices of the coordinate handle (1-based), no more than it holds.
template <typename Visit>
void Vertices(const API_ElementMemo& memo, size_t count, Visit&& visit)
{
    const size_t held = HandleEntries(memo.coords);
    const size_t n = std::min(count, held > 0 ? held - 1 : 0);
    for (size_t i = 1; i <= n; ++i) visit((*memo.coords)[i]);
}

void Polyline(ElementShape& shape, const API_ElementMemo& memo, size_t count, bool measure)
{
    const API_Coord* previous = nullptr;
    double length = 0.0;
    Vertices(memo, count, [&](const API_Coord& c) {
        shape.extent.Extend(c.x, c.y);
        if (previous != nullptr) length += Distance(*previous, c);
        previous = &c;
    });
    if (measure && previous != nullptr) shape.length = length;
}

void Opening(ElementShape& shape, const API_Guid& wallGuid, double objLoc)
{
    shape.hostWall = wallGuid;
    API_Element wall = BlankElement(API_WallID);
    wall.header.guid = wallGuid;
    if (ACAPI_Element_Get(&wall, 0) != NoError || wall.header.type.typeID != API_WallID) return;
    const double length = Distance(wall.wall.begC, wall.wall.endC);
    const double t = length > 0.0 ? objLoc / length : 0.0;
    At(shape, {wall.wall.begC.x + (wall.wall.endC.x - wall.wall.begC.x) * t,
               wall.wall.begC.y + (wall.wall.endC.y - wall.wall.begC.y) * t});
}

bool NeedsMemo(API_ElemTypeID type)
{
    switch (type) {
    case API_SlabID:
    case API_RoofID:
    case API_ZoneID:
    case API_HatchID:
    case API_PolyLineID:
    case API_SplineID:
    case API_TextID:
    case API_DimensionID: return true;
    default: return false;
    }
}

void FromMemo(ElementShape& shape, const API_Element& element, const API_ElementMemo& memo)
{
    switch (element.header.type.typeID) {
    case API_SlabID: Polygon(shape, memo, element.slab.poly); break;
    case API_RoofID: Polygon(shape, memo, element.roof.poly); break;
    case API_ZoneID: Polygon(shape, memo, element.zone.poly); break;
    case API_HatchID: Polygon(shape, memo, element.hatch.poly); break;
    case API_PolyLineID: Polyline(shape, memo, size_t(std::max(element.polyLine.poly.nCoords, Int32(0))), true); break;
    case API_SplineID: Polyline(shape, memo, HandleEntries(memo.coords), false); break;
    case API_TextID: shape.text = MemoText(memo); break;
    case API_DimensionID: {
        const size_t n =
            std::min<size_t>(size_t(std::max(element.dimension.nDimElem, Int32(0))), HandleEntries(memo.dimElems));
        if (n > 0) Segment(shape, (*memo.dimElems)[0].base.loc, (*memo.dimElems)[n - 1].base.loc);
        break;
    }
    default: break;
    }
}

}  // namespace

std::string ZoneName(const API_ZoneType& zone) { return FieldNameText(zone.roomName); }

Int32 LibraryPartOf(const API_Element& element)
{
    switch (element.header.type.typeID) {
    case API_ObjectID: return element.object.libInd;
    case API_WindowID: return element.window.openingBase.libInd;
    case API_DoorID: return element.door.openingBase.libInd;
    default: return 0;
    }
}

const std::string& ElementReader::LayerName(Int32 layer)
{
    auto found = layers_.find(layer);
    if (found == layers_.end()) found = layers_.emplace(layer, ResolveAttrName(API_LayerID, layer)).first;
    return found->second;
}

const std::string& ElementReader::LibraryPartName(Int32 libInd)
{
    auto found = parts_.find(libInd);
    if (found == parts_.end()) found = parts_.emplace(libInd, ResolveLibPartName(libInd)).first;
    return found->second;
}

std::optional<DrawnIn> ElementReader::Database(const API_Element& element)
{
    static const std::string kFloorPlan;
    if (!IsDraftingType(element.header.type.typeID)) return DrawnIn{APIWind_FloorPlanID, &kFloorPlan};
    API_Guid guid = element.header.guid;
    API_DatabaseInfo info;
    BNClear(info);
    if (ACAPI_Database(APIDb_GetContainingDatabaseID, &guid, &info) != NoError) return std::nullopt;
    auto found = databases_.find(info.databaseUnId);
    if (found == databases_.end()) {
        found = databases_.emplace(info.databaseUnId, FieldNameText(info.name)).first;
    }
    return DrawnIn{info.typeID, &found->second};
}

ElementShape ElementReader::Shape(const API_Element& element)
{
    ElementShape shape;
    switch (element.header.type.typeID) {
    case API_WallID: Segment(shape, element.wall.begC, element.wall.endC); break;
    case API_BeamID: Segment(shape, element.beam.begC, element.beam.endC); break;
    case API_LineID: Segment(shape, element.line.begC, element.line.endC); break;
    case API_ColumnID: At(shape, element.column.origoPos); break;
    case API_ObjectID: At(shape, element.object.pos); break;
    case API_HotspotID: At(shape, element.hotspot.pos); break;
    case API_TextID: At(shape, element.text.loc); break;
    case API_ArcID: At(shape, element.arc.origC); break;
    case API_WindowID: Opening(shape, element.window.owner, element.window.objLoc); break;
    case API_DoorID: Opening(shape, element.door.owner, element.door.objLoc); break;
    default: break;
    }
    if (NeedsMemo(element.header.type.typeID)) {
        MemoHolder memo;
        if (ACAPI_Element_GetMemo(element.header.guid, memo.Get(),
                                  APIMemoMask_Polygon | APIMemoMask_TextContent | APIMemoMask_DimElems) == NoError)
            FromMemo(shape, element, *memo);
    }
    return shape;
}

std::optional<json> ElementReader::Summary(const API_Element& element, const ElementShape& shape)
{
    const std::optional<DrawnIn> drawnIn = Database(element);
    if (!drawnIn) return std::nullopt;
    const API_Elem_Head& header = element.header;
    json summary = {{"guid", GuidToStr(header.guid)},
                    {"type", TypeWord(header.type.typeID)},
                    {"story", header.floorInd},
                    {"layer", LayerName(header.layer)}};
    if (drawnIn->type == APIWind_WorksheetID) summary["worksheet"] = *drawnIn->name;
    if (shape.start) summary["start"] = Point(*shape.start);
    if (shape.end) summary["end"] = Point(*shape.end);
    if (shape.position) summary["position"] = Point(*shape.position);
    if (shape.hostWall != APINULLGuid) summary["host_wall"] = GuidToStr(shape.hostWall);
    if (shape.area >= 0.0) {
        summary["extent"] = {shape.extent.min_x, shape.extent.min_y, shape.extent.max_x, shape.extent.max_y};
        summary["area"] = shape.area;
    } else if (header.type.typeID == API_PolyLineID || header.type.typeID == API_SplineID) {
        if (!shape.extent.empty)
            summary["extent"] = {shape.extent.min_x, shape.extent.min_y, shape.extent.max_x, shape.extent.max_y};
    }
    if (header.type.typeID == API_ZoneID) summary["zone_name"] = ZoneName(element.zone);
    if (const Int32 part = LibraryPartOf(element)) summary["library_part"] = LibraryPartName(part);
    if (header.type.typeID == API_TextID)
        summary["text"] = shape.text.substr(0, Utf8CutLength(shape.text, shape.text.size(), kSummaryTextCharacters));
    return summary;
}
