// A model's geometry as the viewer draws it: one vertex array and the faces
// grouped by corner count, so a quad of the file stays a quad on screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// An array of floats with the way its owner frees it: arrays of our own, or
// the importer's, taken over without a copy (a big file's vertices are most
// of the load's time and memory).
struct FloatArrayRelease {
    void (*release)(float*) = nullptr;
    void operator()(float* p) const {
        if (release) release(p);
    }
};
using FloatArray = std::unique_ptr<float[], FloatArrayRelease>;

// count floats of our own, not initialised; throws std::bad_alloc.
FloatArray make_float_array(std::size_t count);

// Vertices without faces are a point cloud, drawn as points.
struct Mesh {
    FloatArray positions;  // x, y, z per vertex, fitted around the origin
    FloatArray normals;    // x, y, z per vertex, unit length
    std::size_t vertices = 0;
    std::vector<std::uint32_t> triangles;      // 3 vertex indices per face
    std::vector<std::uint32_t> quads;          // 4 per face
    std::vector<std::uint32_t> polygons;       // the corners of the larger faces, one after the other
    std::vector<std::uint32_t> polygon_sizes;  // corners of each larger face, in order
    // Made from the faces after import (model/mesh_edges.h, model/mesh_lighter.h); empty where not made.
    std::vector<std::uint32_t> edges;              // 2 vertex indices per edge, each edge once
    std::vector<std::uint32_t> lighter_triangles;  // a simplified surface over the same vertices, for motion
    std::vector<std::uint32_t> lighter_edges;      // its edges

    std::size_t vertex_count() const { return vertices; }
    std::size_t face_count() const { return triangles.size() / 3 + quads.size() / 4 + polygon_sizes.size(); }
};
