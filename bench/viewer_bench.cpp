// The viewer's own frame loop on a real SDL window, timed from outside the
// shared code: the same open_gl_window, render_frame and swap the program
// runs, with the start-up question answered "No" in code.
//
//   viewer_bench loop glasses|noglasses|help SECONDS   frames per second, resident size
//   viewer_bench first-frame                           ms from DUPLEXA_BENCH_T0 to the first frame shown
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/app.h"
#include "app/gl_window.h"
#include "app/statics.h"
#include "bench/bench_common.h"
#include "platform/gl.h"
#include "platform/sdl/sdl_platform.h"
#include "stereo/frame.h"

namespace {

bool open_window() {
    // What the start-up question leads to when it is answered "No".
    return open_gl_window(window_title, 800, 600, 16, false);
}

// The loop of run_viewer, minus the F1 and Escape handling it does not need.
void one_pass() {
    Message message{nullptr, 0, 0, 0};
    while (platform_peek_message(&message)) {
        platform_translate_message(&message);
        platform_dispatch_message(&message);
    }
    if (active) render_frame();
    platform_swap_buffers(device_context);
}

int run_loop(const char* mode, double seconds) {
    if (!open_window()) return 1;
    if (std::strcmp(mode, "noglasses") == 0) stereo_rig.glasses_mode = false;
    if (std::strcmp(mode, "help") == 0) key_down['H'] = 1;

    print_loop_rate(one_pass, glFinish, seconds);
    close_gl_window();
    return 0;
}

int first_frame() {
    const double t0 = launch_time_seconds();
    if (!open_window()) return 1;
    render_frame();
    platform_swap_buffers(device_context);
    glFinish();
    std::printf("startup_ms %.3f\n", (monotonic_seconds() - t0) * 1000.0);
    close_gl_window();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    sdl_tune_process();  // as the viewer's own main does
    if (argc >= 4 && std::strcmp(argv[1], "loop") == 0) return run_loop(argv[2], std::atof(argv[3]));
    if (argc >= 2 && std::strcmp(argv[1], "first-frame") == 0) return first_frame();
    std::fprintf(stderr, "usage: %s loop glasses|noglasses|help SECONDS | first-frame\n", argv[0]);
    return 2;
}
