// Deep capture of doors and windows, objects and zones.
#include "tools/library/DeepCaptureWriters.hpp"

#include "core/ElementFunctions.hpp"

namespace DeepCaptureData {

namespace {

// A fixed UTF-16 field as UTF-8, up to its first zero and never past the field.
template <size_t N>
std::string FieldText(const GS::uchar_t (&field)[N])
{
    USize length = 0;
    while (length < N && field[length] != 0) ++length;
    return GS::UniString(field, length).ToCStr(0, MaxUSize, CC_Default).Get();
}

template <typename Opening>
json OpeningData(const Opening& opening, AttrTracker& tracker)
{
    BBox unused;  // openings never grow the box
    DataWriter out(tracker, unused);
    const API_OpeningBaseType& base = opening.openingBase;
    out.Put("width", base.width);
    out.Put("height", base.height);
    out.Put("objLoc", opening.objLoc);
    out.Put("lower", opening.lower);
    out.Put("owner_wall_guid", GuidToStr(opening.owner));
    out.LibraryPart(base.libInd);
    out.PenAndLineType(base.pen, base.ltypeInd);
    out.Attribute("material", API_MaterialID, base.mat);
    out.Put("reflected", base.reflected);
    out.Put("oSide", base.oSide);
    out.Put("fix_point", opening.fixPoint);
    return out.Take();
}

}  // namespace

json CaptureDoorWindow(const API_Element& element, AttrTracker& tracker)
{
    if (element.header.type.typeID == API_DoorID) return OpeningData(element.door, tracker);
    return OpeningData(element.window, tracker);
}

json CaptureObject(const API_Element& element, AttrTracker& tracker, BBox& box)
{
    const API_ObjectType& object = element.object;
    DataWriter out(tracker, box);
    out.PointInBox("pos", object.pos);
    out.Put("level", object.level);
    out.Degrees("angle", object.angle);
    out.Put("xRatio", object.xRatio);
    out.Put("yRatio", object.yRatio);
    out.LibraryPart(object.libInd);
    out.PenAndLineType(object.pen, object.ltypeInd);
    out.Attribute("material", API_MaterialID, object.mat);
    out.Put("reflected", object.reflected);
    if (object.owner != APINULLGuid) out.Put("owner_guid", GuidToStr(object.owner));
    return out.Take();
}

json CaptureZone(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_ZoneType& zone = element.zone;
    DataWriter out(tracker, box);
    out.PointInBox("pos", zone.pos);
    out.Put("room_name", FieldText(zone.roomName));
    out.Put("room_no", FieldText(zone.roomNoStr));
    out.Put("room_base_level", zone.roomBaseLev);
    out.Put("room_height", zone.roomHeight);
    out.Put("room_top_offset", zone.roomTopOffset);
    out.Put("room_floor_thick", zone.roomFlThick);
    out.Put("category_index", zone.catInd);
    out.Pen("pen", zone.pen);
    out.Attribute("floor_fill", API_FilltypeID, zone.floorFillInd);
    out.Attribute("material", API_MaterialID, zone.material);
    out.LibraryPart(zone.libInd);
    out.Polygon("polygon", memo, zone.poly, true);
    return out.Take();
}

}  // namespace DeepCaptureData
