#pragma once

// The template summary (<safe name>.meta.json): what a captured template holds, told without
// opening its module file: stories, a census of seventeen element types, the plan box of
// walls, columns and zones, room names and bedroom/bathroom guesses from them.

#include <ctime>
#include <string>

#include <nlohmann/json.hpp>

struct TemplateSummary {
    nlohmann::json summary;  // the whole object, as written
    nlohmann::json counts;   // the census (null when no element was found)
    int totalElements = 0;
    std::size_t storiesCount = 0;
};

// The capture time in UTC, "%Y-%m-%dT%H:%M:%SZ" (fixed width, so byte order is time order).
std::string CaptureTimeText(std::time_t when);

// Reads the project through the host. input gives "description" (a non-string throws the
// JSON library's type error) and "tags" (taken only when an array). Host failures only thin
// the summary; nothing fails it.
TemplateSummary BuildTemplateSummary(const nlohmann::json& input, const std::string& templateName,
                                     const std::string& capturedAt);

// Zone-name guesses, on ASCII-lower-cased bytes: a bathroom keyword wins over a bedroom one.
enum class RoomKind { Other, Bedroom, Bathroom };
RoomKind ClassifyRoomName(const std::string& name);

// "%.1fm x %.1fm" of width and depth, always with a decimal point whatever the locale.
std::string FootprintText(double width, double depth);
