#include "stereo/stereo_rig.h"

namespace {

// Virtual-key codes of the rig's controls (the upper-case letter).
const int key_w = 'W';
const int key_q = 'Q';
const int key_x = 'X';
const int key_z = 'Z';
const int key_o = 'O';
const int key_i = 'I';

// Per-second rates of the held controls.
const float focal_rate = 5.0f;  // world units
const float ratio_rate = 10.0f;
const float shift_rate = 100.0f;  // pixels

const float near_factor = 0.2f;  // near plane / focal length

// A pair of held controls: up raises *value by this frame's step of rate,
// down (only while up is not held) lowers it. True when either acted.
bool held_pair(const KeyState& keys, int up, int down, float rate, float* value) {
    if (keys.held(up)) {
        *value = *value + keys.step(rate);
    } else if (keys.held(down)) {
        *value = *value - keys.step(rate);
    } else {
        return false;
    }
    return true;
}

}  // namespace

StereoRig::StereoRig(bool glasses)
    : focal_length(5.0f),
      field_of_view(45.0f),
      eye_separation(0.0f),
      near_plane(0.0f),
      far_plane(100.0f),
      image_shift(200.0f),
      separation_ratio(30.0f),
      glasses_mode(glasses),
      auto_focus(true),
      colour_pair(2),
      output_mode(glasses ? OutputMode::anaglyph : OutputMode::free_view),
      swap_eyes(false),
      parallax_readout(false),
      anaglyph_method(AnaglyphMethod::channels) {
    // The same expressions as set_focus, so focusing at the home distance
    // leaves every field exactly at its default.
    eye_separation = focal_length / separation_ratio;
    near_plane = focal_length * near_factor;
}

OutputMode StereoRig::mode() const {
    if (output_mode == OutputMode::anaglyph || output_mode == OutputMode::free_view)
        return glasses_mode ? OutputMode::anaglyph : OutputMode::free_view;
    return output_mode;
}

void StereoRig::set_mode(OutputMode mode) {
    output_mode = mode;
    glasses_mode = mode == OutputMode::anaglyph;
}

void StereoRig::set_focus(float distance) {
    focal_length = distance;
    eye_separation = distance / separation_ratio;
    near_plane = distance * near_factor;
}

void StereoRig::update_from_input(const KeyState& keys, float distance) {
    // A camera standing on the origin gives no focus distance.
    if (distance != 0.0f && auto_focus) {
        set_focus(distance);
    }

    if (held_pair(keys, key_w, key_q, focal_rate, &focal_length)) {
        eye_separation = focal_length / separation_ratio;
        near_plane = focal_length * near_factor;
    }
    if (held_pair(keys, key_x, key_z, ratio_rate, &separation_ratio)) {
        eye_separation = focal_length / separation_ratio;
    }
    held_pair(keys, key_o, key_i, shift_rate, &image_shift);
}

// D keeps its meaning between the two basic modes and returns to the
// anaglyph from any other.
void StereoRig::toggle_presentation() {
    const OutputMode now = mode();
    if (now == OutputMode::anaglyph || now == OutputMode::free_view)
        set_mode(glasses_mode ? OutputMode::free_view : OutputMode::anaglyph);
    else
        set_mode(OutputMode::anaglyph);
}
