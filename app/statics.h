// The three objects of static lifetime, constructed before the entry point
// in this order: camera, stereo rig, frame timer.
#pragma once

#include "app/frame_timer.h"
#include "app/options.h"
#include "camera/camera.h"
#include "stereo/stereo_rig.h"

extern Camera camera;
extern StereoRig stereo_rig;
extern FrameTimer frame_timer;

// What every start shares, with a window or for pictures: the command
// line's stereo settings (mode, colours, eye swap, readout) on the rig and
// the model's style; what was not given stays as it is.
void apply_start_options(const Options& options);
