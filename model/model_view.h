// How the model is shown, apart from the file: the scale that keeps it in
// the home view's frame, which of its axes is up, and the line that tells
// the user what was opened. Pure functions of the mesh; no GL.
#pragma once

#include <cstddef>

#include "model/mesh.h"

// The largest scale, at most 1, at which every vertex lies inside the view
// of a camera `distance` out on +z looking at the origin, whose half field
// of view has tangents tan_half_width and tan_half_height, with a margin of
// frame_margin of the half field on every side, and beyond the near plane
// (a fifth of the distance, as the stereo rig keeps it). 1 for no vertices.
extern const float frame_margin;
float frame_fit_scale(const float* positions, std::size_t vertices, float distance, float tan_half_width,
                      float tan_half_height);

// The file's axis that is shown up: its own y, or its z (CAD and 3-D
// printing files). Z up is a quarter turn about x: the file's +z to +y and
// its -y towards the viewer.
enum class UpAxis { y, z };
const char* up_axis_name(UpAxis up);                   // "y", "z"
bool up_axis_from_name(const char* name, UpAxis* up);  // false for anything else
// Turns the positions and normals in place from one up axis to the other;
// exact (coordinates only trade places and signs).
void turn_up_axis(Mesh* mesh, UpAxis from, UpAxis to);
// STL, 3MF and AMF files (by the name's extension, in any case) are Z up.
bool z_up_by_default(const char* path);

// The info line: "NAME  F faces  V vertices  M meshes  X x Y x Z" and
// "  T textures" where there are any; names in printable ASCII, other bytes
// as '?', cut to fit size bytes.
void format_model_facts(const char* path, const Mesh& mesh, char* out, std::size_t size);
