// For every type, one of its own fields flagged in the mask: that field changes, nothing else.

#include "HostFixture.hpp"

namespace {

struct FieldChange {
    API_ElemTypeID typeID;
    const char* field;
    std::function<void(API_Element& value, API_Element& mask)> set;   // writes the value and flags it
    std::function<bool(const API_Element&)> changed;                 // the stored element shows it
};

std::vector<FieldChange> Changes()
{
    return {
        {API_WallID, "thickness", [](API_Element& v, API_Element& m) { v.wall.thickness = 0.31; ACAPI_ELEMENT_MASK_SET(m, wall, thickness); },
         [](const API_Element& e) { return e.wall.thickness == 0.31; }},
        {API_WallID, "endC", [](API_Element& v, API_Element& m) { v.wall.endC = {2, 7}; ACAPI_ELEMENT_MASK_SET(m, wall, endC); },
         [](const API_Element& e) { return e.wall.endC.x == 2 && e.wall.endC.y == 7; }},
        {API_ColumnID, "origoPos", [](API_Element& v, API_Element& m) { v.column.origoPos = {3, 4}; ACAPI_ELEMENT_MASK_SET(m, column, origoPos); },
         [](const API_Element& e) { return e.column.origoPos.x == 3 && e.column.origoPos.y == 4; }},
        {API_ColumnID, "height", [](API_Element& v, API_Element& m) { v.column.height = 3.3; ACAPI_ELEMENT_MASK_SET(m, column, height); },
         [](const API_Element& e) { return e.column.height == 3.3; }},
        {API_BeamID, "begC", [](API_Element& v, API_Element& m) { v.beam.begC = {-1, -1}; ACAPI_ELEMENT_MASK_SET(m, beam, begC); },
         [](const API_Element& e) { return e.beam.begC.x == -1 && e.beam.begC.y == -1; }},
        {API_WindowID, "objLoc", [](API_Element& v, API_Element& m) { v.window.objLoc = 2.5; ACAPI_ELEMENT_MASK_SET(m, window, objLoc); },
         [](const API_Element& e) { return e.window.objLoc == 2.5; }},
        {API_DoorID, "width", [](API_Element& v, API_Element& m) { v.door.openingBase.width = 1.1; ACAPI_ELEMENT_MASK_SET(m, door, openingBase.width); },
         [](const API_Element& e) { return e.door.openingBase.width == 1.1; }},
        {API_ObjectID, "angle", [](API_Element& v, API_Element& m) { v.object.angle = 1.25; ACAPI_ELEMENT_MASK_SET(m, object, angle); },
         [](const API_Element& e) { return e.object.angle == 1.25; }},
        {API_ObjectID, "pos", [](API_Element& v, API_Element& m) { v.object.pos = {9, 8}; ACAPI_ELEMENT_MASK_SET(m, object, pos); },
         [](const API_Element& e) { return e.object.pos.x == 9 && e.object.pos.y == 8; }},
        {API_SlabID, "level", [](API_Element& v, API_Element& m) { v.slab.level = -0.5; ACAPI_ELEMENT_MASK_SET(m, slab, level); },
         [](const API_Element& e) { return e.slab.level == -0.5; }},
        {API_RoofID, "thickness", [](API_Element& v, API_Element& m) { v.roof.thickness = 0.4; ACAPI_ELEMENT_MASK_SET(m, roof, thickness); },
         [](const API_Element& e) { return e.roof.thickness == 0.4; }},
        {API_DimensionID, "refC", [](API_Element& v, API_Element& m) { v.dimension.refC = {0, -3}; ACAPI_ELEMENT_MASK_SET(m, dimension, refC); },
         [](const API_Element& e) { return e.dimension.refC.y == -3; }},
        {API_TextID, "size", [](API_Element& v, API_Element& m) { v.text.size = 0.5; ACAPI_ELEMENT_MASK_SET(m, text, size); },
         [](const API_Element& e) { return e.text.size == 0.5; }},
        {API_ZoneID, "roomName", [](API_Element& v, API_Element& m) { std::memset(v.zone.roomName, 0, sizeof v.zone.roomName); GS::ucsncpy(v.zone.roomName, u"Kitchen", 256); ACAPI_ELEMENT_MASK_SET(m, zone, roomName); },
         [](const API_Element& e) { return std::u16string(e.zone.roomName) == u"Kitchen"; }},
        {API_HatchID, "fillInd", [](API_Element& v, API_Element& m) { v.hatch.fillInd = 3; ACAPI_ELEMENT_MASK_SET(m, hatch, fillInd); },
         [](const API_Element& e) { return e.hatch.fillInd == 3; }},
        {API_LineID, "endC", [](API_Element& v, API_Element& m) { v.line.endC = {6, 6}; ACAPI_ELEMENT_MASK_SET(m, line, endC); },
         [](const API_Element& e) { return e.line.endC.x == 6; }},
        {API_PolyLineID, "pen", [](API_Element& v, API_Element& m) { v.polyLine.pen = 12; ACAPI_ELEMENT_MASK_SET(m, polyLine, pen); },
         [](const API_Element& e) { return e.polyLine.pen == 12; }},
        {API_ArcID, "r", [](API_Element& v, API_Element& m) { v.arc.r = 4.5; ACAPI_ELEMENT_MASK_SET(m, arc, r); },
         [](const API_Element& e) { return e.arc.r == 4.5; }},
        {API_SplineID, "closed", [](API_Element& v, API_Element& m) { v.spline.closed = true; ACAPI_ELEMENT_MASK_SET(m, spline, closed); },
         [](const API_Element& e) { return e.spline.closed; }},
        {API_HotspotID, "pos", [](API_Element& v, API_Element& m) { v.hotspot.pos = {-2, 5}; ACAPI_ELEMENT_MASK_SET(m, hotspot, pos); },
         [](const API_Element& e) { return e.hotspot.pos.x == -2 && e.hotspot.pos.y == 5; }},
    };
}

class ElementFieldChange : public HostTest {};

TEST_F(ElementFieldChange, OneFlaggedFieldPerTypeChangesAndTheRestStays)
{
    HostTesting::AddLibraryPart(APILib_ObjectID, "Lamp", 0.4, 0.4);
    API_Guid wall = HostTesting::AddWall(0, 0, 6, 0);
    for (const FieldChange& change : Changes()) {
        API_Guid guid = (change.typeID == API_WallID) ? HostTesting::AddWall(0, 0, 5, 0)
                                                        : HostTesting::AddFixture(change.typeID, 0, wall);
        const API_Element before = Read(guid);
        API_Element value = before;
        // Unflagged noise in every other type field must not leak into the element.
        std::memset(reinterpret_cast<char*>(&value) + sizeof(API_Elem_Head), 0x5A, sizeof value - sizeof(API_Elem_Head));
        API_Element mask;
        BNClear(mask);
        change.set(value, mask);
        ASSERT_EQ(Command([&] { return ACAPI_Element_Change(&value, &mask); }), NoError) << change.field;
        API_Element after = Read(guid);
        EXPECT_TRUE(change.changed(after)) << change.typeID << " " << change.field;
        // Everything else is as before, byte for byte.
        API_Element expected = before;
        API_Element unusedMask;
        BNClear(unusedMask);
        change.set(expected, unusedMask);
        EXPECT_EQ(std::memcmp(&after, &expected, sizeof after), 0) << change.typeID << " " << change.field;
    }
}

}  // namespace
