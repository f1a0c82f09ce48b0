// What every start shares, with a window or for pictures.
#pragma once

#include "app/options.h"

// The command line's settings: the stereo ones (mode, colours, eye swap,
// readout) on the rig, the model's style, the camera, up axis and fitted
// separation; what was not given stays as it is.
void apply_start_options(const Options& options);
