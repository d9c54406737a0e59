#pragma once

#include <string>

// The emulated host's main window as a web page: a menu bar with the add-on's menu, a plan
// view of the project and, beside it, the add-on's palette when it is shown.
std::string BuildHostWindowPage(const std::string& token);
