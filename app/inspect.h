// Looking a model over: the turntable camera beside the flying one, the
// pointer's drags and wheel turns it reads, the model's up axis and its fit
// in the frame, the info line, and the separation fitted to the comfort
// limit. The shell's side: the logic lives in camera/turntable, model/model_view
// and stereo/parallax; this keeps their state and hands them the input.
#pragma once

#include <cstddef>

#include "app/options.h"
#include "camera/turntable.h"
#include "platform/platform.h"
#include "stereo/parallax.h"

extern bool turntable_on;  // T, --turntable: the turntable instead of the flying camera
extern Turntable turntable;
extern UpAxis model_up;       // B: the open model's up axis
extern bool info_shown;       // N: the info line under the frame rate
extern bool parallax_fitted;  // G, --fit-parallax: the separation fitted to the comfort limit

// Back to the start: the flying camera, the turntable at home, nothing shown
// or fitted, no drag waiting (for tests, as the fixture resets the statics).
void reset_inspect();

// The window procedure's pointer messages (moves, presses, the wheel);
// anything else is passed over.
void note_pointer_message(unsigned message, WParam wparam, LParam lparam);

// The command line's camera, up axis and fit, before the first frame.
void apply_inspect_options(const Options& options);
// After an opening of the window: the pointer shown while the turntable is on.
void settle_pointer();
// A model has just taken the scene's place: its up axis (the command line's,
// or Z for STL, 3MF and AMF files), told in a notice when turned.
void model_arrived(const char* path);

// Once a frame, in place of the flying camera's update: the camera in use
// reacts to its input and loads its view. Returns its focus distance.
float update_view();
ViewPose current_view_pose();
float view_distance();
// R: the camera in use back home.
void reset_view();
// T, B, N and G, once per press (app/controls.cpp).
void toggle_turntable();
void next_up_axis();
void toggle_info_line();
void toggle_fitted_parallax();
// After the rig's update: X, Z and E leave the fitted separation; while it
// is fitted and automatic focus is on (or just after G), it is fitted again.
void follow_fitted_parallax();
// The model scene's view_scale for the view's current shape (mode, viewport).
void fit_model_to_view();
// The info line of what is shown, into out.
void format_info_line(char* out, std::size_t size);
