#pragma once

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

// Thrown when a tool input cannot be used; the registry turns it into a failed result
// carrying what() before the handler has made any host call.
class ToolInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads an integer input the way input.value(key, defaultValue) read as int would
// (a floating value cut toward zero, booleans as 0 and 1, the JSON library's type error
// for strings, arrays, objects and null), except that a number outside the 32-bit range
// throws ToolInputError instead of converting with undefined behaviour.
int IntInput(const nlohmann::json& input, const std::string& key, int defaultValue);

// The same check for a value already taken out of the input (an array element, say).
int IntValue(const nlohmann::json& value, const std::string& what);
