#include "app/frame.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "app/gl_window.h"
#include "app/mode_switch.h"
#include "app/model_open.h"
#include "app/pictures.h"
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
bool parallax_marked = false;

namespace {

// The help page, in the order it is printed.
struct HelpLine {
    int column, row, set;
    const char* text;
};
const HelpLine help_controls[] = {
    {15, 10, 1, "mouse, arrows, Page Up, Page Down - moving"},
    {15, 11, 1, "U - automatic focus"},
    {15, 12, 1, "Q,W - change focal length"},
    {15, 13, 1, "Y - focus"},
    {15, 14, 1, "Z,X - change separation of eyes"},
    {15, 15, 1, "E - reset stereo setting"},
    {15, 16, 1, "S - switch off stereo"},
    {15, 17, 1, "D - switch between glasses mode and witout glasses mode"},
    {15, 18, 1, "I,O - set shift pictures in without glasses mode"},
    {15, 19, 1, "J,K - show only right, left view"},
    {15, 20, 1, "R - reset camera"},
    {15, 21, 1, "H - help"},
};
// The keys added since, each on a line of its own below.
const HelpLine help_output_controls[] = {
    {15, 22, 1, "M - next output mode (side-by-side, rows, page-flip...)"},
    {15, 23, 1, "V - swap eyes"},
    {15, 24, 1, "C - next anaglyph colour pair"},
    {15, 25, 1, "P - parallax comfort readout"},
    {15, 26, 1, "L - model: wireframe or shaded"},
    {15, 27, 1, "F12 - save the picture and the stereo pair (PNG)"},
    {15, 29, 1, "F - big model: lighter mesh while moving, or full detail"},
};
const int parallax_row = 2;
const int loading_row = 3;
const int detail_row = 4;

void print_help(const GlyphFont& font) {
    font.print(15, 7, "Program: Duplexa 01", 0);
    glColor3f(0.9f, 0.9f, 1.0f);
    font.print(8, 8, "Duplexa - off-axis stereo viewer for red/cyan glasses", 0);
    glColor3f(1.0f, 1.0f, 1.0f);
    font.print(10, 9, "Controls:", 1);
    for (const HelpLine& line : help_controls) font.print(line.column, line.row, line.text, line.set);
    for (const HelpLine& line : help_output_controls) font.print(line.column, line.row, line.text, line.set);
}

bool basic_mode(OutputMode mode) { return mode == OutputMode::anaglyph || mode == OutputMode::free_view; }

// M, V, C and P: the presentation controls, once per press.
void handle_presentation_keys() {
    char text[48];
    if (key_down['M']) {
        key_down['M'] = 0;
        step_output_mode();
    }
    if (key_down['V']) {
        key_down['V'] = 0;
        stereo_rig.swap_eyes = !stereo_rig.swap_eyes;
        show_notice(stereo_rig.swap_eyes ? "eyes swapped" : "eyes in place");
    }
    if (key_down['C']) {
        key_down['C'] = 0;
        const int row = stereo_rig.colour_pair;
        stereo_rig.colour_pair = row >= 0 && row < colour_pair_count - 1 ? row + 1 : 0;
        std::snprintf(text, sizeof text, "colours %s", colour_pair_name(stereo_rig.colour_pair));
        show_notice(text);
    }
    if (key_down['P']) {
        key_down['P'] = 0;
        stereo_rig.parallax_readout = !stereo_rig.parallax_readout;
    }
}

void focus_now() { stereo_rig.set_focus(camera.distance_from_origin()); }

bool same_place(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// F, once per press: the lighter mesh while moving, or the full one always.
void handle_detail_key() {
    if (!key_down['F']) return;
    key_down['F'] = 0;
    model_detail.full_detail = !model_detail.full_detail;
    show_notice(model_detail.full_detail ? "full detail always" : "lighter mesh while moving");
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

void draw_scene() {
    if (key_down['S']) {
        // Mono draws with the projection, viewport and colour the previous
        // frame's setup_mono left.
        draw_scene_object();
    } else {
        stereo_rig.setup_left_eye();
        if (!key_down['J']) draw_scene_object();
        // The right image must not be hidden by the left one's depth.
        glClear(GL_DEPTH_BUFFER_BIT);
        stereo_rig.setup_right_eye();
        if (!key_down['K']) draw_scene_object();
        stereo_rig.setup_mono();
    }
}

void render_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    // The scene blends with the function the previous frame's overlay left:
    // the red and cyan images add up channel by channel.
    glEnable(GL_BLEND);

    const Camera camera_before = camera;
    camera.update_from_input();
    const bool moving = !same_place(camera.position, camera_before.position) ||
                        !same_place(camera.direction, camera_before.direction) ||
                        !same_place(camera.up, camera_before.up);
    const OutputMode mode_before = stereo_rig.mode();
    stereo_rig.update_from_input(camera.distance_from_origin());
    // D from one of the other modes back to the anaglyph says so.
    if (stereo_rig.mode() != mode_before && !basic_mode(mode_before)) show_notice(output_mode_name(stereo_rig.mode()));

    if (key_down['Y']) focus_now();
    if (key_down['E']) {
        stereo_rig.image_shift = 0.0f;
        stereo_rig.separation_ratio = 30.0f;
        focus_now();
    }
    handle_presentation_keys();
    // Once per press, like D and U.
    if (key_down['L']) {
        key_down['L'] = 0;
        if (model_is_open()) model_shaded = !model_shaded;
    }
    handle_detail_key();
    // The last frame's length decides; a model without a lighter mesh is
    // drawn whole whatever is chosen.
    const bool lighter = model_detail.update(moving, 1.0f / frame_rate, platform_time_get_time());
    model_draw_lighter = lighter && model_is_open() && !model_mesh.lighter_triangles.empty();
    if (stereo_rig.parallax_readout) {
        // What is drawn is measured: the model's vertices, or the test object's.
        const ParallaxReading reading =
            model_is_open()
                ? measure_parallax(stereo_rig, camera, reinterpret_cast<const float(*)[3]>(model_mesh.positions.get()),
                                   static_cast<int>(model_mesh.vertex_count()))
                : measure_parallax(stereo_rig, camera, test_object_vertices, test_object_vertex_count);
        format_parallax(reading, parallax_text, sizeof parallax_text);
        parallax_marked = reading.uncomfortable;
    }

    draw_scene();
    // F12: the pictures are read between the scene and the overlay.
    if (key_down[VK_F12]) {
        key_down[VK_F12] = 0;
        save_pictures();
    }

    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1.0f, 1.0f, 1.0f);

    // Without a font (its allocation failed) the frame still measures its rate.
    if (glyph_font) glyph_font->begin_overlay();

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
    if (model_draw_lighter) glyph_font->print_batched(0, detail_row, "lighter mesh while moving (F: full detail)", 0);
    if (key_down['H']) print_help(*glyph_font);
    glyph_font->end_overlay();
}
