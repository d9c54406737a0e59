#pragma once

// Text across the host boundary: host strings out as UTF-8 (character code 0), input text
// into the host's fixed UTF-16 name fields, and host codes into failure texts.

#include <string>

#include "ACAPinc.h"

#include "core/ToolRegistry.hpp"

// The whole string in the host's default character code, up to its first NUL.
std::string HostNameText(const GS::UniString& name);

// Copies text into a UTF-16 field of capacity units: cut to fit without splitting a surrogate
// pair, always terminated, so an over-long name can never write past the host's record.
void CopyNameToField(GS::uchar_t* field, size_t capacity, const std::string& text);

// A failed result for a host call made outside an undo step: the operation's prefix (ending in
// " error: ") followed by the code as a signed decimal.
ToolResult HostFailure(const char* prefix, GSErrCode code);
