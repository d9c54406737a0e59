#pragma once

// The words the assistant uses for element types ("wall", "zone", "fill", ...): the same word
// in a deep capture record, an element summary and a type filter; and which types are drafting.

#include <optional>
#include <string>
#include <vector>

#include "ACAPinc.h"

// The type's word, or "unknown" for a type without one.
const char* TypeWord(API_ElemTypeID type);
// The type a word names, if any (exact, lower case).
std::optional<API_ElemTypeID> TypeOfWord(const std::string& word);
// Every type that has a word, in type-number order.
const std::vector<API_ElemTypeID>& WordedTypes();
// "wall, column, ..." in the same order, for error texts.
const std::string& TypeWordList();

// Whether elements of the type are 2D drafting (dimensions, texts, labels, fills, lines, arcs,
// splines, hotspots ...), the only kinds a user may draw in a worksheet as well as on the plan.
bool IsDraftingType(API_ElemTypeID type);
