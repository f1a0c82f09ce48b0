// The per-eye set-ups of the StereoRig: parallel-axis asymmetric frusta whose
// zero-parallax plane lies at the focal length, with each eye's sideways
// offset folded into the projection so both eyes share the camera's view.
// The output mode decides where each eye's image goes (viewport, colour,
// stencil mask or back buffer); the frustum follows the eye itself, so eye
// swap only trades the places.
#include <cmath>

#include "platform/gl.h"
#include "stereo/interleave_mask.h"
#include "stereo/stereo_rig.h"

const ColourPair colour_pairs[colour_pair_count] = {
    {{1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},  // red / blue
    {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}},  // red / green
    {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 1.0f}},  // red / cyan
    {{0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}},  // blue / red
    {{0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}},  // green / red
    {{0.0f, 1.0f, 1.0f}, {1.0f, 0.0f, 0.0f}},  // cyan / red
    {{0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 1.0f}},  // green / magenta
    {{1.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},  // amber / blue
};

namespace {

const float half_angle_factor = 0.008726646f;  // pi / 360: degrees of the full angle to radians of the half
const float glasses_aspect = 4.0f / 3.0f;      // the anaglyph always covers the window as 4:3

// The image shift in whole pixels, truncated towards zero. Kept within a
// range where the conversion is defined and the width less the shift cannot
// overflow; far beyond any window either way.
int shift_pixels(float image_shift) {
    const float limit = 16777216.0f;
    if (std::isnan(image_shift)) return 0;
    if (image_shift > limit) return static_cast<int>(limit);
    if (image_shift < -limit) return -static_cast<int>(limit);
    return static_cast<int>(image_shift);
}

float aspect_of(int width, const ViewSize& view) {
    const int height = view.height > 0 ? view.height : 1;
    return static_cast<float>(width) / static_cast<float>(height);
}

float half_height_of(const StereoRig& rig) { return std::tan(rig.field_of_view * half_angle_factor) * rig.near_plane; }

// The place of an eye's image: its own, or the other eye's when swapped.
Eye place_of(const StereoRig& rig, Eye eye) {
    if (!rig.swap_eyes) return eye;
    return eye == Eye::left ? Eye::right : Eye::left;
}

// Interleaved modes: draw only where the mask holds this place's bit.
// Page-flip: draw into this place's back buffer. Other modes: nothing.
void select_place(OutputMode mode, Eye place, const ViewSize& view) {
    if (mode_needs_stencil(mode)) {
        prepare_interleave_mask(mode, view.width, view.height);
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(GL_EQUAL, place == Eye::left ? 1 : 0, 1);
    } else if (mode_needs_stereo(mode)) {
        glDrawBuffer(place == Eye::left ? GL_BACK_LEFT : GL_BACK_RIGHT);
    }
}

void setup_eye(const StereoRig& rig, Eye eye, const ViewSize& view) {
    const OutputMode mode = rig.mode();
    select_place(mode, place_of(rig, eye), view);
    const EyeProjection p = rig.eye_projection(eye, view);
    if (p.sets_viewport) glViewport(p.x, p.y, p.width, p.height);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(p.left, p.right, p.bottom, p.top, p.near_plane, p.far_plane);

    // Elements 1 to 3 and 12 of a frustum are 0, so setting element 12 is the
    // projection times a translation along x: the left eye sits half the
    // separation left of the camera (the scene moves right), the right eye
    // half the separation right of it.
    GLfloat matrix[16];
    glGetFloatv(GL_PROJECTION_MATRIX, matrix);
    const float half = eye == Eye::left ? 0.5f : -0.5f;
    matrix[12] = matrix[0] * rig.eye_separation * half;
    glLoadMatrixf(matrix);
    glMatrixMode(GL_MODELVIEW);

    // Only the anaglyph colours its eyes; the others draw in the colour that
    // is current (white). A mixing method draws each eye in full colour and
    // mixes the images afterwards.
    if (mode == OutputMode::anaglyph && rig.colour_pair >= 0 && rig.colour_pair < colour_pair_count) {
        const ColourPair& pair = colour_pairs[rig.colour_pair];
        const float* colour = place_of(rig, eye) == Eye::left ? pair.left : pair.right;
        if (anaglyph_method_mixes(rig.anaglyph_method))
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        else
            glColor4f(colour[0], colour[1], colour[2], 1.0f);
    }
}

}  // namespace

EyeProjection StereoRig::eye_projection(Eye eye, const ViewSize& view) const {
    const Eye place = place_of(*this, eye);
    const bool first = place == Eye::left;
    EyeProjection p{};
    p.sets_viewport = true;
    p.x = 0;
    p.y = 0;
    p.width = view.width;
    p.height = view.height;
    float aspect = aspect_of(view.width, view);
    switch (mode()) {
    case OutputMode::anaglyph:
        p.sets_viewport = false;
        aspect = glasses_aspect;
        break;
    case OutputMode::free_view: {
        // Two viewports of equal size, offset by exactly the shift.
        const int s = shift_pixels(image_shift);
        p.x = first ? 0 : s;
        p.width = view.width - s;
        aspect = aspect_of(p.width, view);
        break;
    }
    case OutputMode::side_by_side:
    case OutputMode::side_by_side_half: {
        const int half = view.width / 2;
        p.x = first ? 0 : half;
        p.width = first ? half : view.width - half;
        // The squeezed form keeps the whole area's aspect: the display
        // stretches each half back to full width.
        if (mode() == OutputMode::side_by_side) aspect = aspect_of(p.width, view);
        break;
    }
    case OutputMode::top_bottom: {
        const int half = view.height / 2;
        p.y = first ? view.height - half : 0;
        p.height = first ? half : view.height - half;
        break;
    }
    default:  // interleaved and page-flip: each eye has the whole area
        break;
    }

    const float half_height = half_height_of(*this);
    const float half_width = half_height * aspect;
    // Makes both frusta cut the same rectangle out of the plane at the focal length.
    const float frustum_shift = 0.5f * eye_separation * (near_plane / focal_length);
    if (eye == Eye::left) {
        p.left = frustum_shift - half_width;
        p.right = frustum_shift + half_width;
        p.eye_offset = eye_separation * 0.5f;
    } else {
        p.left = -half_width - frustum_shift;
        p.right = half_width - frustum_shift;
        p.eye_offset = eye_separation * -0.5f;
    }
    p.bottom = -half_height;
    p.top = half_height;
    p.near_plane = near_plane;
    p.far_plane = far_plane;
    return p;
}

void StereoRig::setup_left_eye(const ViewSize& view) const { setup_eye(*this, Eye::left, view); }

void StereoRig::setup_right_eye(const ViewSize& view) const { setup_eye(*this, Eye::right, view); }

void StereoRig::setup_mono(const ViewSize& view) const {
    const OutputMode presented = mode();
    float aspect = glasses_aspect;
    if (presented != OutputMode::anaglyph) {
        glViewport(0, 0, view.width, view.height);
        aspect = aspect_of(view.width, view);
    }
    // Every frame ends with the whole buffer drawable: the overlay, the next
    // frame's clear and a mono frame (S) need it.
    if (mode_needs_stencil(presented)) glDisable(GL_STENCIL_TEST);
    if (mode_needs_stereo(presented)) glDrawBuffer(GL_BACK);
    const float half_height = half_height_of(*this);
    const float half_width = half_height * aspect;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-half_width, half_width, -half_height, half_height, near_plane, far_plane);
    glMatrixMode(GL_MODELVIEW);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}
