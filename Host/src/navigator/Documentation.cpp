// The documentation structure's trees and lists.

#include "navigator/Documentation.hpp"

#include <algorithm>

#include "gs/GuidSource.hpp"

namespace HostInternal {

namespace {

// Map roots keep the same GUIDs in every project, like the host's own maps.
API_Guid MapRootGuid(Int32 mapId)
{
    API_Guid g = APINULLGuid;
    g.time_low = 0x4E415600u + UInt32(mapId);
    g.time_hi_and_version = 0x4000;
    g.clock_seq_hi_and_reserved = 0x80;
    return g;
}

}  // namespace

NavItem NavItem::Make(const std::u16string& name, Int32 itemType, const API_Guid& database, Int16 story,
                      const API_Guid& guid)
{
    return NavItem{guid, name, itemType, API_UndefinedMap, APINULLGuid, {}, database, story};
}

Documentation::Documentation()
{
    const std::pair<Int32, const char16_t*> maps[] = {
        {API_ProjectMap, u"Project Map"}, {API_PublicViewMap, u"View Map"}, {API_PublisherSets, u"Publisher Sets"}};
    for (const auto& [mapId, name] : maps) {
        NavItem root = NavItem::Make(name, mapId == API_ProjectMap ? API_ProjectNavItem : API_FolderNavItem,
                                     APINULLGuid, 0, MapRootGuid(mapId));
        root.mapId = mapId;
        roots_[mapId] = root.guid;
        items_.emplace(root.guid, std::move(root));
    }
}

API_Guid Documentation::Root(Int32 mapId) const
{
    auto it = roots_.find(mapId);
    return it == roots_.end() ? APINULLGuid : it->second;
}

const NavItem* Documentation::Find(const API_Guid& guid) const
{
    auto it = items_.find(guid);
    return it == items_.end() ? nullptr : &it->second;
}

NavItem* Documentation::FindMutable(const API_Guid& guid)
{
    auto it = items_.find(guid);
    return it == items_.end() ? nullptr : &it->second;
}

API_Guid Documentation::AddItem(const API_Guid& parent, NavItem item)
{
    NavItem* owner = FindMutable(parent);
    if (owner == nullptr) return APINULLGuid;
    if (item.guid == APINULLGuid) item.guid = NextGuid();
    if (items_.count(item.guid) != 0) return APINULLGuid;
    item.parent = parent;
    item.mapId = owner->mapId;
    item.children.clear();
    owner->children.push_back(item.guid);
    const API_Guid guid = item.guid;
    items_.emplace(guid, std::move(item));
    return guid;
}

void Documentation::ClearMap(Int32 mapId)
{
    const API_Guid root = Root(mapId);
    NavItem* rootItem = FindMutable(root);
    if (rootItem == nullptr) return;
    std::vector<API_Guid> pending = rootItem->children;
    rootItem->children.clear();
    while (!pending.empty()) {
        const API_Guid guid = pending.back();
        pending.pop_back();
        auto it = items_.find(guid);
        if (it == items_.end()) continue;
        pending.insert(pending.end(), it->second.children.begin(), it->second.children.end());
        items_.erase(it);
    }
}

const Database* Documentation::FindDatabase(const API_Guid& id) const
{
    for (const Database& d : databases)
        if (d.id == id) return &d;
    return nullptr;
}

API_Guid Documentation::FloorPlan() const
{
    for (const Database& d : databases)
        if (d.type == APIWind_FloorPlanID) return d.id;
    return APINULLGuid;
}

const PublisherSet& Documentation::AddPublisherSet(const std::string& name, const std::string& folder, Int16 story,
                                                   const API_Guid& guid)
{
    PublisherSet set;
    set.name = name;
    set.root = AddItem(Root(API_PublisherSets),
                       NavItem::Make(GS::Utf8ToUtf16(name), API_FolderNavItem, APINULLGuid, story, guid));
    set.folder = folder;
    set.story = story;
    publisherSets.push_back(set);
    return publisherSets.back();
}

void Documentation::ClearPublisherSets()
{
    publisherSets.clear();
    ClearMap(API_PublisherSets);
}

}  // namespace HostInternal
