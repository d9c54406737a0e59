#pragma once

// What the host window's title bar shows of the documentation: the current database (its
// type and name) and the saved view opened last.

#include <nlohmann/json.hpp>

namespace WindowDocumentation {

// {"database": {"guid", "name", "type", "kind"} or null, "view": {"guid", "name"} or null}.
// Main thread.
nlohmann::json State();

}  // namespace WindowDocumentation
