#pragma once

// Stand-in for the platform's window list and window capture, as far as the add-on uses them:
// the application's main and key window, and the picture of one window as PNG bytes. Main
// thread only, like every host call.

#include <string>

#include "GSRoot.hpp"

using CGWindowID = UInt32;

namespace HostWindow {

// The window number of the application's main window, and of its key window; 0 when there is
// no such window.
CGWindowID MainWindowNumber();
CGWindowID KeyWindowNumber();

// The window's picture at its own size, without frame effects such as its shadow, encoded as
// PNG (the one-window list capture followed by the bitmap encoder). Empty when there is no such
// window, when the capture gives no image or when the encoder gives no data.
std::string CaptureWindowPng(CGWindowID window);

}  // namespace HostWindow
