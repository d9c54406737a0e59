#pragma once

// Names in the fixed fields of host records: read within the field's width (a caller that
// filled every unit leaves no terminator), written cut to the field without splitting a
// character and always terminated.

#include <string>

#include "GSRoot.hpp"

namespace HostInternal {

template <typename Unit, size_t N>
std::basic_string<Unit> NameField(const Unit (&field)[N])
{
    size_t n = 0;
    while (n < N && field[n] != 0) ++n;
    return std::basic_string<Unit>(field, n);
}

// Copies at most capacity - 1 bytes of UTF-8, never half a character, and terminates.
inline void CopyUtf8Name(char* dst, size_t capacity, const std::string& name)
{
    if (capacity == 0) return;
    size_t n = std::min(name.size(), capacity - 1);
    // Step back over continuation bytes to the start of the cut character.
    if (n < name.size())
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    name.copy(dst, n);
    dst[n] = '\0';
}

}  // namespace HostInternal
