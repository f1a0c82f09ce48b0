// The viewer's own frame loop on a real SDL window: the same open_gl_window
// and loop pass the program runs, with the start-up question answered "No"
// in code.
//
//   viewer_bench loop glasses|noglasses|help SECONDS   frames per second, resident size
//   viewer_bench loop MODE SECONDS                     the same in an output mode (side-by-side, rows, ...)
//   viewer_bench loop parallax SECONDS                 glasses mode with the comfort readout on
//   viewer_bench loop METHOD SECONDS                   glasses mode with an anaglyph method (grey, optimised, ...)
//   viewer_bench first-frame                           ms from DUPLEXA_BENCH_T0 to the first frame shown
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/app.h"
#include "app/frame.h"
#include "app/gl_window.h"
#include "app/mode_switch.h"
#include "app/statics.h"
#include "bench/bench_common.h"
#include "platform/gl.h"
#include "platform/sdl/sdl_platform.h"

namespace {

bool open_window() {
    // What the start-up question leads to when it is answered "No", with the
    // pixel format the output mode needs, as run_viewer opens it.
    prepare_opening();
    if (!open_gl_window(window_title, 800, 600, 16, false)) return false;
    settle_output_mode();
    return true;
}

int run_loop(const char* mode, double seconds) {
    OutputMode wanted = OutputMode::anaglyph;
    const bool named_mode = output_mode_from_name(mode, &wanted);
    if (named_mode) stereo_rig.set_mode(wanted);
    if (std::strcmp(mode, "parallax") == 0) stereo_rig.parallax_readout = true;
    AnaglyphMethod method = AnaglyphMethod::channels;
    const bool named_method = anaglyph_method_from_name(mode, &method);
    stereo_rig.anaglyph_method = method;
    if (!open_window()) return 1;
    if (named_mode && stereo_rig.mode() != wanted) {
        std::fprintf(stderr, "%s is not available on this display\n", mode);
        return 3;
    }
    if (named_method) {
        // The first frame finds out whether the GL can mix.
        render_frame();
        if (stereo_rig.anaglyph_method != method) {
            std::fprintf(stderr, "%s is not available on this display\n", mode);
            return 3;
        }
    }
    if (std::strcmp(mode, "noglasses") == 0) stereo_rig.glasses_mode = false;
    if (std::strcmp(mode, "help") == 0) key_down['H'] = 1;

    // run_viewer's own pass; only the passes that showed a frame count.
    Message message{nullptr, 0, 0, 0};
    print_loop_rate([&message] { return run_loop_pass(message) == LoopPass::frame; }, glFinish, seconds);
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
    std::fprintf(stderr, "usage: %s loop glasses|noglasses|help|parallax|MODE|METHOD SECONDS | first-frame\n", argv[0]);
    return 2;
}
