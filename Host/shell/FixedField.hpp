#pragma once

// Text in a fixed-size field of a host record, read up to its first zero and never past the
// field: a record that came from a file may fill its field to the end with no terminator.

#include <algorithm>
#include <cstddef>
#include <string>

template <typename Unit, size_t N>
std::basic_string<Unit> FixedFieldText(const Unit (&field)[N])
{
    return std::basic_string<Unit>(field, size_t(std::find(field, field + N, Unit(0)) - field));
}
