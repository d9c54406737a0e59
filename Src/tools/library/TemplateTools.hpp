#pragma once

// The template family's tools, one registration function each, called in catalogue order by
// RegisterTemplateTools (TemplateTools.cpp). Each lives in its own source file:
//   capture_project_template                       TemplateCapture.cpp
//   capture_element_detail                         DeepCapture.cpp (its writers in
//                                                  DeepCapture*.cpp)
//   list_templates, get_template_layout,
//   apply_template_exact                           TemplateApplyTools.cpp

class ToolRegistry;

void RegisterCaptureProjectTemplate(ToolRegistry& registry);
void RegisterCaptureElementDetail(ToolRegistry& registry);
void RegisterTemplateApplyTools(ToolRegistry& registry);
