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

// The representatives numbered 0, 1, ... in the order of the vertices: the
// edges and the lighter mesh are worked out over these dense numbers, so
// their tables are as long as the distinct positions, not the corners (an
// STL file has about six times more). Throws std::bad_alloc.
struct DenseVertices {
    std::vector<std::uint32_t> number;  // of each vertex's representative
    std::vector<std::uint32_t> vertex;  // the representative of each number
};
DenseVertices dense_vertices(const std::vector<std::uint32_t>& representatives);
// The same straight from the positions, without the representatives.
DenseVertices weld_positions(const float* positions, std::size_t vertices);

// The unique edges of the mesh's faces into *edges (two indices each, of
// representative vertices): a triangle's three, a quad's four (no
// diagonal), a larger face's outline. Edges of one point are left out.
// Fewer than 2^31 vertices (the top bit of an index is borrowed).
// Throws std::bad_alloc.
void build_mesh_edges(const Mesh& mesh, const DenseVertices& dense, std::vector<std::uint32_t>* edges);
void build_mesh_edges(const Mesh& mesh, const std::vector<std::uint32_t>& representatives,
                      std::vector<std::uint32_t>* edges);

// The same for a list of triangles over the representatives.
void build_triangle_edges(const std::vector<std::uint32_t>& triangles, const DenseVertices& dense,
                          std::vector<std::uint32_t>* edges);
