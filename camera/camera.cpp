#include "camera/camera.h"

#include <cmath>

#include "platform/gl.h"
#include "platform/platform.h"

namespace {

// Mouse offsets are measured from here; the centre of the 800 x 600 mode,
// used unchanged in a window.
const int park_x = 400;
const int park_y = 300;

const float travel_rate = 25.0f;      // world units per second
const float slow_travel_rate = 5.0f;  // with Shift
const float mouse_turn_factor = 0.005f;
const float key_turn_factor = 0.1f;  // of the frame's travel step

Vec3 cross(const Vec3& a, const Vec3& b) {
    Vec3 c;
    c.x = a.y * b.z - a.z * b.y;
    c.y = a.z * b.x - a.x * b.z;
    c.z = a.x * b.y - a.y * b.x;
    return c;
}

// The horizontal right vector of the view (up is never tilted).
Vec3 right_of(const Vec3& direction, const Vec3& up) {
    Vec3 r = cross(direction, up);
    normalize(r);
    return r;
}

}  // namespace

void normalize(Vec3& v) {
    // The sum is stored as a float first, so the result is the same whatever
    // precision the compiler would otherwise carry.
    const float sum = v.x * v.x + v.y * v.y + v.z * v.z;
    const float length = std::sqrt(sum);
    if (length == 0.0f || std::isnan(length)) {
        v.x = 0.0f;
        v.y = 0.0f;
        v.z = 0.0f;
        return;
    }
    v.x = v.x / length;
    v.y = v.y / length;
    v.z = v.z / length;
}

Camera::Camera() {
    reset();
    park_cursor();
}

void Camera::park_cursor() { platform_set_cursor_pos(park_x, park_y); }

void Camera::reset() {
    position = Vec3{0.0f, 0.0f, 5.0f};
    direction = Vec3{0.0f, 0.0f, -1.0f};
    up = Vec3{0.0f, 1.0f, 0.0f};
}

void Camera::apply_view() const {
    glLoadIdentity();
    gluLookAt(position.x, position.y, position.z, static_cast<double>(position.x) + direction.x,
              static_cast<double>(position.y) + direction.y, static_cast<double>(position.z) + direction.z, up.x, up.y,
              up.z);
}

void Camera::move(float a, float b, float c) {
    const Vec3 r = right_of(direction, up);
    position.x = position.x + r.x * a + up.x * b + direction.x * c;
    position.y = position.y + r.y * a + up.y * b + direction.y * c;
    position.z = position.z + r.z * a + up.z * b + direction.z * c;
}

void Camera::turn(float yaw, float pitch, float roll) {
    const Vec3 r = right_of(direction, up);
    direction.x = direction.x + r.x * yaw + up.x * pitch;
    direction.y = direction.y + r.y * yaw + up.y * pitch;
    direction.z = direction.z + r.z * yaw + up.z * pitch;
    normalize(direction);
    if (roll != 0.0f) {
        up.x = up.x + r.x * roll;
        up.y = up.y + r.y * roll;
        up.z = up.z + r.z * roll;
        normalize(up);
    }
}

float Camera::distance_from_origin() const {
    const float sum = position.x * position.x + position.y * position.y + position.z * position.z;
    return std::sqrt(sum);
}

void Camera::update_from_input(const KeyState& keys) {
    const float step = keys.step(keys.held(VK_SHIFT) ? slow_travel_rate : travel_rate);

    if (keys.held(VK_UP) || keys.held(VK_LBUTTON)) {
        move(0.0f, 0.0f, step);
    }
    if (keys.held(VK_DOWN) || keys.held(VK_RBUTTON)) {
        move(0.0f, 0.0f, -step);
    }

    // An unreadable cursor counts as one at the park point: no turn.
    PlatformPoint cursor{park_x, park_y};
    if (!platform_get_cursor_pos(&cursor)) {
        cursor.x = park_x;
        cursor.y = park_y;
    }
    park_cursor();

    float h = static_cast<float>(cursor.x - park_x) * mouse_turn_factor;
    float v = static_cast<float>(cursor.y - park_y) * mouse_turn_factor;

    // Page Up acts like the cursor moving down, so it tilts the view down.
    if (keys.held(VK_NEXT)) {
        v = v - key_turn_factor * step;
    } else if (keys.held(VK_PRIOR)) {
        v = v + key_turn_factor * step;
    }
    if (keys.held(VK_RIGHT)) {
        h = h + key_turn_factor * step;
    } else if (keys.held(VK_LEFT)) {
        h = h - key_turn_factor * step;
    }

    turn(h, -v, 0.0f);
    apply_view();
}
