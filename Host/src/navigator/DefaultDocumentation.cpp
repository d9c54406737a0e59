// The default project's documentation: what a small office project would have set up.

#include <filesystem>

#include "navigator/Documentation.hpp"
#include "project/Project.hpp"

namespace HostInternal {

namespace {

// Fixed GUIDs, so that saved references to the default views survive a reset.
API_Guid Fixed(UInt32 group, UInt16 n)
{
    API_Guid g = APINULLGuid;
    g.time_low = 0xD0C00000u + group;
    g.time_mid = n;
    g.time_hi_and_version = 0x4000;
    g.clock_seq_hi_and_reserved = 0x80;
    return g;
}

NavItem Item(const API_Guid& guid, const std::u16string& name, Int32 type, const API_Guid& database = APINULLGuid,
             Int16 story = 0)
{
    return NavItem::Make(name, type, database, story, guid);
}

std::u16string Numbered(int n, const std::u16string& name)
{
    std::string prefix = (n < 10 ? "0" : "") + std::to_string(n) + " ";
    return GS::Utf8ToUtf16(prefix) + name;
}

}  // namespace

void LoadDefaultDocumentation(Project& project)
{
    Documentation& docs = project.Docs();
    docs = Documentation();

    const API_Guid floorPlan = Fixed(1, 1), section = Fixed(1, 2), detail = Fixed(1, 3), layout = Fixed(1, 4),
                   worksheet = Fixed(1, 5);
    docs.databases = {
        {floorPlan, APIWind_FloorPlanID, u"Floor Plan"},
        {section, APIWind_SectionID, u"S-01 Longitudinal Section"},
        {detail, APIWind_DetailID, u"D-01 Eaves Detail"},
        {layout, APIWind_LayoutID, u"A-101 Ground Floor Plan"},
        {worksheet, APIWind_WorksheetID, u"WS-01 Site Survey Notes"},
    };
    docs.currentDatabase = floorPlan;

    // Project map: the stories, sections and details in folders; a worksheet at the root
    // (its item has its database's GUID).
    const API_Guid projectRoot = docs.Root(API_ProjectMap);
    docs.FindMutable(projectRoot)->name = GS::Utf8ToUtf16(project.name);
    const API_Guid storiesFolder = docs.AddItem(projectRoot, Item(Fixed(2, 1), u"Stories", API_FolderNavItem));
    UInt16 n = 10;
    for (const Story& s : project.Stories().stories)
        docs.AddItem(storiesFolder, Item(Fixed(2, n++), GS::Utf8ToUtf16(std::to_string(s.index) + ". ") + s.name,
                                         API_StoryNavItem, floorPlan, s.index));
    const API_Guid sections = docs.AddItem(projectRoot, Item(Fixed(2, 2), u"Sections", API_FolderNavItem));
    docs.AddItem(sections, Item(Fixed(2, 3), u"S-01 Longitudinal Section", API_SectionNavItem, section));
    const API_Guid details = docs.AddItem(projectRoot, Item(Fixed(2, 4), u"Details", API_FolderNavItem));
    docs.AddItem(details, Item(Fixed(2, 5), u"D-01 Eaves Detail", API_DetailNavItem, detail));
    docs.AddItem(projectRoot, Item(worksheet, u"WS-01 Site Survey Notes", API_WorksheetNavItem, worksheet));

    // View Map: a saved plan view per story, a nested presentation folder and a section view.
    const API_Guid viewRoot = docs.Root(API_PublicViewMap);
    const API_Guid plans = docs.AddItem(viewRoot, Item(Fixed(3, 1), u"Plans", API_FolderNavItem));
    n = 10;
    int number = 1;
    for (const Story& s : project.Stories().stories) {
        const API_Guid view =
            docs.AddItem(plans, Item(Fixed(3, n++), Numbered(number++, s.name), API_StoryNavItem, floorPlan, s.index));
        if (docs.currentView == APINULLGuid && s.index == project.Stories().current) docs.currentView = view;
    }
    const API_Guid presentation = docs.AddItem(viewRoot, Item(Fixed(3, 2), u"Presentation", API_FolderNavItem));
    const API_Guid client = docs.AddItem(presentation, Item(Fixed(3, 3), u"Client", API_FolderNavItem));
    docs.AddItem(client, Item(Fixed(3, 4), u"Client - Ground Floor", API_StoryNavItem, floorPlan, 0));
    docs.AddItem(viewRoot, Item(Fixed(3, 5), u"S-01 Longitudinal Section", API_SectionNavItem, section));

    // Publisher sets write into the temporary folder unless the caller names another.
    std::error_code ignored;
    const std::string folder = std::filesystem::temp_directory_path(ignored).string();
    docs.AddPublisherSet("Plans - PDF", folder, 0, Fixed(5, 1));
    docs.AddPublisherSet("Client Presentation", folder, 0, Fixed(5, 2));
    docs.AddPublisherSet("Upper Floors - PDF", folder,
                         project.Stories().stories.empty() ? 0 : project.Stories().stories.back().index, Fixed(5, 3));

    const char16_t* combinations[] = {u"Structural Analysis", u"Renovation - Existing", u"Fire Compartments",
                                      u"Client Presentation"};
    UInt16 rule = 100;
    for (UInt16 i = 0; i < 4; ++i) {
        OverrideCombination c{Fixed(4, UInt16(i + 1)), combinations[i], {}};
        for (UInt16 r = 0; r <= i % 3; ++r) c.rules.push_back(Fixed(4, rule++));
        docs.overrides.push_back(c);
    }
}

}  // namespace HostInternal
