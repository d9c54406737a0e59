#pragma once

// How the host draws what 'PUBL' publishes. The pages are pictures of the host's window (the
// plan view), and the window belongs to the host application (Host/shell, with cairo), so the
// application hands the host a painter when it starts; the shell's PlanViewPdf::Install does.
// Without a painter 'PUBL' answers APIERR_NOTSUPPORTED.

#include <functional>
#include <string>
#include <vector>

#include "ACAPinc.h"

namespace HostPublishing {

struct Page {
    std::string title;  // UTF-8: the set's name
    Int16 story = 0;    // the plan the page shows
};

// Writes the pages as one PDF file at path (a temporary name the host renames afterwards);
// 0 or a host error code. Runs on the main thread, inside 'PUBL'.
using PdfPainter = std::function<GSErrCode(const std::vector<Page>& pages, const std::string& path)>;

// Installs the painter (an empty function removes it).
void SetPdfPainter(PdfPainter painter);
bool HasPdfPainter();
PdfPainter CurrentPdfPainter();

}  // namespace HostPublishing
