// The test interface of the navigator, databases, publisher sets and override combinations.

#include "HostTestingNavigator.hpp"

#include "gs/GuidSource.hpp"
#include "navigator/Documentation.hpp"
#include "project/Project.hpp"

using namespace HostInternal;

namespace HostTesting {

namespace {

Documentation& Docs() { return TheProject().Docs(); }

NavigatorItemInfo Info(const NavItem& item)
{
    return NavigatorItemInfo{
        item.guid, GS::Utf16ToUtf8(item.name), item.itemType, item.mapId, item.parent, item.database, item.story};
}

}  // namespace

API_Guid NavigatorRoot(API_NavigatorMapID map) { return Docs().Root(map); }

API_Guid AddNavigatorItem(const API_Guid& parent, const std::string& name, Int32 itemType, const API_Guid& database,
                          Int16 story)
{
    return Docs().AddItem(parent, NavItem::Make(GS::Utf8ToUtf16(name), itemType, database, story));
}

API_Guid AddNavigatorItemUtf16(const API_Guid& parent, const std::u16string& name, Int32 itemType)
{
    return Docs().AddItem(parent, NavItem::Make(name, itemType));
}

void ClearNavigatorMap(API_NavigatorMapID map) { Docs().ClearMap(map); }

bool GetNavigatorItem(const API_Guid& guid, NavigatorItemInfo* info)
{
    const NavItem* item = Docs().Find(guid);
    if (item == nullptr) return false;
    if (info != nullptr) *info = Info(*item);
    return true;
}

std::vector<NavigatorItemInfo> NavigatorChildren(const API_Guid& parent)
{
    std::vector<NavigatorItemInfo> out;
    if (const NavItem* item = Docs().Find(parent))
        for (const API_Guid& child : item->children) out.push_back(Info(*Docs().Find(child)));
    return out;
}

API_Guid CurrentView() { return Docs().currentView; }

std::vector<DatabaseFixture> Databases()
{
    std::vector<DatabaseFixture> out;
    for (const Database& d : Docs().databases) out.push_back(DatabaseFixture{d.id, d.type, GS::Utf16ToUtf8(d.name)});
    return out;
}

API_Guid CurrentDatabase() { return Docs().currentDatabase; }

API_Guid SheetOf(const API_Guid& element)
{
    const HostInternal::StoredElement* stored = HostInternal::TheProject().FindElement(element);
    return stored != nullptr ? stored->sheet : APINULLGuid;
}

bool IsDrafting(Int32 typeID) { return HostInternal::Project::IsDrafting(typeID); }

API_Guid AddDatabase(Int32 type, const std::string& name, const API_Guid& id)
{
    Database d{id == APINULLGuid ? NextGuid() : id, type, GS::Utf8ToUtf16(name)};
    Docs().databases.push_back(d);
    return d.id;
}

std::vector<API_Guid> SetPublisherSets(const std::vector<PublisherSetFixture>& sets)
{
    Docs().ClearPublisherSets();
    std::vector<API_Guid> roots;
    for (const PublisherSetFixture& s : sets) roots.push_back(Docs().AddPublisherSet(s.name, s.folder, s.story).root);
    return roots;
}

std::vector<PublisherSetFixture> PublisherSets()
{
    std::vector<PublisherSetFixture> out;
    for (const PublisherSet& s : Docs().publisherSets) out.push_back(PublisherSetFixture{s.name, s.folder, s.story});
    return out;
}

std::vector<PublishedFile> PublishedFiles()
{
    std::vector<PublishedFile> out;
    for (const HostInternal::PublishedFile& f : Docs().published) out.push_back(PublishedFile{f.setName, f.path});
    return out;
}

std::vector<API_Guid> SetOverrideCombinationsUtf16(const std::vector<std::u16string>& names)
{
    Docs().overrides.clear();
    std::vector<API_Guid> guids;
    for (const std::u16string& name : names) {
        Docs().overrides.push_back(OverrideCombination{NextGuid(), name, {}});
        guids.push_back(Docs().overrides.back().guid);
    }
    return guids;
}

std::vector<API_Guid> SetOverrideCombinations(const std::vector<std::string>& names)
{
    std::vector<std::u16string> wide;
    for (const std::string& n : names) wide.push_back(GS::Utf8ToUtf16(n));
    return SetOverrideCombinationsUtf16(wide);
}

}  // namespace HostTesting
