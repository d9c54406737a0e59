// The default project's attribute catalogue: realistic building materials, surfaces and
// composites, a few more layers, line types and fills, and deleted indices in between, so
// that everything listing attributes meets the gaps a real project has.

#include "attributes/DefaultAttributes.hpp"

#include <cstring>

namespace HostInternal {

namespace {

// A deleted entry keeps its old name, as the host keeps a purged attribute's slot.
constexpr const char* kPurged = "Purged";

// Appends after the table's last index; a null name marks a deleted index.
template <typename Entry, typename Fill>
void Append(Project& p, API_AttrTypeID typeID, const std::initializer_list<Entry>& entries, Fill&& fill)
{
    Int32 index = p.Attributes(typeID).Count();
    for (const Entry& entry : entries) {
        ++index;
        const bool purged = entry.name == nullptr;
        API_Attribute a = DefaultAttribute(typeID, index, purged ? kPurged : entry.name);
        if (!purged) fill(a, entry);
        p.PutAttribute(a, purged);
    }
}

struct Named {
    const char* name;
};

void AppendLayers(Project& p)
{
    struct Layer {
        const char* name;
        Int16 flags;
    };
    Append<Layer>(p, API_LayerID,
                  {{nullptr, 0},
                   {"Roofs", 0},
                   {"Slabs and Floors", 0},
                   {"Façade Elements", 0},
                   {nullptr, 0},
                   {"Columns and Beams", 0},
                   {"Demolition", APILay_Hidden | APILay_Locked}},
                  [](API_Attribute& a, const Layer& l) { a.header.flags = l.flags; });
}

void AppendLineAndFillTypes(Project& p)
{
    Append<Named>(p, API_LinetypeID, {{nullptr}, {"Centre Line"}, {"Hidden Line"}, {"Property Boundary"}},
                  [](API_Attribute& a, const Named&) {
                      a.linetype.type = 1;
                      a.linetype.defLineLength = 0.02;
                  });
    Append<Named>(p, API_FilltypeID, {{nullptr}, {"Gravel"}, {"Earth"}, {"Stone Masonry"}, {"Glazing"}},
                  [](API_Attribute& a, const Named&) {
                      a.filltype.subType = 0;
                      a.filltype.hXSpac = a.filltype.hYSpac = 0.1;
                  });
}

// Total thicknesses as the host reports them: the sum of the skins, in metres.
void AppendComposites(Project& p)
{
    struct Composite {
        const char* name;
        double thickness;
        Int16 skins;
    };
    Append<Composite>(p, API_CompWallID,
                      {{"Rendered Masonry Wall 300", 0.3, 3},
                       {nullptr, 0, 0},
                       {"Insulated Concrete Wall 420", 0.42, 4},
                       {"Ground Bearing Slab 475", 0.475, 5},
                       {"Timber Joist Floor 285", 0.285, 4},
                       {"Warm Flat Roof 362.5", 0.3625, 5},
                       {"Acoustic Stud Partition 150", 0.15, 5}},
                      [](API_Attribute& a, const Composite& c) {
                          a.compWall.totalThick = c.thickness;
                          a.compWall.nComps = c.skins;
                      });
}

void AppendSurfaces(Project& p)
{
    struct Surface {
        const char* name;
        API_RGBColor rgb;
        double transparency;
    };
    Append<Surface>(p, API_MaterialID,
                    {{"Plaster - Off White", {0.93, 0.91, 0.86}, 0},
                     {"Render - Sand", {0.84, 0.76, 0.6}, 0},
                     {nullptr, {}, 0},
                     {"Wood - Walnut", {0.36, 0.24, 0.16}, 0},
                     {"Metal - Brushed Steel", {0.66, 0.68, 0.7}, 0},
                     {"Stone - Limestone", {0.85, 0.81, 0.7}, 0},
                     {"Roof Tile - Terracotta", {0.7, 0.33, 0.2}, 0},
                     {"Carpet - Charcoal", {0.22, 0.22, 0.24}, 0},
                     {"Glass - Tinted", {0.45, 0.55, 0.6}, 60},
                     {"Grass", {0.35, 0.55, 0.25}, 0}},
                    [](API_Attribute& a, const Surface& s) {
                        a.material.surfaceRGB = s.rgb;
                        a.material.transpPc = s.transparency;
                    });
}

// Cut fills and surfaces point at entries of the tables above that are not deleted.
void AppendBuildingMaterials(Project& p)
{
    struct Material {
        const char* name;
        Int32 cutFill;
        Int32 priority;
        Int32 surface;
    };
    Append<Material>(p, API_BuildingMaterialID,
                     {{"Concrete - Blockwork", 4, 8, 3},
                      {"Aerated Concrete Block", 4, 7, 3},
                      {nullptr, 0, 0, 0},
                      {"Render - Lime", 1, 2, 8},
                      {"Stone - Limestone", 11, 9, 12},
                      {"Insulation - EPS", 5, 3, 1},
                      {"Insulation - PIR Board", 5, 3, 1},
                      {"Timber - Cross Laminated", 6, 6, 4},
                      {"Screed - Sand Cement", 4, 4, 3},
                      {"Membrane - Bitumen", 1, 1, 14},
                      {"Air Gap", 2, 0, 1}},
                     [](API_Attribute& a, const Material& m) {
                         a.buildingMaterial.cutFill = m.cutFill;
                         a.buildingMaterial.connPriority = m.priority;
                         a.buildingMaterial.surfaceMaterial = m.surface;
                     });
}

}  // namespace

API_Attribute DefaultAttribute(API_AttrTypeID typeID, Int32 index, const char* name)
{
    API_Attribute a;
    BNClear(a);
    a.header.typeID = typeID;
    a.header.index = index;
    std::strncpy(a.header.name, name, sizeof a.header.name - 1);
    a.header.guid.time_low = 0xA77A0000u + UInt32(typeID);
    a.header.guid.time_mid = UInt16(index);
    a.header.guid.time_hi_and_version = 0x4000;
    a.header.guid.clock_seq_hi_and_reserved = 0x80;
    return a;
}

void LoadDefaultAttributeCatalogue(Project& project)
{
    AppendLayers(project);
    AppendLineAndFillTypes(project);
    AppendComposites(project);
    AppendSurfaces(project);
    AppendBuildingMaterials(project);
}

}  // namespace HostInternal
