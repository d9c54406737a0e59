// The six editing tools as the language model is offered them, byte for byte after parsing.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/ToolRegistry.hpp"

using json = nlohmann::json;

TEST(ModifyCatalog, OffersTheSixToolsWithTheirDescriptionsAndSchemas)
{
    const json expected = json::parse(R"json([
{"name": "modify_element",
 "description": "Modify properties of an existing element (height, thickness, position, layer, etc.). Provide only the properties you want to change.",
 "input_schema": {"type": "object", "required": ["element_guid"], "properties": {
  "element_guid": {"type": "string", "description": "GUID of the element to modify"},
  "height": {"type": "number", "description": "New height (walls, columns)"},
  "thickness": {"type": "number", "description": "New thickness (walls, slabs, roofs)"},
  "start_x": {"type": "number", "description": "New start X (walls, beams)"},
  "start_y": {"type": "number", "description": "New start Y (walls, beams)"},
  "end_x": {"type": "number", "description": "New end X (walls, beams)"},
  "end_y": {"type": "number", "description": "New end Y (walls, beams)"},
  "x": {"type": "number", "description": "New X position (columns, objects)"},
  "y": {"type": "number", "description": "New Y position (columns, objects)"},
  "rotation": {"type": "number", "description": "New rotation angle in degrees (objects)"},
  "elevation": {"type": "number", "description": "New elevation/level (slabs)"},
  "layer": {"type": "integer", "description": "New layer attribute index"},
  "story": {"type": "integer", "description": "New story index"}}}},
{"name": "move_element", "description": "Move an element by a dx/dy offset (metres).",
 "input_schema": {"type": "object", "required": ["element_guid", "dx", "dy"], "properties": {
  "element_guid": {"type": "string", "description": "GUID of the element to move"},
  "dx": {"type": "number", "description": "Horizontal offset X (metres)"},
  "dy": {"type": "number", "description": "Horizontal offset Y (metres)"}}}},
{"name": "copy_element", "description": "Duplicate an element with an optional dx/dy offset.",
 "input_schema": {"type": "object", "required": ["element_guid"], "properties": {
  "element_guid": {"type": "string", "description": "GUID of the element to copy"},
  "dx": {"type": "number", "description": "Copy offset X (metres, default 0)"},
  "dy": {"type": "number", "description": "Copy offset Y (metres, default 0)"}}}},
{"name": "rotate_element", "description": "Rotate an element around a given centre point.",
 "input_schema": {"type": "object", "required": ["element_guid", "center_x", "center_y", "angle"], "properties": {
  "element_guid": {"type": "string", "description": "GUID of the element to rotate"},
  "center_x": {"type": "number", "description": "Rotation centre X (metres)"},
  "center_y": {"type": "number", "description": "Rotation centre Y (metres)"},
  "angle": {"type": "number", "description": "Rotation angle in degrees (counter-clockwise)"}}}},
{"name": "mirror_element", "description": "Mirror an element across a line defined by two points.",
 "input_schema": {"type": "object", "required": ["element_guid", "axis_x1", "axis_y1", "axis_x2", "axis_y2"], "properties": {
  "element_guid": {"type": "string", "description": "GUID of the element to mirror"},
  "axis_x1": {"type": "number", "description": "Mirror axis start X (metres)"},
  "axis_y1": {"type": "number", "description": "Mirror axis start Y (metres)"},
  "axis_x2": {"type": "number", "description": "Mirror axis end X (metres)"},
  "axis_y2": {"type": "number", "description": "Mirror axis end Y (metres)"},
  "keep_original": {"type": "boolean", "description": "Keep the original element (default false)"}}}},
{"name": "group_elements", "description": "Group multiple elements together, or ungroup an existing group.",
 "input_schema": {"type": "object", "required": ["element_guids"], "properties": {
  "element_guids": {"type": "array", "items": {"type": "string"}, "description": "Array of element GUID strings to group"},
  "ungroup": {"type": "boolean", "description": "If true, ungroup instead of group (default false)"}}}}
])json");

    ToolRegistry registry;
    json offered = json::array();
    for (const json& tool : expected)
        for (const json& entry : registry.GetToolDefinitions())
            if (entry.at("name") == tool.at("name"))
                offered.push_back(entry);
    EXPECT_EQ(offered, expected);
}
