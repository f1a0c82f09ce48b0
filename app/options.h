// The command line: one table of options, read before anything is shown.
#pragma once

#include <string>

#include "stereo/output_mode.h"

// How the start-up question is answered.
enum class StartDisplay { ask, window, fullscreen };

struct Options {
    StartDisplay display = StartDisplay::ask;
    // The stereo presentation at start; what is not given stays as the rig has it.
    bool mode_given = false;
    OutputMode mode = OutputMode::anaglyph;
    bool swap_eyes = false;
    int colour_pair = -1;  // a row of the colour pair table, or -1
    bool parallax = false;
    std::string model_path;    // a model to show instead of the test object
    bool shaded = false;       // a model drawn shaded, as after L
    bool vsync = false;        // swaps wait for the display
    bool full_detail = false;  // a big model drawn whole while moving too (as after F)
    // Pictures without a window: written, then the program ends.
    std::string render_path;       // what the drawing area shows
    std::string render_pair_path;  // the stereo pair, side by side
    std::string size = "800x600";  // of the drawing area
    bool mono = false;             // one image, as S held

    bool renders() const { return !render_path.empty() || !render_pair_path.empty(); }
};

// What the entry point does after reading its arguments: run the viewer, or
// print `out` to standard output and `err` to standard error and exit with
// `exit_code` (0 after --help and --version, 2 after a usage error).
struct CommandLine {
    bool run = true;
    int exit_code = 0;
    std::string out;
    std::string err;
};

// Reads argv[1..argc-1] into *options. Texts are UTF-8.
CommandLine parse_command_line(int argc, const char* const argv[], Options* options);

// Parses, prints what there is to print, and tells the entry point whether to
// run: returns true to run, false with *exit_code set to exit at once.
bool read_command_line(int argc, const char* const argv[], Options* options, int* exit_code);

// "duplexa 0.1"
extern const char* const version_text;
