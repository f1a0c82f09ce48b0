// Reading a model file: the thin layer around the importer (Assimp) and
// mesh_from_scene. It touches the file system; it shows nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/mesh.h"
#include "model/scene_mesh.h"

// What the viewer refuses to open, checked before the importer runs where
// the file says its size up front (file length, the counts of a binary STL,
// PLY or OFF header) and again on the imported scene. The file size limit
// holds for every file a model pulls in (an OBJ's MTL, a glTF's buffers).
struct ModelLimits {
    std::uint64_t max_file_bytes;
    MeshLimits mesh;
};
// The viewer's: what read_model_file refuses unless told otherwise, and what
// the import's reply is checked against.
extern const ModelLimits model_limits;

// How far a read has come, told to whoever waits for it (the import worker
// passes it on): `report` is called with a percentage, 0 to 100, never
// falling, whenever it moves on (the importer's own progress and the bytes
// it has read), on the reading thread.
struct ReadProgress {
    void (*report)(void* context, int percent) = nullptr;
    void* context = nullptr;
};

// Reads path (UTF-8) into *mesh, fitted, refusing what is beyond limits.
// False with *reason in words: the system's, the importer's or ours.
bool read_model_file(const char* path, Mesh* mesh, std::string* reason, const ReadProgress& progress = ReadProgress{},
                     const ModelLimits& limits = model_limits);

// The longest header looked at before the importer runs: a PLY header that
// has not ended by then is refused.
constexpr std::size_t max_header_bytes = std::size_t(1) << 20;

// What a file declares in its header before its data: the face count of a
// binary STL (84 + 50 per face bytes exactly), the element counts of a PLY
// header, the vertex and face counts of an OFF header (any of its variants:
// COFF, NOFF, STOFF, ...; without the keyword only when extension is "off").
// False when it declares none. head is the start of the file, at most
// max_header_bytes of it.
struct DeclaredCounts {
    std::uint64_t vertices = 0;
    std::uint64_t faces = 0;
    std::uint64_t least_bytes = 0;  // the fewest bytes of data the declared elements can take
    std::uint64_t data_bytes = 0;   // the bytes the file has after its header
    bool unfinished = false;        // a PLY header without end_header in head, an OFF header without its counts
    const char* format = "";        // "STL", "PLY" or "OFF"
};
bool declared_counts(const unsigned char* head, std::size_t head_size, std::uint64_t file_size, DeclaredCounts* out,
                     const char* extension = "");

// The importer's error text in the user's words: allocation failures as our
// out-of-memory reason; "no suitable reader" as a file that is not a valid
// file of its format (when extension, lower case without the dot, is among
// readable, the importer's list "*.obj;*.stl;...") or as a format this
// viewer does not read, with the formats it does; a wrong guess of format
// (a STEP file taken for IFC) as not a format this viewer reads; anything
// else as it is, with the file's bytes it quotes cut to a short printable
// excerpt.
std::string importer_reason(const std::string& error, const std::string& extension, const std::string& readable);
