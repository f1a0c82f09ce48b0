// Reading a model file: the thin layer around the importer (Assimp) and
// mesh_from_scene. It touches the file system; it shows nothing.
#pragma once

#include <cstdint>
#include <string>

#include "model/mesh.h"
#include "model/scene_mesh.h"

// What the viewer refuses to open, checked before the importer runs where
// the file says its size up front (file length, binary STL and PLY header
// counts) and again on the imported scene.
struct ModelLimits {
    std::uint64_t max_file_bytes;
    MeshLimits mesh;
};
extern ModelLimits model_limits;  // tests lower it; nothing else changes it

// How far a read has come, told to whoever waits for it (the import worker
// passes it on): `report` is called with a percentage, 0 to 100, never
// falling, whenever it moves on (the importer's own progress and the bytes
// it has read), on the reading thread.
struct ReadProgress {
    void (*report)(void* context, int percent) = nullptr;
    void* context = nullptr;
};

// Reads path (UTF-8) into *mesh, fitted. False with *reason in words: the
// system's, the importer's or ours.
bool read_model_file(const char* path, Mesh* mesh, std::string* reason, const ReadProgress& progress = ReadProgress{});

// The counts a file declares in its header before its data, or false when
// it declares none: the face count of a binary STL (84 + 50 per face bytes
// exactly), the vertex and face counts of a PLY header.
struct DeclaredCounts {
    std::uint64_t vertices;
    std::uint64_t faces;
};
bool declared_counts(const unsigned char* head, std::size_t head_size, std::uint64_t file_size, DeclaredCounts* out);
