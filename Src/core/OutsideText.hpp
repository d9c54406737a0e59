#pragma once

// Text that came from outside (a service's error body, a tool's result) made fit to show: the
// secrets the debug log hides are hidden here too, and the length is bounded, so that a server
// echoing our request headers or answering with megabytes cannot put a key or a flood into a
// tool result, the page or the conversation sent to the model.

#include <cstddef>
#include <string>

#include "core/HttpClient.hpp"

// Bytes of an error body quoted in a result.
constexpr std::size_t kMaxQuotedBytes = 300;
// The cap of one tool result: bytes of the result's JSON as the model receives it, its text
// escaped within ({"success":true,"message":"..."}). Escaping only adds bytes, so a tool
// building text may stop once it has this many: the rest would be cut anyway.
constexpr std::size_t kMaxToolResultBytes = 64 * 1024;
// Room within the cap for what surrounds a result's text: its keys and an element GUID.
constexpr std::size_t kToolResultFrameBytes = 256;

// text cut to at most maxBytes (never inside a UTF-8 sequence) followed by "..." when cut.
std::string CutText(const std::string& text, std::size_t maxBytes);

// An outside text quoted in a result: secrets redacted, cut to kMaxQuotedBytes.
std::string QuoteOutsideText(const std::string& text);

// Why a request failed, quoted as QuoteOutsideText does: the transport's error, else the
// reply's body as it came, a JSON body whole (what it echoes of our request is redacted like
// any other text).
std::string QuoteFailure(const Quillmere::HttpResponse& response);

// Bytes text takes as the content of a JSON string: quotes, backslashes and control
// characters escaped, and each byte that is not valid UTF-8 counted as the three bytes of the
// character that replaces it.
std::size_t JsonEscapedSize(const std::string& text);

// A tool result's text as it enters the conversation and the page: secrets redacted and, when
// escaped it would not fit the cap (less the frame), its start followed by a note of how much
// was cut and how to ask for the rest.
std::string BoundedResultText(const std::string& text);
