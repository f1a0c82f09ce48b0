#include "app/frame.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/controls.h"
#include "app/gl_window.h"
#include "app/input.h"
#include "app/inspect.h"
#include "app/mode_switch.h"
#include "app/model_open.h"
#include "app/scene.h"
#include "app/statics.h"
#include "model/model.h"
#include "model/motion_detail.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "stereo/parallax.h"
#include "stereo/test_object.h"
#include "text/glyph_font.h"
#include "text/notice.h"

char rate_text[20];
char parallax_text[72];
char loading_text[72];
char info_text[120];
bool parallax_marked = false;

namespace {

const int parallax_row = 2;
const int loading_row = 3;
const int info_row = 4;
const int detail_row = 5;

void print_help(const GlyphFont& font) {
    font.print(15, 7, "Program: Duplexa 01", 0);
    glColor3f(0.9f, 0.9f, 1.0f);
    font.print(8, 8, "Duplexa - off-axis stereo viewer for red/cyan glasses", 0);
    glColor3f(1.0f, 1.0f, 1.0f);
    font.print(10, 9, "Controls:", 1);
    int row = help_first_row;
    for (int i = 0; i < control_count; ++i)
        if (controls[i].help) font.print(help_column, row++, controls[i].help, 1);
}

bool basic_mode(OutputMode mode) { return mode == OutputMode::anaglyph || mode == OutputMode::free_view; }

bool same_place(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

bool same_pose(const ViewPose& a, const ViewPose& b) {
    return same_place(a.position, b.position) && same_place(a.direction, b.direction) && same_place(a.up, b.up);
}

}  // namespace

void format_frame_rate(float rate, char* out, std::size_t size) {
    if (size == 0) return;
    if (!std::isfinite(rate)) {
        std::snprintf(out, size, "%s", std::isnan(rate) ? "nan" : (rate > 0 ? "inf" : "-inf"));
        return;
    }
    // Rounded to four significant digits first, so that the notation follows
    // the printed value (9999.7 prints as 1.e+004, not as a fifth digit).
    char scientific[32];
    std::snprintf(scientific, sizeof scientific, "%.3e", static_cast<double>(rate));
    const char* e = std::strchr(scientific, 'e');
    int exponent = e ? std::atoi(e + 1) : 0;
    if (rate != 0.0f && exponent >= -1 && exponent <= 3) {
        // The decimals follow the value as measured: 999.96 has one, and
        // prints as 1000.0, trimmed to "1000." (the point stays).
        const bool rounded_up = std::fabs(static_cast<double>(rate)) < std::pow(10.0, exponent);
        std::snprintf(out, size, "%.*f", 3 - exponent + (rounded_up ? 1 : 0), static_cast<double>(rate));
    } else {
        // d.ddde+ddd: a three-digit exponent, whatever the C library's habit.
        std::snprintf(out, size, "%.*se%c%03d", static_cast<int>(e - scientific), scientific, exponent < 0 ? '-' : '+',
                      exponent < 0 ? -exponent : exponent);
    }
    // Trailing zeros after the point go; the point itself stays.
    char* point = std::strchr(out, '.');
    if (!point) return;
    char* mantissa_end = std::strchr(point, 'e');
    if (!mantissa_end) mantissa_end = out + std::strlen(out);
    char* last = mantissa_end;
    while (last > point + 1 && last[-1] == '0') --last;
    if (last != mantissa_end) std::memmove(last, mantissa_end, std::strlen(mantissa_end) + 1);
}

void render_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    // The scene blends as the overlay does once it has run in this context:
    // the red and cyan images add up channel by channel. Before that (the
    // first frame of a context) the GL's initial function is in force.
    set_scene_blend_function();
    glEnable(GL_BLEND);

    const KeyState keys = held_keys();
    run_controls(Stage::camera);
    const ViewPose pose_before = current_view_pose();
    const float view_focus = update_view();
    const bool moving = !same_pose(pose_before, current_view_pose());
    const OutputMode mode_before = stereo_rig.mode();
    stereo_rig.update_from_input(keys, view_focus);
    run_controls(Stage::rig);
    // D from one of the other modes back to the anaglyph says so.
    if (stereo_rig.mode() != mode_before && !basic_mode(mode_before)) show_notice(output_mode_name(stereo_rig.mode()));

    run_controls(Stage::presentation);
    fit_model_to_view();
    follow_fitted_parallax();
    // The last frame's length decides; a model without a lighter mesh is
    // drawn whole whatever is chosen.
    const bool lighter = model_scene.detail.update(moving, 1.0f / frame_rate, platform_time_get_time());
    model_scene.draw_lighter = lighter && model_is_open(model_scene) && !model_scene.mesh.lighter_triangles.empty();
    if (stereo_rig.parallax_readout) {
        // What is drawn is measured: the model's vertices, or the test object's.
        const ParallaxReading reading =
            model_is_open(model_scene)
                ? measure_parallax(stereo_rig, current_view_pose(), view_size(),
                                   reinterpret_cast<const float(*)[3]>(model_scene.mesh.positions.get()),
                                   static_cast<int>(model_scene.mesh.vertex_count()), model_scene.view_scale, 1)
                : measure_parallax(stereo_rig, current_view_pose(), view_size(), test_object_vertices,
                                   test_object_vertex_count, 1.0f, 1);
        format_parallax(reading, parallax_text, sizeof parallax_text);
        parallax_marked = reading.uncomfortable;
    }

    draw_scene(keys);
    // F12: the pictures are read between the scene and the overlay.
    run_controls(Stage::picture);

    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1.0f, 1.0f, 1.0f);

    // Without a font (its allocation failed) the frame still measures its rate.
    if (glyph_font) {
        glyph_font->begin_overlay();
        overlay_blend_in_force = true;
    }

    frame_rate = 1.0f / frame_timer.elapsed_seconds();
    frame_timer.restart();
    format_frame_rate(frame_rate, rate_text, sizeof rate_text);

    if (!glyph_font) return;
    glyph_font->print(0, 0, rate_text, 0);
    if (const char* notice = current_notice()) glyph_font->print(0, notice_row, notice, 0);
    if (stereo_rig.parallax_readout) {
        // Beyond the comfort limit the line turns orange as well as saying so.
        if (parallax_marked) glColor3f(1.0f, 0.55f, 0.2f);
        glyph_font->print_batched(0, parallax_row, parallax_text, 0);
        glColor3f(1.0f, 1.0f, 1.0f);
    }
    if (model_file_loading()) {
        format_loading_text(loading_text, sizeof loading_text);
        glyph_font->print_batched(0, loading_row, loading_text, 0);
    }
    if (info_shown) {
        format_info_line(info_text, sizeof info_text);
        glyph_font->print_batched(0, info_row, info_text, 0);
    }
    if (model_scene.draw_lighter)
        glyph_font->print_batched(0, detail_row, "lighter mesh while moving (F: full detail)", 0);
    if (keys.held('H')) print_help(*glyph_font);
    glyph_font->end_overlay();
}
