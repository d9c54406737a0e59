// Layer visibility and pen colours for the plan view, read through the host's attribute
// functions and kept for one drawing, so a plan of many elements asks for each layer and pen once.

#include "PlanViewAttributes.hpp"

namespace PlanView {

namespace {

API_Attribute Lookup(API_AttrTypeID typeID, Int32 index, GSErrCode& code)
{
    API_Attribute attribute;
    BNClear(attribute);
    attribute.header.typeID = typeID;
    attribute.header.index = index;
    code = ACAPI_Attribute_Get(&attribute);
    return attribute;
}

}  // namespace

bool LayerFilter::Shown(Int32 layer)
{
    auto it = shown_.find(layer);
    if (it != shown_.end()) return it->second;
    GSErrCode code = NoError;
    const API_Attribute attribute = Lookup(API_LayerID, layer, code);
    const bool shown = code != NoError || (attribute.header.flags & APILay_Hidden) == 0;
    shown_.emplace(layer, shown);
    return shown;
}

std::optional<PenPalette::Colour> PenPalette::Find(Int32 pen)
{
    auto it = pens_.find(pen);
    if (it != pens_.end()) return it->second;
    std::optional<Colour> colour;
    if (pen > 0) {
        GSErrCode code = NoError;
        const API_Attribute attribute = Lookup(API_PenID, pen, code);
        if (code == NoError)
            colour = Colour{attribute.pen.rgb.f_red, attribute.pen.rgb.f_green, attribute.pen.rgb.f_blue};
    }
    pens_.emplace(pen, colour);
    return colour;
}

void PenPalette::Use(cairo_t* cr, Int32 pen, Colour fallback, double alpha)
{
    const Colour c = Find(pen).value_or(fallback);
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, alpha);
}

Int32 ElementPen(const API_Element& e)
{
    switch (e.header.type.typeID) {
    case API_WallID: return e.wall.contPen;
    case API_ColumnID: return e.column.pen;
    case API_BeamID: return e.beam.pen;
    case API_WindowID: return e.window.openingBase.pen;
    case API_DoorID: return e.door.openingBase.pen;
    case API_ObjectID: return e.object.pen;
    case API_SlabID: return e.slab.pen;
    case API_RoofID: return e.roof.sectContPen;
    case API_DimensionID: return e.dimension.pen;
    case API_TextID: return e.text.pen;
    case API_ZoneID: return e.zone.pen;
    case API_HatchID: return e.hatch.fillPen;
    case API_LineID: return e.line.pen;
    case API_PolyLineID: return e.polyLine.pen;
    case API_ArcID: return e.arc.pen;
    case API_SplineID: return e.spline.pen;
    case API_HotspotID: return e.hotspot.pen;
    default: return 0;
    }
}

}  // namespace PlanView
