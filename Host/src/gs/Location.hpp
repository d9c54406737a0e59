#pragma once

#include "GSRoot.hpp"

namespace HostInternal {

Int64 LiveLocationCount();

}  // namespace HostInternal
