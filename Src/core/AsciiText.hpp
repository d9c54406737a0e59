#pragma once

// Case folding for the ASCII words the protocols use (header names, schemes, host names,
// token types, model names): A-Z become a-z and every other byte stays, whatever the locale,
// so that a UTF-8 text is never changed inside a character.

#include <string>

char LowerAscii(char c);
std::string LowerAscii(std::string text);
