// Plan tools: a floor-plan drawing attached to the chat goes to the product's plan-recognition
// service (upload, start, status, detections), and the layout the model composes from the
// detections is built as walls, doors, windows and zones, or walls in bulk, each build one undo
// step. The chat palette registers this family itself: it needs the engine (for the attachment)
// and the palette's preview callback (for the recognition overlay).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "core/Base64.hpp"
#include "core/ElementFunctions.hpp"
#include "core/JsonDepth.hpp"
#include "core/MainThread.hpp"
#include "core/PathSegment.hpp"
#include "core/PercentEncoding.hpp"
#include "engine/ModelBridge.hpp"
#include "services/ProductService.hpp"
#include "services/UploadFile.hpp"
#include "tools/CappedList.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"
#include "tools/recognition/PlanLayout.hpp"

namespace Service = Quillmere::ProductService;

namespace {

// A success carrying a result object: compact JSON, keys sorted, as the message.
ToolResult Success(const json& result)
{
    ToolResult out;
    out.success = true;
    out.message = result.dump();
    return out;
}

// A number of a service reply as a 32-bit integer (a fraction cut, true and false as 1 and 0),
// saturating instead of overflowing; a value of another type is the library's type error.
int ReplyInt(const json& reply, const char* key)
{
    const auto found = reply.find(key);
    if (found == reply.end()) return 0;
    if (found->is_number_float()) {
        const double v = std::trunc(found->get<double>());
        if (!(v >= std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
        if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
        return static_cast<int>(v);
    }
    if (found->is_number_unsigned())
        return static_cast<int>(std::min<std::uint64_t>(found->get<std::uint64_t>(), std::numeric_limits<int>::max()));
    if (found->is_number_integer()) {
        const std::int64_t v = found->get<std::int64_t>();
        return static_cast<int>(
            std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    }
    return found->get<int>();
}

// One request of a job tool: the plan id ("plan_id is required" when missing or empty, the
// library's type error when not a string, refused when it cannot stand as one path segment)
// in its path as one segment, and a failed reply as
// the tool's failure with its prefix.
struct JobCall {
    std::string planId;
    Quillmere::HttpResponse response;
    std::optional<ToolResult> failure;
};

JobCall CallJob(const json& input, const char* suffix, const char* prefix,
                Quillmere::HttpResponse (*send)(const std::string& path))
{
    JobCall call;
    call.planId = StringInput(input, "plan_id");
    if (call.planId.empty()) {
        call.failure = ToolResult::Fail("plan_id is required");
        return call;
    }
    if (!IsSafePathSegment(call.planId)) {
        call.failure = ToolResult::Fail("Invalid plan_id: an id is at most " + std::to_string(kMaxPathSegmentBytes) +
                                        " bytes and is not \".\", \"..\" or a path");
        return call;
    }
    call.response = send("/plans/" + PercentEncoded(call.planId) + suffix);
    if (!Service::Succeeded(call.response))
        call.failure = ToolResult::Fail(Service::FailureText(prefix, call.response));
    return call;
}

ToolResult UploadReferencePlan(const ModelBridge& bridge, const json& input)
{
    const int index = IntInput(input, "attachment_index", 0);
    const AttachmentData attachment = bridge.GetCurrentAttachment(index);
    if (attachment.data.empty()) return ToolResult::Fail("No attachment found at index " + std::to_string(index));
    std::string bytes;
    if (!DecodeBase64(attachment.data, bytes)) return ToolResult::Fail("Failed to decode attachment");

    Quillmere::HttpResponse response;
    {
        const Quillmere::UploadFile file("quillmere_plan_upload." +
                                             (attachment.extension.empty() ? std::string("png") : attachment.extension),
                                         bytes);
        std::string().swap(bytes);  // the file holds them now
        if (!file.Written())
            return ToolResult::Fail("Upload failed: the attachment could not be written to a temporary file (TMPDIR)");
        // Whatever is attached goes: the service answers for a file it cannot read.
        const std::string contentType = attachment.mediaType.empty() ? "image/png" : attachment.mediaType;
        response = Service::PostMultipart("/plans/upload", {}, {{"file", file.Path(), contentType}});
    }  // the file and its folder are gone from here on, whatever the reply
    if (!Service::Succeeded(response)) return ToolResult::Fail(Service::FailureText("Upload failed: ", response));
    const json reply = ParseOutsideJson(response.body);
    if (!reply.is_object() || !reply.contains("plan_id")) return ToolResult::Fail("Invalid response from server");
    return Success({{"plan_id", reply["plan_id"]},
                    {"filename", StringInput(reply, "filename")},
                    {"size_bytes", ReplyInt(reply, "size_bytes")},
                    {"status", "uploaded"}});
}

ToolResult StartPlanExtraction(const json& input)
{
    // The reply's body is never read: the status tool reports the job.
    const JobCall call = CallJob(
        input, "/extract", "Extract failed: ", [](const std::string& path) { return Service::PostJson(path, "{}"); });
    if (call.failure) return *call.failure;
    return Success({{"plan_id", call.planId}, {"status", "extracting"}});
}

ToolResult GetPlanExtractionStatus(const ChatPreview& onPlanPreview, const json& input)
{
    const JobCall call = CallJob(input, "/status", "Status check failed: ", Service::Get);
    if (call.failure) return *call.failure;
    const json reply = ParseOutsideJson(call.response.body);
    if (reply.is_discarded()) return ToolResult::Fail("Invalid response from server");

    const std::string status = StringInput(reply, "status");
    if (status == "done" && reply.contains("overlay_url")) {
        const std::string overlay = StringInput(reply, "overlay_url");
        // Only a path under the service: anything else could name another host.
        if (!overlay.empty() && overlay[0] == '/') {
            const std::string url = Service::Url(overlay);
            DispatchToMainThread([onPlanPreview, url] { onPlanPreview(url, url); });
        }
    }
    json result = {{"plan_id", call.planId},
                   {"status", status},
                   {"progress_pct", ReplyInt(reply, "progress_pct")},
                   {"stage", StringInput(reply, "stage")}};
    for (const char* key : {"wall_count", "room_count", "opening_count", "bbox_est", "error"})
        if (reply.contains(key)) result[key] = reply[key];
    return Success(result);
}

ToolResult GetPlanDetections(const json& input)
{
    const JobCall call = CallJob(input, "/detections", "Failed to fetch detections: ", Service::Get);
    if (call.failure) return *call.failure;
    const json reply = ParseOutsideJson(call.response.body);
    if (reply.is_discarded()) return ToolResult::Fail("Invalid detections data");
    return Success(reply);
}

bool HasWallsArray(const json& input)
{
    return input.is_object() && input.contains("walls") && input["walls"].is_array();
}

// Runs build as one undo step; an exception can never leave it into the host.
template <typename BuildFn>
GSErrCode InUndoStep(const char* undoName, BuildFn&& build)
{
    return ACAPI_CallUndoableCommand(GS::UniString(undoName), [&]() -> GSErrCode {
        try {
            build();
            return NoError;
        } catch (...) {
            return APIERR_GENERAL;
        }
    });
}

ToolResult BuildFromLayout(const json& input)
{
    if (!input.is_object()) return ToolResult::Fail("walls array is required");
    // Everything is read before the undo step opens, story and default height first: a
    // wrongly typed value fails the call with the library's text and nothing is built.
    const short floorInd = StoryBits(IntInput(input, "story", 0));
    const double wallHeight = NumberInput(input, "wall_height", 3.0);
    if (!HasWallsArray(input)) return ToolResult::Fail("walls array is required");
    const PlanLayout::Layout layout = PlanLayout::Read(input, floorInd, wallHeight);
    PlanLayout::Built built;
    const GSErrCode err = InUndoStep("Quillmere: Build from Layout", [&] { built = PlanLayout::Build(layout); });
    if (err != NoError) return ToolResult::Fail("Build failed: " + std::to_string(err));
    const std::string message = std::to_string(built.walls) + " walls, " + std::to_string(built.doors) + " doors, " +
                                std::to_string(built.windows) + " windows, " + std::to_string(built.zones) +
                                " zones created";
    return Success({{"walls_created", built.walls},
                    {"doors_created", built.doors},
                    {"windows_created", built.windows},
                    {"zones_created", built.zones},
                    {"total_elements", built.walls + built.doors + built.windows + built.zones},
                    {"wall_guids", built.wallGuids},
                    {"message", message}});
}

ToolResult CreateWallsBatch(const json& input)
{
    if (!HasWallsArray(input)) return ToolResult::Fail("walls array is required");
    const std::vector<PlanLayout::BatchWall> walls = PlanLayout::ReadBatch(input["walls"]);
    std::vector<API_Guid> created;
    const GSErrCode err = InUndoStep("Quillmere: Create Walls Batch", [&] { created = PlanLayout::BuildBatch(walls); });
    if (err != NoError) return ToolResult::Fail("Batch wall creation failed: " + std::to_string(err));
    const int count = static_cast<int>(created.size());
    json result = {{"walls_created", count}, {"message", std::to_string(count) + " walls created"}};
    // GUID texts only for as many walls as the answer can hold, with room kept for the other
    // keys (their bytes count, not where they print).
    CappedList cap(result.dump());
    json& guids = result["guids"] = json::array();
    for (const API_Guid& guid : created) {
        json text = GuidToStr(guid);
        if (!cap.Take(text.dump())) break;
        guids.push_back(std::move(text));
    }
    ToolResult out = Success(result);
    out.message += cap.Note(created.size(), "wall GUIDs");
    return out;
}

json ObjectSchema(const json& properties, const json& required)
{
    return {{"type", "object"}, {"properties", properties}, {"required", required}};
}

json Prop(const char* type, const char* description) { return {{"type", type}, {"description", description}}; }

json Prop(const char* type, const char* description, const json& items)
{
    return {{"type", type}, {"description", description}, {"items", items}};
}

const json kNumbers = {{"type", "number"}};

}  // namespace

void RegisterPlanTools(ToolRegistry& registry, ChatPreview onPlanPreview, ChatToolResult onPlanToolResult,
                       ModelBridge& bridge)
{
    (void)onPlanToolResult;  // the plan tools report only through their results

    Tool(
        registry, "upload_reference_plan",
        "Upload a floor plan image or PDF to the analysis server. Call this when the user provides a floor plan image. "
        "The image is taken from the current message attachments.")
        .Integer("attachment_index", "Index of the attachment to upload (default 0, first attachment)")
        .Required({})
        .Handler([&bridge](const json& input) { return UploadReferencePlan(bridge, input); });

    Tool(registry, "start_plan_extraction",
         "Start detecting architectural features from an uploaded floor plan. Provide the plan_id from "
         "upload_reference_plan. This detects walls, rooms, and openings as approximate features.")
        .String("plan_id", "Plan ID from upload_reference_plan")
        .Required({"plan_id"})
        .Handler(StartPlanExtraction);

    Tool(registry, "get_plan_extraction_status",
         "Check the status of floor plan feature detection. Poll every 2-3 seconds after start_plan_extraction. When "
         "status is 'done', call get_plan_detections to see what was found.")
        .String("plan_id", "Plan ID to check status for")
        .Required({"plan_id"})
        .Handler([preview = std::move(onPlanPreview)](const json& input) {
            return GetPlanExtractionStatus(preview, input);
        });

    Tool(
        registry, "get_plan_detections",
        "Retrieve the detected architectural features from a completed extraction. Returns approximate wall segments, "
        "room regions, and opening locations. Use this data to reason about the plan and construct a parametric layout "
        "for build_from_layout. Call after extraction status is 'done'.")
        .String("plan_id", "Plan ID to get detections for")
        .Required({"plan_id"})
        .Handler(GetPlanDetections);

    const json wallItem = ObjectSchema({{"id", Prop("string", "Wall ID for cross-referencing openings")},
                                        {"start", Prop("array", "[x, y] start point in metres", kNumbers)},
                                        {"end", Prop("array", "[x, y] end point in metres", kNumbers)},
                                        {"thickness", Prop("number", "Wall thickness in metres")},
                                        {"height", Prop("number", "Wall height (default: wall_height param)")},
                                        {"type", Prop("string", "'exterior' or 'interior'")}},
                                       {"start", "end", "thickness"});
    const json openingItem = ObjectSchema({{"type", Prop("string", "'door' or 'window'")},
                                           {"host_wall", Prop("string", "ID of the wall this opening is in")},
                                           {"width", Prop("number", "Opening width in metres")},
                                           {"height", Prop("number", "Opening height (default 2.1 door, 1.2 window)")},
                                           {"sill_height", Prop("number", "Sill height for windows (default 0.9)")},
                                           {"offset", Prop("number", "Distance from wall start to opening centre")}},
                                          {"type", "host_wall", "width", "offset"});
    const json roomItem = ObjectSchema({{"name", Prop("string", "Room name (e.g. 'Bedroom 1')")},
                                        {"polygon", Prop("array", "[[x,y],...] boundary polygon in metres",
                                                         {{"type", "array"}, {"items", kNumbers}})}},
                                       {"name", "polygon"});
    Tool(
        registry, "build_from_layout",
        "Build ArchiCAD elements from a parametric layout description. The layout is a structured JSON containing "
        "walls, "
        "openings (doors/windows), and rooms (zones). All elements are created in a single undoable command.\nInput "
        "format:\n  walls: [{id, start:[x,y], end:[x,y], thickness, height?, type:'exterior'|'interior'}]\n  openings: "
        "[{type:'door'|'window', host_wall, width, height?, sill_height?, offset}]\n  rooms: [{name, "
        "polygon:[[x,y],...]}]  (optional zones)\n  story: integer (default 0)\n  wall_height: number (default 3.0)")
        .Array("walls", "Wall definitions", wallItem)
        .Array("openings", "Door and window definitions", openingItem)
        .Array("rooms", "Room/zone definitions (optional)", roomItem)
        .Integer("story", "Story index (default 0)")
        .Number("wall_height", "Default wall height in metres (default 3.0)")
        .Required({"walls"})
        .Handler(BuildFromLayout);

    const json batchItem = ObjectSchema({{"start_x", Prop("number", "Start X in metres")},
                                         {"start_y", Prop("number", "Start Y in metres")},
                                         {"end_x", Prop("number", "End X in metres")},
                                         {"end_y", Prop("number", "End Y in metres")},
                                         {"height", Prop("number", "Wall height in metres (default 3.0)")},
                                         {"thickness", Prop("number", "Wall thickness in metres (default 0.3)")},
                                         {"story", Prop("integer", "Story index (default 0)")}},
                                        {"start_x", "start_y", "end_x", "end_y"});
    Tool(registry, "create_walls_batch",
         "Create multiple walls in a single undoable command. General-purpose batch wall creation — provide an "
         "array of wall definitions.")
        .Array("walls", "Array of wall objects", batchItem)
        .Required({"walls"})
        .Handler(CreateWallsBatch);
}
