// Deep capture of walls, columns, beams, slabs and roofs. The basic geometry keys carry the
// host's values unchanged (the wall's "angle" stays in radians); every angle among the detail
// keys is in degrees.
#include "tools/library/DeepCaptureWriters.hpp"

namespace DeepCaptureData {

namespace {

// "structure_type", then the building material (basic) or the composite (composite).
void Structure(DataWriter& out, Int32 structure, Int32 buildingMaterial, Int32 composite)
{
    out.Put("structure_type", StructureWord(structure));
    if (structure == 0)
        out.Attribute("building_material", API_BuildingMaterialID, buildingMaterial);
    else if (structure == 1)
        out.Attribute("composite", API_CompWallID, composite);
}

// The first record of a memo's segment list, when it holds a whole one.
template <typename Segment>
const Segment* FirstSegment(const Segment* segments)
{
    if (segments == nullptr) return nullptr;
    if (static_cast<size_t>(BMGetPtrSize(reinterpret_cast<GSConstPtr>(segments))) < sizeof(Segment)) return nullptr;
    return segments;
}

}  // namespace

json CaptureWall(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_WallType& wall = element.wall;
    DataWriter out(tracker, box);
    out.PointInBox("begC", wall.begC);
    out.PointInBox("endC", wall.endC);
    out.Put("height", wall.height);
    out.Put("thickness", wall.thickness);
    out.Put("thickness1", wall.thickness1);
    out.Put("bottomOffset", wall.bottomOffset);
    out.Put("topOffset", wall.topOffset);
    out.Put("offset", wall.offset);
    out.Put("angle", wall.angle);
    out.Put("wall_type", WallTypeWord(wall.type));
    out.Put("reference_line_location", wall.referenceLineLocation);
    out.Put("flipped", wall.flipped);
    Structure(out, wall.modelElemStructureType, wall.buildingMaterial, wall.composite);
    out.Pen("contour_pen", wall.contPen);
    out.Pen("contour_pen_3d", wall.contPen3D);
    out.Attribute("contour_linetype", API_LinetypeID, wall.contLtype);
    out.Attribute("ref_material", API_MaterialID, wall.refMat);
    out.Attribute("opp_material", API_MaterialID, wall.oppMat);
    out.Attribute("side_material", API_MaterialID, wall.sidMat);
    out.Put("has_window", wall.hasWindow);
    out.Put("has_door", wall.hasDoor);
    out.Put("wall_connection_priority", wall.connPriority);
    if (wall.type == 2) out.Polygon("polygon", memo, wall.poly, false);
    return out.Take();
}

json CaptureColumn(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_ColumnType& column = element.column;
    DataWriter out(tracker, box);
    out.PointInBox("origoPos", column.origoPos);
    out.Put("height", column.height);
    out.Put("bottomOffset", column.bottomOffset);
    out.Put("topOffset", column.topOffset);
    out.Degrees("axis_rotation_angle", column.axisRotationAngle);
    out.Put("is_slanted", column.isSlanted);
    out.Put("is_flipped", column.isFlipped);
    out.Degrees("slant_angle", column.slantAngle);
    out.Degrees("slant_direction_angle", column.slantDirectionAngle);
    if (const API_ColumnSegmentType* segment = FirstSegment(memo.columnSegments)) {
        out.Put("circle_based", segment->circleBased);
        out.Put("nominal_width", segment->nominalWidth);
        out.Put("nominal_height", segment->nominalHeight);
        out.Attribute("building_material", API_BuildingMaterialID, segment->buildingMaterial);
        out.Attribute("extrusion_surface_material", API_MaterialID, segment->extrusionSurfaceMaterial);
        out.Attribute("ends_material", API_MaterialID, segment->endsMaterial);
    }
    out.Pen("pen", column.pen);
    return out.Take();
}

json CaptureBeam(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_BeamType& beam = element.beam;
    DataWriter out(tracker, box);
    out.PointInBox("begC", beam.begC);
    out.PointInBox("endC", beam.endC);
    out.Put("level", beam.level);
    out.Put("offset", beam.offset);
    out.Put("is_slanted", beam.isSlanted);
    out.Put("is_flipped", beam.isFlipped);
    out.Degrees("slant_angle", beam.slantAngle);
    out.Degrees("profile_angle", beam.profileAngle);
    out.Degrees("curve_angle", beam.curveAngle);
    out.Put("beam_shape", beam.beamShape);
    if (const API_BeamSegmentType* segment = FirstSegment(memo.beamSegments)) {
        out.Put("nominal_width", segment->nominalWidth);
        out.Put("nominal_height", segment->nominalHeight);
        out.Attribute("building_material", API_BuildingMaterialID, segment->buildingMaterial);
        out.Attribute("left_material", API_MaterialID, segment->leftMaterial);
        out.Attribute("top_material", API_MaterialID, segment->topMaterial);
        out.Attribute("right_material", API_MaterialID, segment->rightMaterial);
        out.Attribute("bot_material", API_MaterialID, segment->bottomMaterial);
        out.Attribute("ends_material", API_MaterialID, segment->endsMaterial);
    }
    return out.Take();
}

json CaptureSlab(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_SlabType& slab = element.slab;
    DataWriter out(tracker, box);
    out.Put("thickness", slab.thickness);
    out.Put("level", slab.level);
    out.Put("offsetFromTop", slab.offsetFromTop);
    Structure(out, slab.modelElemStructureType, slab.buildingMaterial, slab.composite);
    out.Pen("pen", slab.pen);
    out.Attribute("linetype", API_LinetypeID, slab.ltypeInd);
    out.SurfacePairs(slab.topMat, slab.sideMat, slab.botMat);
    out.Put("use_floor_fill", slab.useFloorFill);
    out.Attribute("floor_fill", API_FilltypeID, slab.floorFillInd);
    out.Pen("floor_fill_pen", slab.floorFillPen);
    out.Pen("floor_fill_bg_pen", slab.floorFillBGPen);
    out.Put("reference_plane_location", slab.referencePlaneLocation);
    out.Polygon("polygon", memo, slab.poly, true);
    return out.Take();
}

json CaptureRoof(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    const API_RoofType& roof = element.roof;
    const bool plane = roof.roofClass == API_PlaneRoofID;
    DataWriter out(tracker, box);
    out.Put("roof_class", plane ? "plane" : "poly");
    out.Put("thickness", roof.thickness);
    out.Put("level", roof.level);
    Structure(out, roof.modelElemStructureType, roof.buildingMaterial, roof.composite);
    out.SurfacePairs(roof.topMat, roof.sidMat, roof.botMat);
    out.Pen("sect_cont_pen", roof.sectContPen);
    out.Attribute("sect_cont_linetype", API_LinetypeID, roof.sectContLtype);
    out.Put("use_floor_fill", roof.useFloorFill);
    out.Attribute("floor_fill", API_FilltypeID, roof.floorFillInd);
    if (plane) {
        out.Degrees("angle", roof.planeRoof.angle);
        out.PointInBox("base_line_beg", roof.planeRoof.baseLine.c1);
        out.PointInBox("base_line_end", roof.planeRoof.baseLine.c2);
        out.Polygon("polygon", memo, roof.poly, true);
    } else {
        out.Put("level_num", roof.polyRoof.levelNum);
        out.Put("eaves_overhang", roof.polyRoof.eavesOverhang);
        out.Polygon("contour_polygon", memo, roof.poly, false);
        if (memo.pivotPolyCoords != nullptr && memo.pivotPolyPends != nullptr) out.Put("has_pivot_polygon", true);
    }
    return out.Take();
}

}  // namespace DeepCaptureData
