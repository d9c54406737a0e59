#pragma once

// Text that came from outside (a service's error body, a tool's result) made fit to show: the
// secrets the debug log hides are hidden here too, and the length is bounded, so that a server
// echoing our request headers or answering with megabytes cannot put a key or a flood into a
// tool result, the page or the conversation sent to the model.

#include <cstddef>
#include <string>

// Bytes of an error body quoted in a result.
constexpr std::size_t kMaxQuotedBytes = 300;
// Bytes of one tool result kept in the conversation and shown on the page.
constexpr std::size_t kMaxToolResultBytes = 256 * 1024;

// text cut to at most maxBytes (never inside a UTF-8 sequence) followed by "..." when cut.
std::string CutText(const std::string& text, std::size_t maxBytes);

// An outside text quoted in a result: secrets redacted, cut to kMaxQuotedBytes.
std::string QuoteOutsideText(const std::string& text);

// A tool result's text as it enters the conversation and the page: secrets redacted and, past
// kMaxToolResultBytes, its start followed by a note of how much was cut.
std::string BoundedResultText(const std::string& text);
