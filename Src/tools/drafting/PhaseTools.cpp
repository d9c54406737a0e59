// Build-phase tools: sort the project's elements onto eight hidden presentation layers, one
// per construction phase, and reveal those layers one phase at a time or all at once.
#include <array>
#include <cstring>
#include <map>
#include <string>

#include "ACAPinc.h"

#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

namespace {

struct BuildPhase {
    int phase;
    const char* layerName;
    const char* label;
};

// Both tools share this table: the layer names are how a later call finds the layers again.
const std::array<BuildPhase, 8> kBuildPhases = {{
    {1, "__PHASE_01_SHELL", "Building envelope"},
    {2, "__PHASE_02_PARTITIONS", "Internal partitions"},
    {3, "__PHASE_03_OPENINGS", "Doors and windows"},
    {4, "__PHASE_04_STRUCTURAL", "Slabs, columns, beams"},
    {5, "__PHASE_05_ROOF", "Roof structure"},
    {6, "__PHASE_06_ZONES", "Room labels"},
    {7, "__PHASE_07_ANNOTATION", "Annotation"},
    {8, "__PHASE_08_FURNITURE", "Furniture and fittings"},
}};

// Every type but the wall goes to one phase; walls are split by thickness first.
struct TypePhase {
    API_ElemTypeID type;
    int phase;
};
const std::array<TypePhase, 16> kTypePhases = {{
    {API_DoorID, 3},
    {API_WindowID, 3},
    {API_SlabID, 4},
    {API_ColumnID, 4},
    {API_BeamID, 4},
    {API_RoofID, 5},
    {API_ZoneID, 6},
    {API_LineID, 7},
    {API_ArcID, 7},
    {API_TextID, 7},
    {API_PolyLineID, 7},
    {API_HatchID, 7},
    {API_SplineID, 7},
    {API_HotspotID, 7},
    {API_DimensionID, 7},
    {API_ObjectID, 8},
}};

constexpr Int16 kHiddenFlag = APILay_Hidden;

// A layer record looked up by name (index 0), the name cut to 255 bytes and terminated.
API_Attribute LayerByName(const char* name)
{
    API_Attribute layer;
    BNClear(layer);
    layer.header.typeID = API_LayerID;
    std::strncpy(layer.header.name, name, sizeof layer.header.name - 1);
    return layer;
}

GS::Array<API_Guid> ListOf(API_ElemTypeID type, bool* listed)
{
    GS::Array<API_Guid> guids;
    *listed = ACAPI_Element_GetElemList(type, &guids) == NoError;
    return guids;
}

// The working state of one preparation: which layer serves each phase and how many elements
// each phase received. Nothing of it outlives the call.
class PhaseSorting {
public:
    PhaseSorting()
    {
        for (const BuildPhase& row : kBuildPhases) counts_[row.phase] = 0;
        BNClear(layerMask_);
        ACAPI_ELEMENT_MASK_SET(layerMask_, header, layer);
    }

    // Finds or creates each phase's layer and hides it. A layer that can be neither found nor
    // created leaves its phase without one; a refused hide still leaves the layer in use.
    void PrepareLayers()
    {
        for (const BuildPhase& row : kBuildPhases) {
            API_Attribute layer = LayerByName(row.layerName);
            if (ACAPI_Attribute_Get(&layer) != NoError) {
                layer = LayerByName(row.layerName);
                if (ACAPI_Attribute_Create(&layer, nullptr) != NoError) continue;
            }
            layers_[row.phase] = layer.header.index;
            layer.header.flags = Int16(layer.header.flags | kHiddenFlag);
            ACAPI_Attribute_Modify(&layer, nullptr);
        }
    }

    void SortWalls(double threshold)
    {
        bool listed = false;
        const GS::Array<API_Guid> walls = ListOf(API_WallID, &listed);
        if (!listed) return;
        GS::Array<API_Guid> envelope, partitions;
        for (const API_Guid& guid : walls) {
            API_Element wall;
            BNClear(wall);
            wall.header.guid = guid;
            if (ACAPI_Element_Get(&wall, 0) != NoError) continue;
            // A thickness that does not compare (NaN) counts as below the threshold.
            if (wall.wall.thickness >= threshold)
                envelope.Push(guid);
            else
                partitions.Push(guid);
        }
        MoveToPhaseLayer(envelope, 1);
        MoveToPhaseLayer(partitions, 2);
    }

    void SortOtherTypes()
    {
        for (const TypePhase& entry : kTypePhases) {
            bool listed = false;
            const GS::Array<API_Guid> guids = ListOf(entry.type, &listed);
            if (listed) MoveToPhaseLayer(guids, entry.phase);
        }
    }

    // Puts the listed elements on the phase's layer and counts those the host accepted.
    void MoveToPhaseLayer(const GS::Array<API_Guid>& guids, int phase)
    {
        auto layer = layers_.find(phase);
        if (layer == layers_.end() || layer->second < 1 || guids.IsEmpty()) return;
        for (const API_Guid& guid : guids) {
            API_Element element;
            BNClear(element);
            element.header.guid = guid;
            if (ACAPI_Element_Get(&element, 0) != NoError) continue;
            element.header.layer = layer->second;
            if (ACAPI_Element_Change(&element, &layerMask_, nullptr, 0, true) == NoError) ++counts_[phase];
        }
    }

    json Summary(double threshold) const
    {
        json phases = json::array();
        int total = 0;
        for (const BuildPhase& row : kBuildPhases) {
            const int count = counts_.at(row.phase);
            total += count;
            phases.push_back({{"phase", row.phase}, {"layer", row.layerName}, {"label", row.label}, {"count", count}});
        }
        return {{"phases", phases}, {"total_classified", total}, {"wall_threshold_m", threshold}};
    }

private:
    std::map<int, Int32> layers_;
    std::map<int, int> counts_;
    API_Element layerMask_;  // selects the layer field and nothing else
};

ToolResult PrepareBuildPhases(const json& input)
{
    const double threshold = NumberInput(input, "wall_thickness_threshold", 0.2);
    PhaseSorting sorting;
    const GSErrCode err =
        ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Prepare Build Phases"), [&]() -> GSErrCode {
            sorting.PrepareLayers();
            sorting.SortWalls(threshold);
            sorting.SortOtherTypes();
            return NoError;  // what the host refused was skipped, and the rest still counts
        });
    if (err != NoError) return ToolResult::Fail("Prepare phases failed: " + std::to_string(err));
    return DataResult(sorting.Summary(threshold));
}

ToolResult RevealBuildPhase(const json& input)
{
    const int phase = IntInput(input, "phase", 0);
    if (phase < 0 || phase > 8) return ToolResult::Fail("phase must be 0-8");
    json revealed = json::array();
    for (const BuildPhase& row : kBuildPhases) {
        if (phase != 0 && row.phase != phase) continue;
        API_Attribute layer = LayerByName(row.layerName);
        if (ACAPI_Attribute_Get(&layer) != NoError) {
            revealed.push_back(
                {{"phase", row.phase}, {"label", row.label}, {"shown", false}, {"reason", "layer not found"}});
            continue;
        }
        layer.header.flags = Int16(layer.header.flags & ~kHiddenFlag);
        const bool shown = ACAPI_Attribute_Modify(&layer, nullptr) == NoError;
        revealed.push_back({{"phase", row.phase}, {"label", row.label}, {"shown", shown}});
    }
    const json result = {{"mode", phase == 0 ? "all" : "single"}, {"revealed", revealed}};
    return DataResult(result);
}

}  // namespace

void RegisterPhaseTools(ToolRegistry& registry)
{
    Tool(registry, "prepare_build_phases",
         "Classify all elements in the current project into presentation phase layers and hide them all. Call this "
         "immediately after placing elements to prepare for a staged visual reveal via reveal_build_phase. Phase 1 = "
         "building envelope (exterior walls), Phase 2 = internal partitions, Phase 3 = doors & windows, Phase 4 = "
         "slabs/columns/beams, Phase 5 = roof, Phase 6 = room labels, Phase 7 = annotation, Phase 8 = furniture.")
        .Number("wall_thickness_threshold",
                "Walls >= this thickness (metres) are classified as exterior shell. Default 0.2")
        .Handler(PrepareBuildPhases);

    Tool(registry, "reveal_build_phase",
         "Show one presentation phase by making its layer visible. Call sequentially (phase 1, then 2, then 3…) "
         "to reveal the design in stages. Phase 0 = show all phases at once. Requires prepare_build_phases to have "
         "been called first.")
        .Integer("phase", "Phase number 1-8 to reveal, or 0 to show all phases at once")
        .Required({"phase"})
        .Handler(RevealBuildPhase);
}
