#pragma once

// Attribute records: pens, layers, line types, fills, composites, surfaces, building materials.

#include "GSRoot.hpp"

enum API_AttrTypeID : Int32 {
    API_ZombieAttrID = 0,
    API_PenID = 1,
    API_LayerID = 2,
    API_LinetypeID = 3,
    API_FilltypeID = 4,
    API_CompWallID = 5,
    API_MaterialID = 6,  // surface
    API_BuildingMaterialID = 16
};

// Layer flag bits.
constexpr Int16 APILay_Hidden = 0x0001;
constexpr Int16 APILay_Locked = 0x0002;

struct API_Attr_Head {
    API_AttrTypeID typeID;
    Int32 index;  // 1-based; 0 with a name set means lookup by name
    Int16 flags;
    char name[256];  // UTF-8, NUL-terminated
    API_Guid guid;
};

struct API_RGBColor {
    double f_red;  // 0.0 .. 1.0
    double f_green;
    double f_blue;
};

struct API_PenType {
    API_Attr_Head head;
    API_RGBColor rgb;
    double width;  // millimetres on paper
};

struct API_LayerType {
    API_Attr_Head head;
    Int32 conClassId;  // intersection group
};

struct API_LinetypeType {
    API_Attr_Head head;
    Int32 type;  // 0 solid, 1 dashed, 2 symbol
    double defLineLength;
    Int32 nItems;
};

struct API_FilltypeType {
    API_Attr_Head head;
    Int32 subType;  // 0 vector, 1 symbol, 2 solid, 3 empty, 4 image, 5 gradient
    double hXSpac;
    double hYSpac;
    double hAngle;
};

struct API_CompWallType {
    API_Attr_Head head;
    double totalThick;
    Int16 nComps;
};

struct API_MaterialType {
    API_Attr_Head head;
    API_RGBColor surfaceRGB;
    double transpPc;
};

struct API_BuildingMaterialType {
    API_Attr_Head head;
    Int32 cutFill;
    Int16 cutFillPen;
    Int32 connPriority;
    Int32 surfaceMaterial;
};

union API_Attribute {
    API_Attr_Head header;
    API_PenType pen;
    API_LayerType layer;
    API_LinetypeType linetype;
    API_FilltypeType filltype;
    API_CompWallType compWall;
    API_MaterialType material;
    API_BuildingMaterialType buildingMaterial;
};

// Extra definition data of an attribute; always passed as null by the add-on.
struct API_AttributeDef {
    void* reserved;
};
