#include "app/pictures.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "app/anaglyph.h"
#include "app/gl_window.h"
#include "app/inspect.h"
#include "app/model_open.h"
#include "app/png_file.h"
#include "app/scene.h"
#include "app/start.h"
#include "app/statics.h"
#include "model/model.h"
#include "model/model_import.h"
#include "platform/file.h"
#include "platform/gl.h"
#include "text/notice.h"

namespace {

// The colour buffer, rows bottom-up and tightly packed, as glReadPixels gives them.
std::vector<unsigned char> read_colour_buffer(int width, int height) {
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

// Each eye's whole image, in white over the whole area with the area's
// shape, side by side: left eye on the left. The eyes are those of the rig
// as it stands, whatever mode presents them.
std::vector<unsigned char> draw_stereo_pair(int width, int height) {
    StereoRig pair = stereo_rig;
    pair.set_mode(OutputMode::free_view);
    pair.image_shift = 0.0f;
    pair.swap_eyes = false;
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    std::vector<unsigned char> both(row * 2 * height);
    for (int eye = 0; eye < 2; ++eye) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (eye == 0)
            pair.setup_left_eye(view_size());
        else
            pair.setup_right_eye(view_size());
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        draw_scene_object(model_scene);
        const std::vector<unsigned char> image = read_colour_buffer(width, height);
        for (int y = 0; y < height; ++y)
            std::memcpy(&both[(static_cast<std::size_t>(y) * 2 + eye) * row], &image[y * row], row);
    }
    return both;
}

// duplexa-YYYYMMDD-HHMMSS, with -2, -3, ... when a picture of that second
// (or its pair) is already there.
std::string free_picture_name() {
    char stamp[32] = "duplexa";
    const std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now)) std::strftime(stamp, sizeof stamp, "duplexa-%Y%m%d-%H%M%S", local);
    for (int n = 1; n < 1000; ++n) {
        const std::string base = n == 1 ? std::string(stamp) : std::string(stamp) + "-" + std::to_string(n);
        if (!file_exists((base + ".png").c_str()) && !file_exists((base + "-pair.png").c_str())) return base;
    }
    return std::string();
}

void print_info_line() {
    char line[256];
    format_info_line(line, sizeof line);
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void tell_failure(const char* reason) {
    std::fprintf(stderr, "duplexa: cannot save the picture: %s\n", reason);
    std::fflush(stderr);
    // The notice line cuts what does not fit; standard error has it whole.
    show_notice((std::string("not saved: ") + reason).c_str());
}

// The state the running viewer draws in from its second frame on: the
// overlay's blend function, which makes the anaglyph colours add up.
void prepare_drawing(int width, int height) {
    set_default_gl_state();
    forget_anaglyph_mixer();
    resize_view(width, height);
    overlay_blend_in_force = true;
    set_scene_blend_function();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
}

// The held keys as a picture sees them: those of the frame, or with S held
// for the one centred image.
struct PictureKeys {
    unsigned char down[256];
    explicit PictureKeys(bool mono) {
        std::memcpy(down, key_down, sizeof down);
        if (mono) down['S'] = 1;
    }
    KeyState state() const { return KeyState{down, frame_rate}; }
};

}  // namespace

void save_pictures() {
    const int width = view_width, height = view_height;
    if (width <= 0 || height <= 0) return;
    const std::vector<unsigned char> shown = read_colour_buffer(width, height);
    const std::vector<unsigned char> pair = draw_stereo_pair(width, height);
    // The frame goes on to be shown as it was drawn.
    stereo_rig.setup_mono(view_size());
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    draw_scene(held_keys());

    const std::string base = free_picture_name();
    char reason[300];
    if (base.empty()) {
        tell_failure("no free file name");
        return;
    }
    const std::string shown_path = base + ".png", pair_path = base + "-pair.png";
    if (!write_png_file(shown_path.c_str(), width, height, shown.data(), false, reason, sizeof reason) ||
        !write_png_file(pair_path.c_str(), width * 2, height, pair.data(), false, reason, sizeof reason)) {
        tell_failure(reason);
        return;
    }
    char text[72];
    std::snprintf(text, sizeof text, "saved %s and -pair.png", shown_path.c_str());
    show_notice(text);
}

bool parse_picture_size(const std::string& text, int* width, int* height) {
    int w = 0, h = 0, used = 0;
    if (std::sscanf(text.c_str(), "%5dx%5d%n", &w, &h, &used) != 2 || used != static_cast<int>(text.size()))
        return false;
    if (w < 1 || h < 1 || w > max_picture_side || h > max_picture_side) return false;
    *width = w;
    *height = h;
    return true;
}

int render_pictures(const Options& options) {
    int width = 0, height = 0;
    if (!parse_picture_size(options.size, &width, &height)) {
        std::fprintf(stderr, "duplexa: bad picture size %s: give WxH, each side from 1 to %d\n", options.size.c_str(),
                     max_picture_side);
        return 1;
    }
    if (options.mode_given && mode_needs_stereo(options.mode)) {
        std::fprintf(stderr, "duplexa: %s needs a stereo display and cannot be rendered to a file\n",
                     output_mode_name(options.mode));
        return 1;
    }
    Mesh mesh;
    if (!options.model_path.empty()) {
        std::string why;
        if (!import_model_file(options.model_path.c_str(), import_limits_from_environment(), &mesh, &why)) {
            // One line: the importer's reason may span several.
            for (char& c : why)
                if (c == '\n' || c == '\r') c = ' ';
            std::fprintf(stderr, "duplexa: cannot open the model %s: %s\n", options.model_path.c_str(), why.c_str());
            return 1;
        }
    }
    apply_start_options(options);
    // --info alone: what the model holds, on standard output, and nothing more.
    if (!options.renders()) {
        if (!options.model_path.empty()) {
            model_scene.mesh = std::move(mesh);
            model_arrived(options.model_path.c_str());
        }
        print_info_line();
        return 0;
    }
    char reason[256] = "";
    OffscreenSurface surface = platform_create_offscreen(width, height, reason, sizeof reason);
    if (!surface) {
        std::fprintf(stderr, "duplexa: no offscreen OpenGL: %s\n", reason);
        return 1;
    }

    prepare_drawing(width, height);
    if (!options.model_path.empty()) {
        // Its textures go to the surface's context.
        char notice[64];
        install_model(std::move(mesh), options.model_path.c_str(), notice, sizeof notice);
        if (notice[0]) std::fprintf(stderr, "duplexa: %s\n", notice);
    }
    if (options.info) print_info_line();
    // The camera at home, the rig focused as automatic focus does in a frame.
    camera.apply_view();
    const PictureKeys keys(options.mono);
    stereo_rig.update_from_input(keys.state(), camera.distance_from_origin());
    fit_model_to_view();
    follow_fitted_parallax();
    // Mono as with S held: one image, drawn with the centred projection.
    if (options.mono) stereo_rig.setup_mono(view_size());
    draw_scene(keys.state());
    // The window would say so on its overlay; a picture has none.
    if (options.anaglyph_given && stereo_rig.anaglyph_method != options.anaglyph)
        std::fprintf(stderr, "duplexa: %s; drawn with channels\n", current_notice() ? current_notice() : "");

    int code = 0;
    if (!options.render_path.empty()) {
        const std::vector<unsigned char> shown = read_colour_buffer(width, height);
        if (!write_png_file(options.render_path.c_str(), width, height, shown.data(), true, reason, sizeof reason))
            code = 1;
    }
    if (code == 0 && !options.render_pair_path.empty()) {
        const std::vector<unsigned char> pair = draw_stereo_pair(width, height);
        if (!write_png_file(options.render_pair_path.c_str(), width * 2, height, pair.data(), true, reason,
                            sizeof reason))
            code = 1;
    }
    if (code != 0) std::fprintf(stderr, "duplexa: %s\n", reason);
    release_model_buffers(model_scene);
    platform_destroy_offscreen(surface);
    return code;
}
