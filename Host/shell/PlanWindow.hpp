#pragma once

// The host's main window shows the plan view: installing it makes a capture of that window
// (the render tool's input) the current story's plan at the window's size.

namespace PlanWindow {

// Installs the plan view as the picture of the host's windows. The shell calls it at start-up;
// tests that capture the window call it too.
void Install();

}  // namespace PlanWindow
