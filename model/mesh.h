// A model's geometry as the viewer draws it: one vertex array and the faces
// grouped by corner count, so a quad of the file stays a quad on screen.
// What the model looks like goes with it: colours per vertex, texture
// coordinates, and parts of the faces drawn with one material each.
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

// No texture: the material's colour alone.
constexpr std::uint32_t no_texture = 0xFFFFFFFFu;

// A material as drawn: its base (diffuse) colour with its opacity, each 0
// to 1, and the texture that colour multiplies. Sent as it is between the
// processes: five 4-byte fields.
struct MeshMaterial {
    float colour[4];
    std::uint32_t texture;  // an index into Mesh::textures, or no_texture
};

// A texture as RGBA bytes, its texels in Mesh::texels after the textures
// before it. One that could not be read is 0 x 0 and shows nothing: its
// materials keep their colour.
struct MeshTexture {
    std::uint32_t width;
    std::uint32_t height;
};

// A run of each face list drawn with one material; ranges count faces, not
// indices (the polygons' by their sizes, corners from corner_begin).
struct MeshPart {
    std::uint32_t material;
    std::uint32_t triangle_begin, triangle_count;
    std::uint32_t quad_begin, quad_count;
    std::uint32_t polygon_begin, polygon_count;
    std::uint32_t corner_begin;
};

// What the file held, for the user: how many of its meshes are drawn, how
// many textures its materials name, and its box in the file's own units
// (before the fit).
struct MeshFacts {
    std::uint32_t meshes = 0;
    std::uint32_t textures = 0;
    float size[3] = {0.0f, 0.0f, 0.0f};
};

// Vertices without faces are a point cloud, drawn as points.
struct Mesh {
    FloatArray positions;  // x, y, z per vertex, fitted around the origin
    FloatArray normals;    // x, y, z per vertex, unit length
    std::size_t vertices = 0;
    std::vector<std::uint32_t> triangles;      // 3 vertex indices per face
    std::vector<std::uint32_t> quads;          // 4 per face
    std::vector<std::uint32_t> polygons;       // the corners of the larger faces, one after the other
    std::vector<std::uint32_t> polygon_sizes;  // corners of each larger face, in order
    MeshFacts facts;

    // The look, each empty where the model has none: then it is drawn in
    // the eye's colour, as the test object is.
    std::vector<std::uint8_t> colours;  // r, g, b, a per vertex (the material's colour where the file has none)
    std::vector<float> uvs;             // u, v per vertex
    std::vector<MeshPart> parts;        // every face in one part, or no parts at all (no faces, or no look)
    std::vector<MeshMaterial> materials;
    std::vector<MeshTexture> textures;
    std::unique_ptr<std::uint32_t[]> texels;  // RGBA bytes of each texture, in order
    std::size_t texel_count = 0;

    // Made from the faces after import (model/mesh_edges.h, model/mesh_lighter.h); empty where not made.
    std::vector<std::uint32_t> edges;              // 2 vertex indices per edge, each edge once
    std::vector<std::uint32_t> lighter_triangles;  // a simplified surface over the same vertices, for motion
    std::vector<std::uint32_t> lighter_edges;      // its edges

    std::size_t vertex_count() const { return vertices; }
    std::size_t face_count() const { return triangles.size() / 3 + quads.size() / 4 + polygon_sizes.size(); }
    // Colours or textures of its own: shown shaded at first.
    bool has_look() const { return !materials.empty(); }
    // Textures the file names that could not be read.
    std::size_t unreadable_textures() const {
        std::size_t n = 0;
        for (const MeshTexture& t : textures) n += t.width == 0;
        return n;
    }
};
