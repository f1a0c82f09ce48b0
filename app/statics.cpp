#include "app/statics.h"

// Defined together in one translation unit: C++ constructs statics of one unit
// in order of definition, which gives the camera (and its cursor park) first
// and the timer's first reading last.
Camera camera;
StereoRig stereo_rig(true);
ModelScene model_scene;
FrameTimer frame_timer;
