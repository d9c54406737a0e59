// The template family: capture the project as a template, capture one element in depth, and
// list, read and place stored templates. Only tools that work are registered; each tool
// registers itself from its own file (TemplateTools.hpp), in the catalogue's order.
#include "tools/library/TemplateTools.hpp"
#include "core/ToolRegistry.hpp"
#include "tools/ToolFamilies.hpp"

void RegisterTemplateTools(ToolRegistry& registry)
{
    RegisterCaptureProjectTemplate(registry);
    RegisterCaptureElementDetail(registry);
    RegisterTemplateApplyTools(registry);
}
