// The command line: one table of options, read before anything is shown.
#pragma once

#include <string>

#include "model/model_view.h"
#include "stereo/anaglyph_method.h"
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
    bool anaglyph_given = false;
    AnaglyphMethod anaglyph = AnaglyphMethod::channels;
    bool parallax = false;
    std::string model_path;    // a model to show instead of the test object
    bool shaded = false;       // a model drawn shaded, as after L
    bool wireframe = false;    // a model with colours or textures drawn as wireframe, not shaded, at first
    bool vsync = false;        // swaps wait for the display
    bool full_detail = false;  // a big model drawn whole while moving too (as F)
    // Pictures without a window: written, then the program ends.
    std::string render_path;       // what the drawing area shows
    std::string render_pair_path;  // the stereo pair, side by side
    std::string size = "800x600";  // of the drawing area
    bool mono = false;             // one image, as S held
    // Looking a model over.
    bool turntable = false;     // start with the turntable camera (T)
    bool up_given = false;      // --up said which axis is up, for every file
    UpAxis up = UpAxis::y;      // its answer
    bool info = false;          // print what the model holds to standard output
    bool fit_parallax = false;  // separation fitted to the comfort limit (G)

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
