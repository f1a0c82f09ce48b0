// The shell's input: the held keys, the presses not yet acted on, the frame
// rate and the drawing area's size. The folders below the shell get them as
// parameters (KeyState, ViewSize), never from here.
//
// Every global of the program, where it lives and who writes it:
//   key_down, key_pressed   app/app.cpp        handle_window_message; take_press clears a key's entries
//   active                  app/app.cpp        handle_window_message (WM_ACTIVATE)
//   frame_rate              app/frame_timer.cpp render_frame, once a frame
//   rate_text, parallax_text, parallax_marked, loading_text, info_text
//                           app/frame.cpp      render_frame
//   fullscreen, instance_handle, window_handle, device_context, render_context,
//   glyph_font, format_wanted, format_obtained, overlay_blend_in_force, the pixel format
//                           app/gl_window.cpp  open_gl_window / close_gl_window (fullscreen also run_viewer)
//   vsync_wanted            app/gl_window.cpp  apply_start_options (--vsync)
//   view_width, view_height app/gl_window.cpp  resize_view
//   reopen_requested, the mode to reopen for, the formats found missing
//                           app/mode_switch.cpp switch_output_mode; the loop clears reopen_requested
//   camera, stereo_rig, model_scene, frame_timer
//                           app/statics.cpp    the controls (app/controls.cpp), render_frame, run_viewer (options);
//                                              model_scene also install_model, the fit and B (app/inspect.cpp)
//   turntable_on, turntable, model_up, info_shown, parallax_fitted, the pointer's
//   drags, the fit's key, the model's path
//                           app/inspect.cpp    T, B, N, G and their options, note_pointer_message, model_arrived
//   the anaglyph mixer      app/anaglyph.cpp   draw_scene, A; forgotten with each new context
//   the model import        app/model_open.cpp open_model_file, poll_model_file, cancel_model_file
// Below the shell, each its folder's own:
//   font_texture            text/glyph_font.cpp load_font_texture
//   the notice              text/notice.cpp    show_notice
//   show_errors             image/dib_loader.cpp the DIB loader's callers
//   the interleave mask drawn
//                           stereo/interleave_mask.cpp prepare_interleave_mask; resize_view forgets it
//   import_worker_program   model/model_import.cpp tests and benchmarks that are not the viewer, before any import
//   the worker's reserve and output buffer
//                           model/model_import.cpp run_import_worker, in the worker process only
//   the backends' windows, messages, cursor and offscreen GL lookup
//                           platform/sdl, platform/win32, platform/script: the system they stand for
#pragma once

#include "platform/key_state.h"
#include "stereo/stereo_rig.h"

// One byte per virtual-key code: 1 while the key or mouse button is held.
// The once-per-press controls set their entry back to 0 (take_press).
extern unsigned char key_down[256];
// One byte per virtual-key code: 1 from a key-down message until a control
// has acted on it, so that a press released before the next frame still acts.
extern unsigned char key_pressed[256];

// No key held or pressed: the start, and a fresh start for tests.
void clear_input();

// A once-per-press control's test: true when the key was pressed since it
// last acted (or is held with its entry set, as after a key-down), and then
// both entries are 0, so the press acts once.
bool take_press(int key);

// Frames per second measured in the last frame; 0 before the first measurement.
extern float frame_rate;

// A per-second rate of a control turned into this frame's step: rate / frame_rate,
// or 0 while frame_rate is 0 or not finite (before the first measurement, or
// after a frame that took no measurable time).
float per_frame_step(float per_second);

// The held keys and the frame rate, as the camera and the rig read them.
inline KeyState held_keys() { return KeyState{key_down, frame_rate}; }

extern int view_width;   // client size given to the last resize_view
extern int view_height;  // never 0
inline ViewSize view_size() { return ViewSize{view_width, view_height}; }
