#pragma once

class ToolRegistry;

// One registration function per tool family, called by ToolRegistry::RegisterAll in a fixed
// order.

void RegisterElementTools(ToolRegistry& registry);
void RegisterOpeningTools(ToolRegistry& registry);
void RegisterObjectTools(ToolRegistry& registry);
void RegisterModifyTools(ToolRegistry& registry);
void RegisterDeleteTools(ToolRegistry& registry);
void RegisterStoryTools(ToolRegistry& registry);
void RegisterPhaseTools(ToolRegistry& registry);
