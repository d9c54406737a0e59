#pragma once

// Percent-encoding as URLs carry text: an id sent as one path segment or query value, and a key
// a server may echo back encoded (which the log's redaction must recognise).

#include <string>

// text with the unreserved characters (A-Z a-z 0-9 - . _ ~) unchanged and every other byte as
// %XX (upper-case hex); with everyByte, every byte as %XX. Ordinary ids come out as they went in.
std::string PercentEncoded(const std::string& text, bool everyByte = false);
