#pragma once

// The hidden layers as the host window reports them: when the set changes, the window draws
// its plan again at once (the plan view itself leaves out what sits on a hidden layer).

#include <string>
#include <vector>

namespace PlanViewLayers {

// Names of the hidden layers, in index order. Main thread.
std::vector<std::string> HiddenNames();

}  // namespace PlanViewLayers
