// 'PUBL' pages: one A3 landscape page per page asked for, the plan of its story drawn by the
// plan view inside a frame, with the set's name and the story in a title strip.

#include "PlanViewPdf.hpp"

#include <cerrno>

#include <cairo-pdf.h>
#include <cairo.h>
#include <fcntl.h>
#include <unistd.h>

#include "HostPublishing.hpp"
#include "HostTesting.hpp"
#include "PlanView.hpp"

namespace {

constexpr double kPageWidth = 1190.55;  // A3 landscape, points
constexpr double kPageHeight = 841.89;
constexpr double kMargin = 36.0;
constexpr double kTitleHeight = 40.0;

std::string StoryName(Int16 story)
{
    for (const HostTesting::StoryFixture& s : HostTesting::GetStories())
        if (s.index == story) return s.name;
    return "Story " + std::to_string(story);
}

void DrawTitle(cairo_t* cr, const HostPublishing::Page& page)
{
    const double top = kPageHeight - kMargin - kTitleHeight;
    cairo_set_source_rgb(cr, 0.2, 0.22, 0.25);
    cairo_set_line_width(cr, 0.8);
    cairo_rectangle(cr, kMargin, top, kPageWidth - 2 * kMargin, kTitleHeight);
    cairo_stroke(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 14);
    cairo_move_to(cr, kMargin + 12, top + 25);
    cairo_show_text(cr, page.title.c_str());
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11);
    const std::string story = StoryName(page.story);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, story.c_str(), &extents);
    cairo_move_to(cr, kPageWidth - kMargin - 12 - extents.x_advance, top + 25);
    cairo_show_text(cr, story.c_str());
}

// Every write to the PDF file is checked (a full disk fails the first one that does not fit).
cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length)
{
    const int fd = *static_cast<int*>(closure);
    for (unsigned int done = 0; done < length;) {
        const ssize_t n = ::write(fd, data + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return CAIRO_STATUS_WRITE_ERROR;
        done += static_cast<unsigned int>(n);
    }
    return CAIRO_STATUS_SUCCESS;
}

GSErrCode PaintPdf(const std::vector<HostPublishing::Page>& pages, const std::string& path)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return APIERR_GENERAL;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(WriteToFile, &fd, kPageWidth, kPageHeight);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        ::close(fd);
        return APIERR_GENERAL;
    }
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "Quillmere host");
    cairo_t* cr = cairo_create(surface);
    for (const HostPublishing::Page& page : pages) {
        const double planWidth = kPageWidth - 2 * kMargin;
        const double planHeight = kPageHeight - 2 * kMargin - kTitleHeight - 8;
        cairo_save(cr);
        cairo_translate(cr, kMargin, kMargin);
        cairo_rectangle(cr, 0, 0, planWidth, planHeight);
        cairo_clip(cr);
        PlanView::Draw(cr, int(planWidth), int(planHeight), page.story);
        cairo_restore(cr);
        DrawTitle(cr, page);
        cairo_show_page(cr);
    }
    const cairo_status_t drawn = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const cairo_status_t written = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    const bool stored = ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    return drawn == CAIRO_STATUS_SUCCESS && written == CAIRO_STATUS_SUCCESS && stored && closed ? NoError
                                                                                                : APIERR_GENERAL;
}

}  // namespace

void PlanViewPdf::Install() { HostPublishing::SetPdfPainter(PaintPdf); }
