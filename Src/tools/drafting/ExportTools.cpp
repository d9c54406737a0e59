// Export tools: worksheets and the current database, publisher sets and publishing, and
// saving the project as a module file. None of them opens an undo step: they change no
// elements, and each makes at most one changing host call, its last.

#include <cstdio>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "tools/HostText.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

namespace {

// The host's database type for a type word; any word but the four below means a worksheet.
API_DatabaseTypeID DatabaseType(const std::string& word)
{
    if (word == "floorplan") return APIWind_FloorPlanID;
    if (word == "section") return APIWind_SectionID;
    if (word == "detail") return APIWind_DetailID;
    if (word == "layout") return APIWind_LayoutID;
    return APIWind_WorksheetID;
}

ToolResult CreateWorksheet(const json& input)
{
    const std::string name = StringInput(input, "name", "New Worksheet");
    API_DatabaseInfo database;
    BNClear(database);
    database.typeID = APIWind_WorksheetID;
    CopyNameToField(database.name, API_DatabaseNameCapacity, name);
    if (GSErrCode err = ACAPI_Database(APIDb_NewDatabaseID, &database)) return HostFailure("NewDatabase error: ", err);
    return ToolResult::Ok(GuidToStr(database.databaseUnId), "Worksheet \"" + name + "\" created");
}

// Worksheet items directly under the project map's root; a host refusal lists nothing.
ToolResult ListWorksheets(const json&)
{
    json worksheets = json::array();
    API_NavigatorSet set;
    BNClear(set);
    set.mapId = API_ProjectMap;
    GS::Array<API_NavigatorItem> children;
    if (ACAPI_Navigator(APINavigator_GetNavigatorSetID, &set, nullptr) == NoError) {
        API_NavigatorItem root;
        BNClear(root);
        root.guid = set.rootGuid;
        if (ACAPI_Navigator(APINavigator_GetNavigatorChildrenItemsID, &root, nullptr, &children) != NoError)
            children.Clear();
    }
    for (const API_NavigatorItem& child : children) {
        if (child.itemType != API_WorksheetNavItem) continue;
        worksheets.push_back({{"guid", GuidToStr(child.guid)}, {"name", FieldNameText(child.uName)}});
    }
    return DataResult(worksheets);
}

ToolResult SwitchDatabase(const json& input)
{
    const std::string guidText = StringInput(input, "database_guid");
    const std::string typeWord = StringInput(input, "type", "worksheet");
    if (guidText.empty()) return ToolResult::Fail("database_guid is required");
    API_DatabaseInfo database;
    BNClear(database);
    database.typeID = DatabaseType(typeWord);
    database.databaseUnId = ParseGuid(guidText);
    if (GSErrCode err = ACAPI_Database(APIDb_ChangeCurrentDatabaseID, &database))
        return HostFailure("ChangeCurrentDatabase error: ", err);
    return ToolResult::Ok(guidText, "Switched to " + typeWord + " database");
}

// Reads the publisher sets in index order, skipping indices the host refuses, and hands each
// (name, root GUID) to visit until it returns false. Returns the count query's code.
template <typename Visit>
GSErrCode ForEachPublisherSet(Visit&& visit)
{
    Int32 count = 0;
    if (GSErrCode err = ACAPI_Navigator(APINavigator_GetNavigatorSetNumID, &count, nullptr)) return err;
    for (Int32 index = 0; index < count; ++index) {
        API_NavigatorSet set;
        BNClear(set);
        set.mapId = API_PublisherSets;
        if (ACAPI_Navigator(APINavigator_GetNavigatorSetID, &set, &index) != NoError) continue;
        if (!visit(HostNameText(GS::UniString(set.name, CC_Default)), set.rootGuid)) break;
    }
    return NoError;
}

ToolResult ListPublisherSets(const json&)
{
    json sets = json::array();
    const GSErrCode err = ForEachPublisherSet([&sets](const std::string& name, const API_Guid& root) {
        sets.push_back({{"guid", GuidToStr(root)}, {"name", name}});
        return true;
    });
    if (err != NoError) return HostFailure("GetNavigatorSetNum error: ", err);
    return DataResult(sets);
}

ToolResult PublishToPdf(const json& input)
{
    const std::string setName = StringInput(input, "publisher_set_name");
    if (setName.empty()) return ToolResult::Fail("publisher_set_name is required");
    API_Guid setGuid = APINULLGuid;
    const GSErrCode err = ForEachPublisherSet([&](const std::string& name, const API_Guid& root) {
        if (name != setName) return true;
        setGuid = root;
        return false;
    });
    if (err != NoError) return ToolResult::Fail("GetNavigatorSetNum error");
    if (setGuid == APINULLGuid) return ToolResult::Fail("Publisher set not found: " + setName);

    API_PublishPars pars;
    BNClear(pars);
    pars.guid = setGuid;
    std::unique_ptr<IO::Location> folder;
    if (HasInput(input, "output_path")) {
        folder = std::make_unique<IO::Location>(StringInput(input, "output_path"));
        pars.path = folder.get();
    }
    if (GSErrCode publishErr = ACAPI_Automate(APIDo_PublishID, &pars))
        return HostFailure("Publish error: ", publishErr);
    return ToolResult::Ok("", "Published using set: " + setName);
}

// The first bytes of a file (fewer when it is shorter); empty when it cannot be read.
std::string Signature(const std::string& path)
{
    char bytes[8] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    const ssize_t got = ::read(fd, bytes, sizeof bytes);
    ::close(fd);
    return got > 0 ? std::string(bytes, static_cast<std::size_t>(got)) : std::string();
}

// The path comes from the model, so it may name any file of the user's. The module is written
// beside it under a name of our own first; it replaces what is at the path only when nothing is
// there or that is a module too (it begins as the new one does), else the user's file stays.
ToolResult SaveAsModule(const json& input)
{
    const std::string path = StringInput(input, "file_path");
    if (path.empty()) return ToolResult::Fail("file_path is required");
    if (path.find('\0') != std::string::npos) return ToolResult::Fail("file_path must not contain a NUL character");
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return ToolResult::Fail("Not saved: " + path + " exists and is not a module file");

    const std::size_t slash = path.find_last_of('/');
    std::string temporary =
        (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".quillmere-module-XXXXXX";
    const int fd = ::mkstemp(&temporary[0]);
    if (fd < 0) return ToolResult::Fail("Not saved: cannot write beside " + path);
    ::close(fd);
    IO::Location file(temporary);
    API_ModuleSavePars pars;
    BNClear(pars);
    pars.file = &file;
    if (GSErrCode err = ACAPI_Automate(APIDo_SaveAsModuleFileID, &pars)) {
        ::unlink(temporary.c_str());
        return HostFailure("SaveAsModuleFile error: ", err);
    }
    if (exists && Signature(path) != Signature(temporary)) {
        ::unlink(temporary.c_str());
        return ToolResult::Fail("Not saved: " + path + " exists and is not a module file");
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return ToolResult::Fail("Not saved: cannot replace " + path);
    }
    return ToolResult::Ok("", "Module saved: " + path);
}

}  // namespace

void RegisterExportTools(ToolRegistry& registry)
{
    Tool(registry, "create_worksheet", "Create a new independent worksheet in the project.")
        .String("name", "Worksheet name")
        .Required({"name"})
        .Handler(CreateWorksheet);

    Tool(registry, "list_worksheets", "List existing worksheets in the project.").Handler(ListWorksheets);

    Tool(registry, "switch_database", "Switch the active database window to a worksheet, layout, section, or detail.")
        .String("database_guid", "GUID of the database to switch to (from list_worksheets)")
        .Property("type", "string",
                  "Database type: floorplan | section | detail | worksheet | layout (default worksheet)",
                  {{"enum", {"floorplan", "section", "detail", "worksheet", "layout"}}})
        .Required({"database_guid"})
        .Handler(SwitchDatabase);

    Tool(registry, "list_publisher_sets", "List configured publisher sets in the project.").Handler(ListPublisherSets);

    Tool(registry, "publish_to_pdf",
         "Publish using a configured publisher set. The publisher set must already be configured in ArchiCAD with PDF "
         "output format.")
        .String("publisher_set_name", "Name of the publisher set to execute")
        .String("output_path", "Output folder path (optional, uses publisher set default if omitted)")
        .Required({"publisher_set_name"})
        .Handler(PublishToPdf);

    Tool(registry, "save_as_module", "Save the currently selected elements as a .gsm module file.")
        .String("file_path", "Full path for the output module file (e.g. /path/to/module.gsm)")
        .Required({"file_path"})
        .Handler(SaveAsModule);
}
