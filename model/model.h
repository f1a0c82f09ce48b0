// The user's model: opened from a file, drawn in place of the test object
// in the test object's style (wireframe in the eye's colour) or shaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/mesh.h"
#include "model/model_buffers.h"
#include "model/motion_detail.h"
#include "platform/gl.h"

// The model shown and how it is drawn: one value, which the shell keeps and
// hands to the calls below.
struct ModelScene {
    // The model shown, empty while the test object is.
    Mesh mesh;
    // L switches between wireframe (false, the start) and shaded surfaces.
    bool shaded = false;
    // Shaded, with the edges drawn over the surfaces (a model with a look of
    // its own: L's third style).
    bool edges = false;
    // --wireframe: a model with colours or textures opens in wireframe too.
    bool wireframe_asked = false;

    // The shell's scale of the model as drawn, at most 1: what keeps it wholly
    // in the frame of the view it is shown in (model_view.h).
    float view_scale = 1.0f;

    // The viewer's choice for the model shown, and what it came to this
    // frame (set by the frame): draw the lighter mesh, where there is one.
    MotionDetail detail;
    bool draw_lighter = false;

    // The GL's copies in the current context, kept by the calls below: the
    // buffers (made by the first draw), the textures and the texels they were
    // made from (a mesh put in place without show_model draws untextured).
    ModelBuffers buffers;
    std::vector<GLuint> texture_names;
    const std::uint32_t* textures_of = nullptr;
};

bool model_is_open(const ModelScene& scene);

// Back to the test object (its GL buffers deleted in the current context).
void close_model(ModelScene& scene);

// mesh becomes the model shown, its textures uploaded to the current GL
// context once, here (never in a frame). A model with a look of its own
// opens shaded unless wireframe_asked.
void show_model(ModelScene& scene, Mesh mesh);

// The GL context was made anew (the window reopened, an offscreen surface
// made): the textures go up again; the old context's names are gone with it.
void upload_model_textures_anew(ModelScene& scene);

// L: wireframe, shaded, then (a model with a look) shaded with edges, and
// round again. Nothing without a model.
void next_model_style(ModelScene& scene);

// "2 textures could not be read", or an empty text for none.
void format_texture_notice(std::size_t unreadable, char* out, std::size_t size);

// Deletes the model's GL buffers, before their context goes; the next draw
// in another context makes them again.
void release_model_buffers(ModelScene& scene);
// Bytes the GL holds for the model (0: drawn from client arrays).
std::size_t model_gpu_bytes(const ModelScene& scene);

// The scene of one eye: the model if one is open, else the test object.
// Uses the current matrices, viewport and colour as draw_test_object does,
// and leaves the GL state as it found it. The first draw in a context makes
// the model's buffers.
void draw_scene_object(ModelScene& scene);

// Points that bound what draw_scene_object draws (count of them in *count):
// the test object's own vertices, or the corners of the cube every fitted
// model lies in. Fixed storage.
const float (*scene_object_bounds(const ModelScene& scene, int* count))[3];
