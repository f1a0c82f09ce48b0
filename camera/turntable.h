// The turntable: a camera that orbits a point (the origin, until panned),
// for looking a model over. Its input comes as parameters: pointer drags in
// pixels, wheel turns in notches. It leaves the pointer alone.
#pragma once

#include "camera/camera.h"

class Turntable {
public:
    float yaw;       // radians about the up axis (+y); 0 looks along -z, as the flying camera's home
    float pitch;     // radians; positive looks down from above; kept short of the poles
    float distance;  // from the orbited point, world units
    Vec3 target;     // the orbited point

    // Home: 5 units out on +z, looking at the origin, as the flying camera's home.
    Turntable();

    void reset();
    // A drag of (dx, dy) pixels turns the model with the pointer: right turns
    // it to the right about the up axis, down tilts its top towards the viewer.
    void turn(float dx, float dy);
    // Each notch away from the user moves 1/8 of the way closer; towards
    // the user, as far back. Fractions of a notch (touchpads) move in part.
    void zoom(float notches);
    // A drag of (dx, dy) pixels moves the model with the pointer, at the
    // scale of the orbited point's depth in a view of view_height pixels and
    // a vertical field of view_degrees.
    void pan(float dx, float dy, int view_height, float view_degrees);

    Vec3 position() const;
    Vec3 direction() const;  // unit length, towards the target
    Vec3 up() const;         // (0, 1, 0): the pitch never reaches a pole
    // Replaces the current (model-view) matrix with the turntable's view.
    void apply_view() const;
};
