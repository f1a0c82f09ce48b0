#include "stereo/output_mode.h"

#include <cstring>

namespace {

const char* const mode_names[output_mode_count] = {
    "anaglyph", "free-view", "side-by-side", "side-by-side-half", "top-bottom",
    "rows",     "columns",   "checkerboard", "page-flip",
};

const char* const pair_names[colour_pair_count] = {
    "red-blue", "red-green", "red-cyan", "blue-red", "green-red", "cyan-red",
};

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
