// ACAPI_Database: new worksheets ('NDAT'), the current database ('CDAT' to change it, 'GCDB'
// to read it) and the database an element is drawn in ('GEDB').

#include "gs/GuidSource.hpp"
#include "modules/Hotlinks.hpp"
#include "navigator/Documentation.hpp"
#include "navigator/NameFields.hpp"
#include "project/Project.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

// A new independent worksheet; its project-map item, filed at the map's root, carries the
// database's GUID so the map's listing leads straight back to it.
GSErrCode NewDatabase(Documentation& docs, API_DatabaseInfo* info)
{
    if (info == nullptr) return APIERR_BADPARS;
    if (info->typeID != APIWind_WorksheetID) return APIERR_BADPARS;
    Database database{NextGuid(), APIWind_WorksheetID, NameField(info->name)};
    const NavItem item = NavItem::Make(database.name, API_WorksheetNavItem, database.id, 0, database.id);
    if (docs.AddItem(docs.Root(API_ProjectMap), item) == APINULLGuid) return APIERR_GENERAL;
    docs.databases.push_back(database);
    info->databaseUnId = database.id;
    info->index = Int32(docs.databases.size());
    return NoError;
}

GSErrCode ChangeDatabase(Documentation& docs, const API_DatabaseInfo* info)
{
    if (info == nullptr) return APIERR_BADPARS;
    const Database* database = docs.FindDatabase(info->databaseUnId);
    if (database == nullptr || database->type != info->typeID) return APIERR_BADDATABASE;
    docs.currentDatabase = database->id;
    return NoError;
}

// The database the GUID names.
GSErrCode GetDatabase(const Documentation& docs, const API_Guid& id, API_DatabaseInfo* info)
{
    if (info == nullptr) return APIERR_BADPARS;
    const Database* database = docs.FindDatabase(id);
    if (database == nullptr) return APIERR_BADDATABASE;
    BNClear(*info);
    info->typeID = API_DatabaseTypeID(database->type);
    info->databaseUnId = database->id;
    GS::ucsncpy(info->name, database->name.c_str(), API_DatabaseNameCapacity);
    return NoError;
}

// Drafting drawn in a worksheet is in that worksheet; everything else is in the floor plan.
GSErrCode GetContainingDatabase(const Project& project, const API_Guid* element, API_DatabaseInfo* info)
{
    if (element == nullptr) return APIERR_BADPARS;
    const StoredElement* stored = project.FindElement(*element);
    if (stored == nullptr) return APIERR_BADID;
    return GetDatabase(project.Docs(), stored->sheet != APINULLGuid ? stored->sheet : project.Docs().FloorPlan(), info);
}

}  // namespace

GSErrCode ACAPI_Database(API_DatabaseID code, void* par1, void* par2, void*)
{
    CallContext context;
    context.typeID = code;
    std::string detail = "code=" + std::to_string(code);
    if (par1 != nullptr && code == APIDb_ChangeCurrentDatabaseID) {
        context.guid = static_cast<const API_DatabaseInfo*>(par1)->databaseUnId;
        detail += " type=" + std::to_string(static_cast<const API_DatabaseInfo*>(par1)->typeID) +
                  " guid=" + GuidText(*context.guid);
    }
    if (par1 != nullptr && code == APIDb_GetContainingDatabaseID) {
        // Asked for each drafting element a listing walks: the log shows the element's GUID,
        // formatted only when the log is read.
        context.guid = *static_cast<const API_Guid*>(par1);
        detail.clear();
    }
    if (par1 != nullptr && code == APIDb_NewDatabaseID) {
        context.name = GS::Utf16ToUtf8(NameField(static_cast<const API_DatabaseInfo*>(par1)->name));
        detail +=
            " type=" + std::to_string(static_cast<const API_DatabaseInfo*>(par1)->typeID) + " name=" + *context.name;
    }
    ApiCall call("ACAPI_Database", detail, context);
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (IsHotlinkDatabaseCode(code)) return call.Return(HotlinkDatabase(code, par1));
    Documentation& docs = TheProject().Docs();
    switch (code) {
    case APIDb_NewDatabaseID: return call.Return(NewDatabase(docs, static_cast<API_DatabaseInfo*>(par1)));
    case APIDb_ChangeCurrentDatabaseID:
        return call.Return(
            TheProject().NoteShownChange(ChangeDatabase(docs, static_cast<const API_DatabaseInfo*>(par1))));
    case APIDb_GetCurrentDatabaseID:
        return call.Return(GetDatabase(docs, docs.currentDatabase, static_cast<API_DatabaseInfo*>(par1)));
    case APIDb_GetContainingDatabaseID:
        return call.Return(GetContainingDatabase(TheProject(), static_cast<const API_Guid*>(par1),
                                                 static_cast<API_DatabaseInfo*>(par2)));
    default: return call.Return(APIERR_BADPARS);
    }
}
