#include "PlanViewSheet.hpp"

#include "HostTesting.hpp"
#include "HostTestingNavigator.hpp"

namespace PlanViewSheet {

Shown::Shown()
{
    const API_Guid current = HostTesting::CurrentDatabase();
    for (const HostTesting::DatabaseFixture& database : HostTesting::Databases()) {
        if (database.id != current || database.type != APIWind_WorksheetID) continue;
        worksheet = database.id;
        name = database.name;
    }
}

bool Shown::Includes(const API_Element& element, std::optional<Int16> story) const
{
    const API_Guid sheet = HostTesting::SheetOf(element.header.guid);
    if (worksheet != APINULLGuid) return sheet == worksheet;
    return sheet == APINULLGuid && (!story || element.header.floorInd == *story);
}

}  // namespace PlanViewSheet
