// A model's geometry as the viewer draws it: one vertex array and the faces
// grouped by corner count, so a quad of the file stays a quad on screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Mesh {
    std::vector<float> positions;            // x, y, z per vertex, fitted around the origin
    std::vector<float> normals;              // x, y, z per vertex, unit length
    std::vector<std::uint32_t> triangles;    // 3 vertex indices per face
    std::vector<std::uint32_t> quads;        // 4 per face
    std::vector<std::uint32_t> polygons;     // the corners of the larger faces, one after the other
    std::vector<std::uint32_t> polygon_sizes;  // corners of each larger face, in order

    std::size_t vertex_count() const { return positions.size() / 3; }
    std::size_t face_count() const { return triangles.size() / 3 + quads.size() / 4 + polygon_sizes.size(); }
};
