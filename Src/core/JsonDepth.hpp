#pragma once

// How deep a parsed JSON value nests. The JSON library parses and destroys without
// recursion, but copying, comparing and writing a value recurse once per level: a service
// reply or page message nested thousands of levels deep would overflow the stack of the
// thread that touches it. Such input is refused right after parsing, with this check, which
// itself keeps its own stack on the heap. ParseOutsideJson does both: it is the one way text
// from outside (service and storage replies, model replies, page messages, settings) is read.

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

// Deeper than any tool input, reply or page message we read (a reply's tool input holding
// a list of points is about six levels down), far below what any stack can bear.
constexpr std::size_t kMaxJsonDepth = 32;

// True when value has arrays or objects nested more than limit levels (a scalar is level 0,
// [] and {} are level 1).
bool JsonNestsDeeperThan(const nlohmann::json& value, std::size_t limit = kMaxJsonDepth);

// text as one JSON value, or a discarded value when it is not JSON (comments included) or
// nests deeper than kMaxJsonDepth; tooDeep, when given, tells the two apart. Never throws.
nlohmann::json ParseOutsideJson(const std::string& text, bool* tooDeep = nullptr);
