// The user's model: opened from a file, drawn in place of the test object
// in the test object's style (wireframe in the eye's colour) or shaded.
#pragma once

#include <cstddef>

#include "model/mesh.h"

// The model shown, empty while the test object is.
extern Mesh model_mesh;
// L switches between wireframe (false, the start) and shaded surfaces.
extern bool model_shaded;

// Set by the frame: draw the model's lighter mesh, where it has one.
extern bool model_draw_lighter;

bool model_is_open();

// Back to the test object (its GL buffers deleted in the current context).
void close_model();

// Deletes the model's GL buffers, before their context goes; the next draw
// in another context makes them again.
void release_model_buffers();
// Bytes the GL holds for the model (0: drawn from client arrays).
std::size_t model_gpu_bytes();

// The scene of one eye: the model if one is open, else the test object.
// Uses the current matrices, viewport and colour as draw_test_object does,
// and leaves the GL state as it found it.
void draw_scene_object();
