#include "core/ElementFunctions.hpp"

#include <cstdint>
#include <limits>

#include "GSRoot.hpp"

std::string GuidToStr(const API_Guid& guid) { return APIGuid2GSGuid(guid).ToString(); }

bool BuildPolygonMemo(API_ElementMemo& memo, const std::vector<std::pair<double, double>>& points, bool closed)
{
    BMKillHandle(&memo.coords);
    BMKillHandle(&memo.pends);
    BMKillHandle(&memo.parcs);

    const std::size_t n = points.size();
    const std::size_t slots = n + (closed ? 2 : 1);
    // Sizes and the contour end are 32-bit on the host; a polygon past that cannot be described.
    if (n > static_cast<std::size_t>(std::numeric_limits<Int32>::max()) - 2 ||
        !FitsHandleSize(slots, sizeof(API_Coord))) {
        return false;
    }
    memo.coords = reinterpret_cast<API_Coord**>(
        BMAllocateHandle(static_cast<GSSize>(slots * sizeof(API_Coord)), ALLOCATE_CLEAR, 0));
    memo.pends = reinterpret_cast<Int32**>(BMAllocateHandle(static_cast<GSSize>(2 * sizeof(Int32)), ALLOCATE_CLEAR, 0));
    if (memo.coords == nullptr || memo.pends == nullptr) {
        return false;  // what was allocated goes with the caller's memo disposal
    }

    API_Coord* coords = *memo.coords;
    for (std::size_t i = 0; i < n; ++i) {
        coords[i + 1].x = points[i].first;
        coords[i + 1].y = points[i].second;
    }
    if (closed) {
        coords[n + 1] = coords[1];
    }
    (*memo.pends)[0] = 0;
    (*memo.pends)[1] = static_cast<Int32>(closed ? n + 1 : n);
    return true;
}

bool FitsHandleSize(std::size_t count, std::size_t recordSize)
{
    const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<Int32>::max());
    return recordSize == 0 || count <= limit / recordSize;
}
