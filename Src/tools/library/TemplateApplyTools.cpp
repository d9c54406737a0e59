// Template tools that read stored templates back: the listing of the bucket (newest first),
// one template's summary, and placing a template's module into the project in one undo step.
// Registered by the template family (RegisterTemplateTools) after the capture tools.

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "ACAPinc.h"

#include "core/FileText.hpp"
#include "core/LocalStorage.hpp"
#include "services/StorageClient.hpp"
#include "tools/ToolKit.hpp"
#include "tools/library/DesignCounts.hpp"
#include "tools/library/ModulePlacement.hpp"
#include "tools/library/StorageDownload.hpp"
#include "tools/library/TempModuleFile.hpp"
#include "tools/library/TemplateTools.hpp"

namespace {

constexpr const char* kDeprecated = "Deprecated — ignored. Kept for API compatibility.";
const std::string kSummarySuffix = ".meta.json";

ToolResult Data(const json& result) { return ToolResult::Ok("", result.dump()); }

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
    if (response.statusCode >= 200 && response.statusCode <= 299) {
        try {
            listing = json::parse(response.body, nullptr, true, false);
        } catch (const json::exception&) {
            error = "Failed to parse Supabase list response";
            listing = json::array();
        }
    } else {
        error = "Supabase list failed (" + std::to_string(response.statusCode) + "): " + response.body;
    }
    if (!error.empty() || !listing.is_array())
        return Data({{"error", error.empty() ? "Unexpected response" : error}, {"templates", json::array()}});

    // Names first: a summary says it has a module only when the module is listed beside it.
    std::vector<std::string> names;
    for (const json& entry : listing) names.push_back(entry.value("name", std::string()));
    const std::set<std::string> listed(names.begin(), names.end());

    struct TemplateEntry {
        std::string captured_at;
        json summary;
    };
    std::vector<TemplateEntry> entries;
    for (const std::string& name : names) {
        if (name.size() <= kSummarySuffix.size() || !EndsWith(name, kSummarySuffix)) continue;
        const std::string text = storage.DownloadPublic(name);
        if (text.empty()) continue;
        json summary;
        try {
            summary = json::parse(text, nullptr, true, false);
        } catch (const json::exception&) {
            continue;
        }
        const std::string safe = name.substr(0, name.size() - kSummarySuffix.size());
        summary["template_name"] = safe;
        summary["has_mod"] = listed.count(safe + ".mod") != 0;
        summary["mod_file"] = safe + ".mod";
        summary["meta_file"] = name;
        entries.push_back({summary.value("captured_at", std::string()), summary});
    }
    // Newest first: the capture time's fixed-width text orders as the time does.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TemplateEntry& a, const TemplateEntry& b) { return a.captured_at > b.captured_at; });
    json templates = json::array();
    for (TemplateEntry& entry : entries) templates.push_back(std::move(entry.summary));
    return Data({{"count", templates.size()}, {"templates", templates}});
}

ToolResult GetTemplateLayout(const json& input)
{
    const std::string name = StringInput(input, "template_name");
    if (name.empty()) return ToolResult::Fail("template_name is required");
    const json ignored = IgnoredInputs(input, {"include_objects", "story_filter"});
    const std::string safe = LocalStorage::SanitiseName(name);

    std::string text = SupabaseDownloadPublic(safe + kSummarySuffix);
    std::string source = "supabase";
    if (text.empty()) {
        const std::string path = LocalStorage::GetBaseDir() + "/templates/" + safe + kSummarySuffix;
        if (!ReadWholeFile(path, text)) return ToolResult::Fail("Template meta not found: " + safe + kSummarySuffix);
        source = "local";
    }
    json meta;
    try {
        meta = json::parse(text, nullptr, true, false);
    } catch (const json::exception&) {
        return ToolResult::Fail("Failed to parse .meta.json for: " + safe);
    }
    json result = {{"template", safe},
                   {"source", source},
                   {"meta", meta},
                   {"note", "Use apply_template_exact to place this template in the project."}};
    if (!ignored.empty()) result["ignored_params"] = ignored;
    return Data(result);
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

    std::string data = SupabaseDownloadPublic(safe + ".mod");
    const bool fromStorage = !data.empty();
    if (data.empty() && !ReadWholeFile(localPath, data)) data.clear();
    if (data.empty()) {
        json report = {{"artifacts_checked", {{"local_mod", localPath}, {"supabase_mod", safe + ".mod"}}},
                       {"error", "NO_MOD_FILE"},
                       {"instruction", "Re-capture with capture_project_template to generate a .mod file."},
                       {"template", name}};
        if (!ignored.empty()) report["ignored_params"] = ignored;
        return Data(report);
    }

    const json before = SnapshotCounts();
    LocalStorage::EnsureDir(base);
    LocalStorage::EnsureDir(folder);
    GSErrCode err = NoError;
    {
        // A name of its own in the templates folder: never a stored template's module.
        TempModuleFile file;
        if (!file.Write(folder, "_tmp_apply_", data)) return ToolResult::Fail("Failed to write temp .mod file");
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
    return Data(result);
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
