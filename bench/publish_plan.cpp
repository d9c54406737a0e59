// The plan picture and publish_to_pdf of one story of 100,000 elements (walls in several pens
// with their doors and windows, slabs, columns, objects and lines), each beside its floor: one
// pass over the same elements through the host interface, reading what drawing them needs (the
// record, and the polygon of a slab), every outline in one path filled once in one colour, and
// the picture encoded or the page written. The plan picture is also drawn element by element,
// as it was before its batches.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>
#include <cairo-pdf.h>
#include <cairo.h>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "PlanView.hpp"
#include "PlanViewPdf.hpp"
#include "core/ToolRegistry.hpp"

using nlohmann::json;

namespace {

constexpr int kElements = 100000;

// The element moved by (dx, dy), its polygon with it.
API_Guid AddMoved(API_ElemTypeID type, double dx, double dy, Int32 pen)
{
    API_ElementMemo memo;
    BNClear(memo);
    API_Element e = HostTesting::MakeElement(type, &memo);
    if (memo.coords != nullptr)
        for (GSSize i = 0; i < BMGetHandleSize(memo.coords) / GSSize(sizeof(API_Coord)); ++i)
            (*memo.coords)[i].x += dx, (*memo.coords)[i].y += dy;
    switch (type) {
    case API_SlabID: e.slab.pen = Int16(pen); break;
    case API_ColumnID: e.column.origoPos = {dx, dy}, e.column.pen = Int16(pen); break;
    case API_ObjectID: e.object.pos = {dx, dy}, e.object.pen = Int16(pen); break;
    case API_LineID: e.line.begC = {dx, dy}, e.line.endC = {dx + 2.0, dy + 1.0}, e.line.pen = Int16(pen); break;
    default: break;
    }
    const API_Guid guid = HostTesting::AddElement(e, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    return guid;
}

// A 100 x 100 grid of 10 m cells; per ten elements four walls, a door, a window, a slab, a
// column, an object and a line, the walls in four pens.
void BuildStory()
{
    HostTesting::ResetProject();
    API_Guid wall = APINULLGuid;
    for (int i = 0; i < kElements; ++i) {
        const int cell = i / 10;
        const double x = 10.0 * (cell % 100), y = 10.0 * (cell / 100);
        const Int32 pen = 1 + cell % 4;
        switch (i % 10) {
        case 4: HostTesting::AddFixture(API_DoorID, 0, wall); break;
        case 5: HostTesting::AddFixture(API_WindowID, 0, wall); break;
        case 6: AddMoved(API_SlabID, x, y, pen); break;
        case 7: AddMoved(API_ColumnID, x + 8.0, y + 8.0, pen); break;
        case 8: AddMoved(API_ObjectID, x + 6.0, y + 2.0, pen); break;
        case 9: AddMoved(API_LineID, x + 1.0, y + 7.0, pen); break;
        default: {
            const double at = 2.0 * (i % 10);
            wall = HostTesting::AddWall(x, y + at, x + 6.0, y + at);
            API_Element e;
            HostTesting::GetElement(wall, &e);
            e.wall.contPen = Int16(pen);
            HostTesting::AddElement(e);
        }
        }
    }
    HostTesting::ClearCallLog();
}

void BM_PlanPicture(benchmark::State& state)
{
    BuildStory();
    PlanView::Options options;
    size_t bytes = 0;
    for (auto _ : state) bytes = PlanView::RenderPng(options).size();
    state.counters["png_KB"] = double(bytes) / 1e3;
    state.SetItemsProcessed(state.iterations() * kElements);
    HostTesting::ClearCallLog();
}
BENCHMARK(BM_PlanPicture)->Unit(benchmark::kMillisecond);

void BM_PlanPictureElementByElement(benchmark::State& state)
{
    BuildStory();
    PlanView::Options options;
    options.batching = PlanView::Batching::PerElement;
    for (auto _ : state) benchmark::DoNotOptimize(PlanView::RenderPng(options).size());
    state.SetItemsProcessed(state.iterations() * kElements);
    HostTesting::ClearCallLog();
}
BENCHMARK(BM_PlanPictureElementByElement)->Unit(benchmark::kMillisecond);

void BM_PublishToPdf(benchmark::State& state)
{
    BuildStory();
    PlanViewPdf::Install();
    ToolRegistry registry;
    const std::string folder =
        std::filesystem::temp_directory_path().string() + "/quillmere-publish-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    const json input = {{"publisher_set_name", "Plans - PDF"}, {"output_path", folder}};
    for (auto _ : state) {
        const ToolResult result = registry.ExecuteTool("publish_to_pdf", input);
        if (!result.success) state.SkipWithError(result.error.c_str());
    }
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) bytes += entry.file_size();
    state.counters["pdf_KB"] = double(bytes) / 1e3;
    std::filesystem::remove_all(folder);
    state.SetItemsProcessed(state.iterations() * kElements);
    HostTesting::ClearCallLog();
}
BENCHMARK(BM_PublishToPdf)->Unit(benchmark::kMillisecond);

// The floor's drawing: every element read through the host interface (a slab with its
// polygon) and its outline added to one path, filled once in one colour. Doors and windows are
// read and left undrawn.
void DrawFloor(cairo_t* cr, double width, double height)
{
    const double scale = std::min(width, height) / 1000.0;
    size_t read = 0;
    for (API_ElemTypeID type :
         {API_WallID, API_DoorID, API_WindowID, API_SlabID, API_ColumnID, API_ObjectID, API_LineID}) {
        GS::Array<API_Guid> guids;
        ACAPI_Element_GetElemList(type, &guids);
        for (const API_Guid& guid : guids) {
            API_Element e;
            BNClear(e);
            e.header.guid = guid;
            if (ACAPI_Element_Get(&e) == NoError) ++read;
            API_Coord at = {0, 0};
            switch (type) {
            case API_WallID:
                cairo_rectangle(cr, e.wall.begC.x * scale, e.wall.begC.y * scale,
                                (e.wall.endC.x - e.wall.begC.x) * scale, e.wall.thickness * scale);
                continue;
            case API_SlabID: {
                API_ElementMemo memo;
                BNClear(memo);
                ACAPI_Element_GetMemo(guid, &memo, APIMemoMask_Polygon);
                const GSSize points = memo.coords ? BMGetHandleSize(memo.coords) / GSSize(sizeof(API_Coord)) : 0;
                for (GSSize i = 1; i < points; ++i)
                    (i == 1 ? cairo_move_to : cairo_line_to)(cr, (*memo.coords)[i].x * scale,
                                                             (*memo.coords)[i].y * scale);
                ACAPI_DisposeElemMemoHdls(&memo);
                continue;
            }
            case API_ColumnID: at = e.column.origoPos; break;
            case API_ObjectID: at = e.object.pos; break;
            case API_LineID: at = e.line.begC; break;
            default: continue;
            }
            cairo_rectangle(cr, at.x * scale, at.y * scale, 0.3 * scale, 0.3 * scale);
        }
    }
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_fill(cr);
    if (read != size_t(kElements)) std::fprintf(stderr, "elements not read\n");
}

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<unsigned char>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

void BM_PlanPictureFloor(benchmark::State& state)
{
    BuildStory();
    const PlanView::Options options;
    for (auto _ : state) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, options.width, options.height);
        cairo_t* cr = cairo_create(surface);
        DrawFloor(cr, options.width, options.height);
        cairo_destroy(cr);
        std::vector<unsigned char> png;
        cairo_surface_write_to_png_stream(surface, Append, &png);
        cairo_surface_destroy(surface);
    }
    state.SetItemsProcessed(state.iterations() * kElements);
    HostTesting::ClearCallLog();
}
BENCHMARK(BM_PlanPictureFloor)->Unit(benchmark::kMillisecond);

void BM_PublishFloor(benchmark::State& state)
{
    BuildStory();
    const std::string path = std::filesystem::temp_directory_path().string() + "/quillmere-publish-floor-" +
                             std::to_string(::getpid()) + ".pdf";
    for (auto _ : state) {
        cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), 1190.55, 841.89);
        cairo_t* cr = cairo_create(surface);
        DrawFloor(cr, 1190.55, 841.89);
        cairo_show_page(cr);
        cairo_destroy(cr);
        cairo_surface_finish(surface);
        cairo_surface_destroy(surface);
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * kElements);
    HostTesting::ClearCallLog();
}
BENCHMARK(BM_PublishFloor)->Unit(benchmark::kMillisecond);

}  // namespace
