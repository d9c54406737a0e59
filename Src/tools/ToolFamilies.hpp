#pragma once

class ToolRegistry;

// One registration function per tool family, called by ToolRegistry in a fixed order.
