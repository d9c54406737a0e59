#pragma once

// Graphic override combinations: named sets of override rules kept per project.

#include "GSRoot.hpp"

struct API_OverrideCombination {
    API_Guid guid;
    GS::UniString name;
};
