// The wireframe as lines: each edge of the faces once, however many faces
// share it (outlining every face draws a shared edge twice).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/mesh.h"

// For each vertex, the first vertex at exactly the same position: files
// such as STL give every face its own corners, and their shared edges are
// found through these. Throws std::bad_alloc.
std::vector<std::uint32_t> position_representatives(const float* positions, std::size_t vertices);

// The unique edges of the mesh's faces into *edges (two indices each, of
// representative vertices): a triangle's three, a quad's four (no
// diagonal), a larger face's outline. Edges of one point are left out.
// Fewer than 2^31 vertices (the top bit of an index is borrowed).
// Throws std::bad_alloc.
void build_mesh_edges(const Mesh& mesh, const std::vector<std::uint32_t>& representatives,
                      std::vector<std::uint32_t>* edges);

// The same for a list of triangles over those vertices.
void build_triangle_edges(const std::vector<std::uint32_t>& triangles,
                          const std::vector<std::uint32_t>& representatives, std::vector<std::uint32_t>* edges);
