// The user's model: opened from a file, drawn in place of the test object
// in the test object's style (wireframe in the eye's colour) or shaded.
#pragma once

#include "model/mesh.h"

// The model shown, empty while the test object is.
extern Mesh model_mesh;
// L switches between wireframe (false, the start) and shaded surfaces.
extern bool model_shaded;

bool model_is_open();

// Back to the test object.
void close_model();

// The scene of one eye: the model if one is open, else the test object.
// Uses the current matrices, viewport and colour as draw_test_object does,
// and leaves the GL state as it found it.
void draw_scene_object();

// Points that bound what draw_scene_object draws (count of them in *count):
// the test object's own vertices, or the corners of the cube every fitted
// model lies in. Fixed storage.
const float (*scene_object_bounds(int* count))[3];
