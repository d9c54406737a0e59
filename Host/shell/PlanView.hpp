#pragma once

// The host's main window: a plan view of one story of the open project. The shell shows it
// beside the palette; the same picture is what a capture of the host's window returns.

#include <memory>
#include <string>
#include <vector>

#include "GSRoot.hpp"

namespace PlanGeometry {
struct Mapping;  // PlanGeometry.hpp
}

typedef struct _cairo cairo_t;
struct _cairo_surface;  // cairo_surface_t

namespace PlanView {

// How the elements of one kind are drawn. ByPen: in batches of one pen (or colour), in the
// order each first appears, each batch one path filled or stroked once; a plan of many
// elements then costs a few colour changes and fills instead of one each, and its PDF page a
// fraction of the bytes. PerElement: every element on its own, in the host's order; the
// drawing the batched one is checked against.
enum class Batching { ByPen, PerElement };

struct Options {
    int width = 1200;
    int height = 800;
    Int16 story = 0;
    Batching batching = Batching::ByPen;
};

// Draws the story as PNG bytes. Main thread (it reads the project through the host API).
// Sizes are clamped to 64..4096 pixels.
std::vector<unsigned char> RenderPng(const Options& options);

// RenderPng in two halves, so that the main thread only draws: encoding a large picture
// takes longer than drawing it and runs on any thread. The PNG is 8-bit RGB, pixel for pixel
// the drawing (empty when it cannot be encoded).
using Drawing = std::shared_ptr<_cairo_surface>;
Drawing DrawImage(const Options& options);                     // main thread
std::vector<unsigned char> EncodePng(const Drawing& drawing);  // any thread

// Draws the story's plan onto any cairo surface of width x height units (pixels on screen,
// points on a PDF page). Main thread.
void Draw(cairo_t* cr, int width, int height, Int16 story, Batching batching = Batching::ByPen);

// The model-to-pixel mapping Draw uses for the story at that size (sizes clamped as RenderPng
// clamps them), so that a pixel of the picture can be traced back to the model. Main thread.
PlanGeometry::Mapping ViewOf(int width, int height, Int16 story);

// What capturing the host's main window gives: the current story's plan at the window's
// size, as PNG. Main thread.
std::vector<unsigned char> CaptureMainWindowPng();

}  // namespace PlanView
