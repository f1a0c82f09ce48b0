// The three objects of static lifetime, constructed before the entry point
// in this order: camera, stereo rig, frame timer.
#pragma once

#include "app/frame_timer.h"
#include "camera/camera.h"
#include "stereo/stereo_rig.h"

extern Camera camera;
extern StereoRig stereo_rig;
extern FrameTimer frame_timer;
