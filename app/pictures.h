// Pictures out: what the drawing area shows and the stereo pair, saved from
// a running viewer (F12) or rendered without a window (--render).
#pragma once

#include <string>

#include "app/options.h"

// F12, between the scene and the overlay: reads the drawing area as shown and
// draws and reads the stereo pair, puts the frame's scene back, and writes
// duplexa-YYYYMMDD-HHMMSS.png and ...-pair.png into the working directory,
// never over an existing file. Says on the overlay where it saved, or why it
// could not (then on standard error too); the viewer goes on either way.
void save_pictures();

// --render / --render-pair: one frame of the start-up state drawn into an
// offscreen context and written as PNG, with no window, box or display.
// Returns the exit code: 0, or 1 after one line on standard error.
int render_pictures(const Options& options);

// "WxH" with each side from 1 to max_picture_side; false otherwise.
constexpr int max_picture_side = 16384;
bool parse_picture_size(const std::string& text, int* width, int* height);
