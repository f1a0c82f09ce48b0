// Big models: the files are made here, never shipped.
//   model_bench generate DIR         writes DIR/big.stl (binary) and DIR/big.obj, 1,000,000 triangles each
//   model_bench load FILE            our whole load (open_model_file's reading: import, validation,
//                                    conversion, fit); prints ms and the process's peak memory
//   model_bench assimp FILE          Assimp's own ReadFile of the same file, with the same flags
//   model_bench worker FILE          the same load through the import worker, as the viewer makes it
//   model_bench inprocess FILE       the worker's own work in this process: the load, then the edges
//                                    and the lighter mesh (the baseline of worker)
//   model_bench loading FILE         frames drawn while the worker reads FILE: the longest frame
//                                    interval, the longest time the percentage stood still (the last
//                                    figure until the model shows) and the longest poll
//   model_bench crash FILE           a worker made to crash: from its start to the viewer's reason
//   model_bench frames FILE SECONDS  offscreen (OSMesa): a stereo glasses-mode frame against one mono
//                                    draw of the model, wireframe then shaded, with the GL buffers and
//                                    edges, and as before them (client arrays, outlined faces), the two
//                                    in alternating rounds; the frame while moving with the lighter mesh
//                                    in every output mode; the GL's bytes for the model against its
//                                    vertex data
//   model_bench variants FILE SECONDS  offscreen: one mono draw of the triangles and of the edges from
//                                    client arrays or buffers, 32- or 16-bit indices, separate or
//                                    interleaved arrays, glDrawElements or glDrawRangeElements; the
//                                    edges off screen, over their vertices alone, and the faces outlined
//   model_bench draw FILE STYLE N    offscreen: N stereo frames of the full mesh in STYLE (wireframe,
//                                    shaded), for a profiler (valgrind --tool=callgrind)
//   model_bench extras FILE          the import in this process, then the edges and the lighter mesh,
//                                    and each of their steps; medians of three
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
#include "app/mode_switch.h"
#include "app/model_open.h"
#include "app/png_file.h"
#include "app/statics.h"
#include "bench/bench_common.h"
#include "model/mesh_edges.h"
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

// One whole load, in this process (read_model_file, with the extras the
// worker adds when `extras`) or through the import worker (in_worker): its
// time, the process's peak memory and the faces.
int load(const char* path, bool in_worker, bool extras = false) {
    double start = monotonic_seconds();
    Mesh mesh;
    std::string reason;
    const bool read = in_worker ? import_model_file(path, import_limits_from_environment(), &mesh, &reason)
                                : read_model_file(path, &mesh, &reason);
    if (read && extras) build_mesh_extras(&mesh);
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
    double last_frame = start, last_change = start, longest_frame = 0, longest_still = 0, longest_poll = 0;
    int percent = -1, frames_drawn = 0;
    while (model_file_loading()) {
        const double before_poll = monotonic_seconds();
        poll_model_file(platform_time_get_time());
        const double polled = monotonic_seconds();
        // The frames that show the model once it has arrived are the draw's
        // own cost, not the load's; the last figure stood until then.
        if (!model_file_loading()) {
            longest_still = std::max(longest_still, polled - last_change);
            break;
        }
        longest_poll = std::max(longest_poll, polled - before_poll);
        script::advance_counter(16667);
        render_frame();
        glFinish();
        const double now = monotonic_seconds();
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
    std::printf("ms %.1f frames %d longest_frame_ms %.1f longest_still_ms %.1f longest_poll_ms %.1f faces %zu\n",
                (monotonic_seconds() - start) * 1000.0, frames_drawn, longest_frame * 1000.0, longest_still * 1000.0,
                longest_poll * 1000.0, model_scene.mesh.face_count());
    close_gl_window();
    return model_is_open(model_scene) ? 0 : 1;
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

// The drawing as it is (GL buffers, edges) or as before them (client
// arrays, every face outlined), switched between rounds and never timed.
void draw_as_before(bool before, std::vector<std::uint32_t>* stashed_edges) {
    release_model_buffers(model_scene);
    script::set_gl_procedures(!before);
    if (before != model_scene.mesh.edges.empty()) model_scene.mesh.edges.swap(*stashed_edges);
}

// The stereo frame and one mono draw, wireframe then shaded, now and as
// before, in alternating rounds so that both see the same load of the
// machine. The full mesh throughout: a frame after motion would draw the
// lighter one until it settles, and the mono draws have no frame to decide.
void frame_figures(double seconds) {
    model_scene.detail.full_detail = true;
    std::vector<std::uint32_t> stashed_edges;
    std::vector<double> times[2][2][2];  // [before][shaded][mono]
    const double end = monotonic_seconds() + 2 * seconds;
    for (int round = 0; round < 7 || monotonic_seconds() < end; ++round)
        for (bool before : {false, true}) {
            draw_as_before(before, &stashed_edges);
            for (bool shaded : {false, true}) {
                model_scene.shaded = shaded;
                script::advance_counter(16667);
                render_frame();  // the upload and the warm-up
                glFinish();
                double t0 = monotonic_seconds();
                script::advance_counter(16667);
                render_frame();
                glFinish();
                double t1 = monotonic_seconds();
                // One draw as the mono view makes it: centred projection, then the model.
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                stereo_rig.setup_mono(view_size());
                draw_scene_object(model_scene);
                glFinish();
                double t2 = monotonic_seconds();
                times[before][shaded][0].push_back((t1 - t0) * 1000.0);
                times[before][shaded][1].push_back((t2 - t1) * 1000.0);
            }
        }
    draw_as_before(false, &stashed_edges);
    model_scene.detail.full_detail = false;
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    for (bool before : {false, true})
        for (bool shaded : {false, true})
            std::printf("%s%s stereo_ms %.2f mono_ms %.2f rounds %zu\n", shaded ? "shaded" : "wireframe",
                        before ? "-before" : "", median(times[before][shaded][0]), median(times[before][shaded][1]),
                        times[before][shaded][0].size());
}

int frames(const char* path, double seconds) {
    script::reset();
    // A stencil buffer, so that every output mode can be measured in one window.
    format_wanted = BufferNeeds{true, false};
    if (!open_gl_window(window_title, 800, 600, 16, false)) return 1;
    open_model_file(path);
    if (!finish_model_file()) return 1;
    frame_figures(seconds);

    // While turning, each frame timed as slow as the full mesh's: the
    // lighter mesh is drawn, in each output mode that needs no stereo format.
    key_down[VK_LEFT] = 1;
    for (int m = 0; m < output_mode_count; ++m) {
        const OutputMode mode = OutputMode(m);
        if (mode_needs_stereo(mode)) continue;
        stereo_rig.set_mode(mode);
        for (bool shaded : {false, true}) {
            model_scene.shaded = shaded;
            const double moving = median_ms(
                [] {
                    script::advance_counter(200000);
                    render_frame();
                },
                seconds / 4);
            std::printf("moving-%s-%s moving_ms %.2f lighter %d triangles %zu\n", output_mode_name(mode),
                        shaded ? "shaded" : "wireframe", moving, model_scene.draw_lighter ? 1 : 0,
                        model_scene.mesh.lighter_triangles.size() / 3);
        }
    }
    key_down[VK_LEFT] = 0;
    // The buffers as the last frames made them.
    const Mesh& mesh = model_scene.mesh;
    std::size_t vertex_bytes = 24 * mesh.vertex_count();
    for (const std::vector<std::uint32_t>* list : {&mesh.triangles, &mesh.quads, &mesh.polygons})
        vertex_bytes += 4 * list->size();
    std::printf("memory gpu_bytes %zu vertex_bytes %zu\n", model_gpu_bytes(model_scene), vertex_bytes);
    close_gl_window();
    return 0;
}

// A few frames and nothing else, for a profiler: the load is outside the
// figures a profiler is asked for (--toggle-collect=render_frame).
int draw(const char* path, const std::string& style, int count) {
    script::reset();
    if (!open_gl_window(window_title, 800, 600, 16, false)) return 1;
    open_model_file(path);
    if (!finish_model_file()) return 1;
    model_scene.detail.full_detail = true;
    model_scene.shaded = style == "shaded";
    const double start = monotonic_seconds();
    for (int i = 0; i < count; ++i) {
        script::advance_counter(16667);
        render_frame();
        glFinish();
    }
    std::printf("ms %.2f\n", (monotonic_seconds() - start) * 1000.0 / std::max(count, 1));
    close_gl_window();
    return 0;
}

// Each suspect of the buffer path alone: one mono draw of the model's
// triangles (shaded) and of its edges, from client arrays or buffers, with
// 32- or 16-bit indices (16-bit: the mesh cut into runs of at most 65536
// vertices, each drawn with its own base), separate or interleaved arrays,
// glDrawElements or glDrawRangeElements.
struct Variant {
    bool buffers, shorts, interleaved, ranged;
};

typedef void(APIENTRY* GenBuffersCall)(GLsizei, GLuint*);
typedef void(APIENTRY* BindBufferCall)(GLenum, GLuint);
typedef void(APIENTRY* BufferDataCall)(GLenum, std::ptrdiff_t, const void*, GLenum);
typedef void(APIENTRY* DeleteBuffersCall)(GLsizei, const GLuint*);
typedef void(APIENTRY* DrawRangeCall)(GLenum, GLuint, GLuint, GLsizei, GLenum, const void*);

int variants(const char* path, double seconds) {
    script::reset();
    if (!open_gl_window(window_title, 800, 600, 16, false)) return 1;
    open_model_file(path);
    if (!finish_model_file()) return 1;
    auto gen = reinterpret_cast<GenBuffersCall>(platform_get_gl_proc_address("glGenBuffers"));
    auto bind = reinterpret_cast<BindBufferCall>(platform_get_gl_proc_address("glBindBuffer"));
    auto data = reinterpret_cast<BufferDataCall>(platform_get_gl_proc_address("glBufferData"));
    auto remove = reinterpret_cast<DeleteBuffersCall>(platform_get_gl_proc_address("glDeleteBuffers"));
    auto range = reinterpret_cast<DrawRangeCall>(platform_get_gl_proc_address("glDrawRangeElements"));
    if (!gen || !bind || !data || !remove || !range) return 1;
    const Mesh& mesh = model_scene.mesh;
    const std::size_t n = mesh.vertex_count();
    std::vector<float> interleaved(6 * n);
    for (std::size_t v = 0; v < n; ++v)
        for (int k = 0; k < 3; ++k) {
            interleaved[6 * v + k] = mesh.positions[3 * v + k];
            interleaved[6 * v + 3 + k] = mesh.normals[3 * v + k];
        }
    // Runs of whole lists whose indices lie within 65536 of the run's lowest.
    struct Run {
        std::size_t first, count;
        std::uint32_t low, high;
    };
    auto runs_of = [](const std::vector<std::uint32_t>& list, std::size_t per) {
        std::vector<Run> runs;
        for (std::size_t i = 0; i < list.size();) {
            Run run{i, 0, list[i], list[i]};
            std::size_t j = i;
            while (j < list.size()) {
                std::uint32_t low = run.low, high = run.high;
                for (std::size_t k = j; k < j + per; ++k) low = std::min(low, list[k]), high = std::max(high, list[k]);
                if (high - low > 0xFFFF) break;
                run.low = low, run.high = high;
                j += per;
            }
            run.count = j - i;
            runs.push_back(run);
            i = j;
        }
        return runs;
    };
    const std::vector<Run> tri_runs = runs_of(mesh.triangles, 3), edge_runs = runs_of(mesh.edges, 2);
    std::vector<std::uint16_t> tri16(mesh.triangles.size()), edge16(mesh.edges.size());
    for (const Run& r : tri_runs)
        for (std::size_t i = r.first; i < r.first + r.count; ++i) tri16[i] = std::uint16_t(mesh.triangles[i] - r.low);
    for (const Run& r : edge_runs)
        for (std::size_t i = r.first; i < r.first + r.count; ++i) edge16[i] = std::uint16_t(mesh.edges[i] - r.low);

    GLuint names[4] = {};
    gen(4, names);  // positions+normals separate, interleaved, 32-bit indices, 16-bit indices
    bind(0x8892, names[0]);
    data(0x8892, std::ptrdiff_t(24 * n), nullptr, 0x88E4);
    typedef void(APIENTRY * SubCall)(GLenum, std::ptrdiff_t, std::ptrdiff_t, const void*);
    auto sub = reinterpret_cast<SubCall>(platform_get_gl_proc_address("glBufferSubData"));
    sub(0x8892, 0, std::ptrdiff_t(12 * n), mesh.positions.get());
    sub(0x8892, std::ptrdiff_t(12 * n), std::ptrdiff_t(12 * n), mesh.normals.get());
    bind(0x8892, names[1]);
    data(0x8892, std::ptrdiff_t(24 * n), interleaved.data(), 0x88E4);
    bind(0x8893, names[2]);
    data(0x8893, std::ptrdiff_t(4 * (mesh.triangles.size() + mesh.edges.size())), nullptr, 0x88E4);
    sub(0x8893, 0, std::ptrdiff_t(4 * mesh.triangles.size()), mesh.triangles.data());
    sub(0x8893, std::ptrdiff_t(4 * mesh.triangles.size()), std::ptrdiff_t(4 * mesh.edges.size()), mesh.edges.data());
    bind(0x8893, names[3]);
    data(0x8893, std::ptrdiff_t(2 * (tri16.size() + edge16.size())), nullptr, 0x88E4);
    sub(0x8893, 0, std::ptrdiff_t(2 * tri16.size()), tri16.data());
    sub(0x8893, std::ptrdiff_t(2 * tri16.size()), std::ptrdiff_t(2 * edge16.size()), edge16.data());
    bind(0x8892, 0);
    bind(0x8893, 0);

    auto draw = [&](const Variant& v, bool edges) {
        const char* base =
            v.buffers ? nullptr : reinterpret_cast<const char*>(v.interleaved ? interleaved.data() : nullptr);
        bind(0x8892, v.buffers ? names[v.interleaved ? 1 : 0] : 0);
        bind(0x8893, v.buffers ? names[v.shorts ? 3 : 2] : 0);
        const std::size_t stride = v.interleaved ? 24 : 0, step = v.interleaved ? 24 : 12;
        auto point = [&](std::size_t low) {
            if (v.interleaved) {
                glVertexPointer(3, GL_FLOAT, GLsizei(stride), base + step * low);
                glNormalPointer(GL_FLOAT, GLsizei(stride), base + step * low + 12);
            } else if (v.buffers) {
                glVertexPointer(3, GL_FLOAT, 0, base + 12 * low);
                glNormalPointer(GL_FLOAT, 0, base + 12 * n + 12 * low);
            } else {
                glVertexPointer(3, GL_FLOAT, 0, mesh.positions.get() + 3 * low);
                glNormalPointer(GL_FLOAT, 0, mesh.normals.get() + 3 * low);
            }
        };
        const GLenum mode = edges ? GL_LINES : GL_TRIANGLES;
        const std::size_t offset32 = edges ? 4 * mesh.triangles.size() : 0;
        const std::size_t offset16 = edges ? 2 * tri16.size() : 0;
        if (!v.shorts) {
            point(0);
            const void* at = v.buffers ? reinterpret_cast<const void*>(offset32)
                                       : (edges ? mesh.edges.data() : mesh.triangles.data());
            const GLsizei count = GLsizei(edges ? mesh.edges.size() : mesh.triangles.size());
            if (v.ranged)
                range(mode, 0, GLuint(n - 1), count, GL_UNSIGNED_INT, at);
            else
                glDrawElements(mode, count, GL_UNSIGNED_INT, at);
        } else {
            for (const Run& r : edges ? edge_runs : tri_runs) {
                point(r.low);
                const std::uint16_t* list = edges ? edge16.data() : tri16.data();
                const void* at = v.buffers ? reinterpret_cast<const void*>(offset16 + 2 * r.first)
                                           : static_cast<const void*>(list + r.first);
                if (v.ranged)
                    range(mode, 0, r.high - r.low, GLsizei(r.count), GL_UNSIGNED_SHORT, at);
                else
                    glDrawElements(mode, GLsizei(r.count), GL_UNSIGNED_SHORT, at);
            }
        }
    };
    script::advance_counter(16667);
    render_frame();
    glFinish();
    stereo_rig.setup_mono(view_size());
    glEnable(GL_BLEND);
    // Alternating rounds: every variant sees the same load of the machine.
    struct Case {
        std::string name;
        Variant v;
        int kind;  // 0 triangles, 1 edges, 2 draw_scene_object wireframe, 3 shaded
    };
    std::vector<Case> cases;
    cases.push_back({"the viewer's wireframe (buffers, edges)", {}, 2});
    cases.push_back({"the viewer's shaded (buffers)", {}, 3});
    for (int b = 0; b < 2; ++b)
        for (int s = 0; s < 2; ++s)
            for (int i = 0; i < 2; ++i)
                for (int r = 0; r < 2; ++r)
                    for (int kind : {0, 1}) {
                        const Variant v{b == 1, s == 1, i == 1, r == 1};
                        std::string name = std::string(v.buffers ? "buffers" : "client") +
                                           (v.shorts ? " ushort" : " uint") +
                                           (v.interleaved ? " interleaved" : " separate") +
                                           (v.ranged ? " range" : " plain") + (kind ? " edges" : " triangles");
                        cases.push_back({name, v, kind});
                    }
    for (int kind : {4, 5, 6, 7})
        cases.push_back({kind == 4   ? "client edges off screen"
                         : kind == 5 ? "client triangles off screen"
                         : kind == 6 ? "client outlined triangles"
                                     : "client edges compact vertices",
                         {},
                         kind});
    // The edges over only the vertices they use, renumbered in order.
    std::vector<std::uint32_t> renumber(n, ~0u), compact_edges(mesh.edges.size());
    std::vector<float> compact;
    for (std::size_t i = 0; i < mesh.edges.size(); ++i) {
        std::uint32_t& to = renumber[mesh.edges[i]];
        if (to == ~0u) {
            to = std::uint32_t(compact.size() / 3);
            compact.insert(compact.end(), &mesh.positions[3 * mesh.edges[i]], &mesh.positions[3 * mesh.edges[i]] + 3);
        }
        compact_edges[i] = to;
    }
    std::vector<std::vector<double>> times(cases.size());
    const int rounds = std::max(5, int(2 * seconds));
    for (int round = 0; round < rounds; ++round)
        for (std::size_t c = 0; c < cases.size(); ++c) {
            const Case& k = cases[c];
            glFinish();
            const double t0 = monotonic_seconds();
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            if (k.kind >= 4) {
                glEnableClientState(GL_VERTEX_ARRAY);
                glVertexPointer(3, GL_FLOAT, 0, k.kind == 7 ? compact.data() : mesh.positions.get());
                if (k.kind == 4 || k.kind == 5) {
                    glPushMatrix();
                    glTranslatef(0, 0, 1e6f);
                }
                if (k.kind == 6) glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
                if (k.kind == 5 || k.kind == 6)
                    glDrawElements(GL_TRIANGLES, GLsizei(mesh.triangles.size()), GL_UNSIGNED_INT,
                                   mesh.triangles.data());
                else
                    glDrawElements(GL_LINES, GLsizei(mesh.edges.size()), GL_UNSIGNED_INT,
                                   k.kind == 7 ? compact_edges.data() : mesh.edges.data());
                glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
                if (k.kind == 4 || k.kind == 5) glPopMatrix();
                glDisableClientState(GL_VERTEX_ARRAY);
            } else if (k.kind >= 2) {
                model_scene.shaded = k.kind == 3;
                draw_scene_object(model_scene);
            } else {
                glEnableClientState(GL_VERTEX_ARRAY);
                if (k.kind == 0) {
                    glEnableClientState(GL_NORMAL_ARRAY);
                    glEnable(GL_LIGHTING);
                    glEnable(GL_LIGHT0);
                }
                draw(k.v, k.kind == 1);
                glDisable(GL_LIGHTING);
                glDisable(GL_LIGHT0);
                glDisableClientState(GL_NORMAL_ARRAY);
                glDisableClientState(GL_VERTEX_ARRAY);
                bind(0x8892, 0);
                bind(0x8893, 0);
            }
            glFinish();
            times[c].push_back((monotonic_seconds() - t0) * 1000.0);
        }
    for (std::size_t c = 0; c < cases.size(); ++c) {
        std::sort(times[c].begin(), times[c].end());
        std::printf("variant %s ms %.1f\n", cases[c].name.c_str(), times[c][times[c].size() / 2]);
    }
    remove(4, names);
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
        if (!finish_model_file() || !model_scene.shaded) return 1;
        ms[textured] = median_ms(
            [] {
                script::advance_counter(16667);
                render_frame();
            },
            seconds);
    }
    close_model(model_scene);
    Mesh mesh;
    std::string reason;
    const double start = monotonic_seconds();
    if (!import_model_file((dir + "/sheet-textured.obj").c_str(), import_limits_from_environment(), &mesh, &reason))
        return 1;
    const double imported = monotonic_seconds();
    show_model(model_scene, std::move(mesh));
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
    close_model(model_scene);
    close_gl_window();
    return 0;
}

// Medians of three: the import, the extras after it, and their parts.
int extras(const char* path) {
    std::vector<double> figures[6];
    std::size_t edges = 0, lighter = 0;
    for (int run = 0; run < 3; ++run) {
        Mesh mesh;
        std::string reason;
        double t0 = monotonic_seconds();
        if (!read_model_file(path, &mesh, &reason)) return 1;
        double t1 = monotonic_seconds();
        build_mesh_extras(&mesh);
        double t2 = monotonic_seconds();
        edges = mesh.edges.size() / 2;
        lighter = mesh.lighter_triangles.size() / 3;
        const DenseVertices dense = weld_positions(mesh.positions.get(), mesh.vertex_count());
        double t3 = monotonic_seconds();
        std::vector<std::uint32_t> list, triangles;
        build_mesh_edges(mesh, dense, &list);
        double t4 = monotonic_seconds();
        build_lighter_triangles(mesh, dense, lighter_triangle_budget, lighter_threshold, &triangles);
        double t5 = monotonic_seconds();
        build_triangle_edges(triangles, dense, &list);
        double t6 = monotonic_seconds();
        const double parts[6] = {t1 - t0, t2 - t1, t3 - t2, t4 - t3, t5 - t4, t6 - t5};
        for (int i = 0; i < 6; ++i) figures[i].push_back(parts[i] * 1000.0);
    }
    double median[6];
    for (int i = 0; i < 6; ++i) {
        std::sort(figures[i].begin(), figures[i].end());
        median[i] = figures[i][1];
    }
    std::printf(
        "import_ms %.1f extras_ms %.1f weld_ms %.1f edges_ms %.1f lighter_ms %.1f lighter_edges_ms %.1f edges %zu "
        "lighter %zu\n",
        median[0], median[1], median[2], median[3], median[4], median[5], edges, lighter);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc == 3) return generate(argv[2]) ? 0 : 1;
    if (mode == "load" && argc == 3) return load(argv[2], false);
    if (mode == "assimp" && argc == 3) return assimp_read(argv[2]);
    if (mode == "worker" && argc == 3) return load(argv[2], true);
    if (mode == "inprocess" && argc == 3) return load(argv[2], false, true);
    if (mode == "loading" && argc == 3) return loading(argv[2]);
    if (mode == "crash" && argc == 3) return crash(argv[2]);
    if (mode == "frames" && argc == 4) return frames(argv[2], std::atof(argv[3]));
    if (mode == "look" && argc == 4) return look(argv[2], std::atof(argv[3]));
    if (mode == "draw" && argc == 5) return draw(argv[2], argv[3], std::atoi(argv[4]));
    if (mode == "extras" && argc == 3) return extras(argv[2]);
    if (mode == "variants" && argc == 4) return variants(argv[2], std::atof(argv[3]));
    std::fprintf(stderr,
                 "usage: model_bench generate DIR | load FILE | assimp FILE | worker FILE | loading FILE | crash FILE "
                 "| inprocess FILE | frames FILE SECONDS | variants FILE SECONDS | draw FILE STYLE N | extras FILE "
                 "| look DIR SECONDS\n");
    return 2;
}
