// The free-flying camera: a position, a view direction and an up vector.
#pragma once

#include "platform/key_state.h"

struct Vec3 {
    float x, y, z;
};

// Scales v to unit length in place; a zero (or NaN) length gives (0, 0, 0).
void normalize(Vec3& v);

class Camera {
public:
    Vec3 position;
    Vec3 direction;
    Vec3 up;

    // Home, and the cursor parked at (400, 300).
    Camera();

    void reset();
    // Replaces the current (model-view) matrix with the camera's view.
    void apply_view() const;
    // a to the right, b along up, c along the view direction.
    void move(float a, float b, float c);
    void turn(float yaw, float pitch, float roll);
    float distance_from_origin() const;
    // The per-frame reaction to held keys, buttons and the mouse; ends with
    // apply_view. R, which acts once per press, is the shell's: reset.
    void update_from_input(const KeyState& keys);
    // Puts the cursor on the point mouse offsets are measured from.
    static void park_cursor();
};
