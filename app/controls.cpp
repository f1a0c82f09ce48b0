#include "app/controls.h"

#include <cstdio>

#include "app/anaglyph.h"
#include "app/input.h"
#include "app/inspect.h"
#include "app/mode_switch.h"
#include "app/pictures.h"
#include "app/statics.h"
#include "model/model.h"
#include "text/notice.h"

namespace {

void toggle_auto_focus() { stereo_rig.toggle_auto_focus(); }
void toggle_presentation() { stereo_rig.toggle_presentation(); }
void focus_now() { stereo_rig.set_focus(view_distance()); }
void reset_stereo() {
    stereo_rig.image_shift = 0.0f;
    stereo_rig.separation_ratio = 30.0f;
    focus_now();
}

void swap_eyes() {
    stereo_rig.swap_eyes = !stereo_rig.swap_eyes;
    show_notice(stereo_rig.swap_eyes ? "eyes swapped" : "eyes in place");
}

void step_colour_pair() {
    stereo_rig.colour_pair = next_colour_pair(stereo_rig.colour_pair);
    char text[48];
    std::snprintf(text, sizeof text, "colours %s", colour_pair_name(stereo_rig.colour_pair));
    show_notice(text);
}

void toggle_parallax_readout() { stereo_rig.parallax_readout = !stereo_rig.parallax_readout; }

void next_style() { next_model_style(model_scene); }

void toggle_full_detail() {
    bool& full = model_scene.detail.full_detail;
    full = !full;
    show_notice(full ? "full detail always" : "lighter mesh while moving");
}

}  // namespace

// In the order of the help page; the original keys first, then the keys
// added since, each on a line of its own.
const Control controls[] = {
    {VK_LBUTTON, Acts::held, Stage::owner, nullptr, "mouse, arrows, Page Up, Page Down - moving"},
    {VK_RBUTTON, Acts::held, Stage::owner, nullptr, nullptr},
    {VK_UP, Acts::held, Stage::owner, nullptr, nullptr},
    {VK_DOWN, Acts::held, Stage::owner, nullptr, nullptr},
    {VK_LEFT, Acts::held, Stage::owner, nullptr, nullptr},
    {VK_RIGHT, Acts::held, Stage::owner, nullptr, nullptr},
    {VK_PRIOR, Acts::held, Stage::owner, nullptr, nullptr},
    {VK_NEXT, Acts::held, Stage::owner, nullptr, nullptr},
    {VK_SHIFT, Acts::held, Stage::owner, nullptr, nullptr},  // slower travel
    {'U', Acts::once, Stage::rig, toggle_auto_focus, "U - automatic focus"},
    {'Q', Acts::held, Stage::owner, nullptr, "Q,W - change focal length"},
    {'W', Acts::held, Stage::owner, nullptr, nullptr},
    {'Y', Acts::held, Stage::rig, focus_now, "Y - focus"},
    {'Z', Acts::held, Stage::owner, nullptr, "Z,X - change separation of eyes"},
    {'X', Acts::held, Stage::owner, nullptr, nullptr},
    {'E', Acts::held, Stage::rig, reset_stereo, "E - reset stereo setting"},
    {'S', Acts::held, Stage::owner, nullptr, "S - switch off stereo"},
    {'D', Acts::once, Stage::rig, toggle_presentation, "D - switch between glasses mode and witout glasses mode"},
    {'I', Acts::held, Stage::owner, nullptr, "I,O - set shift pictures in without glasses mode"},
    {'O', Acts::held, Stage::owner, nullptr, nullptr},
    {'J', Acts::held, Stage::owner, nullptr, "J,K - show only right, left view"},
    {'K', Acts::held, Stage::owner, nullptr, nullptr},
    {'R', Acts::once, Stage::camera, reset_view, "R - reset camera"},
    {'H', Acts::held, Stage::owner, nullptr, "H - help"},
    {'M', Acts::once, Stage::presentation, step_output_mode, "M - next output mode (side-by-side, rows, page-flip...)"},
    {'V', Acts::once, Stage::presentation, swap_eyes, "V - swap eyes"},
    {'C', Acts::once, Stage::presentation, step_colour_pair, "C - next anaglyph colour pair"},
    {'P', Acts::once, Stage::presentation, toggle_parallax_readout, "P - parallax comfort readout"},
    {'L', Acts::once, Stage::presentation, next_style, "L - model: wireframe or shaded"},
    {VK_F12, Acts::once, Stage::picture, save_pictures, "F12 - save the picture and the stereo pair (PNG)"},
    {'A', Acts::once, Stage::presentation, step_anaglyph_method,
     "A - anaglyph method (channels, grey, half-colour...)"},
    {'T', Acts::once, Stage::presentation, toggle_turntable, "T - turntable: drag turns, right drag pans, wheel zooms"},
    {'B', Acts::once, Stage::presentation, next_up_axis, "B - model: Y or Z axis up"},
    {'N', Acts::once, Stage::presentation, toggle_info_line, "N - model info line"},
    {'G', Acts::once, Stage::presentation, toggle_fitted_parallax, "G - fit the eye separation to the comfort limit"},
    {'F', Acts::once, Stage::presentation, toggle_full_detail,
     "F - big model: lighter mesh while moving, or full detail"},
    {VK_ESCAPE, Acts::once, Stage::loop, nullptr, nullptr},  // ends the loop
    {VK_F1, Acts::once, Stage::loop, nullptr, nullptr},      // full screen or window
};
const int control_count = static_cast<int>(sizeof controls / sizeof controls[0]);

void run_controls(Stage stage) {
    for (int i = 0; i < control_count; ++i) {
        const Control& control = controls[i];
        if (control.stage != stage || !control.act) continue;
        if (control.acts == Acts::once ? take_press(control.key) : key_down[control.key] != 0) control.act();
    }
}
