// Record sizes, the layout stamp, the checksums and the attributes an element refers to.

#include "modules/ModuleFormat.hpp"

#include <vector>

#include <zlib.h>

namespace HostInternal {

size_t ElementRecordSize(Int32 typeID)
{
    switch (typeID) {
    case API_WallID: return sizeof(API_WallType);
    case API_ColumnID: return sizeof(API_ColumnType);
    case API_BeamID: return sizeof(API_BeamType);
    case API_WindowID: return sizeof(API_WindowType);
    case API_DoorID: return sizeof(API_DoorType);
    case API_ObjectID:
    case API_LampID: return sizeof(API_ObjectType);
    case API_SlabID: return sizeof(API_SlabType);
    case API_RoofID: return sizeof(API_RoofType);
    case API_DimensionID: return sizeof(API_DimensionType);
    case API_TextID: return sizeof(API_TextType);
    case API_ZoneID: return sizeof(API_ZoneType);
    case API_HatchID: return sizeof(API_HatchType);
    case API_LineID: return sizeof(API_LineType);
    case API_PolyLineID: return sizeof(API_PolyLineType);
    case API_ArcID:
    case API_CircleID: return sizeof(API_ArcType);
    case API_SplineID: return sizeof(API_SplineType);
    case API_HotspotID: return sizeof(API_HotspotType);
    case API_HotlinkID: return sizeof(API_HotlinkType);
    default: return sizeof(API_Element);
    }
}

UInt64 Checksum(UInt64 state, const void* data, size_t size)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        state ^= p[i];
        state *= 0x100000001B3ull;
    }
    return state;
}

BodyChecksum::BodyChecksum(UInt32 version) : fnv_(version < 2), state_(fnv_ ? kChecksumStart : crc32_z(0, nullptr, 0))
{}

void BodyChecksum::Add(const void* data, size_t size)
{
    if (fnv_)
        state_ = Checksum(state_, data, size);
    else if (size > 0)
        state_ = crc32_z(uLong(state_), static_cast<const Bytef*>(data), size);
}

UInt64 ModuleLayoutStamp()
{
    std::vector<UInt64> sizes = {sizeof(API_Element),
                                 sizeof(API_Attribute),
                                 sizeof(API_Elem_Head),
                                 sizeof(API_Guid),
                                 sizeof(API_Coord),
                                 sizeof(Int32),
                                 sizeof(API_PolyArc),
                                 sizeof(API_AddParType),
                                 sizeof(API_ColumnSegmentType),
                                 sizeof(API_BeamSegmentType),
                                 sizeof(API_DimElem),
                                 sizeof(API_SplineDir)};
    for (Int32 type = 0; type <= API_LastElemTypeID; ++type) sizes.push_back(ElementRecordSize(type));
    return Checksum(kChecksumStart, sizes.data(), sizes.size() * sizeof(UInt64));
}

namespace {

struct Collector {
    std::set<AttributeKey>& used;
    void Add(Int32 type, Int32 index)
    {
        if (index > 0) used.emplace(type, index);
    }
    void Pen(Int32 index) { Add(API_PenID, index); }
    void Ltype(Int32 index) { Add(API_LinetypeID, index); }
    void Surface(Int32 index) { Add(API_MaterialID, index); }
    void Fill(Int32 index) { Add(API_FilltypeID, index); }
    void BuildingMaterial(Int32 index) { Add(API_BuildingMaterialID, index); }
    void Composite(Int32 index) { Add(API_CompWallID, index); }
};

}  // namespace

void CollectUsedAttributes(const StoredElement& element, std::set<AttributeKey>& used)
{
    Collector c{used};
    const API_Element& e = element.record;
    c.Add(API_LayerID, e.header.layer);
    switch (e.header.type.typeID) {
    case API_WallID:
        c.Pen(e.wall.contPen), c.Pen(e.wall.contPen3D), c.Ltype(e.wall.contLtype);
        c.Surface(e.wall.refMat), c.Surface(e.wall.oppMat), c.Surface(e.wall.sidMat);
        c.BuildingMaterial(e.wall.buildingMaterial), c.Composite(e.wall.composite);
        break;
    case API_ColumnID:
        c.Pen(e.column.pen);
        for (const API_ColumnSegmentType& s : element.Memo().Records<API_ColumnSegmentType>(MemoColumnSegments))
            c.BuildingMaterial(s.buildingMaterial), c.Surface(s.extrusionSurfaceMaterial), c.Surface(s.endsMaterial);
        break;
    case API_BeamID:
        c.Pen(e.beam.pen);
        for (const API_BeamSegmentType& s : element.Memo().Records<API_BeamSegmentType>(MemoBeamSegments)) {
            c.BuildingMaterial(s.buildingMaterial), c.Surface(s.leftMaterial), c.Surface(s.topMaterial);
            c.Surface(s.rightMaterial), c.Surface(s.bottomMaterial), c.Surface(s.endsMaterial);
        }
        break;
    case API_WindowID:
    case API_DoorID: {
        const API_OpeningBaseType& o = e.header.type.typeID == API_WindowID ? e.window.openingBase : e.door.openingBase;
        c.Pen(o.pen), c.Ltype(o.ltypeInd), c.Surface(o.mat);
        break;
    }
    case API_ObjectID:
    case API_LampID: c.Pen(e.object.pen), c.Ltype(e.object.ltypeInd), c.Surface(e.object.mat); break;
    case API_SlabID:
        c.Pen(e.slab.pen), c.Ltype(e.slab.ltypeInd), c.Surface(e.slab.topMat), c.Surface(e.slab.sideMat);
        c.Surface(e.slab.botMat), c.BuildingMaterial(e.slab.buildingMaterial), c.Composite(e.slab.composite);
        c.Fill(e.slab.floorFillInd), c.Pen(e.slab.floorFillPen), c.Pen(e.slab.floorFillBGPen);
        break;
    case API_RoofID:
        c.Surface(e.roof.topMat), c.Surface(e.roof.sidMat), c.Surface(e.roof.botMat);
        c.BuildingMaterial(e.roof.buildingMaterial), c.Composite(e.roof.composite);
        c.Pen(e.roof.sectContPen), c.Ltype(e.roof.sectContLtype), c.Fill(e.roof.floorFillInd);
        break;
    case API_DimensionID:
        c.Pen(e.dimension.pen);
        for (const API_DimElem& d : element.Memo().Records<API_DimElem>(MemoDimElems)) c.Pen(d.pen);
        break;
    case API_TextID: c.Pen(e.text.pen); break;
    case API_ZoneID: c.Pen(e.zone.pen), c.Fill(e.zone.floorFillInd), c.Surface(e.zone.material); break;
    case API_HatchID:
        c.Pen(e.hatch.contPen), c.Pen(e.hatch.fillPen), c.Pen(e.hatch.fillBGPen), c.Fill(e.hatch.fillInd);
        c.BuildingMaterial(e.hatch.buildingMaterial), c.Ltype(e.hatch.ltypeInd);
        break;
    case API_LineID: c.Pen(e.line.pen), c.Ltype(e.line.ltypeInd); break;
    case API_PolyLineID: c.Pen(e.polyLine.pen), c.Ltype(e.polyLine.ltypeInd); break;
    case API_ArcID:
    case API_CircleID: c.Pen(e.arc.pen), c.Ltype(e.arc.ltypeInd); break;
    case API_SplineID: c.Pen(e.spline.pen), c.Ltype(e.spline.ltypeInd); break;
    case API_HotspotID: c.Pen(e.hotspot.pen); break;
    default: break;
    }
}

}  // namespace HostInternal
