// The assistant's tool families, registered in one fixed order, and the palette's own families.
// Adding a family adds its call here (and its declaration in ToolFamilies.hpp); the registry in
// core never names one.
#include <utility>

#include "core/ToolRegistry.hpp"
#include "tools/ToolFamilies.hpp"

void ToolRegistry::RegisterAll()
{
    // The order is fixed because a later family's tool replaces an earlier one of the same
    // name.
    RegisterElementTools(*this);
    RegisterOpeningTools(*this);
    RegisterDrawing2DTools(*this);
    RegisterObjectTools(*this);
    RegisterQueryTools(*this);
    RegisterModifyTools(*this);
    RegisterDeleteTools(*this);
    RegisterAttributeTools(*this);
    RegisterStoryTools(*this);
    RegisterViewTools(*this);
    RegisterSelectionTools(*this);
    RegisterPropertyTools(*this);
    RegisterExportTools(*this);
    RegisterTemplateTools(*this);
    RegisterTypologyTools(*this);
    RegisterPhaseTools(*this);
}

void RegisterPaletteFamilies(ToolRegistry& registry, ChatPreview onRenderPreview, ChatPreview onPlanPreview,
                             const ChatToolResult& onToolResult, ModelBridge& bridge)
{
    RegisterRenderTools(registry, std::move(onRenderPreview), onToolResult);
    RegisterPlanTools(registry, std::move(onPlanPreview), onToolResult, bridge);
}
