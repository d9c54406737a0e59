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
    // Only drafting is looked up: a plan reads a hundred thousand model elements.
    const Int32 type = element.header.type.typeID;
    const API_Guid sheet = HostTesting::IsDrafting(type) ? HostTesting::SheetOf(element.header.guid) : APINULLGuid;
    if (worksheet != APINULLGuid) return sheet == worksheet;
    return sheet == APINULLGuid && (!story || element.header.floorInd == *story);
}

}  // namespace PlanViewSheet
