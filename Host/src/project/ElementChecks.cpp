#include "project/ElementChecks.hpp"

#include "modules/Hotlinks.hpp"

#include <cmath>

#include "project/WorkingExtent.hpp"

namespace HostInternal {

namespace {

constexpr double kMinLength = 1e-6;

bool Finite(const API_Coord& c) { return std::isfinite(c.x) && std::isfinite(c.y); }
bool Positive(double v) { return std::isfinite(v) && v > 0.0; }
bool SamePoint(const API_Coord& a, const API_Coord& b)
{
    return std::fabs(a.x - b.x) < kMinLength && std::fabs(a.y - b.y) < kMinLength;
}
double Distance(const API_Coord& a, const API_Coord& b) { return std::hypot(a.x - b.x, a.y - b.y); }

bool ProperSegment(const API_Coord& a, const API_Coord& b)
{
    return Finite(a) && Finite(b) && Distance(a, b) >= kMinLength;
}

GSErrCode CheckOpenPolygon(const API_Polygon& poly, const StoredMemo& memo)
{
    std::vector<API_Coord> coords = memo.Records<API_Coord>(MemoCoords);
    if (poly.nCoords < 2 || coords.size() < size_t(poly.nCoords) + 1) return APIERR_BADPOLY;
    // Arcs it counts must be there, as for closed polygons.
    if (poly.nArcs < 0 || (poly.nArcs > 0 && memo.Count<API_PolyArc>(MemoParcs) < size_t(poly.nArcs)))
        return APIERR_BADPOLY;
    for (Int32 i = 1; i <= poly.nCoords; ++i)
        if (!Finite(coords[size_t(i)])) return APIERR_BADPOLY;
    if (memo.Has(MemoPends)) {
        std::vector<Int32> pends = memo.Records<Int32>(MemoPends);
        Int32 last = poly.nSubPolys >= 1 ? poly.nSubPolys : 1;
        if (pends.size() < size_t(last) + 1 || pends[size_t(last)] != poly.nCoords) return APIERR_BADPOLY;
    }
    return NoError;
}

GSErrCode CheckSegments(const API_Element& elem, const StoredMemo& memo)
{
    if (elem.header.type.typeID == API_ColumnID) {
        for (const API_ColumnSegmentType& s : memo.Records<API_ColumnSegmentType>(MemoColumnSegments))
            if (!Positive(s.nominalWidth) || !Positive(s.nominalHeight)) return APIERR_BADPARS;
    } else {
        for (const API_BeamSegmentType& s : memo.Records<API_BeamSegmentType>(MemoBeamSegments))
            if (!Positive(s.nominalWidth) || !Positive(s.nominalHeight)) return APIERR_BADPARS;
    }
    return NoError;
}

GSErrCode CheckOpening(const Project& project, const API_Element& opening, const API_Guid& owner,
                       const API_OpeningBaseType& base, double objLoc)
{
    const StoredElement* wall = project.FindElement(owner);
    if (owner == APINULLGuid || wall == nullptr) return APIERR_BADID;
    if (wall->record.header.type.typeID != API_WallID) return APIERR_BADPARS;
    // An opening stands on its wall's story; it changes story only with the wall.
    if (opening.header.floorInd != wall->record.header.floorInd) return APIERR_BADPARS;
    if (!Positive(base.width) || !Positive(base.height)) return APIERR_BADPARS;
    if (!std::isfinite(objLoc) || objLoc < 0.0 || objLoc > WallLength(wall->record) + kMinLength) return APIERR_BADPARS;
    return NoError;
}

// A dimension measures something: finite witness points, not all in one place.
GSErrCode CheckWitnessPoints(const std::vector<API_DimElem>& elems, Int32 count)
{
    bool apart = false;
    for (Int32 i = 0; i < count; ++i) {
        if (!Finite(elems[size_t(i)].base.loc)) return APIERR_BADPARS;
        apart = apart || !SamePoint(elems[size_t(i)].base.loc, elems[0].base.loc);
    }
    return apart ? NoError : APIERR_BADPARS;
}

}  // namespace

bool IsSupportedElementType(Int32 typeID)
{
    switch (typeID) {
    case API_WallID:
    case API_ColumnID:
    case API_BeamID:
    case API_WindowID:
    case API_DoorID:
    case API_ObjectID:
    case API_SlabID:
    case API_RoofID:
    case API_DimensionID:
    case API_TextID:
    case API_ZoneID:
    case API_HatchID:
    case API_LineID:
    case API_PolyLineID:
    case API_ArcID:
    case API_SplineID:
    case API_HotspotID:
    case API_HotlinkID: return true;
    default: return false;
    }
}

double WallLength(const API_Element& wall) { return Distance(wall.wall.begC, wall.wall.endC); }

GSErrCode CheckOpeningsFit(const Project& project, const API_Element& wall)
{
    const double length = WallLength(wall);
    for (const API_Guid& guid : project.Elements().DependentsOf(wall.header.guid)) {
        const StoredElement* opening = project.FindElement(guid);
        if (opening == nullptr) continue;
        const Int32 typeID = opening->record.header.type.typeID;
        const double objLoc = typeID == API_WindowID ? opening->record.window.objLoc
                              : typeID == API_DoorID ? opening->record.door.objLoc
                                                     : 0.0;
        if (objLoc > length + kMinLength) return APIERR_BADPARS;
    }
    return NoError;
}

GSErrCode CheckHeader(const Project& project, const API_Element& elem)
{
    if (project.Stories().Find(elem.header.floorInd) == nullptr) return APIERR_BADINDEX;
    if (!project.IsUsableAttribute(API_LayerID, elem.header.layer)) return APIERR_BADINDEX;
    return NoError;
}

GSErrCode CheckClosedPolygon(const API_Polygon& poly, const StoredMemo& memo)
{
    std::vector<API_Coord> coords = memo.Records<API_Coord>(MemoCoords);
    std::vector<Int32> pends = memo.Records<Int32>(MemoPends);
    if (poly.nCoords < 4 || poly.nSubPolys < 1 || poly.nArcs < 0) return APIERR_BADPOLY;
    if (coords.size() < size_t(poly.nCoords) + 1 || pends.size() < size_t(poly.nSubPolys) + 1) return APIERR_BADPOLY;
    if (poly.nArcs > 0 && memo.Count<API_PolyArc>(MemoParcs) < size_t(poly.nArcs)) return APIERR_BADPOLY;
    if (pends[0] != 0 || pends[size_t(poly.nSubPolys)] != poly.nCoords) return APIERR_BADPOLY;
    for (Int32 i = 1; i <= poly.nCoords; ++i)
        if (!Finite(coords[size_t(i)])) return APIERR_BADPOLY;
    for (Int32 j = 1; j <= poly.nSubPolys; ++j) {
        Int32 first = pends[size_t(j - 1)] + 1, last = pends[size_t(j)];
        // A contour end past the last coordinate would read outside the coordinate list.
        if (last > poly.nCoords || last - first < 3 || !SamePoint(coords[size_t(first)], coords[size_t(last)]))
            return APIERR_BADPOLY;
    }
    // The outer contour must enclose something: three distinct vertices and a non-zero area.
    Int32 last = pends[1];
    std::vector<API_Coord> distinct;
    double area2 = 0.0;
    for (Int32 i = 1; i < last; ++i) {
        const API_Coord& a = coords[size_t(i)];
        const API_Coord& b = coords[size_t(i + 1)];
        area2 += a.x * b.y - b.x * a.y;
        if (distinct.size() < 3) {
            bool seen = false;
            for (const API_Coord& d : distinct) seen = seen || SamePoint(d, a);
            if (!seen) distinct.push_back(a);
        }
    }
    if (distinct.size() < 3 || std::fabs(area2) < kMinLength * kMinLength) return APIERR_BADPOLY;
    return NoError;
}

GSErrCode CheckElement(const Project& project, const API_Element& elem, const StoredMemo& memo)
{
    if (GSErrCode code = CheckWorkingExtent(elem, memo)) return code;
    switch (elem.header.type.typeID) {
    case API_WallID: {
        const API_WallType& w = elem.wall;
        if (!ProperSegment(w.begC, w.endC) || !Positive(w.height) || !Positive(w.thickness)) return APIERR_BADPARS;
        return NoError;
    }
    case API_ColumnID:
        if (!Finite(elem.column.origoPos) || !Positive(elem.column.height)) return APIERR_BADPARS;
        return CheckSegments(elem, memo);
    case API_BeamID:
        if (!ProperSegment(elem.beam.begC, elem.beam.endC)) return APIERR_BADPARS;
        return CheckSegments(elem, memo);
    case API_WindowID:
        return CheckOpening(project, elem, elem.window.owner, elem.window.openingBase, elem.window.objLoc);
    case API_DoorID: return CheckOpening(project, elem, elem.door.owner, elem.door.openingBase, elem.door.objLoc);
    case API_ObjectID:
        if (project.FindLibraryPart(elem.object.libInd) == nullptr) return APIERR_BADINDEX;
        if (!Finite(elem.object.pos) || !Positive(elem.object.xRatio) || !Positive(elem.object.yRatio))
            return APIERR_BADPARS;
        return NoError;
    case API_SlabID:
        if (!Positive(elem.slab.thickness)) return APIERR_BADPARS;
        return CheckClosedPolygon(elem.slab.poly, memo);
    case API_RoofID:
        if (!Positive(elem.roof.thickness)) return APIERR_BADPARS;
        return CheckClosedPolygon(elem.roof.poly, memo);
    case API_ZoneID: return CheckClosedPolygon(elem.zone.poly, memo);
    case API_HatchID:
        if (!project.IsUsableAttribute(API_FilltypeID, elem.hatch.fillInd)) return APIERR_BADINDEX;
        return CheckClosedPolygon(elem.hatch.poly, memo);
    case API_PolyLineID: return CheckOpenPolygon(elem.polyLine.poly, memo);
    case API_LineID: return ProperSegment(elem.line.begC, elem.line.endC) ? NoError : APIERR_BADPARS;
    case API_ArcID: return Finite(elem.arc.origC) && Positive(elem.arc.r) ? NoError : APIERR_BADPARS;
    case API_TextID: return Finite(elem.text.loc) && Positive(elem.text.size) ? NoError : APIERR_BADPARS;
    case API_HotspotID: return Finite(elem.hotspot.pos) ? NoError : APIERR_BADPARS;
    case API_SplineID: {
        size_t slots = memo.Count<API_Coord>(MemoCoords);
        if (slots < 3) return APIERR_BADPARS;  // slot 0 and at least two points
        for (const API_Coord& c : memo.Records<API_Coord>(MemoCoords))
            if (!Finite(c)) return APIERR_BADPARS;
        if (memo.Count<API_SplineDir>(MemoBezierDirs) < slots - 1) return APIERR_BADPARS;
        return NoError;
    }
    case API_DimensionID: {
        const API_DimensionType& d = elem.dimension;
        if (d.nDimElem < 2 || memo.Count<API_DimElem>(MemoDimElems) < size_t(d.nDimElem)) return APIERR_BADPARS;
        if (!Finite(d.direction) || std::hypot(d.direction.x, d.direction.y) < kMinLength || !Finite(d.refC))
            return APIERR_BADPARS;
        return CheckWitnessPoints(memo.Records<API_DimElem>(MemoDimElems), d.nDimElem);
    }
    case API_HotlinkID:
        // An instance names a node that exists (a null node is an unlinked placeholder).
        return elem.hotlink.hotlinkNodeGuid == APINULLGuid || HotlinkNodeExists(elem.hotlink.hotlinkNodeGuid)
                   ? NoError
                   : APIERR_BADID;
    default: return APIERR_BADID;
    }
}

}  // namespace HostInternal
