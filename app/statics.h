// The objects of static lifetime, constructed before the entry point in this
// order: camera, stereo rig, the model scene (the model shown and how it is
// drawn), frame timer.
#pragma once

#include "app/frame_timer.h"
#include "camera/camera.h"
#include "model/model.h"
#include "stereo/stereo_rig.h"

extern Camera camera;
extern StereoRig stereo_rig;
extern ModelScene model_scene;
extern FrameTimer frame_timer;
