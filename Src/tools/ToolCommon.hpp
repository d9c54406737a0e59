#pragma once

// The schema-entry helper of the families not yet declared through the tool kit.

#include <string>

#include <nlohmann/json.hpp>

#include "tools/ToolKit.hpp"

// One entry of a tool's input schema "properties".
inline nlohmann::json Property(const char* type, const std::string& description)
{
    return nlohmann::json {{"type", type}, {"description", description}};
}
