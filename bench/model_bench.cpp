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
//                                    draw of the model, wireframe then shaded
//   model_bench look DIR SECONDS     offscreen: a shaded stereo frame of DIR/sheet-textured.obj (the
//                                    sheet with a 4096 x 4096 texture) against DIR/sheet-plain.obj
//                                    (the same, its material's colour alone); then the textured load:
//                                    the import, the texture's upload, the first frame and a later one
// (generate also writes the sheets and their texture.)
// Run one load per process, so that each peak is its own.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/frame.h"
#include "app/gl_window.h"
#include "app/model_open.h"
#include "app/png_file.h"
#include "app/statics.h"
#include "bench/bench_common.h"
#include "model/model.h"
#include "model/model_file.h"
#include "model/model_import.h"
#include "platform/gl.h"
#include "platform/script/script_platform.h"

namespace {

// A wavy sheet of 1000 x 500 cells, two triangles each.
constexpr int columns = 1000, rows = 500;

float height(int i, int j) { return 20.0f * std::sin(i * 0.05f) * std::cos(j * 0.07f); }

// The sheet again as OBJ with texture coordinates, in one material with a
// 4096 x 4096 texture and in one of the same colour without it.
bool generate_sheets(const std::string& dir) {
    constexpr int side = 4096;
    std::vector<unsigned char> rgb(std::size_t(side) * side * 3);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            unsigned char* p = &rgb[(std::size_t(y) * side + x) * 3];
            const bool cell = ((x / 256) + (y / 256)) % 2 == 0;
            p[0] = static_cast<unsigned char>(cell ? 230 : (x * 7) & 255);
            p[1] = static_cast<unsigned char>(cell ? 200 : (y * 5) & 255);
            p[2] = static_cast<unsigned char>(cell ? 40 : (x ^ y) & 255);
        }
    char why[256];
    if (!write_png_file((dir + "/sheet.png").c_str(), side, side, rgb.data(), true, why, sizeof why)) return false;
    bool written = true;
    for (const char* kind : {"textured", "plain"}) {
        const std::string name = std::string("sheet-") + kind;
        std::FILE* mtl = std::fopen((dir + "/" + name + ".mtl").c_str(), "w");
        std::FILE* obj = std::fopen((dir + "/" + name + ".obj").c_str(), "w");
        if (!mtl || !obj) return false;
        std::fprintf(mtl, "newmtl sheet\nKd 0.9 0.8 0.6\n%s",
                     std::strcmp(kind, "textured") == 0 ? "map_Kd sheet.png\n" : "");
        std::fprintf(obj, "mtllib %s.mtl\nusemtl sheet\n", name.c_str());
        for (int i = 0; i <= columns; ++i)
            for (int j = 0; j <= rows; ++j) std::fprintf(obj, "v %d %d %.4f\n", i, j, height(i, j));
        for (int i = 0; i <= columns; ++i)
            for (int j = 0; j <= rows; ++j) std::fprintf(obj, "vt %.5f %.5f\n", i / double(columns), j / double(rows));
        auto id = [](int i, int j) { return i * (rows + 1) + j + 1; };
        for (int i = 0; i < columns; ++i)
            for (int j = 0; j < rows; ++j) {
                const int a = id(i, j), b = id(i + 1, j), c = id(i + 1, j + 1), d = id(i, j + 1);
                std::fprintf(obj, "f %d/%d %d/%d %d/%d\nf %d/%d %d/%d %d/%d\n", a, a, b, b, c, c, a, a, c, c, d, d);
            }
        written = std::fclose(mtl) == 0 && std::fclose(obj) == 0 && written;
    }
    return written;
}

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
    return std::fclose(stl) == 0 && std::fclose(obj) == 0 && generate_sheets(dir);
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

int frames(const char* path, double seconds) {
    script::reset();
    if (!open_gl_window(window_title, 800, 600, 16, false)) return 1;
    open_model_file(path);
    if (!finish_model_file()) return 1;
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
                stereo_rig.setup_mono(view_size());
                draw_scene_object();
            },
            seconds);
        std::printf("%s stereo_ms %.2f mono_ms %.2f\n", shaded ? "shaded" : "wireframe", stereo, mono);
    }
    close_gl_window();
    return 0;
}

// Textured against plain, shaded stereo frames; then where the texture's
// upload falls: in the load (show_model), not in a frame.
int look(const std::string& dir, double seconds) {
    script::reset();
    if (!open_gl_window(window_title, 800, 600, 16, false)) return 1;
    double ms[2] = {};
    for (int textured = 0; textured < 2; ++textured) {
        open_model_file((dir + (textured ? "/sheet-textured.obj" : "/sheet-plain.obj")).c_str());
        if (!finish_model_file() || !model_shaded) return 1;
        ms[textured] = median_ms(
            [] {
                script::advance_counter(16667);
                render_frame();
            },
            seconds);
    }
    close_model();
    Mesh mesh;
    std::string reason;
    const double start = monotonic_seconds();
    if (!import_model_file((dir + "/sheet-textured.obj").c_str(), import_limits_from_environment(), &mesh, &reason))
        return 1;
    const double imported = monotonic_seconds();
    show_model(std::move(mesh));
    glFinish();
    const double uploaded = monotonic_seconds();
    script::advance_counter(16667);
    render_frame();
    glFinish();
    const double first = monotonic_seconds();
    script::advance_counter(16667);
    render_frame();
    glFinish();
    const double second = monotonic_seconds();
    std::printf("textured_ms %.2f plain_ms %.2f import_ms %.0f upload_ms %.0f first_frame_ms %.2f frame_ms %.2f\n",
                ms[1], ms[0], (imported - start) * 1000.0, (uploaded - imported) * 1000.0, (first - uploaded) * 1000.0,
                (second - first) * 1000.0);
    close_model();
    close_gl_window();
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
    if (mode == "look" && argc == 4) return look(argv[2], std::atof(argv[3]));
    std::fprintf(stderr,
                 "usage: model_bench generate DIR | load FILE | assimp FILE | worker FILE | loading FILE | crash FILE "
                 "| frames FILE SECONDS | look DIR SECONDS\n");
    return 2;
}
