// Placing a module's content as new elements of a project.

#include <unordered_map>

#include "gs/GuidSource.hpp"
#include "modules/ModuleFile.hpp"

namespace HostInternal {

namespace {

// A GUID that names something inside the module maps to its copy; others stay as they are.
API_Guid Follow(const std::unordered_map<API_Guid, API_Guid>& copies, const API_Guid& guid)
{
    auto it = copies.find(guid);
    return it == copies.end() ? guid : it->second;
}

}  // namespace

std::vector<API_Guid> PlaceModuleElements(Project& project, const ModuleContents& contents)
{
    std::unordered_map<API_Guid, API_Guid> copies;
    for (const ModuleElement& e : contents.elements) {
        copies.emplace(e.record.header.guid, NextGuid());
        // A group is named by a GUID of its own; each module group becomes a new group.
        const API_Guid group = e.record.header.groupGuid;
        if (group != APINULLGuid && copies.count(group) == 0) copies.emplace(group, NextGuid());
    }
    std::vector<API_Guid> placed;
    placed.reserve(contents.elements.size());
    for (const ModuleElement& e : contents.elements) {
        API_Element record = e.record;
        record.header.guid = copies.at(e.record.header.guid);
        record.header.groupGuid = Follow(copies, record.header.groupGuid);
        record.header.ownerGuid = Follow(copies, record.header.ownerGuid);
        if (record.header.type.typeID == API_DoorID) record.door.owner = Follow(copies, record.door.owner);
        if (record.header.type.typeID == API_WindowID) record.window.owner = Follow(copies, record.window.owner);
        if (record.header.type.typeID == API_ObjectID || record.header.type.typeID == API_LampID)
            record.object.owner = Follow(copies, record.object.owner);
        placed.push_back(project.InsertElement(record, e.memo));
    }
    return placed;
}

}  // namespace HostInternal
