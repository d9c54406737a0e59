#include "WindowDocumentation.hpp"

#include "HostTesting.hpp"
#include "HostTestingNavigator.hpp"

namespace {

const char* Kind(Int32 type)
{
    switch (type) {
    case APIWind_FloorPlanID: return "Floor plan";
    case APIWind_SectionID: return "Section";
    case APIWind_DetailID: return "Detail";
    case APIWind_LayoutID: return "Layout";
    case APIWind_WorksheetID: return "Worksheet";
    default: return "Database";
    }
}

std::string Text(const API_Guid& guid) { return APIGuid2GSGuid(guid).ToString(); }

}  // namespace

nlohmann::json WindowDocumentation::State()
{
    nlohmann::json state = {{"database", nullptr}, {"view", nullptr}};
    const API_Guid current = HostTesting::CurrentDatabase();
    for (const HostTesting::DatabaseFixture& d : HostTesting::Databases()) {
        if (d.id != current) continue;
        state["database"] = {{"guid", Text(d.id)}, {"name", d.name}, {"type", d.type}, {"kind", Kind(d.type)}};
    }
    HostTesting::NavigatorItemInfo view;
    if (HostTesting::CurrentView() != APINULLGuid && HostTesting::GetNavigatorItem(HostTesting::CurrentView(), &view))
        state["view"] = {{"guid", Text(view.guid)}, {"name", view.name}};
    return state;
}
