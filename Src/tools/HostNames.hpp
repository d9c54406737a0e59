#pragma once

// Names across the host boundary: host strings out as UTF-8 (character code 0), and input
// text into the host's fixed UTF-16 name fields.

#include <string>

#include "ACAPinc.h"

// The whole string in the host's default character code, up to its first NUL.
std::string HostNameText(const GS::UniString& name);

// Copies text into a UTF-16 field of capacity units: cut to fit without splitting a surrogate
// pair, always terminated, so an over-long name can never write past the host's record.
void CopyNameToField(GS::uchar_t* field, size_t capacity, const std::string& text);
