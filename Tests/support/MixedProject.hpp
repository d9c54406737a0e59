#pragma once

// A project of every element type the build-phase tools sort, in a fixed rotation, for the
// phase tests and the project-scale benchmark alike.

#include <cstddef>
#include <vector>

#include "ACAPinc.h"

namespace MixedProject {

// The rotation: a thick wall, a thin wall, then one of each other sorted type; doors and
// windows stand in the last thick wall. Unsorted types are not part of it.
const std::vector<API_ElemTypeID>& Rotation();

constexpr double kThickWall = 0.30;
constexpr double kThinWall = 0.10;

// Adds count elements (bypassing undo and the call log) and returns their GUIDs in order.
std::vector<API_Guid> Add(std::size_t count);

}  // namespace MixedProject
