#pragma once

// The emulated host's windows as tests and the shell set them up: which of the main and key
// window exist, their sizes, and what draws a window's picture. The shell installs the plan
// view as the picture at start-up; tests install it (or a picture of their own) the same way.
// Refusals of the capture steps are injected like any host failure, by function name:
// "NSApp mainWindow", "NSApp keyWindow", "CGWindowListCreateImage" and
// "NSBitmapImageRep representationUsingType".

#include <functional>
#include <optional>
#include <vector>

#include "HostWindow.hpp"

namespace HostTesting {

// Draws a window's picture as PNG bytes at the given size; empty bytes mean no image.
using WindowPicture = std::function<std::vector<unsigned char>(int width, int height)>;

// Replaces what draws every window; an empty function leaves windows without a picture.
void InstallWindowPicture(WindowPicture picture);

struct WindowSize {
    int width;
    int height;
};
// The main window (number 1) and the key window (number 2); no value: no such window.
void SetMainWindow(std::optional<WindowSize> size);
void SetKeyWindow(std::optional<WindowSize> size);

// Both windows back to the start: a 1200 x 800 main window and a 420 x 720 key window (the
// palette). The installed picture stays.
void ResetWindows();

constexpr CGWindowID kMainWindowNumber = 1;
constexpr CGWindowID kKeyWindowNumber = 2;

}  // namespace HostTesting
