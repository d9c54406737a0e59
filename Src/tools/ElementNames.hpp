#pragma once

// The names and words that describe an element wherever the assistant shows one (a summary,
// the details, a deep capture): its attributes' and library part's names as the project holds
// them, and the words for its structure and wall geometry.

#include <string>

#include "ACAPinc.h"

// The attribute's name; "" for an index of 0 or less (no host call); "(index:<n>)" when the
// host cannot read it.
std::string ResolveAttrName(API_AttrTypeID type, int index);
// The library part's name; "" for an index of 0 or less (no host call); "(libInd:<n>)" when
// the host cannot read it.
std::string ResolveLibPartName(int libInd);

// Words for a construction element's structure type and a wall's geometry type.
const char* StructureWord(Int32 structure);
const char* WallTypeWord(Int32 type);
