#include "PlanGeometry.hpp"

#include "PlanViewAttributes.hpp"
#include "PlanViewSheet.hpp"

#include <algorithm>

namespace PlanGeometry {

void ForEachElement(API_ElemTypeID type, std::optional<Int16> story, const std::function<void(const API_Element&)>& fn)
{
    GS::Array<API_Guid> guids;
    if (ACAPI_Element_GetElemList(type, &guids) != NoError) return;
    PlanView::LayerFilter layers;
    const PlanViewSheet::Shown sheet;
    for (USize i = 0; i < guids.GetSize(); ++i) {
        API_Element element;
        BNClear(element);
        element.header.guid = guids[i];
        if (ACAPI_Element_Get(&element) != NoError) continue;
        if (!sheet.Includes(element, story)) continue;
        if (!layers.Shown(element.header.layer)) continue;
        fn(element);
    }
}

Contours ReadContours(const API_Guid& guid)
{
    API_ElementMemo memo;
    BNClear(memo);
    Contours contours;
    if (ACAPI_Element_GetMemo(guid, &memo, APIMemoMask_Polygon) == NoError && memo.coords != nullptr) {
        const Int32 last = Int32(BMGetHandleSize(memo.coords) / GSSize(sizeof(API_Coord))) - 1;
        std::vector<Int32> ends = {0, last};
        if (memo.pends != nullptr && BMGetHandleSize(memo.pends) >= GSSize(2 * sizeof(Int32)))
            ends.assign(*memo.pends, *memo.pends + BMGetHandleSize(memo.pends) / GSSize(sizeof(Int32)));
        for (std::size_t j = 1; j < ends.size(); ++j) {
            std::vector<API_Coord> contour;
            for (Int32 i = std::max(ends[j - 1] + 1, 1); i <= ends[j] && i <= last; ++i)
                contour.push_back((*memo.coords)[i]);
            if (contour.size() >= 2) contours.push_back(std::move(contour));
        }
    }
    ACAPI_DisposeElemMemoHdls(&memo);
    return contours;
}

void PathContours(cairo_t* cr, const Mapping& m, const Contours& contours, bool close)
{
    for (const auto& contour : contours) {
        cairo_move_to(cr, m.X(contour[0].x), m.Y(contour[0].y));
        for (std::size_t i = 1; i < contour.size(); ++i) cairo_line_to(cr, m.X(contour[i].x), m.Y(contour[i].y));
        if (close) cairo_close_path(cr);
    }
}

void PathArea(cairo_t* cr, const Mapping& m, const Contours& contours)
{
    if (contours.empty()) return;
    double twiceArea = 0.0;  // model coordinates: positive runs counter-clockwise
    const auto& first = contours.front();
    for (std::size_t i = 0; i < first.size(); ++i) {
        const API_Coord& a = first[i];
        const API_Coord& b = first[(i + 1) % first.size()];
        twiceArea += a.x * b.y - b.x * a.y;
    }
    if (twiceArea >= 0.0) return PathContours(cr, m, contours, true);
    for (const auto& contour : contours) {
        cairo_move_to(cr, m.X(contour.back().x), m.Y(contour.back().y));
        for (std::size_t i = contour.size() - 1; i-- > 0;) cairo_line_to(cr, m.X(contour[i].x), m.Y(contour[i].y));
        cairo_close_path(cr);
    }
}

}  // namespace PlanGeometry
