// Big models: the files are made here, never shipped.
//   model_bench generate DIR         writes DIR/big.stl (binary) and DIR/big.obj, 1,000,000 triangles each
//   model_bench load FILE            our whole load (open_model_file's reading: import, validation,
//                                    conversion, fit); prints ms and the process's peak memory
//   model_bench assimp FILE          Assimp's own ReadFile of the same file, with the same flags
//   model_bench worker FILE          the same load through the import worker, as the viewer makes it
//   model_bench loading FILE         frames drawn while the worker reads FILE: the longest frame
//                                    interval and the longest time the percentage stood still
//   model_bench crash FILE           a worker made to crash: from its start to the viewer's reason
//   model_bench frames FILE SECONDS  offscreen (OSMesa): a stereo glasses-mode frame against one mono
//                                    draw of the model, wireframe then shaded, with the GL buffers and
//                                    edges, and as before them (client arrays, outlined faces); the
//                                    frame while moving with the lighter mesh in every output mode; the
//                                    GL's bytes for the model against its vertex data
//   model_bench extras FILE          the import in this process, then the edges and the lighter mesh
// Run one load per process, so that each peak is its own.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/frame.h"
#include "app/gl_window.h"
#include "app/mode_switch.h"
#include "app/model_open.h"
#include "app/statics.h"
#include "bench/bench_common.h"
#include "model/mesh_lighter.h"
#include "model/model.h"
#include "model/model_file.h"
#include "model/model_import.h"
#include "model/motion_detail.h"
#include "platform/gl.h"
#include "platform/script/script_platform.h"
#include "stereo/output_mode.h"

namespace {

// A wavy sheet of 1000 x 500 cells, two triangles each.
constexpr int columns = 1000, rows = 500;

float height(int i, int j) { return 20.0f * std::sin(i * 0.05f) * std::cos(j * 0.07f); }

bool generate(const std::string& dir) {
    std::FILE* stl = std::fopen((dir + "/big.stl").c_str(), "wb");
    std::FILE* obj = std::fopen((dir + "/big.obj").c_str(), "w");
    if (!stl || !obj) return false;
    char header[80] = "1,000,000 triangles for model_bench";
    std::fwrite(header, 1, 80, stl);
    std::uint32_t count = 2u * columns * rows;
    std::fwrite(&count, 4, 1, stl);
    auto put = [&](int i, int j, float* out) {
        out[0] = static_cast<float>(i);
        out[1] = static_cast<float>(j);
        out[2] = height(i, j);
    };
    for (int i = 0; i < columns; ++i)
        for (int j = 0; j < rows; ++j) {
            float record[2][12] = {};
            put(i, j, record[0] + 3);
            put(i + 1, j, record[0] + 6);
            put(i + 1, j + 1, record[0] + 9);
            put(i, j, record[1] + 3);
            put(i + 1, j + 1, record[1] + 6);
            put(i, j + 1, record[1] + 9);
            for (auto& r : record) {
                r[2] = 1.0f;
                std::fwrite(r, 4, 12, stl);
                std::fwrite("\0\0", 1, 2, stl);
            }
        }
    for (int i = 0; i <= columns; ++i)
        for (int j = 0; j <= rows; ++j) std::fprintf(obj, "v %d %d %.4f\n", i, j, height(i, j));
    auto id = [](int i, int j) { return i * (rows + 1) + j + 1; };
    for (int i = 0; i < columns; ++i)
        for (int j = 0; j < rows; ++j) {
            std::fprintf(obj, "f %d %d %d\n", id(i, j), id(i + 1, j), id(i + 1, j + 1));
            std::fprintf(obj, "f %d %d %d\n", id(i, j), id(i + 1, j + 1), id(i, j + 1));
        }
    return std::fclose(stl) == 0 && std::fclose(obj) == 0;
}

// One whole load, in this process (read_model_file) or through the import
// worker (in_worker): its time, the process's peak memory and the faces.
int load(const char* path, bool in_worker) {
    double start = monotonic_seconds();
    Mesh mesh;
    std::string reason;
    const bool read = in_worker ? import_model_file(path, import_limits_from_environment(), &mesh, &reason)
                                : read_model_file(path, &mesh, &reason);
    if (!read) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 1;
    }
    double ms = (monotonic_seconds() - start) * 1000.0;
    std::printf("ms %.1f peak_kb %ld faces %zu\n", ms, status_kb("VmHWM"), mesh.face_count());
    return 0;
}

// The loop's own pass while the worker reads: poll, then a frame.
int loading(const char* path) {
    script::reset();
    if (!open_gl_window(window_title, 800, 600, 16, false)) return 1;
    const double start = monotonic_seconds();
    open_model_file(path);
    double last_frame = start, last_change = start, longest_frame = 0, longest_still = 0;
    int percent = -1, frames_drawn = 0;
    while (model_file_loading()) {
        poll_model_file(platform_time_get_time());
        // The frames that show the model once it has arrived are the draw's
        // own cost, not the load's.
        const bool arrived = !model_file_loading();
        script::advance_counter(16667);
        render_frame();
        glFinish();
        const double now = monotonic_seconds();
        if (arrived) break;
        longest_frame = std::max(longest_frame, now - last_frame);
        last_frame = now;
        ++frames_drawn;
        if (std::strcmp(loading_text, "") != 0 && model_file_loading()) {
            const char* sign = std::strrchr(loading_text, ' ');
            const int shown = sign ? std::atoi(sign + 1) : -1;
            if (shown != percent) {
                longest_still = std::max(longest_still, now - last_change);
                last_change = now;
                percent = shown;
            }
        }
    }
    std::printf("ms %.1f frames %d longest_frame_ms %.1f longest_still_ms %.1f faces %zu\n",
                (monotonic_seconds() - start) * 1000.0, frames_drawn, longest_frame * 1000.0, longest_still * 1000.0,
                model_mesh.face_count());
    close_gl_window();
    return model_is_open() ? 0 : 1;
}

int crash(const char* path) {
    setenv("DUPLEXA_IMPORT_TEST_FAULT", "crash", 1);
    const double start = monotonic_seconds();
    ModelImport import;
    import.start(path, import_limits_from_environment());
    import.finish();
    std::printf("ms %.1f\n", (monotonic_seconds() - start) * 1000.0);
    std::fprintf(stderr, "%s\n", import.reason().c_str());
    return import.state() == ImportState::failed ? 0 : 1;
}

int assimp_read(const char* path) {
    double start = monotonic_seconds();
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, aiProcess_ValidateDataStructure);
    if (!scene) return 1;
    double ms = (monotonic_seconds() - start) * 1000.0;
    std::size_t faces = 0;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) faces += scene->mMeshes[i]->mNumFaces;
    std::printf("ms %.1f peak_kb %ld faces %zu\n", ms, status_kb("VmHWM"), faces);
    return 0;
}

// Median milliseconds of pass() + glFinish over `seconds`, after a warm-up.
template <class Pass>
double median_ms(Pass pass, double seconds) {
    for (int i = 0; i < 3; ++i) pass();
    glFinish();
    std::vector<double> times;
    const double end = monotonic_seconds() + seconds;
    while (monotonic_seconds() < end || times.size() < 5) {
        double t0 = monotonic_seconds();
        pass();
        glFinish();
        times.push_back((monotonic_seconds() - t0) * 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The stereo frame and one mono draw, wireframe then shaded, under `label`.
void frame_figures(const char* label, double seconds) {
    for (bool shaded : {false, true}) {
        model_shaded = shaded;
        double stereo = median_ms(
            [] {
                script::advance_counter(16667);
                render_frame();
            },
            seconds);
        // One draw as the mono view makes it: centred projection, then the model.
        double mono = median_ms(
            [] {
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                stereo_rig.setup_mono();
                draw_scene_object();
            },
            seconds);
        std::printf("%s%s stereo_ms %.2f mono_ms %.2f\n", shaded ? "shaded" : "wireframe", label, stereo, mono);
    }
}

int frames(const char* path, double seconds) {
    script::reset();
    // A stencil buffer, so that every output mode can be measured in one window.
    format_wanted = BufferNeeds{true, false};
    if (!open_gl_window(window_title, 800, 600, 16, false)) return 1;
    open_model_file(path);
    if (!finish_model_file()) return 1;
    frame_figures("", seconds);
    std::size_t vertex_bytes = 24 * model_mesh.vertex_count();
    for (const std::vector<std::uint32_t>* list : {&model_mesh.triangles, &model_mesh.quads, &model_mesh.polygons})
        vertex_bytes += 4 * list->size();
    std::printf("memory gpu_bytes %zu vertex_bytes %zu\n", model_gpu_bytes(), vertex_bytes);

    // While turning, each frame timed as slow as the full mesh's: the
    // lighter mesh is drawn, in each output mode that needs no stereo format.
    key_down[VK_LEFT] = 1;
    for (int m = 0; m < output_mode_count; ++m) {
        const OutputMode mode = OutputMode(m);
        if (mode_needs_stereo(mode)) continue;
        stereo_rig.set_mode(mode);
        for (bool shaded : {false, true}) {
            model_shaded = shaded;
            const double moving = median_ms(
                [] {
                    script::advance_counter(200000);
                    render_frame();
                },
                seconds / 4);
            std::printf("moving-%s-%s moving_ms %.2f lighter %d triangles %zu\n", output_mode_name(mode),
                        shaded ? "shaded" : "wireframe", moving, model_draw_lighter ? 1 : 0,
                        model_mesh.lighter_triangles.size() / 3);
        }
    }
    key_down[VK_LEFT] = 0;
    stereo_rig.set_mode(OutputMode::anaglyph);
    camera.reset();

    // As before the buffers and the edges: client arrays, every face outlined.
    release_model_buffers();
    script::set_gl_procedures(false);
    model_mesh.edges.clear();
    frame_figures("-before", seconds);
    close_gl_window();
    return 0;
}

int extras(const char* path) {
    Mesh mesh;
    std::string reason;
    double start = monotonic_seconds();
    if (!read_model_file(path, &mesh, &reason)) return 1;
    const double import_ms = (monotonic_seconds() - start) * 1000.0;
    start = monotonic_seconds();
    build_mesh_extras(&mesh);
    const double extras_ms = (monotonic_seconds() - start) * 1000.0;
    std::printf("import_ms %.1f extras_ms %.1f edges %zu lighter %zu\n", import_ms, extras_ms, mesh.edges.size() / 2,
                mesh.lighter_triangles.size() / 3);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc == 3) return generate(argv[2]) ? 0 : 1;
    if (mode == "load" && argc == 3) return load(argv[2], false);
    if (mode == "assimp" && argc == 3) return assimp_read(argv[2]);
    if (mode == "worker" && argc == 3) return load(argv[2], true);
    if (mode == "loading" && argc == 3) return loading(argv[2]);
    if (mode == "crash" && argc == 3) return crash(argv[2]);
    if (mode == "frames" && argc == 4) return frames(argv[2], std::atof(argv[3]));
    if (mode == "extras" && argc == 3) return extras(argv[2]);
    std::fprintf(stderr,
                 "usage: model_bench generate DIR | load FILE | assimp FILE | worker FILE | loading FILE | crash FILE "
                 "| frames FILE SECONDS | extras FILE\n");
    return 2;
}
