#pragma once

// Cutting text to a size without splitting a character: a name or a result cut inside a UTF-8
// sequence would no longer be valid text, and every JSON writer downstream would refuse it.

#include <cstddef>
#include <limits>
#include <string>

// The length of the longest prefix of text that holds at most maxBytes bytes and at most
// maxCharacters characters and ends between two characters. A byte that cannot start a
// character counts as one character of its own, so damaged text is still cut near the limit.
std::size_t Utf8CutLength(const std::string& text, std::size_t maxBytes,
                          std::size_t maxCharacters = std::numeric_limits<std::size_t>::max());
