// The per-eye set-ups of the StereoRig: parallel-axis asymmetric frusta whose
// zero-parallax plane lies at the focal length, with each eye's sideways
// offset folded into the projection so both eyes share the camera's view.
#include <cmath>

#include "app/gl_window.h"
#include "platform/gl.h"
#include "stereo/stereo_rig.h"

const ColourPair colour_pairs[6] = {
    {{1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},  // red / blue
    {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}},  // red / green
    {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 1.0f}},  // red / cyan
    {{0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}},  // blue / red
    {{0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}},  // green / red
    {{0.0f, 1.0f, 1.0f}, {1.0f, 0.0f, 0.0f}},  // cyan / red
};

namespace {

const float half_angle_factor = 0.008726646f;  // pi / 360: degrees of the full angle to radians of the half
const float glasses_aspect = 4.0f / 3.0f;      // the anaglyph always covers the window as 4:3

enum Eye { left_eye, right_eye };

// The image shift in whole pixels, truncated towards zero. Kept within a
// range where the conversion is defined and view_width - shift cannot
// overflow; far beyond any window either way.
int shift_pixels(float image_shift) {
    const float limit = 16777216.0f;
    if (std::isnan(image_shift)) return 0;
    if (image_shift > limit) return static_cast<int>(limit);
    if (image_shift < -limit) return -static_cast<int>(limit);
    return static_cast<int>(image_shift);
}

float aspect_of(int width) {
    const int height = view_height > 0 ? view_height : 1;
    return static_cast<float>(width) / static_cast<float>(height);
}

float half_height_of(const StereoRig& rig) {
    return std::tan(rig.field_of_view * half_angle_factor) * rig.near_plane;
}

void setup_eye(const StereoRig& rig, Eye eye) {
    float aspect = glasses_aspect;
    if (!rig.glasses_mode) {
        // Two viewports of equal size, offset by exactly the shift.
        const int s = shift_pixels(rig.image_shift);
        const int width = view_width - s;
        glViewport(eye == left_eye ? 0 : s, 0, width, view_height);
        aspect = aspect_of(width);
    }
    const float half_height = half_height_of(rig);
    const float half_width = half_height * aspect;
    // Makes both frusta cut the same rectangle out of the plane at the focal length.
    const float frustum_shift = 0.5f * rig.eye_separation * (rig.near_plane / rig.focal_length);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (eye == left_eye) {
        glFrustum(frustum_shift - half_width, frustum_shift + half_width,
                  -half_height, half_height, rig.near_plane, rig.far_plane);
    } else {
        glFrustum(-half_width - frustum_shift, half_width - frustum_shift,
                  -half_height, half_height, rig.near_plane, rig.far_plane);
    }

    // Elements 1 to 3 and 12 of a frustum are 0, so setting element 12 is the
    // projection times a translation along x: the left eye sits half the
    // separation left of the camera (the scene moves right), the right eye
    // half the separation right of it.
    GLfloat matrix[16];
    glGetFloatv(GL_PROJECTION_MATRIX, matrix);
    const float half = eye == left_eye ? 0.5f : -0.5f;
    matrix[12] = matrix[0] * rig.eye_separation * half;
    glLoadMatrixf(matrix);
    glMatrixMode(GL_MODELVIEW);

    // Without glasses both eyes draw in the colour that is current (white).
    if (rig.glasses_mode && rig.colour_pair >= 0 && rig.colour_pair < 6) {
        const ColourPair& pair = colour_pairs[rig.colour_pair];
        const float* colour = eye == left_eye ? pair.left : pair.right;
        glColor4f(colour[0], colour[1], colour[2], 1.0f);
    }
}

}  // namespace

void StereoRig::setup_left_eye() const { setup_eye(*this, left_eye); }

void StereoRig::setup_right_eye() const { setup_eye(*this, right_eye); }

void StereoRig::setup_mono() const {
    float aspect = glasses_aspect;
    if (!glasses_mode) {
        glViewport(0, 0, view_width, view_height);
        aspect = aspect_of(view_width);
    }
    const float half_height = half_height_of(*this);
    const float half_width = half_height * aspect;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-half_width, half_width, -half_height, half_height, near_plane, far_plane);
    glMatrixMode(GL_MODELVIEW);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}
