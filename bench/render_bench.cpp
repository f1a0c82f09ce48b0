// CPU cost of one composed frame in an offscreen context (the scripted
// backend over OSMesa), against a frame that only clears. glFinish ends each
// frame, so the software rasteriser's work is counted too.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "app/app.h"
#include "app/frame.h"
#include "app/gl_window.h"
#include "app/statics.h"
#include "model/model_view.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "platform/script/script_platform.h"
#include "stereo/anaglyph_mixer.h"
#include "stereo/parallax.h"
#include "stereo/test_object.h"

namespace {

// A fresh viewer in a windowed 800 x 600 context, in the state the loop
// would have after a few frames at 60 frames per second.
bool open_viewer(bool glasses, bool help, bool parallax = false, AnaglyphMethod method = AnaglyphMethod::channels) {
    close_gl_window();
    script::reset();
    clear_input();
    camera.reset();
    stereo_rig = StereoRig(glasses);
    key_down['H'] = help ? 1 : 0;
    stereo_rig.parallax_readout = parallax;
    stereo_rig.anaglyph_method = method;
    if (!open_gl_window(window_title, 800, 600, 16, false)) return false;
    for (int i = 0; i < 10; ++i) {
        script::advance_counter(16667);
        render_frame();
    }
    glFinish();
    return stereo_rig.anaglyph_method == method;
}

void frame_loop(benchmark::State& state, bool glasses, bool help, bool parallax = false,
                AnaglyphMethod method = AnaglyphMethod::channels) {
    if (!open_viewer(glasses, help, parallax, method)) {
        state.SkipWithError("the window did not open");
        return;
    }
    for (auto _ : state) {
        script::advance_counter(16667);
        render_frame();
        glFinish();
    }
    close_gl_window();
}

void BM_render_frame_glasses(benchmark::State& state) { frame_loop(state, true, false); }
void BM_render_frame_noglasses(benchmark::State& state) { frame_loop(state, false, false); }
void BM_render_frame_help(benchmark::State& state) { frame_loop(state, true, true); }
void BM_render_frame_parallax(benchmark::State& state) { frame_loop(state, true, false, true); }
// The mixing anaglyph methods: both eyes copied into textures and mixed.
void BM_render_frame_grey(benchmark::State& state) { frame_loop(state, true, false, false, AnaglyphMethod::grey); }
void BM_render_frame_half_colour(benchmark::State& state) {
    frame_loop(state, true, false, false, AnaglyphMethod::half_colour);
}
void BM_render_frame_optimised(benchmark::State& state) {
    frame_loop(state, true, false, false, AnaglyphMethod::optimised);
}

// The readout's figures alone: both eyes' projections over the test object.
void BM_measure_parallax(benchmark::State& state) {
    StereoRig rig(true);
    Camera at_home;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            measure_parallax(rig, at_home, ViewSize{800, 600}, test_object_vertices, test_object_vertex_count));
}

// A 1,000,000-vertex cloud round the origin, inside the fitted box.
std::vector<float> million_vertices() {
    std::vector<float> v(3 * 1000000);
    unsigned seed = 1;
    for (float& f : v) {
        seed = seed * 1664525u + 1013904223u;
        f = static_cast<float>(seed >> 8) / 16777216.0f * 2.8f - 1.4f;
    }
    return v;
}

// What G (and --fit-parallax with automatic focus, in every frame) costs for
// a large model: the sampled measure and the new separation.
void BM_fit_parallax_million(benchmark::State& state) {
    const std::vector<float> v = million_vertices();
    StereoRig rig(true);
    const ViewPose pose{Vec3{0.0f, 0.0f, 5.0f}, Vec3{0.0f, 0.0f, -1.0f}, Vec3{0.0f, 1.0f, 0.0f}};
    const int count = 1000000;
    for (auto _ : state) {
        const ParallaxReading r =
            measure_parallax(rig, pose, ViewSize{800, 600}, reinterpret_cast<const float(*)[3]>(v.data()), count, 1.0f,
                             fit_stride(count));
        benchmark::DoNotOptimize(fitted_separation_ratio(rig, r, fitted_share));
    }
}

// The fit in the frame, made again only when the view's shape or the model changes.
void BM_frame_fit_million(benchmark::State& state) {
    const std::vector<float> v = million_vertices();
    for (auto _ : state) benchmark::DoNotOptimize(frame_fit_scale(v.data(), 1000000, 5.0f, 0.55f, 0.41f));
}

void BM_clear_only(benchmark::State& state) {
    if (!open_viewer(true, false)) {
        state.SkipWithError("the window did not open");
        return;
    }
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFinish();
    }
    close_gl_window();
}

// The pieces of a mixed frame over the whole 800 x 600 area, each ending
// with glFinish: an eye's start and capture (its texture cleared where it is
// drawn into, its copy where not), the mixing pass, and the floor under
// both, one plain textured quad over the area.
enum class MixPiece { capture, combine, textured_quad };
void mix_piece(benchmark::State& state, MixPiece piece) {
    if (!open_viewer(true, false)) {
        state.SkipWithError("the window did not open");
        return;
    }
    AnaglyphMixer mixer;
    if (!mixer.ready_for(800, 600, platform_get_gl_proc_address)) {
        state.SkipWithError(mixer.why());
        return;
    }
    const PixelRect whole{0, 0, 800, 600};
    for (Eye eye : {Eye::left, Eye::right}) {
        mixer.begin_eye(eye, whole);
        mixer.capture(eye, whole);
    }
    const MixMatrices m = anaglyph_matrices(AnaglyphMethod::optimised, 0);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 800, 600, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glFinish();
    for (auto _ : state) {
        if (piece == MixPiece::capture) {
            mixer.begin_eye(Eye::left, whole);
            mixer.capture(Eye::left, whole);
        } else if (piece == MixPiece::combine) {
            mixer.combine(m);
        } else {
            glEnable(GL_TEXTURE_2D);
            glBegin(GL_QUADS);
            glTexCoord2f(0, 0);
            glVertex2f(-1, -1);
            glTexCoord2f(1, 0);
            glVertex2f(1, -1);
            glTexCoord2f(1, 1);
            glVertex2f(1, 1);
            glTexCoord2f(0, 1);
            glVertex2f(-1, 1);
            glEnd();
        }
        glFinish();
    }
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glDeleteTextures(1, &texture);
    close_gl_window();
}
void BM_mix_capture_whole(benchmark::State& state) { mix_piece(state, MixPiece::capture); }
void BM_mix_combine_whole(benchmark::State& state) { mix_piece(state, MixPiece::combine); }
void BM_textured_quad_whole(benchmark::State& state) { mix_piece(state, MixPiece::textured_quad); }

}  // namespace

BENCHMARK(BM_clear_only)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_render_frame_glasses)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_render_frame_noglasses)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_render_frame_help)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_render_frame_parallax)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_render_frame_grey)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_render_frame_half_colour)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_render_frame_optimised)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_mix_capture_whole)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_mix_combine_whole)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_textured_quad_whole)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_measure_parallax)->MinTime(0.5);
BENCHMARK(BM_fit_parallax_million)->MinTime(0.5);
BENCHMARK(BM_frame_fit_million)->MinTime(0.5);

BENCHMARK_MAIN();
