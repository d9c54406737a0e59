// ACAPI_Navigator: the navigator maps ('GNSE', 'GNCI'), the publisher sets ('GNSN', 'GNSE' with
// an index), saving the current window state as a view ('CVPI') and opening one ('CHNV').

#include "navigator/Documentation.hpp"
#include "navigator/NameFields.hpp"
#include "project/Project.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

GSErrCode GetSet(Documentation& docs, API_NavigatorSet* set, const Int32* index)
{
    if (set == nullptr) return APIERR_BADPARS;
    API_Guid root = APINULLGuid;
    std::string name;
    if (index != nullptr) {
        if (set->mapId != API_PublisherSets) return APIERR_BADPARS;
        if (*index < 0 || size_t(*index) >= docs.publisherSets.size()) return APIERR_BADINDEX;
        root = docs.publisherSets[size_t(*index)].root;
        name = docs.publisherSets[size_t(*index)].name;
    } else {
        root = docs.Root(set->mapId);
        if (root == APINULLGuid) return APIERR_BADPARS;
        name = GS::Utf16ToUtf8(docs.Find(root)->name);
    }
    CopyUtf8Name(set->name, sizeof set->name, name);
    set->rootGuid = root;
    return NoError;
}

void FillItem(const NavItem& from, API_NavigatorItem& to)
{
    BNClear(to);
    GS::ucsncpy(to.uName, from.name.c_str(), API_NavigatorNameCapacity);
    to.guid = from.guid;
    to.mapId = API_NavigatorMapID(from.mapId);
    to.itemType = from.itemType;
    to.db = from.database;
    to.floorNum = from.story;
}

GSErrCode GetChildren(const Documentation& docs, const API_NavigatorItem* parent,
                      GS::Array<API_NavigatorItem>* children)
{
    if (parent == nullptr || children == nullptr) return APIERR_BADPARS;
    const NavItem* item = docs.Find(parent->guid);
    if (item == nullptr) return APIERR_BADID;
    for (const API_Guid& guid : item->children) {
        API_NavigatorItem child;
        FillItem(*docs.Find(guid), child);
        children->Push(child);
    }
    return NoError;
}

GSErrCode GetSetCount(const Documentation& docs, Int32* count)
{
    if (count == nullptr) return APIERR_BADPARS;
    *count = Int32(docs.publisherSets.size());
    return NoError;
}

// A saved view of what the window shows now: the current database and story.
GSErrCode CreateView(Project& project, API_NavigatorItem* item, const API_Guid* parentGuid)
{
    if (item == nullptr || parentGuid == nullptr) return APIERR_BADPARS;
    Documentation& docs = project.Docs();
    const NavItem* parent = docs.Find(*parentGuid);
    if (parent == nullptr) return APIERR_BADID;
    if (parent->mapId != API_PublicViewMap || item->mapId != API_PublicViewMap) return APIERR_BADPARS;
    if (parent->itemType != API_FolderNavItem) return APIERR_BADPARS;
    const NavItem view =
        NavItem::Make(NameField(item->uName), item->itemType, docs.currentDatabase, project.Stories().current);
    const API_Guid guid = docs.AddItem(*parentGuid, view);
    if (guid == APINULLGuid) return APIERR_GENERAL;
    FillItem(*docs.Find(guid), *item);
    return NoError;
}

GSErrCode ChangeView(Project& project, const API_Guid* guid)
{
    if (guid == nullptr) return APIERR_BADPARS;
    Documentation& docs = project.Docs();
    const NavItem* view = docs.Find(*guid);
    if (view == nullptr || view->mapId != API_PublicViewMap || view->itemType == API_FolderNavItem ||
        view->parent == APINULLGuid)
        return APIERR_BADID;
    docs.currentView = view->guid;
    if (const Database* database = docs.FindDatabase(view->database)) {
        docs.currentDatabase = database->id;
        if (database->type == APIWind_FloorPlanID && project.Stories().Find(view->story) != nullptr)
            project.StoriesForChange().current = view->story;
    }
    return NoError;
}

}  // namespace

GSErrCode ACAPI_Navigator(API_NavigatorID code, void* par1, void* par2, void* par3, void*)
{
    CallContext context;
    context.typeID = code;
    std::string detail = "code=" + std::to_string(code);
    switch (code) {
    case APINavigator_GetNavigatorSetID:
        if (par1 != nullptr) context.name = "map " + std::to_string(static_cast<const API_NavigatorSet*>(par1)->mapId);
        if (par2 != nullptr) context.index = *static_cast<const Int32*>(par2);
        break;
    case APINavigator_GetNavigatorChildrenItemsID:
        if (par1 != nullptr) context.guid = static_cast<const API_NavigatorItem*>(par1)->guid;
        break;
    case APINavigator_CreateNavigatorVPItemID:
        if (par1 != nullptr) context.name = "map " + std::to_string(static_cast<const API_NavigatorItem*>(par1)->mapId);
        if (par2 != nullptr) context.guid = *static_cast<const API_Guid*>(par2);
        break;
    case APINavigator_ChangeNavigatorViewID:
        if (par1 != nullptr) context.guid = *static_cast<const API_Guid*>(par1);
        break;
    default: break;
    }
    if (context.name) detail += " " + *context.name;
    if (context.index) detail += " index=" + std::to_string(*context.index);
    if (context.guid) detail += " guid=" + GuidText(*context.guid);
    ApiCall call("ACAPI_Navigator", detail, context);
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    Project& project = TheProject();
    Documentation& docs = project.Docs();
    switch (code) {
    case APINavigator_GetNavigatorSetID:
        return call.Return(GetSet(docs, static_cast<API_NavigatorSet*>(par1), static_cast<const Int32*>(par2)));
    case APINavigator_GetNavigatorChildrenItemsID:
        return call.Return(GetChildren(docs, static_cast<const API_NavigatorItem*>(par1),
                                       static_cast<GS::Array<API_NavigatorItem>*>(par3)));
    case APINavigator_GetNavigatorSetNumID: return call.Return(GetSetCount(docs, static_cast<Int32*>(par1)));
    case APINavigator_CreateNavigatorVPItemID:
        return call.Return(
            CreateView(project, static_cast<API_NavigatorItem*>(par1), static_cast<const API_Guid*>(par2)));
    case APINavigator_ChangeNavigatorViewID:
        return call.Return(project.NoteShownChange(ChangeView(project, static_cast<const API_Guid*>(par1))));
    default: return call.Return(APIERR_BADPARS);
    }
}
