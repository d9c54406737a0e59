// capture_project_template: the open project saved as a template, that is the host's module
// file and the summary beside it in ~/.quillmere/templates, both uploaded to object storage.
// A capture that saved something (the module at least) answers with a success whose reply
// tells any summary or upload failure; one that saved nothing at all fails and says why.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "ACAPinc.h"

#include "core/DebugLog.hpp"
#include "core/FileText.hpp"
#include "core/HttpClient.hpp"
#include "core/LocalStorage.hpp"
#include "core/OutsideText.hpp"
#include "services/StorageClient.hpp"
#include "tools/ToolKit.hpp"
#include "tools/library/TemplateSummary.hpp"
#include "tools/library/TemplateTools.hpp"

namespace {

const char* const kExportInstruction = "The .mod export failed. Ensure the project is saved to disk (File > Save) and "
                                       "that elements exist. Re-run after saving.";

std::string ProjectName()
{
    std::string name = "Untitled";
    API_ProjectInfo info;
    BNClear(info);
    if (ACAPI_Environment(APIEnv_ProjectID, &info) == NoError && info.projectName != nullptr)
        name = info.projectName->ToCStr(0, MaxUSize, CC_Default).Get();
    delete info.projectPath;
    delete info.projectName;
    delete info.location;
    return name;
}

// Size of a regular file, or -1 when there is none.
long long FileSize(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return -1;
    return static_cast<long long>(info.st_size);
}

std::string UploadFailure(const std::string& object, const Quillmere::HttpResponse& response)
{
    return "Supabase upload " + object + " failed (" + std::to_string(response.statusCode) +
           "): " + QuoteFailure(response);
}

// A module left by an earlier capture under the same name must not pass for this capture's
// export: it is set aside before the save and comes back only if the save leaves nothing.
class StaleModule {
public:
    explicit StaleModule(std::string path) : path_(std::move(path)), aside_(path_ + ".prev")
    {
        struct stat info {};
        if (::lstat(path_.c_str(), &info) != 0) return;
        setAside_ = std::rename(path_.c_str(), aside_.c_str()) == 0;
        stuck_ = !setAside_;
    }
    // The save produced a module: the old one goes.
    void Discard()
    {
        if (setAside_) std::remove(aside_.c_str());
        setAside_ = false;
    }
    // The save produced nothing usable: the old one returns as it was.
    void Restore()
    {
        if (setAside_) std::rename(aside_.c_str(), path_.c_str());
        setAside_ = false;
    }
    // An old module that could not be moved: what is on disk may be it.
    bool Stuck() const { return stuck_; }

private:
    std::string path_, aside_;
    bool setAside_ = false;
    bool stuck_ = false;
};

ToolResult CaptureProjectTemplate(const json& input)
{
    // Every input is read before the first host call: a wrong type changes nothing.
    const std::string requestedName = StringInput(input, "template_name");
    StringInput(input, "description");
    json ignored = json::array();
    for (const char* key : {"include_2d", "include_properties"})
        if (HasInput(input, key)) ignored.push_back(key);

    const std::string projectName = ProjectName();
    const std::string templateName = requestedName.empty() ? projectName : requestedName;
    const std::string capturedAt = CaptureTimeText(std::time(nullptr));
    const TemplateSummary summary = BuildTemplateSummary(input, templateName, capturedAt);

    const std::string safeName = LocalStorage::SanitiseName(templateName);
    const std::string summaryText = summary.summary.dump(2);  // strict: a bad name fails before any write

    const std::string base = LocalStorage::GetBaseDir();
    const std::string folder = base + "/templates";
    LocalStorage::EnsureDir(base);
    LocalStorage::EnsureDir(folder);
    const std::string modPath = folder + "/" + safeName + ".mod";
    const std::string metaPath = folder + "/" + safeName + ".meta.json";

    struct stat folderInfo {};
    const bool folderExists = ::stat(folder.c_str(), &folderInfo) == 0 && S_ISDIR(folderInfo.st_mode);
    const bool folderWritable = folderExists && ::access(folder.c_str(), W_OK) == 0;

    StaleModule stale(modPath);
    GSErrCode saveCode = NoError;
    {
        IO::Location location(modPath);
        API_ModuleSavePars pars;
        BNClear(pars);
        pars.file = &location;
        saveCode = ACAPI_Automate(APIDo_SaveAsModuleFileID, &pars);
    }

    json reply;
    reply["counts"] = summary.counts;
    if (!ignored.empty()) reply["ignored_params"] = ignored;
    reply["mod_export_error_code"] = saveCode;
    reply["mod_target_path"] = modPath;
    reply["parent_dir"] = folder;
    reply["parent_dir_exists"] = folderExists;
    reply["parent_dir_writable"] = folderWritable;
    reply["template"] = templateName;
    reply["total_elements"] = summary.totalElements;

    const long long modSize = FileSize(modPath);
    if (modSize < 1 || (stale.Stuck() && saveCode != NoError)) {
        stale.Restore();
        // Nothing was written and nothing will be uploaded: the call failed, and the model is
        // told why, not that it succeeded.
        std::string cause;
        if (!folderExists)
            cause = "the templates folder " + folder + " does not exist and could not be made";
        else if (!folderWritable)
            cause = "the templates folder " + folder + " cannot be written";
        else if (safeName.size() + std::string(".meta.json").size() > NAME_MAX)
            cause = "the template name is too long for a file name (at most " +
                    std::to_string(NAME_MAX - std::string(".meta.json").size()) + " bytes)";
        else
            cause = "the module could not be written to " + modPath + " (error " +
                    std::to_string(static_cast<Int32>(saveCode)) + "). " + kExportInstruction;
        return ToolResult::Fail("Template not saved: " + cause);
    }
    stale.Discard();

    const Quillmere::StorageClient storage = Quillmere::StorageClient::FromSettings();
    std::string modBytes;
    std::optional<Quillmere::HttpResponse> modResponse;
    if (ReadWholeFile(modPath, modBytes))
        modResponse = storage.Upload(safeName + ".mod", modBytes, "application/octet-stream");
    else
        modBytes.clear();
    const int modStatus = modResponse ? modResponse->statusCode : 0;
    const bool modUploaded = Quillmere::IsSuccessStatus(modStatus);

    const bool metaWritten = WriteWholeFileAtomic(metaPath, summaryText);
    const std::string metaObject = safeName + ".meta.json";
    const Quillmere::HttpResponse metaResponse = storage.Upload(metaObject, summaryText, "application/json");
    const bool metaUploaded = Quillmere::IsSuccessStatus(metaResponse.statusCode);

    reply["meta_path"] = metaPath;
    reply["meta_uploaded"] = metaUploaded;
    reply["meta_written_local"] = metaWritten;
    reply["mod_exported"] = true;
    reply["mod_file_size"] = modSize;
    reply["mod_upload_bytes"] = modBytes.size();
    // The reply shows a failed module upload by its status alone; why it failed (a deadline
    // included) goes to the debug log.
    if (modResponse && !modUploaded) DebugLog(UploadFailure(safeName + ".mod", *modResponse));
    reply["mod_upload_status"] = modStatus;
    reply["mod_uploaded"] = modUploaded;
    reply["storage"] = modUploaded && metaUploaded ? "supabase" : "local_only";
    reply["stories_count"] = summary.storiesCount;
    if (!metaUploaded) reply["supabase_error"] = UploadFailure(metaObject, metaResponse);
    return DataResult(reply);
}

}  // namespace

void RegisterCaptureProjectTemplate(ToolRegistry& registry)
{
    Tool(registry, "capture_project_template",
         "Capture the current ArchiCAD project as a native .mod module file plus a lightweight .meta.json summary. The "
         ".mod provides perfect ArchiCAD-native reproduction via hotlink-and-break. The .meta.json stores element "
         "counts, bounding box, room/bedroom/bathroom inference, and tags. Saves to ~/.quillmere/templates/ and "
         "uploads to Supabase. Returns a summary (counts, paths, upload status), NOT the full project data.")
        .String("template_name", "Name for the template file (default: project name)")
        .String("description", "Free-text description of the design (e.g. 'Modern single-storey 2-bed bungalow')")
        .Array("tags", "Searchable tags like [\"modern\", \"2-bedroom\", \"single-storey\"]", {{"type", "string"}})
        .Boolean("include_2d", "Deprecated — ignored. Kept for API compatibility.")
        .Boolean("include_properties", "Deprecated — ignored. Kept for API compatibility.")
        .Handler(CaptureProjectTemplate);
}
