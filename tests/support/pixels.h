// Reading back the current GL frame (800 x 600, rows from the bottom) and
// counting what its pixels show. For tests that have a GL context.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/script/script_platform.h"

constexpr int frame_width = 800;
constexpr int frame_height = 600;

inline std::vector<unsigned char> read_frame() { return script::read_frame(frame_width, frame_height); }

// Anything at all, against clearly lit: the dim edge of a blended line is
// drawn but not lit.
inline bool drawn(const unsigned char* p) { return p[0] || p[1] || p[2]; }
inline bool lit(const unsigned char* p) { return p[0] > 60 || p[1] > 60 || p[2] > 60; }

// Calls visit(x, y, pixel) for each pixel of `frame` inside [x0, x1) x [y0, y1).
template <class Visit>
void for_each_pixel(const std::vector<unsigned char>& frame, int x0, int y0, int x1, int y1, Visit visit) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) visit(x, y, &frame[(static_cast<std::size_t>(y) * frame_width + x) * 4]);
}

// How many pixels of a picture read back are drawn.
inline int drawn_pixels(const std::vector<unsigned char>& picture) {
    int n = 0;
    for (std::size_t i = 0; i + 3 < picture.size(); i += 4) n += drawn(&picture[i]);
    return n;
}

// The glasses colours (red, cyan, and white where they add up) and the lit
// pixels with the columns they span.
struct PixelCounts {
    int red = 0, cyan = 0, white = 0, lit = 0;
    int min_x = 1 << 30, max_x = -1;
};

// Classifies the pixels of the current frame inside [x0, x1) x [y0, y1).
inline PixelCounts count_pixels(int x0, int y0, int x1, int y1) {
    PixelCounts n;
    for_each_pixel(read_frame(), x0, y0, x1, y1, [&n](int x, int, const unsigned char* p) {
        const bool r = p[0] > 200, g = p[1] > 200, b = p[2] > 200;
        if (r && p[1] < 60 && p[2] < 60) ++n.red;
        if (p[0] < 60 && g && b) ++n.cyan;
        if (r && g && b) ++n.white;
        if (lit(p)) {
            ++n.lit;
            n.min_x = std::min(n.min_x, x);
            n.max_x = std::max(n.max_x, x);
        }
    });
    return n;
}

// The scene: everything below the frame rate's row.
inline PixelCounts scene_pixels() { return count_pixels(0, 0, 800, 580); }
// The cells of the frame rate text, top left.
inline PixelCounts rate_cells() { return count_pixels(0, 584, 60, 600); }
