// The template family: capture the project as a template, capture one element in depth, and
// list, read and place stored templates. Only tools that work are registered; each tool
// registers itself from its own file (TemplateTools.hpp), in the catalogue's order.
#include "core/ToolRegistry.hpp"
#include "tools/TemplateTools.hpp"
#include "tools/ToolFamilies.hpp"

void RegisterTemplateTools(ToolRegistry& registry)
{
    RegisterCaptureProjectTemplate(registry);
    RegisterCaptureElementDetail(registry);
    // list_templates, get_template_layout and apply_template_exact join here, in that order,
    // through RegisterTemplateApplyTools (TemplateApplyTools.cpp) when they are built.
}
