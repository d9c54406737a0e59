#pragma once

class ToolRegistry;

// One registration function per tool family (one source file each), called once by
// ToolRegistry::RegisterAll (tools/RegisterAll.cpp) in this fixed order:
//   element, opening, drawing 2D, object, query, modify, delete, attribute, story, view,
//   selection, property, export, template, typology, phase.
// A family that lands takes its place in that order, here and in RegisterAll, even when
// families after it already exist. (The plan and render families are registered by the
// chat palette on the finished registry, not here.)

void RegisterElementTools(ToolRegistry& registry);
void RegisterOpeningTools(ToolRegistry& registry);
void RegisterObjectTools(ToolRegistry& registry);
void RegisterModifyTools(ToolRegistry& registry);
void RegisterDeleteTools(ToolRegistry& registry);
void RegisterAttributeTools(ToolRegistry& registry);
