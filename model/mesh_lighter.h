// A lighter surface for a big mesh, drawn while the view moves: at most a
// fixed number of triangles over the mesh's own vertices, so it needs no
// vertex data of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/mesh.h"
#include "model/mesh_edges.h"

// The triangles a lighter mesh has at most, and the size of mesh (in
// triangles, quads and larger faces counted as their fans) from which one
// is made: below it the whole mesh draws quickly enough.
constexpr std::size_t lighter_triangle_budget = 100000;
constexpr std::size_t lighter_threshold = 2 * lighter_triangle_budget;

// The mesh's faces as triangles (quads and larger faces as fans), over the
// representative vertices (model/mesh_edges.h).
std::size_t triangle_count_of(const Mesh& mesh);

// Simplifies the mesh into *triangles (3 indices each, at most `budget`
// triangles) when it has more than `threshold`; otherwise leaves it empty.
// Throws std::bad_alloc.
void build_lighter_triangles(const Mesh& mesh, const DenseVertices& dense, std::size_t budget, std::size_t threshold,
                             std::vector<std::uint32_t>* triangles);
void build_lighter_triangles(const Mesh& mesh, const std::vector<std::uint32_t>& representatives, std::size_t budget,
                             std::size_t threshold, std::vector<std::uint32_t>* triangles);

// What the import worker adds to a mesh it has read: its edges, and for a
// big mesh the lighter surface and its edges, in extras_steps steps; after
// each, done(context, steps done so far) when given. Throws std::bad_alloc.
constexpr int extras_steps = 4;
void build_mesh_extras(Mesh* mesh, void (*done)(void* context, int steps) = nullptr, void* context = nullptr);
