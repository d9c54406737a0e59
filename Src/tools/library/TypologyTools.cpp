// Typology tools: pick a house type from the catalogue, place its skeleton, look at the
// design, adapt it and snap its walls to a grid. The model chains them in that order; each
// tool that changes the project does all of it in one undo step.

#include <string>

#include "ACAPinc.h"

#include "core/DebugLog.hpp"
#include "core/JsonDepth.hpp"
#include "core/LocalStorage.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"
#include "tools/library/DesignCounts.hpp"
#include "tools/library/ModulePlacement.hpp"
#include "tools/library/StorageDownload.hpp"
#include "tools/library/TempModuleFile.hpp"
#include "tools/library/TypologyCatalogue.hpp"
#include "tools/library/TypologyEdits.hpp"

namespace {

// A failed undo step in the tool's own words, then the host code in signed decimal.
ToolResult CommandFailure(const char* prefix, GSErrCode code)
{
    return ToolResult::Fail(prefix + std::to_string(static_cast<Int32>(code)) + ")");
}

// Names from the model go into storage paths unchanged; one that could leave its folder or
// change the request ('/', "..", '?', '#', '%', control characters) is never sent.
bool IsSafeTypologyName(const std::string& name)
{
    if (name == "." || name == ".." || name.find("..") != std::string::npos) return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '?' || c == '#' || c == '%') return false;
    return true;
}

ToolResult SelectTypologyTool(const json& input)
{
    TypologyBrief brief;
    brief.bedrooms = IntInput(input, "bedrooms", 2);
    brief.bathrooms = IntInput(input, "bathrooms", 1);
    brief.stories = IntInput(input, "stories", 1);
    brief.style = StringInput(input, "style");
    brief.approxSqm = NumberInput(input, "approx_sqm", 0.0);
    brief.hasGarage = BoolInput(input, "has_garage", false);
    return DataResult(SelectTypology(brief));
}

ToolResult ApplyTypologySkeleton(const json& input)
{
    const std::string name = StringInput(input, "typology_name");
    if (name.empty()) return ToolResult::Fail("typology_name is required");
    const std::string noModule = "NO_MOD_FILE: Could not download module for typology '" + name + "'";
    if (!IsSafeTypologyName(name)) return ToolResult::Fail(noModule);
    const StoredObject module =
        TypologyDownloadPublic("typologies/" + name + "/model.mod", Quillmere::kMaxModuleReplyBytes);
    // A download that failed says why; a typology that is not stored is only missing.
    if (module.Failed()) return ToolResult::Fail(noModule + ": " + module.failure);
    if (!module.Found()) return ToolResult::Fail(noModule);
    const StoredObject metaFile = TypologyDownloadPublic("typologies/" + name + "/meta.json");
    // The reply has no place for it: a metadata file that could not be read goes to the log.
    if (metaFile.Failed()) DebugLog("Typology '" + name + "' placed without its meta.json: " + metaFile.failure);
    json meta = ParseOutsideJson(metaFile.bytes);
    if (meta.is_discarded()) meta = nullptr;

    const json before = SnapshotCounts();
    const std::string base = LocalStorage::GetBaseDir();
    GSErrCode err = NoError;
    {
        TempModuleFile file;  // removed at the end of this block, whatever the command did
        if (!file.MakeFolders({base, base + "/typologies"}) ||
            !file.Write(base + "/typologies", "_tmp_typology_", module.bytes))
            return ToolResult::Fail("Failed to write temp .mod file");
        err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Apply Typology Skeleton"),
                                        [&]() -> GSErrCode { return PlaceModuleAsElements(file.Path(), name); });
    }
    if (err != NoError) return CommandFailure("Typology apply failed (error ", err);

    long long total = 0;
    json result = {{"created", CreatedCounts(before, SnapshotCounts(), &total)},
                   {"method", "module"},
                   {"total_created", total},
                   {"typology", name},
                   {"zones", ProjectZones(false)}};
    if (!meta.is_null()) result["meta"] = meta;
    return DataResult(result);
}

ToolResult DesignSnapshot(const json&)
{
    json result = {{"counts", SnapshotCounts()}, {"zones", ProjectZones(true)}};
    const BBox box = ComputeWallBox(ElementsOfType(API_WallID));
    double area = 0.0;
    if (box.min_x < 1e8) {
        if (box.max_x > -1e8) area = (box.max_x - box.min_x) * (box.max_y - box.min_y);
        result["bbox"] = {{"min_x", box.min_x}, {"min_y", box.min_y}, {"max_x", box.max_x}, {"max_y", box.max_y}};
    }
    result["approx_sqm"] = area;
    return DataResult(result);
}

ToolResult AdaptTypology(const json& input)
{
    const json operations = input.value("operations", json::array());
    if (operations.empty()) return ToolResult::Fail("No operations provided");
    // Everything is read and checked before the undo step opens: a bad operation anywhere in
    // the list fails the call with nothing changed.
    std::string refusal;
    const std::vector<AdaptOperation> ops = ReadAdaptOperations(operations, &refusal);
    if (!refusal.empty()) return ToolResult::Fail(refusal);

    json adaptations = json::array();
    int changed = 0;
    std::string bodyError;
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Adapt Typology"), [&]() -> GSErrCode {
        try {
            for (const AdaptOperation& op : ops) {
                switch (op.kind) {
                case AdaptOperation::Mirror:
                    changed += MirrorWalls(op.axis);
                    adaptations.push_back({{"axis", op.axis}, {"op", "mirror"}});
                    break;
                case AdaptOperation::AddRoom:
                    changed += AddWalledRoom(op);
                    adaptations.push_back({{"op", op.op}, {"room", op.roomName}});
                    break;
                case AdaptOperation::ScaleToSqm: {
                    const ScaleOutcome outcome = ScaleToArea(op.targetSqm);
                    if (!outcome.finite) {
                        bodyError = "Adapt failed: scale_to_sqm target " + json(op.targetSqm).dump() +
                                    " gives coordinates that are not finite numbers";
                        return APIERR_BADVALUE;  // the host takes back the whole step
                    }
                    if (!outcome.applied) break;
                    changed += outcome.changed;
                    adaptations.push_back({{"factor", outcome.factor}, {"op", "scale_to_sqm"}});
                    break;
                }
                case AdaptOperation::Ignored: break;
                }
            }
            return NoError;
        } catch (const std::exception& e) {
            bodyError = std::string("Adapt failed: ") + e.what();
            return APIERR_COMMANDFAILED;
        }
    });
    if (!bodyError.empty()) return ToolResult::Fail(bodyError);
    if (err != NoError) return CommandFailure("Adapt failed (error ", err);
    return DataResult({{"adaptations", adaptations}, {"changed_elements", changed}});
}

ToolResult PolishPlan(const json& input)
{
    double grid = NumberInput(input, "grid_size", 0.05);
    if (!(grid > 0)) grid = 0.05;
    if (!GridKeepsWallsFinite(grid))
        return ToolResult::Fail("Polish failed: grid_size " + json(grid).dump() +
                                " gives coordinates that are not finite numbers");
    int snapped = 0;
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Polish Plan"), [&]() -> GSErrCode {
        snapped = SnapWalls(grid);
        return NoError;
    });
    if (err != NoError) return CommandFailure("Polish failed (error ", err);
    return DataResult({{"grid_size", grid}, {"snapped_count", snapped}});
}

json AdaptItemSchema()
{
    json properties = json::object();
    auto add = [&properties](const char* key, const char* type, const char* description) {
        properties[key] = {{"type", type}, {"description", description}};
    };
    add("op", "string", "Operation type: resize_room, add_room, add_garage, mirror, scale_to_sqm");
    add("zone_uuid", "string", "UUID of zone to resize (for resize_room)");
    add("new_width", "number", "New width in metres");
    add("new_depth", "number", "New depth in metres");
    add("room_name", "string", "Name for new room (for add_room)");
    add("x", "number", "X position");
    add("y", "number", "Y position");
    add("width", "number", "Room width");
    add("depth", "number", "Room depth");
    add("axis", "string", "Mirror axis: x or y");
    add("target_sqm", "number", "Target area for scaling");
    return {{"type", "object"}, {"properties", properties}};
}

}  // namespace

void RegisterTypologyTools(ToolRegistry& registry)
{
    Tool(registry, "select_typology",
         "Find the best matching typology from the library based on the user's brief. Returns the typology name and "
         "details if a match is found.")
        .Integer("bedrooms", "Number of bedrooms")
        .Integer("bathrooms", "Number of bathrooms")
        .Integer("stories", "Number of stories")
        .String("style", "Architectural style (e.g. modern, traditional, mediterranean)")
        .Number("approx_sqm", "Approximate total area in square metres")
        .Boolean("has_garage", "Whether a garage is needed")
        .Required({"bedrooms"})
        .Handler(SelectTypologyTool);

    Tool(registry, "apply_typology_skeleton",
         "Download and place a typology skeleton into the current project. The skeleton is a pre-built module file "
         "that creates the basic building structure.")
        .String("typology_name", "Name of the typology to apply (from select_typology)")
        .Required({"typology_name"})
        .Handler(ApplyTypologySkeleton);

    Tool(registry, "get_design_snapshot",
         "Returns a snapshot of the current design: bounding box, zones, element counts, and approximate area. Use "
         "this after placing a typology skeleton to understand what was placed.")
        .Handler(DesignSnapshot);

    Tool(registry, "adapt_typology",
         "Adapt the current design by resizing rooms, adding rooms, mirroring, or scaling. Use this after "
         "apply_typology_skeleton to customize the design to the user's needs.")
        .Array("operations", "List of adaptation operations to perform", AdaptItemSchema())
        .Required({"operations"})
        .Handler(AdaptTypology);

    Tool(registry, "polish_plan",
         "Snap all wall endpoints to a grid for clean geometry. Use this after adapt_typology to clean up the design.")
        .Number("grid_size", "Grid cell size in metres. Default 0.05")
        .Handler(PolishPlan);
}
