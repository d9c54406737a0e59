#pragma once

// The host's working extent: no point of an element lies farther than kWorkingExtent metres
// from the project origin along either axis, and no size, level or offset is larger. Beyond
// it the host's geometry loses its precision and its plan its drawing, so the host refuses
// such values (and any that are not finite) wherever an element is created, changed or
// edited: CheckElement calls CheckWorkingExtent first, for every type.

#include "project/StoredMemo.hpp"

namespace HostInternal {

constexpr double kWorkingExtent = 100000.0;  // 100 km

// Finite and within the extent.
bool WithinWorkingExtent(double value);
bool WithinWorkingExtent(const API_Coord& point);

// Every point, size, level and offset of the record and its memo lies within the extent.
// NoError or APIERR_BADPARS.
GSErrCode CheckWorkingExtent(const API_Element& elem, const StoredMemo& memo);

}  // namespace HostInternal
