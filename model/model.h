// The user's model: opened from a file, drawn in place of the test object
// in the test object's style (wireframe in the eye's colour) or shaded.
#pragma once

#include <cstddef>

#include "model/mesh.h"

// The model shown, empty while the test object is.
extern Mesh model_mesh;
// L switches between wireframe (false, the start) and shaded surfaces.
extern bool model_shaded;
// Shaded, with the edges drawn over the surfaces (a model with a look of
// its own: L's third style).
extern bool model_edges;
// --wireframe: a model with colours or textures opens in wireframe too.
extern bool model_wireframe_asked;

// The shell's scale of the model as drawn, at most 1: what keeps it wholly
// in the frame of the view it is shown in (model_view.h).
extern float model_view_scale;

// Set by the frame: draw the model's lighter mesh, where it has one.
extern bool model_draw_lighter;

bool model_is_open();

// Back to the test object (its GL buffers deleted in the current context).
void close_model();

// mesh becomes the model shown, its textures uploaded to the current GL
// context once, here (never in a frame). A model with a look of its own
// opens shaded unless model_wireframe_asked.
void show_model(Mesh mesh);

// The GL context was made anew (the window reopened, an offscreen surface
// made): the textures go up again; the old context's names are gone with it.
void upload_model_textures_anew();

// L: wireframe, shaded, then (a model with a look) shaded with edges, and
// round again. Nothing without a model.
void next_model_style();

// "2 textures could not be read", or an empty text for none.
void format_texture_notice(std::size_t unreadable, char* out, std::size_t size);

// Deletes the model's GL buffers, before their context goes; the next draw
// in another context makes them again.
void release_model_buffers();
// Bytes the GL holds for the model (0: drawn from client arrays).
std::size_t model_gpu_bytes();

// The scene of one eye: the model if one is open, else the test object.
// Uses the current matrices, viewport and colour as draw_test_object does,
// and leaves the GL state as it found it.
void draw_scene_object();

// Points that bound what draw_scene_object draws (count of them in *count):
// the test object's own vertices, or the corners of the cube every fitted
// model lies in. Fixed storage.
const float (*scene_object_bounds(int* count))[3];
