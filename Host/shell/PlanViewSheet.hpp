#pragma once

// What sheet the host window shows: the worksheet open in the host, holding only the drafting
// drawn in it (nothing when none was), or else the floor plan with everything else.

#include <optional>
#include <string>

#include "ACAPinc.h"

namespace PlanViewSheet {

struct Shown {
    Shown();  // reads the host's current database; main thread

    // Whether the element is drawn on a plan of the story asked for (none: every story). A
    // worksheet has no stories: its own drafting is drawn whatever story is asked for.
    bool Includes(const API_Element& element, std::optional<Int16> story) const;

    API_Guid worksheet = APINULLGuid;  // null: the floor plan
    std::string name;                  // the worksheet's
};

}  // namespace PlanViewSheet
