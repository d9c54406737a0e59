#pragma once

// Reading an element memo no further than its handles hold: the deep capture and the element
// summaries walk polygons and text through these, so a short handle is never read past.

#include <algorithm>
#include <cstring>
#include <string>

#include "ACAPinc.h"

// The entries of whole records of T a handle holds.
template <typename T>
size_t HandleEntries(T** handle)
{
    return handle == nullptr ? 0 : static_cast<size_t>(BMGetHandleSize(handle)) / sizeof(T);
}

// Calls visit(first, count) for each contour of the memo's polygon (first points at the
// contour's first vertex): contour ends past the contour-end handle or coordinates past the
// coordinate handle are not read, and a contour whose end does not advance is left out.
template <typename Visit>
void ForEachContour(const API_ElementMemo& memo, const API_Polygon& poly, Visit&& visit)
{
    if (memo.coords == nullptr || memo.pends == nullptr) return;
    const size_t ends = HandleEntries(memo.pends);     // entry 0 is not a contour end
    const size_t coords = HandleEntries(memo.coords);  // entry 0 is not a vertex
    if (ends < 2 || coords < 2) return;
    const Int32 lastCoord = static_cast<Int32>(coords - 1);
    const size_t count = static_cast<size_t>(poly.nSubPolys > 1 ? poly.nSubPolys : 1);
    Int32 prev = 0;
    for (size_t j = 1; j <= count && j < ends; ++j) {
        const Int32 end = std::min((*memo.pends)[j], lastCoord);
        if (end <= prev) continue;  // a contour that does not advance holds nothing to read
        visit(&(*memo.coords)[prev + 1], static_cast<size_t>(end - prev));
        prev = end;
    }
}

// The memo's text content up to its NUL or the handle's end; empty when there is none.
inline std::string MemoText(const API_ElementMemo& memo)
{
    if (memo.textContent == nullptr || *memo.textContent == nullptr) return std::string();
    const size_t size = static_cast<size_t>(BMGetHandleSize(memo.textContent));
    const char* bytes = *memo.textContent;
    return std::string(bytes, strnlen(bytes, size));
}
