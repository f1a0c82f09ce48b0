#include "camera/turntable.h"

#include <cmath>

#include "platform/gl.h"

namespace {

const float home_distance = 5.0f;
const float turn_per_pixel = 0.01f;  // radians: a 314-pixel drag turns the model half round
const float pitch_limit = 1.55f;     // radians, about 89 degrees: the view never looks straight down
const float zoom_step = 0.875f;      // of the distance per notch
// The near plane follows the focus at a fifth of it and the far one stays at
// 100: the orbit keeps the target well inside both.
const float min_distance = 0.05f;
const float max_distance = 80.0f;
const float half_angle_factor = 0.008726646f;  // pi / 360

}  // namespace

Turntable::Turntable() { reset(); }

void Turntable::reset() {
    yaw = 0.0f;
    pitch = 0.0f;
    distance = home_distance;
    target = Vec3{0.0f, 0.0f, 0.0f};
}

void Turntable::turn(float dx, float dy) {
    // The camera goes round the other way than the model seems to.
    yaw -= dx * turn_per_pixel;
    yaw = std::remainder(yaw, 6.2831853f);
    pitch += dy * turn_per_pixel;
    if (pitch > pitch_limit) pitch = pitch_limit;
    if (pitch < -pitch_limit) pitch = -pitch_limit;
}

void Turntable::zoom(float notches) {
    if (!std::isfinite(notches)) return;
    distance *= std::pow(zoom_step, notches);
    if (distance < min_distance) distance = min_distance;
    if (distance > max_distance) distance = max_distance;
}

void Turntable::pan(float dx, float dy, int view_height, float view_degrees) {
    const int height = view_height > 0 ? view_height : 1;
    const float world_per_pixel = 2.0f * distance * std::tan(view_degrees * half_angle_factor) / float(height);
    const Vec3 d = direction();
    Vec3 right{-d.z, 0.0f, d.x};  // direction x up
    normalize(right);
    // The screen's up: up minus its part along the view.
    Vec3 screen_up{-d.x * d.y, 1.0f - d.y * d.y, -d.z * d.y};
    normalize(screen_up);
    // Screen y grows downward; the target moves against the model.
    const float a = -dx * world_per_pixel, b = dy * world_per_pixel;
    target.x += right.x * a + screen_up.x * b;
    target.y += right.y * a + screen_up.y * b;
    target.z += right.z * a + screen_up.z * b;
}

Vec3 Turntable::direction() const {
    return Vec3{-std::sin(yaw) * std::cos(pitch), -std::sin(pitch), -std::cos(yaw) * std::cos(pitch)};
}

Vec3 Turntable::position() const {
    const Vec3 d = direction();
    return Vec3{target.x - d.x * distance, target.y - d.y * distance, target.z - d.z * distance};
}

Vec3 Turntable::up() const { return Vec3{0.0f, 1.0f, 0.0f}; }

void Turntable::apply_view() const {
    const Vec3 p = position();
    glLoadIdentity();
    gluLookAt(p.x, p.y, p.z, target.x, target.y, target.z, 0.0, 1.0, 0.0);
}
