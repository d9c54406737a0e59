// Reads a rendered PNG from memory and counts the pixels a plan-view test looks for.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>

struct PngCount {
    int width = 0, height = 0, count = 0;
};

// counts sees each pixel as 0xRRGGBB.
template <typename Bytes>
PngCount CountPixels(const Bytes& png, const std::function<bool(uint32_t)>& counts)
{
    struct Reader {
        const Bytes& bytes;
        size_t at;
    } reader{png, 0};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
            auto* in = static_cast<Reader*>(closure);
            if (in->at + length > in->bytes.size()) return CAIRO_STATUS_READ_ERROR;
            std::copy_n(reinterpret_cast<const unsigned char*>(in->bytes.data()) + in->at, length, data);
            in->at += length;
            return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    PngCount out;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        out.width = cairo_image_surface_get_width(surface);
        out.height = cairo_image_surface_get_height(surface);
        for (int y = 0; y < out.height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface) +
                                                                y * cairo_image_surface_get_stride(surface));
            for (int x = 0; x < out.width; ++x) out.count += counts(row[x] & 0xFFFFFF) ? 1 : 0;
        }
    }
    cairo_surface_destroy(surface);
    return out;
}

// Every channel within tolerance of (r, g, b).
inline std::function<bool(uint32_t)> Near(int r, int g, int b, int tolerance)
{
    return [=](uint32_t p) {
        return std::abs(int(p >> 16) - r) < tolerance && std::abs(int((p >> 8) & 0xFF) - g) < tolerance &&
               std::abs(int(p & 0xFF) - b) < tolerance;
    };
}
