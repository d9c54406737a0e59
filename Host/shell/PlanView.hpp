#pragma once

// The host's main window: a plan view of one story of the open project. The shell shows it
// beside the palette; the same picture is what a capture of the host's window returns.

#include <string>
#include <vector>

#include "GSRoot.hpp"

namespace PlanView {

struct Options {
    int width = 1200;
    int height = 800;
    Int16 story = 0;
};

// Draws the story as PNG bytes. Main thread (it reads the project through the host API).
// Sizes are clamped to 64..4096 pixels.
std::vector<unsigned char> RenderPng(const Options& options);

// What capturing the host's main window gives: the current story's plan at the window's
// size, as PNG. Main thread.
std::vector<unsigned char> CaptureMainWindowPng();

}  // namespace PlanView
