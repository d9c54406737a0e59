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

// Whether a handle of count records of recordSize bytes has a byte size the host's 32-bit
// handle sizes can hold. Larger lists are refused before anything is allocated, never
// allocated short.
bool FitsHandleSize(std::size_t count, std::size_t recordSize);
