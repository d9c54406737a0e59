#pragma once

// Text across the host boundary: host strings out as UTF-8 (character code 0), input text
// into the host's fixed UTF-16 name fields, and host codes into failure texts.

#include <algorithm>
#include <string>

#include "ACAPinc.h"

#include "core/ToolRegistry.hpp"

// The whole string in the host's default character code, up to its first NUL.
std::string HostNameText(const GS::UniString& name);

// A fixed UTF-16 name field of a host record as HostNameText gives it, read up to its first
// zero and never past the field: a field filled to its end holds no terminator.
template <size_t N>
std::string FieldNameText(const GS::uchar_t (&field)[N])
{
    return HostNameText(GS::UniString(field, USize(std::find(field, field + N, GS::uchar_t(0)) - field)));
}

// Copies text into a UTF-16 field of capacity units: cut to fit without splitting a surrogate
// pair, always terminated, so an over-long name can never write past the host's record.
void CopyNameToField(GS::uchar_t* field, size_t capacity, const std::string& text);

// A failed result for a host call made outside an undo step: the operation's prefix (ending in
// " error: ") followed by the code as a signed decimal.
ToolResult HostFailure(const char* prefix, GSErrCode code);
