#pragma once

// What the inspection tools say about one element: where it is (its shape and the database it
// is drawn in, also what the filters test) and its compact summary. A reader lives for one tool
// call and asks the host for each layer, library part or database name once, however many
// elements carry it.

#include <optional>
#include <string>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"

#include "tools/BBox.hpp"

// An element's place in plan. Fields that do not apply stay unset (length and area below 0).
struct ElementShape {
    BBox extent;  // empty when the element has no readable geometry
    std::optional<API_Coord> start;
    std::optional<API_Coord> end;
    std::optional<API_Coord> position;
    double length = -1.0;  // walls, beams, lines, polylines
    double area = -1.0;    // slabs, roofs, zones, fills
    API_Guid hostWall = APINULLGuid;
    std::string text;  // a text element's content
};

// The database an element is drawn in.
struct DrawnIn {
    API_DatabaseTypeID type;  // APIWind_FloorPlanID for every model element
    const std::string* name;  // UTF-8, lives as long as the reader; "" for a model element
};

class ElementReader {
public:
    // "" for an index of 0 or less; the host's fallback text when it cannot read the name.
    const std::string& LayerName(Int32 layer);
    const std::string& LibraryPartName(Int32 libInd);
    // Where the element is drawn: the host is asked only about drafting kinds, the only ones a
    // worksheet holds; model elements are on the floor plan. Nothing when the host cannot tell.
    std::optional<DrawnIn> Database(const API_Element& element);

    // Reads the memo only for the types whose place lives there (polygons, text, dimensions)
    // and an opening's wall for its position.
    ElementShape Shape(const API_Element& element);

    // GUID, type word, story, layer name and, where they apply: the worksheet it is drawn in,
    // start and end, position (and host wall), extent and area, zone name, library part name,
    // the first 80 characters of a text. Nothing when the host cannot tell where the element is
    // drawn: it is left out, like an element the host cannot read.
    std::optional<nlohmann::json> Summary(const API_Element& element, const ElementShape& shape);
    std::optional<nlohmann::json> Summary(const API_Element& element) { return Summary(element, Shape(element)); }

private:
    std::unordered_map<Int32, std::string> layers_;
    std::unordered_map<Int32, std::string> parts_;
    std::unordered_map<API_Guid, std::string> databases_;  // names by database
};

// The name of a zone as UTF-8 (its record field, read within the field).
std::string ZoneName(const API_ZoneType& zone);
// The library part index of an element that has one, else 0.
Int32 LibraryPartOf(const API_Element& element);
