// The working extent: which fields of each element type are points and which are lengths,
// and the memo parts that hold points or sizes. A new element type lists its fields in
// kPlaces (memo points are checked for every type already).

#include "project/WorkingExtent.hpp"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace HostInternal {

namespace {

enum class Kind { Point, Length };

struct Place {
    Int32 typeID;
    size_t offset;
    Kind kind;
};

#define EXTENT_POINT(type, member, field)                                                                              \
    Place { type, offsetof(API_Element, member.field), Kind::Point }
#define EXTENT_LENGTH(type, member, field)                                                                             \
    Place { type, offsetof(API_Element, member.field), Kind::Length }
// The translation column of a placement matrix.
#define EXTENT_MATRIX_MOVE(type, member, field, row)                                                                   \
    Place { type, offsetof(API_Element, member.field.tmx) + (4 * (row) + 3) * sizeof(double), Kind::Length }

const Place kPlaces[] = {
    EXTENT_POINT(API_WallID, wall, begC),
    EXTENT_POINT(API_WallID, wall, endC),
    EXTENT_LENGTH(API_WallID, wall, height),
    EXTENT_LENGTH(API_WallID, wall, thickness),
    EXTENT_LENGTH(API_WallID, wall, thickness1),
    EXTENT_LENGTH(API_WallID, wall, bottomOffset),
    EXTENT_LENGTH(API_WallID, wall, topOffset),
    EXTENT_LENGTH(API_WallID, wall, offset),

    EXTENT_POINT(API_ColumnID, column, origoPos),
    EXTENT_LENGTH(API_ColumnID, column, height),
    EXTENT_LENGTH(API_ColumnID, column, bottomOffset),
    EXTENT_LENGTH(API_ColumnID, column, topOffset),

    EXTENT_POINT(API_BeamID, beam, begC),
    EXTENT_POINT(API_BeamID, beam, endC),
    EXTENT_LENGTH(API_BeamID, beam, level),
    EXTENT_LENGTH(API_BeamID, beam, offset),

    EXTENT_LENGTH(API_WindowID, window, openingBase.width),
    EXTENT_LENGTH(API_WindowID, window, openingBase.height),
    EXTENT_LENGTH(API_WindowID, window, objLoc),
    EXTENT_LENGTH(API_WindowID, window, lower),

    EXTENT_LENGTH(API_DoorID, door, openingBase.width),
    EXTENT_LENGTH(API_DoorID, door, openingBase.height),
    EXTENT_LENGTH(API_DoorID, door, objLoc),
    EXTENT_LENGTH(API_DoorID, door, lower),

    EXTENT_POINT(API_ObjectID, object, pos),
    EXTENT_LENGTH(API_ObjectID, object, level),
    EXTENT_LENGTH(API_ObjectID, object, xRatio),
    EXTENT_LENGTH(API_ObjectID, object, yRatio),

    EXTENT_LENGTH(API_SlabID, slab, thickness),
    EXTENT_LENGTH(API_SlabID, slab, level),
    EXTENT_LENGTH(API_SlabID, slab, offsetFromTop),

    EXTENT_LENGTH(API_RoofID, roof, thickness),
    EXTENT_LENGTH(API_RoofID, roof, level),
    EXTENT_POINT(API_RoofID, roof, planeRoof.baseLine.c1),
    EXTENT_POINT(API_RoofID, roof, planeRoof.baseLine.c2),
    EXTENT_LENGTH(API_RoofID, roof, polyRoof.eavesOverhang),

    EXTENT_POINT(API_DimensionID, dimension, refC),
    EXTENT_LENGTH(API_DimensionID, dimension, textSize),

    EXTENT_POINT(API_TextID, text, loc),
    EXTENT_LENGTH(API_TextID, text, size),
    EXTENT_LENGTH(API_TextID, text, width),
    EXTENT_LENGTH(API_TextID, text, height),

    EXTENT_POINT(API_ZoneID, zone, pos),
    EXTENT_LENGTH(API_ZoneID, zone, roomBaseLev),
    EXTENT_LENGTH(API_ZoneID, zone, roomHeight),
    EXTENT_LENGTH(API_ZoneID, zone, roomTopOffset),
    EXTENT_LENGTH(API_ZoneID, zone, roomFlThick),

    EXTENT_POINT(API_LineID, line, begC),
    EXTENT_POINT(API_LineID, line, endC),

    EXTENT_POINT(API_ArcID, arc, origC),
    EXTENT_LENGTH(API_ArcID, arc, r),

    EXTENT_POINT(API_HotspotID, hotspot, pos),
    EXTENT_LENGTH(API_HotspotID, hotspot, height),

    EXTENT_MATRIX_MOVE(API_HotlinkID, hotlink, transformation, 0),
    EXTENT_MATRIX_MOVE(API_HotlinkID, hotlink, transformation, 1),
    EXTENT_MATRIX_MOVE(API_HotlinkID, hotlink, transformation, 2),
};

#undef EXTENT_POINT
#undef EXTENT_LENGTH
#undef EXTENT_MATRIX_MOVE

double ReadDouble(const API_Element& elem, size_t offset)
{
    double value;
    std::memcpy(&value, reinterpret_cast<const char*>(&elem) + offset, sizeof value);
    return value;
}

// Polygon-like parts keep slot 0 empty.
bool PointsWithin(const StoredMemo& memo, MemoPart part)
{
    const std::vector<API_Coord> points = memo.Records<API_Coord>(part);
    for (size_t i = 1; i < points.size(); ++i)
        if (!WithinWorkingExtent(points[i])) return false;
    return true;
}

template <typename Segment>
bool SegmentsWithin(const StoredMemo& memo, MemoPart part)
{
    for (const Segment& s : memo.Records<Segment>(part))
        if (!WithinWorkingExtent(s.nominalWidth) || !WithinWorkingExtent(s.nominalHeight)) return false;
    return true;
}

bool MemoWithin(const StoredMemo& memo)
{
    if (!PointsWithin(memo, MemoCoords) || !PointsWithin(memo, MemoPivotCoords)) return false;
    for (const API_DimElem& d : memo.Records<API_DimElem>(MemoDimElems))
        if (!WithinWorkingExtent(d.base.loc)) return false;
    return SegmentsWithin<API_ColumnSegmentType>(memo, MemoColumnSegments) &&
           SegmentsWithin<API_BeamSegmentType>(memo, MemoBeamSegments);
}

}  // namespace

bool WithinWorkingExtent(double value) { return std::isfinite(value) && std::fabs(value) <= kWorkingExtent; }

bool WithinWorkingExtent(const API_Coord& point)
{
    return WithinWorkingExtent(point.x) && WithinWorkingExtent(point.y);
}

GSErrCode CheckWorkingExtent(const API_Element& elem, const StoredMemo& memo)
{
    const Int32 typeID = elem.header.type.typeID;
    for (const Place& place : kPlaces) {
        if (place.typeID != typeID) continue;
        const bool within = place.kind == Kind::Point
                                ? WithinWorkingExtent(API_Coord{ReadDouble(elem, place.offset),
                                                                ReadDouble(elem, place.offset + sizeof(double))})
                                : WithinWorkingExtent(ReadDouble(elem, place.offset));
        if (!within) return APIERR_BADPARS;
    }
    return MemoWithin(memo) ? NoError : APIERR_BADPARS;
}

}  // namespace HostInternal
