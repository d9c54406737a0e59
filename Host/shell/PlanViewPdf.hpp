#pragma once

// Publishing through the host's window: the painter that draws 'PUBL' pages with the plan
// view onto cairo's PDF surface. The host application installs it at start; tests that
// publish install it too.

namespace PlanViewPdf {

// Makes this painter the host's PDF painter (HostPublishing::SetPdfPainter).
void Install();

}  // namespace PlanViewPdf
