#include "stereo/output_mode.h"

#include <cstring>

namespace {

const char* const mode_names[output_mode_count] = {
    "anaglyph", "free-view", "side-by-side", "side-by-side-half", "top-bottom",
    "rows",     "columns",   "checkerboard", "page-flip",
};

const char* const pair_names[colour_pair_count] = {
    "red-blue", "red-green", "red-cyan", "blue-red", "green-red", "cyan-red", "green-magenta", "amber-blue",
};

const int red_green = 1, cyan_red = 5, green_magenta = 6, last_pair = colour_pair_count - 1, red_cyan = 2;

// Index of name in a table, or -1.
int find_name(const char* const* names, int count, const char* name) {
    if (!name) return -1;
    for (int i = 0; i < count; ++i)
        if (std::strcmp(names[i], name) == 0) return i;
    return -1;
}

}  // namespace

const char* output_mode_name(OutputMode mode) {
    const int i = static_cast<int>(mode);
    return i >= 0 && i < output_mode_count ? mode_names[i] : nullptr;
}

bool output_mode_from_name(const char* name, OutputMode* mode) {
    const int i = find_name(mode_names, output_mode_count, name);
    if (i < 0) return false;
    *mode = static_cast<OutputMode>(i);
    return true;
}

OutputMode next_output_mode(OutputMode mode) {
    return static_cast<OutputMode>((static_cast<int>(mode) + 1) % output_mode_count);
}

bool mode_needs_stencil(OutputMode mode) {
    return mode == OutputMode::rows || mode == OutputMode::columns || mode == OutputMode::checkerboard;
}

bool mode_needs_stereo(OutputMode mode) { return mode == OutputMode::page_flip; }

const char* colour_pair_name(int row) { return row >= 0 && row < colour_pair_count ? pair_names[row] : nullptr; }

bool colour_pair_from_name(const char* name, int* row) {
    const int i = find_name(pair_names, colour_pair_count, name);
    if (i < 0) return false;
    *row = i;
    return true;
}

int next_colour_pair(int row) {
    if (row < 0 || row > last_pair) return 0;
    // The first six keep the order they always had; the later two come
    // after red-green, the last of them before the cycle returns to red-cyan.
    if (row == cyan_red) return 0;
    if (row == red_green) return green_magenta;
    if (row == last_pair) return red_cyan;
    return row + 1;
}
