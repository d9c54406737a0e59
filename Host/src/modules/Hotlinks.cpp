// Module hotlink nodes and breaking their instances into plain elements.
//
// Breaking copies the module's elements into the project with new GUIDs (openings keep their
// own walls through the new GUIDs), onto the floor plan whatever worksheet is shown, on the
// stories they had in the module, ungrouped: the emulated host hands them back as plain
// elements, not as a group. Stories and attributes the project lacks are taken over from the
// module by index; existing ones are kept as they are.
// Every record passes the same checks as a created element before it is stored: one that
// fails refuses the whole break, and the running undo step takes back what was placed.
// Every change is recorded in the running undo step, nodes included.

#include "modules/Hotlinks.hpp"

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>

#include "gs/GuidSource.hpp"
#include "modules/ModuleFile.hpp"
#include "navigator/NameFields.hpp"
#include "project/ElementChecks.hpp"
#include "project/Project.hpp"

namespace HostInternal {

namespace {

struct HotlinkNode {
    std::u16string name;
    std::shared_ptr<const ModuleContents> module;
};

std::map<API_Guid, HotlinkNode>& Nodes()
{
    static std::map<API_Guid, HotlinkNode> nodes;
    return nodes;
}

void EraseNode(Project& project, const API_Guid& guid)
{
    auto it = Nodes().find(guid);
    if (it == Nodes().end()) return;
    HotlinkNode kept = it->second;
    Nodes().erase(it);
    project.RecordUndo([guid, kept] { Nodes()[guid] = kept; });
}

GSErrCode CreateNode(Project& project, API_HotlinkNode* node)
{
    if (node == nullptr || node->sourceLocation == nullptr) return APIERR_BADPARS;
    if (node->type != APIHotlink_Module) return APIERR_NOTSUPPORTED;
    if (!project.InCommand()) return APIERR_NEEDSUNDOSCOPE;
    auto module = std::make_shared<ModuleContents>();
    // Read now: the caller may remove the file as soon as the node exists.
    if (GSErrCode code = ReadModule(node->sourceLocation->GetPath(), module.get())) return code;

    const API_Guid guid = NextGuid();
    Nodes()[guid] = HotlinkNode{NameField(node->name), std::move(module)};
    project.RecordUndo([guid] { Nodes().erase(guid); });
    node->guid = guid;
    // Like the real host, hand back a server location and a user-data block the caller owns.
    node->serverSourceLocation = new IO::Location(*node->sourceLocation);
    node->userData = BMAllocatePtr(16, 0, 0);
    return NoError;
}

bool IsIdentity(const API_Tranmat& m)
{
    static const double identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    for (int i = 0; i < 12; ++i)
        if (m.tmx[i] != identity[i]) return false;
    return true;
}

void TakeOverStoriesAndAttributes(Project& project, const ModuleContents& module)
{
    bool missingStory = false;
    for (const Story& s : module.stories)
        if (project.Stories().Find(s.index) == nullptr) missingStory = true;
    if (missingStory) {
        StoryList& list = project.StoriesForChange();
        for (const Story& s : module.stories)
            if (list.Find(s.index) == nullptr) list.stories.push_back(s);
        std::sort(list.stories.begin(), list.stories.end(),
                  [](const Story& a, const Story& b) { return a.index < b.index; });
    }
    for (const API_Attribute& a : module.attributes)
        if (project.FindAttribute(a.header.typeID, a.header.index) == nullptr) project.PutAttribute(a);
}

void RemapOwner(API_Guid& owner, const std::unordered_map<API_Guid, API_Guid>& newGuids)
{
    if (owner == APINULLGuid) return;
    auto it = newGuids.find(owner);
    owner = it == newGuids.end() ? APINULLGuid : it->second;
}

GSErrCode PlaceContent(Project& project, const ModuleContents& module)
{
    std::unordered_map<API_Guid, API_Guid> newGuids;
    newGuids.reserve(module.elements.size());
    for (const ModuleElement& e : module.elements) newGuids[e.record.header.guid] = NextGuid();
    for (const ModuleElement& e : module.elements) {
        API_Element record = e.record;
        record.header.guid = newGuids[e.record.header.guid];
        record.header.groupGuid = APINULLGuid;
        record.header.ownerGuid = APINULLGuid;
        switch (record.header.type.typeID) {
        case API_WindowID: RemapOwner(record.window.owner, newGuids); break;
        case API_DoorID: RemapOwner(record.door.owner, newGuids); break;
        case API_ObjectID: RemapOwner(record.object.owner, newGuids); break;
        default: break;
        }
        if (!IsSupportedElementType(record.header.type.typeID)) return APIERR_BADID;
        static const StoredMemo kNoMemo;
        const StoredMemo& memo = e.memo ? *e.memo : kNoMemo;
        if (GSErrCode code = CheckHeader(project, record)) return code;
        if (GSErrCode code = CheckElement(project, record, memo)) return code;
        project.InsertElement(record, e.memo, Project::Placing::OnFloorPlan);
    }
    return NoError;
}

GSErrCode BreakNode(Project& project, const API_Guid* guid)
{
    if (guid == nullptr) return APIERR_BADPARS;
    if (!project.InCommand()) return APIERR_NEEDSUNDOSCOPE;
    auto it = Nodes().find(*guid);
    if (it == Nodes().end()) return APIERR_BADID;
    const std::shared_ptr<const ModuleContents> module = it->second.module;

    GS::Array<API_Guid> hotlinks;
    project.Elements().AppendGuidsOfType(API_HotlinkID, &hotlinks);
    std::vector<API_Guid> instances;
    for (const API_Guid& h : hotlinks) {
        const StoredElement* instance = project.FindElement(h);
        if (instance == nullptr || instance->record.hotlink.hotlinkNodeGuid != *guid) continue;
        // Only placements at the origin are emulated; refuse the rest before changing anything.
        if (!IsIdentity(instance->record.hotlink.transformation)) return APIERR_NOTSUPPORTED;
        instances.push_back(h);
    }
    if (!instances.empty()) TakeOverStoriesAndAttributes(project, *module);
    for (const API_Guid& instance : instances) {
        if (GSErrCode code = PlaceContent(project, *module)) return code;
        project.EraseElement(instance);
    }
    EraseNode(project, *guid);
    return NoError;
}

GSErrCode DeleteNode(Project& project, const API_Guid* guid)
{
    if (guid == nullptr) return APIERR_BADPARS;
    if (!project.InCommand()) return APIERR_NEEDSUNDOSCOPE;
    if (Nodes().count(*guid) == 0) return APIERR_BADID;
    GS::Array<API_Guid> hotlinks;
    project.Elements().AppendGuidsOfType(API_HotlinkID, &hotlinks);
    for (const API_Guid& h : hotlinks) {
        const StoredElement* instance = project.FindElement(h);
        if (instance != nullptr && instance->record.hotlink.hotlinkNodeGuid == *guid) project.EraseElement(h);
    }
    EraseNode(project, *guid);
    return NoError;
}

}  // namespace

bool IsHotlinkDatabaseCode(API_DatabaseID code)
{
    return code == APIDb_CreateHotlinkNodeID || code == APIDb_BreakHotlinkNodeID || code == APIDb_DeleteHotlinkNodeID;
}

GSErrCode HotlinkDatabase(API_DatabaseID code, void* par1)
{
    Project& project = TheProject();
    if (code == APIDb_CreateHotlinkNodeID) return CreateNode(project, static_cast<API_HotlinkNode*>(par1));
    if (code == APIDb_BreakHotlinkNodeID) return BreakNode(project, static_cast<const API_Guid*>(par1));
    if (code == APIDb_DeleteHotlinkNodeID) return DeleteNode(project, static_cast<const API_Guid*>(par1));
    return APIERR_BADPARS;
}

bool HotlinkNodeExists(const API_Guid& node) { return Nodes().count(node) != 0; }

size_t HotlinkNodeCount() { return Nodes().size(); }

void ClearHotlinkNodes() { Nodes().clear(); }

}  // namespace HostInternal
