#pragma once

// Cutting text to a size without splitting a character: a name or a result cut inside a UTF-8
// sequence would no longer be valid text, which a strict JSON writer refuses and the others
// show with a replacement character.

#include <cstddef>
#include <limits>
#include <string>

// The length of the longest prefix of text that holds at most maxBytes bytes and at most
// maxCharacters characters and ends between two characters. A character is any byte with the
// continuation bytes after it, three at most; lead bytes are not decoded, so damaged text (a
// stray continuation byte, a lead byte with too few or too many of them) is still cut within
// four bytes of the limit.
std::size_t Utf8CutLength(const std::string& text, std::size_t maxBytes,
                          std::size_t maxCharacters = std::numeric_limits<std::size_t>::max());
