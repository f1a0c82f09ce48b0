// The application shell: start-up, the message pump that is also the frame
// loop, the window procedure and the input state it keeps.
#pragma once

#include "app/input.h"
#include "app/options.h"
#include "platform/platform.h"

// False while the window is minimised; the loop then only polls and swaps.
extern bool active;

// The body of the entry point: asks the full-screen question (unless the
// command line answered it), opens the window and runs the loop. Returns the
// process exit code: 0 after a quit message or Escape, 1 when the window
// could not be opened.
int run_viewer(InstanceHandle instance, const Options& options = Options{});

// What one pass of the frame loop did. The loop goes on after a message or
// a frame; it ends on the quit message or Escape, and fails when F1 or an
// output mode's reopening could not open the window again.
enum class LoopPass { message, frame, ended, reopen_failed };

// One pass of the loop run_viewer runs: takes one waiting message into
// `message` and dispatches it, or else draws (unless minimised), shows the
// frame and reopens the window on F1 or a request. The window must be open.
LoopPass run_loop_pass(Message& message);

// The title every opening passes.
extern const char* const window_title;
