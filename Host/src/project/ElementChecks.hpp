#pragma once

// The host's checks on an element about to be stored (by Create or Change): the codes the real
// host answers for what it would refuse.

#include "project/Project.hpp"

namespace HostInternal {

// Element types that have a record (and can be created).
bool IsSupportedElementType(Int32 typeID);

// Story and layer of the header.
GSErrCode CheckHeader(const Project& project, const API_Element& elem);
// Geometry and sizes of the type's record and memo, the working extent first (for every
// type). For openings, also the owner wall.
GSErrCode CheckElement(const Project& project, const API_Element& elem, const StoredMemo& memo);

// A closed polygon (slab, roof, zone, hatch): counts agree with the memo, every contour ends
// where it starts, at least three distinct vertices and a non-zero area. 0 or APIERR_BADPOLY.
GSErrCode CheckClosedPolygon(const API_Polygon& poly, const StoredMemo& memo);

double WallLength(const API_Element& wall);

// A wall about to change keeps every door and window it holds within its new length.
GSErrCode CheckOpeningsFit(const Project& project, const API_Element& wall);

}  // namespace HostInternal
