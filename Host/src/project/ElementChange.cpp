// ACAPI_Element_Change: copies the fields flagged in the mask (first byte of the field 0xFF)
// from the caller's record into the stored element; a memo replaces the element's polygon.

#include <cstddef>
#include <optional>

#include "project/ElementChecks.hpp"
#include "project/Project.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

struct FieldPlace {
    Int32 typeID;  // 0: a header field, valid for every type
    size_t offset;
    size_t size;
};

#define HOST_FIELD(type, member, field)                                                                                \
    FieldPlace { type, offsetof(API_Element, member.field), sizeof(static_cast<API_Element*>(nullptr)->member.field) }

// Every field that a change may set. Identity (type, GUID), grouping, the opening's owner and
// the counts that follow the memo are the host's own business and are not listed.
const FieldPlace kFields[] = {
    HOST_FIELD(0, header, floorInd),
    HOST_FIELD(0, header, layer),
    HOST_FIELD(0, header, renovationStatus),

    HOST_FIELD(API_WallID, wall, begC),
    HOST_FIELD(API_WallID, wall, endC),
    HOST_FIELD(API_WallID, wall, height),
    HOST_FIELD(API_WallID, wall, thickness),
    HOST_FIELD(API_WallID, wall, thickness1),
    HOST_FIELD(API_WallID, wall, bottomOffset),
    HOST_FIELD(API_WallID, wall, topOffset),
    HOST_FIELD(API_WallID, wall, offset),
    HOST_FIELD(API_WallID, wall, angle),
    HOST_FIELD(API_WallID, wall, type),
    HOST_FIELD(API_WallID, wall, referenceLineLocation),
    HOST_FIELD(API_WallID, wall, flipped),
    HOST_FIELD(API_WallID, wall, modelElemStructureType),
    HOST_FIELD(API_WallID, wall, buildingMaterial),
    HOST_FIELD(API_WallID, wall, composite),
    HOST_FIELD(API_WallID, wall, contPen),
    HOST_FIELD(API_WallID, wall, contPen3D),
    HOST_FIELD(API_WallID, wall, contLtype),
    HOST_FIELD(API_WallID, wall, refMat),
    HOST_FIELD(API_WallID, wall, oppMat),
    HOST_FIELD(API_WallID, wall, sidMat),
    HOST_FIELD(API_WallID, wall, connPriority),

    HOST_FIELD(API_ColumnID, column, origoPos),
    HOST_FIELD(API_ColumnID, column, height),
    HOST_FIELD(API_ColumnID, column, bottomOffset),
    HOST_FIELD(API_ColumnID, column, topOffset),
    HOST_FIELD(API_ColumnID, column, axisRotationAngle),
    HOST_FIELD(API_ColumnID, column, isSlanted),
    HOST_FIELD(API_ColumnID, column, isFlipped),
    HOST_FIELD(API_ColumnID, column, slantAngle),
    HOST_FIELD(API_ColumnID, column, slantDirectionAngle),
    HOST_FIELD(API_ColumnID, column, pen),

    HOST_FIELD(API_BeamID, beam, begC),
    HOST_FIELD(API_BeamID, beam, endC),
    HOST_FIELD(API_BeamID, beam, level),
    HOST_FIELD(API_BeamID, beam, offset),
    HOST_FIELD(API_BeamID, beam, isSlanted),
    HOST_FIELD(API_BeamID, beam, isFlipped),
    HOST_FIELD(API_BeamID, beam, slantAngle),
    HOST_FIELD(API_BeamID, beam, profileAngle),
    HOST_FIELD(API_BeamID, beam, curveAngle),
    HOST_FIELD(API_BeamID, beam, beamShape),
    HOST_FIELD(API_BeamID, beam, pen),

    HOST_FIELD(API_WindowID, window, openingBase.libInd),
    HOST_FIELD(API_WindowID, window, openingBase.width),
    HOST_FIELD(API_WindowID, window, openingBase.height),
    HOST_FIELD(API_WindowID, window, openingBase.pen),
    HOST_FIELD(API_WindowID, window, openingBase.ltypeInd),
    HOST_FIELD(API_WindowID, window, openingBase.mat),
    HOST_FIELD(API_WindowID, window, openingBase.reflected),
    HOST_FIELD(API_WindowID, window, openingBase.oSide),
    HOST_FIELD(API_WindowID, window, objLoc),
    HOST_FIELD(API_WindowID, window, lower),
    HOST_FIELD(API_WindowID, window, fixPoint),

    HOST_FIELD(API_DoorID, door, openingBase.libInd),
    HOST_FIELD(API_DoorID, door, openingBase.width),
    HOST_FIELD(API_DoorID, door, openingBase.height),
    HOST_FIELD(API_DoorID, door, openingBase.pen),
    HOST_FIELD(API_DoorID, door, openingBase.ltypeInd),
    HOST_FIELD(API_DoorID, door, openingBase.mat),
    HOST_FIELD(API_DoorID, door, openingBase.reflected),
    HOST_FIELD(API_DoorID, door, openingBase.oSide),
    HOST_FIELD(API_DoorID, door, objLoc),
    HOST_FIELD(API_DoorID, door, lower),
    HOST_FIELD(API_DoorID, door, fixPoint),

    HOST_FIELD(API_ObjectID, object, libInd),
    HOST_FIELD(API_ObjectID, object, pos),
    HOST_FIELD(API_ObjectID, object, level),
    HOST_FIELD(API_ObjectID, object, angle),
    HOST_FIELD(API_ObjectID, object, xRatio),
    HOST_FIELD(API_ObjectID, object, yRatio),
    HOST_FIELD(API_ObjectID, object, pen),
    HOST_FIELD(API_ObjectID, object, ltypeInd),
    HOST_FIELD(API_ObjectID, object, mat),
    HOST_FIELD(API_ObjectID, object, reflected),

    HOST_FIELD(API_SlabID, slab, thickness),
    HOST_FIELD(API_SlabID, slab, level),
    HOST_FIELD(API_SlabID, slab, offsetFromTop),
    HOST_FIELD(API_SlabID, slab, modelElemStructureType),
    HOST_FIELD(API_SlabID, slab, buildingMaterial),
    HOST_FIELD(API_SlabID, slab, composite),
    HOST_FIELD(API_SlabID, slab, pen),
    HOST_FIELD(API_SlabID, slab, ltypeInd),
    HOST_FIELD(API_SlabID, slab, topMat),
    HOST_FIELD(API_SlabID, slab, sideMat),
    HOST_FIELD(API_SlabID, slab, botMat),
    HOST_FIELD(API_SlabID, slab, useFloorFill),
    HOST_FIELD(API_SlabID, slab, floorFillInd),
    HOST_FIELD(API_SlabID, slab, floorFillPen),
    HOST_FIELD(API_SlabID, slab, floorFillBGPen),
    HOST_FIELD(API_SlabID, slab, referencePlaneLocation),

    HOST_FIELD(API_RoofID, roof, roofClass),
    HOST_FIELD(API_RoofID, roof, thickness),
    HOST_FIELD(API_RoofID, roof, level),
    HOST_FIELD(API_RoofID, roof, modelElemStructureType),
    HOST_FIELD(API_RoofID, roof, buildingMaterial),
    HOST_FIELD(API_RoofID, roof, composite),
    HOST_FIELD(API_RoofID, roof, topMat),
    HOST_FIELD(API_RoofID, roof, sidMat),
    HOST_FIELD(API_RoofID, roof, botMat),
    HOST_FIELD(API_RoofID, roof, sectContPen),
    HOST_FIELD(API_RoofID, roof, sectContLtype),
    HOST_FIELD(API_RoofID, roof, useFloorFill),
    HOST_FIELD(API_RoofID, roof, floorFillInd),
    HOST_FIELD(API_RoofID, roof, planeRoof.angle),
    HOST_FIELD(API_RoofID, roof, planeRoof.baseLine.c1),
    HOST_FIELD(API_RoofID, roof, planeRoof.baseLine.c2),
    HOST_FIELD(API_RoofID, roof, polyRoof.levelNum),
    HOST_FIELD(API_RoofID, roof, polyRoof.eavesOverhang),

    HOST_FIELD(API_DimensionID, dimension, refC),
    HOST_FIELD(API_DimensionID, dimension, direction),
    HOST_FIELD(API_DimensionID, dimension, pen),
    HOST_FIELD(API_DimensionID, dimension, textPos),
    HOST_FIELD(API_DimensionID, dimension, textSize),

    HOST_FIELD(API_TextID, text, loc),
    HOST_FIELD(API_TextID, text, size),
    HOST_FIELD(API_TextID, text, width),
    HOST_FIELD(API_TextID, text, height),
    HOST_FIELD(API_TextID, text, angle),
    HOST_FIELD(API_TextID, text, pen),
    HOST_FIELD(API_TextID, text, font),
    HOST_FIELD(API_TextID, text, faceBits),
    HOST_FIELD(API_TextID, text, anchor),
    HOST_FIELD(API_TextID, text, nonBreaking),

    HOST_FIELD(API_ZoneID, zone, pos),
    HOST_FIELD(API_ZoneID, zone, roomName),
    HOST_FIELD(API_ZoneID, zone, roomNoStr),
    HOST_FIELD(API_ZoneID, zone, roomBaseLev),
    HOST_FIELD(API_ZoneID, zone, roomHeight),
    HOST_FIELD(API_ZoneID, zone, roomTopOffset),
    HOST_FIELD(API_ZoneID, zone, roomFlThick),
    HOST_FIELD(API_ZoneID, zone, catInd),
    HOST_FIELD(API_ZoneID, zone, pen),
    HOST_FIELD(API_ZoneID, zone, floorFillInd),
    HOST_FIELD(API_ZoneID, zone, material),
    HOST_FIELD(API_ZoneID, zone, libInd),

    HOST_FIELD(API_HatchID, hatch, contPen),
    HOST_FIELD(API_HatchID, hatch, fillPen),
    HOST_FIELD(API_HatchID, hatch, fillBGPen),
    HOST_FIELD(API_HatchID, hatch, fillInd),
    HOST_FIELD(API_HatchID, hatch, buildingMaterial),
    HOST_FIELD(API_HatchID, hatch, ltypeInd),

    HOST_FIELD(API_LineID, line, begC),
    HOST_FIELD(API_LineID, line, endC),
    HOST_FIELD(API_LineID, line, pen),
    HOST_FIELD(API_LineID, line, ltypeInd),
    HOST_FIELD(API_LineID, line, penWeight),
    HOST_FIELD(API_LineID, line, zoneSeparator),

    HOST_FIELD(API_PolyLineID, polyLine, pen),
    HOST_FIELD(API_PolyLineID, polyLine, ltypeInd),
    HOST_FIELD(API_PolyLineID, polyLine, penWeight),

    HOST_FIELD(API_ArcID, arc, origC),
    HOST_FIELD(API_ArcID, arc, r),
    HOST_FIELD(API_ArcID, arc, ratio),
    HOST_FIELD(API_ArcID, arc, angle),
    HOST_FIELD(API_ArcID, arc, begAng),
    HOST_FIELD(API_ArcID, arc, endAng),
    HOST_FIELD(API_ArcID, arc, whole),
    HOST_FIELD(API_ArcID, arc, reflected),
    HOST_FIELD(API_ArcID, arc, pen),
    HOST_FIELD(API_ArcID, arc, ltypeInd),

    HOST_FIELD(API_SplineID, spline, pen),
    HOST_FIELD(API_SplineID, spline, ltypeInd),
    HOST_FIELD(API_SplineID, spline, autoSmooth),
    HOST_FIELD(API_SplineID, spline, closed),

    HOST_FIELD(API_HotspotID, hotspot, pos),
    HOST_FIELD(API_HotspotID, hotspot, height),
    HOST_FIELD(API_HotspotID, hotspot, pen),

    HOST_FIELD(API_HotlinkID, hotlink, transformation),
};

#undef HOST_FIELD

// Copies flagged fields; true when any field was flagged.
bool ApplyMask(API_Element& target, const API_Element& source, const API_Element& mask, Int32 typeID)
{
    const unsigned char* maskBytes = reinterpret_cast<const unsigned char*>(&mask);
    unsigned char* to = reinterpret_cast<unsigned char*>(&target);
    const unsigned char* from = reinterpret_cast<const unsigned char*>(&source);
    bool any = false;
    for (const FieldPlace& f : kFields) {
        if (f.typeID != 0 && f.typeID != typeID) continue;
        if (maskBytes[f.offset] != 0xFF) continue;
        std::memcpy(to + f.offset, from + f.offset, f.size);
        any = true;
    }
    return any;
}

// True when everything after the header is the same in both records.
bool SameBody(const API_Element& a, const API_Element& b)
{
    constexpr size_t kHead = sizeof(API_Elem_Head);
    return std::memcmp(reinterpret_cast<const char*>(&a) + kHead, reinterpret_cast<const char*>(&b) + kHead,
                       sizeof(API_Element) - kHead) == 0;
}

API_Polygon* PolygonOf(API_Element& record)
{
    switch (record.header.type.typeID) {
    case API_SlabID: return &record.slab.poly;
    case API_RoofID: return &record.roof.poly;
    case API_ZoneID: return &record.zone.poly;
    case API_HatchID: return &record.hatch.poly;
    case API_PolyLineID: return &record.polyLine.poly;
    case API_WallID: return &record.wall.poly;
    default: return nullptr;
    }
}

// The parts of the caller's memo that replace the stored ones: the polygon when no mask bits
// are given, else every part whose bit is set. False when the memo brings nothing.
bool MergeMemo(StoredMemo& merged, const API_ElementMemo& memo, UInt64 memoMask)
{
    StoredMemo incoming = CopyFromMemo(&memo);
    auto wanted = [memoMask](MemoPart part) {
        return memoMask == 0 ? MemoPartMaskBit(part) == APIMemoMask_Polygon : (memoMask & MemoPartMaskBit(part)) != 0;
    };
    // New coordinates are a new polygon: the old one's arcs would bend edges between the wrong
    // vertices, so they go unless the memo brings arcs of its own.
    const bool newPolygon = incoming.Has(MemoCoords) && wanted(MemoCoords);
    bool any = false;
    for (int i = 0; i < MemoPartCount; ++i) {
        MemoPart part = MemoPart(i);
        if (!incoming.parts[part] && !(newPolygon && part == MemoParcs)) continue;
        if (!wanted(part)) continue;
        merged.parts[part] = std::move(incoming.parts[part]);
        any = true;
    }
    return any;
}

// The polygon counts follow a replaced contour-end list.
void UpdatePolygonCounts(API_Element& record, const StoredMemo& memo, const API_ElementMemo& given)
{
    API_Polygon* poly = PolygonOf(record);
    if (poly == nullptr || given.pends == nullptr) return;
    std::vector<Int32> pends = memo.Records<Int32>(MemoPends);
    if (pends.size() < 2) return;
    poly->nSubPolys = Int32(pends.size()) - 1;
    poly->nCoords = pends.back();
    poly->nArcs = Int32(memo.Count<API_PolyArc>(MemoParcs));
}

}  // namespace

GSErrCode ACAPI_Element_Change(API_Element* elem, const API_Element* mask, const API_ElementMemo* memo, UInt64 memoMask,
                               bool)
{
    const API_Guid guid = elem ? elem->header.guid : APINULLGuid;
    CallContext context;
    context.guid = guid;
    ApiCall call("ACAPI_Element_Change", "", context);
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (elem == nullptr) return call.Return(APIERR_BADPARS);
    Project& project = TheProject();
    if (!project.InCommand()) return call.Return(APIERR_NEEDSUNDOSCOPE);
    const StoredElement* stored = project.FindElement(guid);
    if (stored == nullptr) return call.Return(APIERR_BADID);

    const Int32 typeID = stored->record.header.type.typeID;
    API_Element changed = stored->record;
    bool any = mask != nullptr && ApplyMask(changed, *elem, *mask, typeID);
    // The stored memo is copied only when the caller brings memo data to merge into it.
    std::optional<StoredMemo> merged;
    if (memo != nullptr) merged = stored->Memo();
    bool memoChanged = memo != nullptr && MergeMemo(*merged, *memo, memoMask);
    if (!any && !memoChanged) return call.Return(NoError);
    if (memoChanged) UpdatePolygonCounts(changed, *merged, *memo);

    if (GSErrCode code = CheckHeader(project, changed)) return call.Return(code);
    // A stored element passed its checks: one whose geometry, memo and story stay as they were
    // (a change of layer, say) needs only its header checked again.
    if (memoChanged || !SameBody(changed, stored->record) || changed.header.floorInd != stored->record.header.floorInd)
        if (GSErrCode code = CheckElement(project, changed, memoChanged ? *merged : stored->Memo()))
            return call.Return(code);
    if (typeID == API_WallID)
        if (GSErrCode code = CheckOpeningsFit(project, changed)) return call.Return(code);

    // A wall takes its doors and windows to its new story.
    if (typeID == API_WallID && changed.header.floorInd != stored->record.header.floorInd) {
        for (const API_Guid& opening : project.Elements().DependentsOf(guid))
            project.ElementForChange(opening)->record.header.floorInd = changed.header.floorInd;
    }
    StoredElement* target = project.ElementForChange(guid);
    target->record = changed;
    if (memoChanged) target->memo = merged->IsEmpty() ? nullptr : std::make_shared<StoredMemo>(std::move(*merged));
    *elem = changed;
    return call.Return(NoError);
}
