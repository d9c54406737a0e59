#pragma once

#include <string>

// The emulated host's main window as a web page: a menu bar with the add-on's menu, a plan
// view of the project and, beside it, the add-on's palette when it is shown.
std::string BuildHostWindowPage(const std::string& token);

// The three parts the page is assembled from: resources/window.html, window.css and window.js
// beside this header, embedded by the build.
const char* HostWindowMarkup();  // the body's markup
const char* HostWindowStyle();   // the style sheet
const char* HostWindowScript();  // the window logic; __TOKEN__ stands for the run's token
