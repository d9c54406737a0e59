// Template tools that read stored templates back: the listing of the bucket (newest first),
// one template's summary, and placing a template's module into the project in one undo step.
// Registered by the template family (RegisterTemplateTools) after the capture tools.

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ACAPinc.h"

#include "core/FileText.hpp"
#include "core/HttpClient.hpp"
#include "core/JsonDepth.hpp"
#include "core/LocalStorage.hpp"
#include "core/OutsideText.hpp"
#include "core/PathSegment.hpp"
#include "services/StorageClient.hpp"
#include "tools/CappedList.hpp"
#include "tools/ToolKit.hpp"
#include "tools/library/DesignCounts.hpp"
#include "tools/library/ModulePlacement.hpp"
#include "tools/library/StorageDownload.hpp"
#include "tools/library/TempModuleFile.hpp"
#include "tools/library/TemplateTools.hpp"

namespace {

constexpr const char* kDeprecated = "Deprecated — ignored. Kept for API compatibility.";
const std::string kSummarySuffix = ".meta.json";
// What one listing reads of summaries in all: more stored templates cost time, never memory.
constexpr std::size_t kMaxSummaryBytesRead = 16u << 20;

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The deprecated inputs present in the call, in the order given.
json IgnoredInputs(const json& input, std::initializer_list<const char*> keys)
{
    json ignored = json::array();
    for (const char* key : keys)
        if (HasInput(input, key)) ignored.push_back(key);
    return ignored;
}

ToolResult ListTemplates(const json&)
{
    const Quillmere::StorageClient storage = Quillmere::StorageClient::FromSettings();
    const Quillmere::HttpResponse response = storage.List();
    std::string error;
    json listing = json::array();
    if (Quillmere::IsSuccessStatus(response.statusCode)) {
        listing = ParseOutsideJson(response.body);
        if (listing.is_discarded()) error = "Failed to parse Supabase list response";
    } else {
        error = "Supabase list failed (" + std::to_string(response.statusCode) + "): " + QuoteFailure(response);
    }
    if (!error.empty() || !listing.is_array())
        return DataResult({{"error", error.empty() ? "Unexpected response" : error}, {"templates", json::array()}});

    // Names first: a summary says it has a module only when the module is listed beside it.
    // An entry that is not an object with a text name, or a summary that cannot be read, is
    // counted and left out: one bad entry does not hide the others.
    std::size_t skipped = 0, outOfTime = 0;
    std::vector<std::string> names;
    for (const json& entry : listing) {
        const auto name = entry.is_object() ? entry.find("name") : entry.end();
        if (entry.is_object() && name != entry.end() && name->is_string())
            names.push_back(name->get<std::string>());
        else
            ++skipped;
    }
    const std::set<std::string> listed(names.begin(), names.end());
    json().swap(listing);

    // A summary is kept as the compact text it takes in the answer, never as a tree: a tree of
    // small values takes some twenty times the bytes it was read from.
    struct TemplateEntry {
        std::string captured_at;
        std::string summary;
    };
    std::vector<TemplateEntry> entries;
    std::size_t bytesRead = 0;
    for (const std::string& name : names) {
        if (name.size() <= kSummarySuffix.size() || !EndsWith(name, kSummarySuffix)) continue;
        // An unsafe name, and every summary past the bytes one listing may read, is counted
        // instead of read; so is every summary whose read failed, was empty or ran out of time.
        if (!IsSafePathSegment(name) || bytesRead >= kMaxSummaryBytesRead) {
            ++skipped;
            continue;
        }
        const Quillmere::HttpResponse reply = storage.GetPublic(name);
        bytesRead += reply.body.size();
        if (!Quillmere::IsSuccessStatus(reply.statusCode) || reply.body.empty()) {
            ++skipped;
            if (reply.timedOut) ++outOfTime;
            continue;
        }
        json summary = ParseOutsideJson(reply.body);
        const auto capturedAt = summary.is_object() ? summary.find("captured_at") : summary.end();
        if (!summary.is_object() || (capturedAt != summary.end() && !capturedAt->is_string())) {
            ++skipped;
            continue;
        }
        const std::string safe = name.substr(0, name.size() - kSummarySuffix.size());
        summary["template_name"] = safe;
        summary["has_mod"] = listed.count(safe + ".mod") != 0;
        summary["mod_file"] = safe + ".mod";
        summary["meta_file"] = name;
        std::string time = summary.value("captured_at", std::string());
        entries.push_back({std::move(time), CompactJson(summary)});
    }
    // Newest first: the capture time's fixed-width text orders as the time does.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TemplateEntry& a, const TemplateEntry& b) { return a.captured_at > b.captured_at; });

    // The answer is the library's own writing of {"count", "templates", "unreadable_count"}
    // (keys in that order), each summary's text spliced in whole while the answer has room for
    // it, then the notes of what was left out and of summaries that ran out of time.
    std::string tail = "]";
    if (skipped > 0) tail += ",\"unreadable_count\":" + std::to_string(skipped);
    tail += '}';
    if (outOfTime > 0)
        tail += "\n[" + std::to_string(outOfTime) + " of the unreadable template summaries were not read in time: " +
                "the storage did not answer before the tool call's time ran out.]";
    CappedList cap(tail);
    std::string templates;
    std::size_t count = 0;
    for (TemplateEntry& entry : entries) {
        if (!cap.Take(entry.summary)) break;
        if (count++ > 0) templates += ',';
        templates += entry.summary;
        std::string().swap(entry.summary);
    }
    return ToolResult::Ok("", "{\"count\":" + std::to_string(count) + ",\"templates\":[" + templates + tail +
                                  cap.Note(entries.size(), "templates"));
}

ToolResult GetTemplateLayout(const json& input)
{
    const std::string name = StringInput(input, "template_name");
    if (name.empty()) return ToolResult::Fail("template_name is required");
    const json ignored = IgnoredInputs(input, {"include_objects", "story_filter"});
    const std::string safe = LocalStorage::SanitiseName(name);

    StoredObject stored = SupabaseDownloadPublic(safe + kSummarySuffix);
    std::string text = std::move(stored.bytes);
    std::string source = "supabase";
    if (text.empty()) {
        const std::string path = LocalStorage::GetBaseDir() + "/templates/" + safe + kSummarySuffix;
        if (!ReadWholeFile(path, text)) {
            // Not found only when storage answered that it has none.
            if (stored.Failed())
                return ToolResult::Fail("Template meta could not be downloaded: " + safe + kSummarySuffix + " (" +
                                        stored.failure + ")");
            return ToolResult::Fail("Template meta not found: " + safe + kSummarySuffix);
        }
        source = "local";
    }
    const json meta = ParseOutsideJson(text);
    if (meta.is_discarded()) return ToolResult::Fail("Failed to parse .meta.json for: " + safe);
    json result = {{"template", safe},
                   {"source", source},
                   {"meta", meta},
                   {"note", "Use apply_template_exact to place this template in the project."}};
    if (!ignored.empty()) result["ignored_params"] = ignored;
    return DataResult(result);
}

ToolResult ApplyTemplateExact(const json& input)
{
    const std::string name = StringInput(input, "template_name");
    if (name.empty()) return ToolResult::Fail("template_name is required");
    const json ignored = IgnoredInputs(input, {"include_objects", "story_filter", "attribute_policy", "error_policy"});
    const std::string safe = LocalStorage::SanitiseName(name);
    const std::string base = LocalStorage::GetBaseDir();
    const std::string folder = base + "/templates";
    const std::string localPath = folder + "/" + safe + ".mod";

    StoredObject stored = SupabaseDownloadPublic(safe + ".mod", Quillmere::kMaxModuleReplyBytes);
    std::string data = std::move(stored.bytes);
    const bool fromStorage = !data.empty();
    if (data.empty() && !ReadWholeFile(localPath, data)) data.clear();
    // A download that failed is no missing module: capturing again would not help.
    if (data.empty() && stored.Failed())
        return ToolResult::Fail("Template module could not be downloaded: " + safe + ".mod (" + stored.failure +
                                "), and there is no local copy at " + localPath);
    if (data.empty()) {
        json report = {{"artifacts_checked", {{"local_mod", localPath}, {"supabase_mod", safe + ".mod"}}},
                       {"error", "NO_MOD_FILE"},
                       {"instruction", "Re-capture with capture_project_template to generate a .mod file."},
                       {"template", name}};
        if (!ignored.empty()) report["ignored_params"] = ignored;
        return DataResult(report);
    }

    const json before = SnapshotCounts();
    GSErrCode err = NoError;
    {
        // A name of its own in the templates folder: never a stored template's module.
        TempModuleFile file;
        if (!file.MakeFolders({base, folder}) || !file.Write(folder, "_tmp_apply_", data))
            return ToolResult::Fail("Failed to write temp .mod file");
        err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Apply Template"),
                                        [&]() -> GSErrCode { return PlaceModuleAsElements(file.Path(), name); });
    }
    if (err != NoError)
        return ToolResult::Fail("Module apply failed (error " + std::to_string(static_cast<Int32>(err)) + ")");

    const json after = SnapshotCounts();
    long long total = 0;
    json result = {{"created", CreatedCounts(before, after, &total)},
                   {"errors", json::array()},
                   {"method", "module"},
                   {"model_counts", after},
                   {"source", fromStorage ? "supabase" : "local"},
                   {"template", name},
                   {"total_created", total},
                   {"total_errors", 0}};
    if (!ignored.empty()) result["ignored_params"] = ignored;
    return DataResult(result);
}

}  // namespace

void RegisterTemplateApplyTools(ToolRegistry& registry)
{
    Tool(registry, "list_templates",
         "List all saved project templates from cloud storage (Supabase). Returns a compact summary of each template "
         "including room counts, bedroom/bathroom counts, footprint size, and tags. Use this to find reference designs "
         "before creating a new building.")
        .Handler(ListTemplates);

    Tool(registry, "get_template_layout",
         "Download and return a template's .meta.json summary (stories, element counts, bounding box, rooms, "
         "bedroom/bathroom counts, tags). This is a lightweight metadata view — to actually place the template, use "
         "apply_template_exact.")
        .String("template_name", "Name of the template as returned by list_templates")
        .Boolean("include_objects", kDeprecated)
        .Integer("story_filter", kDeprecated)
        .Required({"template_name"})
        .Handler(GetTemplateLayout);

    Tool(registry, "apply_template_exact",
         "Place a template into the current project using the native ArchiCAD module (.mod) file. Downloads the .mod "
         "from Supabase (or local cache), creates a hotlink, places it at the origin, then breaks it to native "
         "elements. Attributes, materials, and profiles all transfer perfectly. The entire operation is a single undo "
         "step. If no .mod file exists, returns a structured error with instructions to re-capture the template.")
        .String("template_name", "Template name as returned by list_templates")
        .Boolean("include_objects", kDeprecated)
        .Integer("story_filter", kDeprecated)
        .String("attribute_policy", kDeprecated)
        .String("error_policy", kDeprecated)
        .Required({"template_name"})
        .Handler(ApplyTemplateExact);
}
