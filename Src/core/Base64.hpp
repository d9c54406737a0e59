#pragma once

// Base64 as attachments (and servers echoing what they were sent) carry it: the standard alphabet (A-Z a-z 0-9 + /)
// with "=" padding. Every character outside the alphabet and "=" (line breaks, spaces, ...) is skipped first.

#include <string>

// The decoded bytes in out. False, with out empty, when what is left is not base64 (a length
// that is not a multiple of four, or "=" other than one or two at the end) or decodes to no bytes.
bool DecodeBase64(const std::string& text, std::string& out);

// bytes in that alphabet, padded with "=" to a multiple of four characters.
std::string EncodeBase64(const std::string& bytes);
