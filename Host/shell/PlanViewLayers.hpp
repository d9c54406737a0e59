#pragma once

// Which layers the plan view leaves out: the host draws nothing that sits on a hidden layer.
// Read from the layer table once per drawing, on the main thread.

#include <string>
#include <vector>

#include "GSRoot.hpp"

namespace PlanViewLayers {

// Reads the hidden flags of every layer afresh.
void Refresh();
// False for a layer that was hidden at the last Refresh.
bool Shows(Int32 layer);
// Names of the hidden layers, in index order (read now).
std::vector<std::string> HiddenNames();

}  // namespace PlanViewLayers
