// The embedded default project: the stories, attributes and element defaults that the host
// starts with (and tests reset to).

#include <cmath>

#include "attributes/DefaultAttributes.hpp"
#include "library/Library.hpp"
#include "modules/Hotlinks.hpp"
#include "navigator/Documentation.hpp"
#include "project/Project.hpp"
#include "properties/PropertyStore.hpp"

namespace HostInternal {

namespace {

void LoadStories(Project& p)
{
    StoryList& list = p.StoriesForChange();
    list.stories = {
        {0, 0.0, 3.0, u"Ground Floor"},
        {1, 3.0, 3.0, u"First Floor"},
        {2, 6.0, 3.0, u"Second Floor"},
    };
    list.current = 0;
}

void LoadLayers(Project& p)
{
    struct Layer {
        const char* name;
        Int16 flags;
    };
    const Layer layers[] = {
        {"General", 0},
        {"Structural - Bearing", 0},
        {"Walls - Interior", 0},
        {"Openings", 0},
        {"Furniture", 0},
        {"Annotation - Dimensions", 0},
        {"Annotation - Text", 0},
        {"Zones", 0},
        {"Site and Landscape", 0},
        {"Hidden Guides", APILay_Hidden},
        {"Locked Survey", APILay_Locked},
    };
    Int32 index = 1;
    for (const Layer& l : layers) {
        API_Attribute a = DefaultAttribute(API_LayerID, index++, l.name);
        a.header.flags = l.flags;
        p.PutAttribute(a);
    }
}

// Pens 1 to 255: pen 1 black, then colours around the hue circle at four brightness steps.
void LoadPens(Project& p)
{
    for (Int32 i = 1; i <= 255; ++i) {
        std::string name = "Pen " + std::to_string(i);
        API_Attribute a = DefaultAttribute(API_PenID, i, name.c_str());
        if (i > 1) {
            double hue = std::fmod((i - 2) * 137.508, 360.0) / 60.0;
            double value = 1.0 - 0.2 * double((i - 2) % 4);
            double x = value * (1.0 - std::fabs(std::fmod(hue, 2.0) - 1.0));
            double r = 0, g = 0, b = 0;
            switch (int(hue)) {
            case 0:
                r = value;
                g = x;
                break;
            case 1:
                r = x;
                g = value;
                break;
            case 2:
                g = value;
                b = x;
                break;
            case 3:
                g = x;
                b = value;
                break;
            case 4:
                r = x;
                b = value;
                break;
            default:
                r = value;
                b = x;
                break;
            }
            a.pen.rgb = {r, g, b};
        }
        a.pen.width = 0.1 + 0.05 * double((i - 1) % 10);
        p.PutAttribute(a);
    }
}

void LoadOtherAttributes(Project& p)
{
    const char* lineTypes[] = {"Solid Line", "Dashed Line", "Dotted Line", "Dash-Dot Line", "Fine Dashed Line"};
    for (Int32 i = 0; i < 5; ++i) {
        API_Attribute a = DefaultAttribute(API_LinetypeID, i + 1, lineTypes[i]);
        a.linetype.type = i == 0 ? 0 : 1;
        a.linetype.defLineLength = i == 0 ? 0.0 : 0.01 * (i + 1);
        p.PutAttribute(a);
    }
    const char* fills[] = {"Solid Fill", "Empty Fill", "Brick Hatch", "Concrete",
                           "Insulation", "Wood Grain", "Tile 30x30"};
    for (Int32 i = 0; i < 7; ++i) {
        API_Attribute a = DefaultAttribute(API_FilltypeID, i + 1, fills[i]);
        a.filltype.subType = i == 0 ? 2 : (i == 1 ? 3 : 0);
        a.filltype.hXSpac = a.filltype.hYSpac = 0.05 * i;
        p.PutAttribute(a);
    }
    struct Composite {
        const char* name;
        double thickness;
        Int16 skins;
    };
    const Composite composites[] = {
        {"Brick Cavity Wall 365", 0.365, 4},
        {"Timber Frame Wall 200", 0.2, 3},
        {"Concrete Slab 250", 0.25, 2},
        {"Drywall Partition 100", 0.1, 3},
    };
    Int32 index = 1;
    for (const Composite& c : composites) {
        API_Attribute a = DefaultAttribute(API_CompWallID, index++, c.name);
        a.compWall.totalThick = c.thickness;
        a.compWall.nComps = c.skins;
        p.PutAttribute(a);
    }
    struct Surface {
        const char* name;
        API_RGBColor rgb;
    };
    const Surface surfaces[] = {
        {"Paint - White", {0.95, 0.95, 0.95}},   {"Brick - Red", {0.62, 0.25, 0.18}},
        {"Concrete - Smooth", {0.7, 0.7, 0.68}}, {"Wood - Oak", {0.72, 0.55, 0.34}},
        {"Glass - Clear", {0.8, 0.9, 0.95}},     {"Tile - Grey", {0.5, 0.5, 0.52}},
    };
    index = 1;
    for (const Surface& s : surfaces) {
        API_Attribute a = DefaultAttribute(API_MaterialID, index++, s.name);
        a.material.surfaceRGB = s.rgb;
        p.PutAttribute(a);
    }
    const char* buildingMaterials[] = {
        "Concrete - Structural", "Brick - Common", "Timber - Structural", "Insulation - Mineral Wool", "Gypsum Board",
        "Steel - Structural",    "Glass"};
    for (Int32 i = 0; i < 7; ++i) {
        API_Attribute a = DefaultAttribute(API_BuildingMaterialID, i + 1, buildingMaterials[i]);
        a.buildingMaterial.cutFill = (i % 7) + 1;
        a.buildingMaterial.connPriority = 10 - i;
        a.buildingMaterial.surfaceMaterial = (i % 6) + 1;
        p.PutAttribute(a);
    }
}

API_Element Record(API_ElemTypeID typeID)
{
    API_Element e;
    BNClear(e);
    e.header.type = MakeElemType(typeID);
    e.header.layer = 1;
    return e;
}

void PutDefaults(Project& p, const API_Element& record, MemoPtr memo = nullptr)
{
    p.Defaults()[record.header.type.typeID] = ElementDefaults{record, std::move(memo)};
}

// Distinctive values, so that a test can tell a host default from a value a tool wrote.
void LoadElementDefaults(Project& p)
{
    API_Element wall = Record(API_WallID);
    wall.wall.height = 2.7;
    wall.wall.thickness = wall.wall.thickness1 = 0.25;
    wall.wall.contPen = wall.wall.contPen3D = 1;
    wall.wall.contLtype = 1;
    wall.wall.refMat = wall.wall.oppMat = wall.wall.sidMat = 1;
    wall.wall.buildingMaterial = 2;
    wall.wall.composite = 1;
    wall.wall.connPriority = 5;
    PutDefaults(p, wall);

    API_Element column = Record(API_ColumnID);
    column.column.height = 2.7;
    column.column.pen = 1;
    StoredMemo columnMemo;
    API_ColumnSegmentType cseg;
    BNClear(cseg);
    cseg.nominalWidth = cseg.nominalHeight = 0.3;
    cseg.buildingMaterial = 1;
    cseg.extrusionSurfaceMaterial = cseg.endsMaterial = 3;
    columnMemo.SetRecords(MemoColumnSegments, std::vector<API_ColumnSegmentType>{cseg});
    column.column.nSegments = 1;
    PutDefaults(p, column, std::make_shared<StoredMemo>(columnMemo));

    API_Element beam = Record(API_BeamID);
    beam.beam.level = 2.7;
    beam.beam.pen = 1;
    StoredMemo beamMemo;
    API_BeamSegmentType bseg;
    BNClear(bseg);
    bseg.nominalWidth = 0.2;
    bseg.nominalHeight = 0.4;
    bseg.buildingMaterial = 1;
    bseg.leftMaterial = bseg.topMaterial = bseg.rightMaterial = bseg.bottomMaterial = bseg.endsMaterial = 3;
    beamMemo.SetRecords(MemoBeamSegments, std::vector<API_BeamSegmentType>{bseg});
    beam.beam.nSegments = 1;
    PutDefaults(p, beam, std::make_shared<StoredMemo>(beamMemo));

    API_Element window = Record(API_WindowID);
    window.window.openingBase.width = 1.0;
    window.window.openingBase.height = 1.0;
    window.window.openingBase.pen = 1;
    window.window.openingBase.ltypeInd = 1;
    window.window.openingBase.mat = 5;
    window.window.lower = 0.8;
    PutDefaults(p, window);

    API_Element door = Record(API_DoorID);
    door.door.openingBase.width = 0.8;
    door.door.openingBase.height = 2.0;
    door.door.openingBase.pen = 1;
    door.door.openingBase.ltypeInd = 1;
    door.door.openingBase.mat = 4;
    door.door.lower = 0.0;
    PutDefaults(p, door);

    API_Element object = Record(API_ObjectID);
    object.object.xRatio = object.object.yRatio = 0.5;
    object.object.pen = 1;
    object.object.ltypeInd = 1;
    object.object.mat = 1;
    PutDefaults(p, object);

    API_Element slab = Record(API_SlabID);
    slab.slab.thickness = 0.3;
    slab.slab.level = 0.1;
    slab.slab.pen = 1;
    slab.slab.ltypeInd = 1;
    slab.slab.buildingMaterial = 1;
    slab.slab.topMat = slab.slab.sideMat = slab.slab.botMat = 3;
    slab.slab.floorFillInd = 4;
    slab.slab.floorFillPen = 1;
    PutDefaults(p, slab);

    API_Element roof = Record(API_RoofID);
    roof.roof.roofClass = API_PlaneRoofID;
    roof.roof.thickness = 0.25;
    roof.roof.level = 2.7;
    roof.roof.planeRoof.angle = 0.5235987755982988;  // 30 degrees
    roof.roof.buildingMaterial = 3;
    roof.roof.topMat = roof.roof.sidMat = roof.roof.botMat = 4;
    roof.roof.sectContPen = 1;
    roof.roof.sectContLtype = 1;
    roof.roof.floorFillInd = 6;
    PutDefaults(p, roof);

    API_Element dimension = Record(API_DimensionID);
    dimension.dimension.pen = 1;
    dimension.dimension.textSize = 0.0025;
    dimension.header.layer = 6;
    PutDefaults(p, dimension);

    API_Element text = Record(API_TextID);
    text.text.size = 0.35;
    text.text.pen = 1;
    text.text.font = 1;
    text.header.layer = 7;
    PutDefaults(p, text);

    API_Element zone = Record(API_ZoneID);
    GS::ucsncpy(zone.zone.roomName, u"Room", 256);
    GS::ucsncpy(zone.zone.roomNoStr, u"1", 256);
    zone.zone.roomHeight = 2.7;
    zone.zone.roomFlThick = 0.1;
    zone.zone.catInd = 1;
    zone.zone.pen = 1;
    zone.zone.floorFillInd = 1;
    zone.zone.material = 1;
    zone.header.layer = 8;
    PutDefaults(p, zone);

    API_Element hatch = Record(API_HatchID);
    hatch.hatch.contPen = 1;
    hatch.hatch.fillPen = 2;
    hatch.hatch.fillInd = 1;
    hatch.hatch.ltypeInd = 1;
    PutDefaults(p, hatch);

    API_Element line = Record(API_LineID);
    line.line.pen = 1;
    line.line.ltypeInd = 1;
    line.line.penWeight = 0.35;
    PutDefaults(p, line);

    API_Element polyLine = Record(API_PolyLineID);
    polyLine.polyLine.pen = 1;
    polyLine.polyLine.ltypeInd = 1;
    polyLine.polyLine.penWeight = 0.35;
    PutDefaults(p, polyLine);

    API_Element arc = Record(API_ArcID);
    arc.arc.r = 1.0;
    arc.arc.ratio = 1.0;
    arc.arc.pen = 1;
    arc.arc.ltypeInd = 1;
    PutDefaults(p, arc);

    API_Element spline = Record(API_SplineID);
    spline.spline.pen = 1;
    spline.spline.ltypeInd = 1;
    spline.spline.autoSmooth = true;
    PutDefaults(p, spline);

    API_Element hotspot = Record(API_HotspotID);
    hotspot.hotspot.pen = 1;
    PutDefaults(p, hotspot);

    API_Element hotlink = Record(API_HotlinkID);
    hotlink.hotlink.type = APIHotlink_Module;
    hotlink.hotlink.transformation.tmx[0] = hotlink.hotlink.transformation.tmx[5] =
        hotlink.hotlink.transformation.tmx[10] = 1.0;
    PutDefaults(p, hotlink);

    p.DefaultSegmentCounts()[API_ColumnID] = 1;
    p.DefaultSegmentCounts()[API_BeamID] = 1;
}

}  // namespace

void LoadDefaultProject(Project& project)
{
    project.Clear();
    project.name = "Quillmere Demo House";
    LoadStories(project);
    LoadLayers(project);
    LoadPens(project);
    LoadOtherAttributes(project);
    LoadDefaultAttributeCatalogue(project);
    LoadElementDefaults(project);
    LoadDefaultLibrary(project);
    LoadDefaultDocumentation(project);
    ClearHotlinkNodes();
    LoadDefaultProperties(project);
}

}  // namespace HostInternal
