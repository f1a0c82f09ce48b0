// What the shell gives the scene code below it (stereo/, camera/): the held
// keys, the frame rate that turns per-second rates into per-frame steps, and
// the drawing area's size. The one header those folders include from app/.
//
// Every global of the program, where it lives and who writes it:
//   key_down                app/app.cpp        handle_window_message; R, D, U, F1, M, V, C, P, L, A, F12 clear theirs
//   active                  app/app.cpp        handle_window_message (WM_ACTIVATE)
//   frame_rate              app/frame_timer.cpp render_frame, once a frame
//   rate_text, parallax_text app/frame.cpp     render_frame
//   fullscreen, instance_handle, window_handle, device_context, render_context,
//   glyph_font, format_wanted, format_obtained
//                           app/gl_window.cpp  open_gl_window / close_gl_window (fullscreen also run_viewer)
//   view_width, view_height app/gl_window.cpp  resize_view
//   reopen_requested        app/mode_switch.cpp switch_output_mode; the loop clears it
//   camera, stereo_rig, frame_timer
//                           app/statics.cpp    their own operations, render_frame, run_viewer (options)
//   font_texture            text/glyph_font.cpp load_font_texture
//   the notice              text/notice.cpp    show_notice
//   the anaglyph mixer      app/frame.cpp      draw_scene, A; forgotten with each new context
//   model_mesh, model_shaded model/model.cpp   poll_model_file (app/model_open.cpp), close_model; L and --shaded
//   the model import        app/model_open.cpp open_model_file, poll_model_file, cancel_model_file
//   loading_text            app/frame.cpp      render_frame, while a model file is read
//   show_errors             image/dib_loader.cpp the DIB loader's callers
#pragma once

// One byte per virtual-key code: 1 while the key or mouse button is held.
// The once-per-press controls set their entry back to 0.
extern unsigned char key_down[256];

// Frames per second measured in the last frame; 0 before the first measurement.
extern float frame_rate;

// A per-second rate of a control turned into this frame's step: rate / frame_rate,
// or 0 while frame_rate is 0 or not finite (before the first measurement, or
// after a frame that took no measurable time).
float per_frame_step(float per_second);

extern int view_width;   // client size given to the last resize_view
extern int view_height;  // never 0
