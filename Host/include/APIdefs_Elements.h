#pragma once

// Element records of the host's element database. All records are plain data: callers
// zero-fill them (BNClear) and set only the fields they need. Lengths in metres, angles in
// radians.

#include "GSRoot.hpp"

struct API_Coord {
    double x;
    double y;
};

struct API_Coord3D {
    double x;
    double y;
    double z;
};

typedef API_Coord API_Vector;

struct API_Sector {
    API_Coord c1;
    API_Coord c2;
};

// Counts of a polygon kept in the memo: coordinates (closing repeat included), contours, arcs.
struct API_Polygon {
    Int32 nCoords;
    Int32 nSubPolys;
    Int32 nArcs;
};

// One arc edge of a polygon: between coordinates begIndex and endIndex, with the given angle.
struct API_PolyArc {
    Int32 begIndex;
    Int32 endIndex;
    double arcAngle;
};

// 3 x 4 transformation matrix, row by row.
struct API_Tranmat {
    double tmx[12];
};

enum API_ElemTypeID : Int32 {
    API_ZombieElemID = 0,
    API_WallID = 1,
    API_ColumnID = 2,
    API_BeamID = 3,
    API_WindowID = 4,
    API_DoorID = 5,
    API_ObjectID = 6,
    API_LampID = 7,
    API_SlabID = 8,
    API_RoofID = 9,
    API_MeshID = 10,
    API_DimensionID = 11,
    API_RadialDimensionID = 12,
    API_LevelDimensionID = 13,
    API_AngleDimensionID = 14,
    API_TextID = 15,
    API_LabelID = 16,
    API_ZoneID = 17,
    API_HatchID = 18,
    API_LineID = 19,
    API_PolyLineID = 20,
    API_ArcID = 21,
    API_CircleID = 22,
    API_SplineID = 23,
    API_HotspotID = 24,
    API_CutPlaneID = 25,
    API_CameraID = 26,
    API_CamSetID = 27,
    API_GroupID = 28,
    API_SectElemID = 29,
    API_DrawingID = 30,
    API_PictureID = 31,
    API_DetailID = 32,
    API_ElevationID = 33,
    API_InteriorElevationID = 34,
    API_WorksheetID = 35,
    API_HotlinkID = 36,
    API_LastElemTypeID = 36
};

// The element type: type number, variation (0) and class (null).
struct API_ElemType {
    API_ElemTypeID typeID;
    Int32 variationID;
    API_Guid classID;
};

inline API_ElemType MakeElemType(API_ElemTypeID typeID)
{
    API_ElemType t;
    BNClear(t);
    t.typeID = typeID;
    return t;
}

// The header every element record starts with.
struct API_Elem_Head {
    API_ElemType type;
    API_Guid guid;
    Int16 floorInd;          // story index
    Int32 layer;             // layer attribute index
    API_Guid groupGuid;      // null when the element is in no group
    Int32 renovationStatus;  // 0 undefined, 1 existing, 2 new, 3 demolished
    API_Guid ownerGuid;      // hotlink instance or owner element, when any
};

enum API_ModelElemStructureType : Int32 {
    API_BasicStructure = 0,
    API_CompositeStructure = 1,
    API_ProfileStructure = 2
};

struct API_WallType {
    API_Elem_Head head;
    API_Coord begC;
    API_Coord endC;
    double height;
    double thickness;
    double thickness1;  // thickness at the end of a trapezoid wall
    double bottomOffset;
    double topOffset;
    double offset;  // of the reference line
    double angle;   // inclination
    Int32 type;     // geometry: 0 straight, 1 trapezoid, 2 polygonal
    Int32 referenceLineLocation;
    bool flipped;
    Int32 modelElemStructureType;
    Int32 buildingMaterial;
    Int32 composite;
    Int16 contPen;
    Int16 contPen3D;
    Int32 contLtype;
    Int32 refMat;
    Int32 oppMat;
    Int32 sidMat;
    bool hasWindow;
    bool hasDoor;
    Int32 connPriority;
    API_Polygon poly;  // polygonal walls only
};

struct API_ColumnType {
    API_Elem_Head head;
    API_Coord origoPos;
    double height;
    double bottomOffset;
    double topOffset;
    double axisRotationAngle;
    bool isSlanted;
    bool isFlipped;
    double slantAngle;
    double slantDirectionAngle;
    Int16 pen;
    Int32 nSegments;  // entries of memo.columnSegments
};

struct API_BeamType {
    API_Elem_Head head;
    API_Coord begC;
    API_Coord endC;
    double level;
    double offset;
    bool isSlanted;
    bool isFlipped;
    double slantAngle;
    double profileAngle;
    double curveAngle;
    Int32 beamShape;
    Int16 pen;
    Int32 nSegments;  // entries of memo.beamSegments
};

// What doors and windows share.
struct API_OpeningBaseType {
    Int32 libInd;
    double width;
    double height;
    Int16 pen;
    Int32 ltypeInd;
    Int32 mat;
    bool reflected;
    bool oSide;
};

struct API_WindowType {
    API_Elem_Head head;
    API_OpeningBaseType openingBase;
    API_Guid owner;  // the wall
    double objLoc;   // distance from the wall's start
    double lower;    // sill height
    Int16 fixPoint;
};

struct API_DoorType {
    API_Elem_Head head;
    API_OpeningBaseType openingBase;
    API_Guid owner;
    double objLoc;
    double lower;
    Int16 fixPoint;
};

struct API_ObjectType {
    API_Elem_Head head;
    Int32 libInd;
    API_Coord pos;
    double level;
    double angle;
    double xRatio;  // size along its own x
    double yRatio;  // size along its own y
    Int16 pen;
    Int32 ltypeInd;
    Int32 mat;
    bool reflected;
    API_Guid owner;
};

struct API_SlabType {
    API_Elem_Head head;
    double thickness;
    double level;
    double offsetFromTop;
    Int32 modelElemStructureType;
    Int32 buildingMaterial;
    Int32 composite;
    Int16 pen;
    Int32 ltypeInd;
    Int32 topMat;
    Int32 sideMat;
    Int32 botMat;
    bool useFloorFill;
    Int32 floorFillInd;
    Int16 floorFillPen;
    Int16 floorFillBGPen;
    Int32 referencePlaneLocation;
    API_Polygon poly;
};

enum API_RoofClassID : Int32 { API_PlaneRoofID = 0, API_PolyRoofID = 1 };

struct API_PlaneRoofData {
    double angle;  // pitch
    API_Sector baseLine;
};

struct API_PolyRoofData {
    Int16 levelNum;
    double eavesOverhang;
    API_Polygon pivotPolygon;  // counts of memo.pivotPolyCoords
};

struct API_RoofType {
    API_Elem_Head head;
    Int32 roofClass;  // API_RoofClassID
    double thickness;
    double level;
    Int32 modelElemStructureType;
    Int32 buildingMaterial;
    Int32 composite;
    Int32 topMat;
    Int32 sidMat;
    Int32 botMat;
    Int16 sectContPen;
    Int32 sectContLtype;
    bool useFloorFill;
    Int32 floorFillInd;
    API_PlaneRoofData planeRoof;
    API_PolyRoofData polyRoof;
    API_Polygon poly;  // the contour, for either class
};

struct API_DimensionType {
    API_Elem_Head head;
    API_Coord refC;
    API_Vector direction;  // unit vector along the dimension line
    Int32 nDimElem;        // entries of memo.dimElems
    Int16 pen;
    Int32 textPos;
    double textSize;
};

struct API_TextType {
    API_Elem_Head head;
    API_Coord loc;
    double size;  // text size in metres
    double width;
    double height;
    double angle;
    Int16 pen;
    Int16 font;
    UInt16 faceBits;
    Int32 anchor;
    bool nonBreaking;
};

struct API_ZoneType {
    API_Elem_Head head;
    API_Coord pos;
    GS::uchar_t roomName[256];
    GS::uchar_t roomNoStr[256];
    double roomBaseLev;
    double roomHeight;
    double roomTopOffset;
    double roomFlThick;
    Int32 catInd;
    Int16 pen;
    Int32 floorFillInd;
    Int32 material;
    Int32 libInd;
    API_Polygon poly;
};

struct API_HatchType {
    API_Elem_Head head;
    Int16 contPen;
    Int16 fillPen;
    Int16 fillBGPen;
    Int32 fillInd;
    Int32 buildingMaterial;
    Int32 ltypeInd;
    API_Polygon poly;
};

struct API_LineType {
    API_Elem_Head head;
    API_Coord begC;
    API_Coord endC;
    Int16 pen;
    Int32 ltypeInd;
    double penWeight;
    bool zoneSeparator;
};

struct API_PolyLineType {
    API_Elem_Head head;
    Int16 pen;
    Int32 ltypeInd;
    double penWeight;
    API_Polygon poly;
};

struct API_ArcType {
    API_Elem_Head head;
    API_Coord origC;
    double r;
    double ratio;
    double angle;
    double begAng;
    double endAng;
    bool whole;
    bool reflected;
    Int16 pen;
    Int32 ltypeInd;
};

struct API_SplineType {
    API_Elem_Head head;
    Int16 pen;
    Int32 ltypeInd;
    bool autoSmooth;
    bool closed;
};

struct API_HotspotType {
    API_Elem_Head head;
    API_Coord pos;
    double height;
    Int16 pen;
};

enum API_HotlinkTypeID : Int32 { APIHotlink_Module = 1, APIHotlink_XRef = 2 };

struct API_HotlinkType {
    API_Elem_Head head;
    Int32 type;  // API_HotlinkTypeID
    API_Guid hotlinkNodeGuid;
    API_Tranmat transformation;
};

// One element: the header, overlaid with the record of its type. Every per-type record starts
// with the same header, so header fields and type fields keep fixed places (change masks rely
// on that).
union API_Element {
    API_Elem_Head header;
    API_WallType wall;
    API_ColumnType column;
    API_BeamType beam;
    API_WindowType window;
    API_DoorType door;
    API_ObjectType object;
    API_SlabType slab;
    API_RoofType roof;
    API_DimensionType dimension;
    API_TextType text;
    API_ZoneType zone;
    API_HatchType hatch;
    API_LineType line;
    API_PolyLineType polyLine;
    API_ArcType arc;
    API_SplineType spline;
    API_HotspotType hotspot;
    API_HotlinkType hotlink;
};

// Change masks: a second API_Element in which a field counts as flagged when the first byte of
// its place is 0xFF. A point is flagged once, at its x.
#define ACAPI_ELEMENT_MASK_SET(ptr, type, field) (reinterpret_cast<unsigned char*>(&((ptr).type.field))[0] = 0xFF)
#define ACAPI_ELEMENT_MASK_CLEAR(ptr) BNClear(ptr)
#define ACAPI_ELEMENT_MASK_CHECK(ptr, type, field)                                                                     \
    (reinterpret_cast<const unsigned char*>(&((ptr).type.field))[0] == 0xFF)

// ---------------------------------------------------------------------------------------------
// Memo data: variable-length parts of an element, in handles (pointer to pointer) and pointers.

struct API_ColumnSegmentType {
    bool circleBased;
    double nominalWidth;
    double nominalHeight;
    Int32 buildingMaterial;
    Int32 extrusionSurfaceMaterial;
    Int32 endsMaterial;
};

struct API_BeamSegmentType {
    double nominalWidth;
    double nominalHeight;
    Int32 shape;  // cross-section shape
    Int32 buildingMaterial;
    Int32 leftMaterial;
    Int32 topMaterial;
    Int32 rightMaterial;
    Int32 bottomMaterial;
    Int32 endsMaterial;
};

struct API_DimBase {
    API_Coord loc;  // witness-point location
    API_Guid guid;  // the element measured, when any
    Int32 inIndex;
    Int32 special;
};

struct API_DimElem {
    API_DimBase base;
    double dimVal;
    Int16 pen;
};

struct API_SplineDir {
    double lenPrev;
    double lenNext;
    double dirAng;
};

enum API_AddParID : Int32 {
    APIParT_Integer = 1,
    APIParT_Length = 2,
    APIParT_Angle = 3,
    APIParT_RealNum = 4,
    APIParT_LightSw = 5,
    APIParT_ColRGB = 6,
    APIParT_Intens = 7,
    APIParT_LineTyp = 8,
    APIParT_Mater = 9,
    APIParT_FillPat = 10,
    APIParT_PenCol = 11,
    APIParT_CString = 12,
    APIParT_Boolean = 13,
    APIParT_Separator = 14,
    APIParT_Title = 15
};

// One library-part parameter.
struct API_AddParType {
    API_AddParID typeID;
    Int16 index;
    UInt8 flags;
    char name[32];
    GS::uchar_t uDescname[128];
    double real;            // numeric value
    GS::uchar_t uStr[256];  // text value (APIParT_CString)
};

struct API_ElementMemo {
    API_Coord** coords;       // 1-based polygon vertices; slot 0 unused
    Int32** pends;            // contour ends: {0, last index of contour 1, ...}
    API_PolyArc** parcs;      // arc edges
    char** textContent;       // UTF-8 bytes and a NUL
    API_AddParType** params;  // library-part parameters
    API_ColumnSegmentType* columnSegments;
    API_BeamSegmentType* beamSegments;
    API_DimElem** dimElems;       // 0-based, nDimElem entries
    API_SplineDir** bezierDirs;   // one per spline point
    API_Coord** pivotPolyCoords;  // poly roof pivot polygon, 1-based
    Int32** pivotPolyPends;
};

// Memo parts for ACAPI_Element_GetMemo; the host fills every part the element has.
constexpr UInt64 APIMemoMask_Polygon = 0x0000000000000001ull;
constexpr UInt64 APIMemoMask_TextContent = 0x0000000000000002ull;
constexpr UInt64 APIMemoMask_AddPars = 0x0000000000000004ull;
constexpr UInt64 APIMemoMask_ColumnSegment = 0x0000000000000008ull;
constexpr UInt64 APIMemoMask_BeamSegment = 0x0000000000000010ull;
constexpr UInt64 APIMemoMask_DimElems = 0x0000000000000020ull;
constexpr UInt64 APIMemoMask_BezierDirs = 0x0000000000000040ull;
constexpr UInt64 APIMemoMask_RoofPivot = 0x0000000000000080ull;
constexpr UInt64 APIMemoMask_All = 0x3FFFFFFFBFFFFFFFull;

// A sub-element created together with its main element (the marker of a door or window).
enum API_SubElementType : Int32 { APISubElement_NoFlag = 0, APISubElement_MainMarker = 1 };

struct API_SubElement {
    Int32 subType;  // API_SubElementType
    API_Element subElem;
    API_ElementMemo memo;
};

typedef UInt32 API_ElemFilterFlags;
constexpr API_ElemFilterFlags APIFilt_None = 0;

// ---------------------------------------------------------------------------------------------
// Editing

enum API_EditCmdID : Int32 {
    APIEdit_Drag = 0x44524147,    // 'DRAG': translate by endC - begC
    APIEdit_Rotate = 0x524F545A,  // 'ROTZ': rotate about origC from begC to endC
    APIEdit_Mirror = 0x4D495252   // 'MIRR': mirror across origC -> endC
};

struct API_EditPars {
    API_EditCmdID typeID;
    bool withDelete;  // transform in place; false adds a transformed copy
    API_Coord origC;
    API_Coord3D begC;
    API_Coord3D endC;
};

enum API_NeigID : Int32 { APINeig_None = 0 };

struct API_Neig {
    API_NeigID neigID;
    API_Guid guid;
    Int32 flags;
    Int32 inIndex;
};

// ---------------------------------------------------------------------------------------------
// Selection

enum API_SelTypeID : Int32 { API_SelEmpty = 0, API_SelElems = 1 };

struct API_SelectionInfo {
    API_SelTypeID typeID;
    Int32 sel_nElem;      // elements selected
    Int32 sel_nElemEdit;  // of which editable (all of them: the host has no locked layers)
};

enum API_ToolCmdID : Int32 {
    APITool_Group = 0x47525550,   // 'GRUP'
    APITool_Ungroup = 0x55475250  // 'UGRP'
};
