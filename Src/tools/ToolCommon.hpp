#pragma once

// Small pieces the tool families share, so that every family writes its schemas, angles and
// stories the same way.

#include <string>

#include <nlohmann/json.hpp>

// Degrees to the host's radians: one factor everywhere, so that an angle written by one tool
// reads back identically through another.
constexpr double kDegreesToRadians = 0.017453292519943278;

// Only the low 16 bits of a story input reach the element header.
inline short StoryBits(int story)
{
    return static_cast<short>(static_cast<unsigned short>(story & 0xFFFF));
}

// One entry of a tool's input schema "properties".
inline nlohmann::json Property(const char* type, const std::string& description)
{
    return nlohmann::json {{"type", type}, {"description", description}};
}
