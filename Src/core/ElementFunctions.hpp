#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ACAPinc.h"

// The host's canonical text form of a GUID; tools parse the same form back with GS::Guid.
std::string GuidToStr(const API_Guid& guid);

// Fills memo with a polygon (coordinates numbered from 1; closed repeats the first point).
// Frees the memo's old coordinate, contour-end and arc handles first. False when an
// allocation failed; what was allocated stays in the memo for the caller to dispose.
bool BuildPolygonMemo(API_ElementMemo& memo, const std::vector<std::pair<double, double>>& points, bool closed);
