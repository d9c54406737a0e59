#pragma once

class ToolRegistry;

// One registration function per tool family (one source file each), called once by
// ToolRegistry::RegisterAll (tools/RegisterAll.cpp) in this fixed order:
//   element, opening, drawing 2D, object, query, modify, delete, attribute, story, view,
//   selection, property, export, template, typology, phase.
// (The plan and render families are registered by the chat palette on the finished registry,
// through RegisterPaletteFamilies below, not here.)

void RegisterElementTools(ToolRegistry& registry);
void RegisterOpeningTools(ToolRegistry& registry);
void RegisterDrawing2DTools(ToolRegistry& registry);
void RegisterObjectTools(ToolRegistry& registry);
void RegisterQueryTools(ToolRegistry& registry);
void RegisterModifyTools(ToolRegistry& registry);
void RegisterDeleteTools(ToolRegistry& registry);
void RegisterAttributeTools(ToolRegistry& registry);
void RegisterStoryTools(ToolRegistry& registry);
void RegisterViewTools(ToolRegistry& registry);
void RegisterSelectionTools(ToolRegistry& registry);
void RegisterPropertyTools(ToolRegistry& registry);
void RegisterExportTools(ToolRegistry& registry);
void RegisterTemplateTools(ToolRegistry& registry);
void RegisterTypologyTools(ToolRegistry& registry);
void RegisterPhaseTools(ToolRegistry& registry);

// ---- Families the chat palette registers itself, on the finished registry ----------------

#include <functional>
#include <string>

class ModelBridge;

// The palette's two UI callbacks: a preview (image address, download address) and a
// tool-result card. Called on the main thread only.
using ChatPreview = std::function<void(const std::string& imageUrl, const std::string& downloadUrl)>;
using ChatToolResult = std::function<void(const std::string& toolName, bool success, const std::string& detail)>;

// Plan recognition and layout building. The status tool keeps its own copy of onPlanPreview;
// onPlanToolResult is accepted and not kept; the upload tool reads the engine's attachments.
void RegisterPlanTools(ToolRegistry& registry, ChatPreview onPlanPreview, ChatToolResult onPlanToolResult,
                       ModelBridge& bridge);

// Rendering the host's window. The tool hands copies of both callbacks to the poll thread of
// each job, which posts its one report to the main queue.
void RegisterRenderTools(ToolRegistry& registry, ChatPreview onRenderPreview, ChatToolResult onRenderToolResult);

// The palette's own families, on the finished registry: the render family, then the plan family
// (which also reads the engine's attachments). Each family gets its own preview callback and a
// copy of the tool-result callback. Whatever registers the palette's tools calls this, so a new
// service-backed family is added here once.
void RegisterPaletteFamilies(ToolRegistry& registry, ChatPreview onRenderPreview, ChatPreview onPlanPreview,
                             const ChatToolResult& onToolResult, ModelBridge& bridge);
