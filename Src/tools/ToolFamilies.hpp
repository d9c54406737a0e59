#pragma once

class ToolRegistry;

// One registration function per tool family, called by ToolRegistry::RegisterAll in a fixed
// order. Each family's branch declares its function here as it is built.
