#pragma once

// JSON as it leaves the add-on for the model, the page and the conversation file: compact,
// non-ASCII as it is, and the bad bytes of a text that is not valid UTF-8 (a name the model
// chose or a module brought in, read back from the project; text the user pasted) replaced,
// so that writing a value never throws. Any JSON type (an insertion-ordered one too).

#include <string>

template <typename Json>
std::string CompactJson(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}
