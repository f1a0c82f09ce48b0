// The import worker's reply, as bytes on its standard output: progress
// records, then either a failure or a mesh. The viewer reads it as untrusted
// bytes: every count, size and index is checked before it is used, and the
// arrays are read straight into the mesh, without a copy.
//
// A record is a kind byte and a 32-bit length (little-endian, as every number
// here), then that many bytes:
//   'P' progress: one byte, the percentage, up to wire_sent_percent: the
//       mesh's arrays, as they arrive, take it on (arrived_percent);
//   'F' failure: the reason, UTF-8;
//   'O' out of memory: nothing;
//   'I' facts (optional, before the mesh): 32-bit mesh and texture counts,
//       then the box's three sizes as 32-bit floats;
//   'M' mesh: a 32-bit array count, then per array a 32-bit id and a 64-bit
//       count of 4-byte elements. The arrays' elements follow the record in
//       that order. The look's arrays come after the geometry's: colours
//       (one element per vertex), coordinates (two), parts, materials and
//       texture sizes (their fields), and the texels.
//   'E' extras (after the mesh's arrays, and other records): the edges and
//       the lighter surface, laid out as the mesh record; after their arrays
//       the reply ends. The worker sends the mesh while it builds these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/mesh.h"
#include "model/scene_mesh.h"

// How far the worker's own progress goes; the rest is the mesh's arrays
// arriving.
constexpr int wire_sent_percent = 90;

// Where the worker's bytes go: the worker's standard output, or a buffer.
struct WireSink {
    void (*write)(void* context, const void* bytes, std::size_t size);
    void* context;
};

void write_progress_record(const WireSink& sink, int percent);
void write_failure_record(const WireSink& sink, const std::string& reason);
void write_out_of_memory_record(const WireSink& sink);
void write_facts_record(const WireSink& sink, const MeshFacts& facts);
// The mesh record and its arrays, the extras record and its; both in turn.
void write_geometry_record(const WireSink& sink, const Mesh& mesh);
void write_extras_record(const WireSink& sink, const Mesh& mesh);
void write_mesh_record(const WireSink& sink, const Mesh& mesh);

enum class ReplyState {
    reading,        // more to come
    mesh,           // a whole, checked mesh has arrived
    failed,         // the worker said why it could not read the file
    out_of_memory,  // the worker ran out of memory
    malformed,      // the bytes are not a reply; reason() says how
};

// Reads a reply as it arrives, in pieces of any size: ask where the next
// bytes go, put at most that many there, then say how many came.
class ReplyReader {
public:
    void reset(const MeshLimits& limits);

    // Where the next bytes go and how many may go there (at least 1 while
    // reading, 0 once the reply is complete or refused).
    unsigned char* next_space(std::size_t* room);
    // `size` bytes (at most the room) were put at next_space.
    ReplyState advance(std::size_t size);
    // The worker's output ended: a reply still incomplete is malformed.
    ReplyState end_of_input();

    ReplyState state() const { return state_; }
    // The worker's own figure.
    int percent() const { return percent_; }
    // How much of the arrays has arrived, 0 to 100: the mesh record's up to
    // 50, the extras record's the rest.
    int arrived_percent() const;
    // The worker's reason (failed) or what was wrong with the bytes (malformed).
    const std::string& reason() const { return reason_; }
    // The mesh (state mesh); the reader keeps an empty one.
    Mesh take_mesh();

private:
    enum class Stage { head, payload, arrays, done };
    ReplyState refuse(const char* why);
    ReplyState take_record();
    bool read_counts(std::size_t length, int first, int end, std::uint64_t* counts);
    ReplyState start_arrays(int first, int end);
    ReplyState take_mesh_record(std::size_t length);
    ReplyState take_extras_record(std::size_t length);
    ReplyState next_array();
    bool check_array(int index);
    bool check_look();

    MeshLimits limits_ = {0, 0};
    ReplyState state_ = ReplyState::reading;
    Stage stage_ = Stage::head;
    int percent_ = 0;
    std::string reason_;
    // The record being read: its head, then its payload.
    unsigned char record_[4096 + 8];
    std::size_t record_size_ = 0;  // bytes of it expected
    std::size_t record_have_ = 0;
    unsigned char kind_ = 0;
    MeshFacts facts_;
    // The mesh's arrays, filled in order.
    Mesh mesh_;
    unsigned char* array_data_[15] = {};
    std::uint64_t array_bytes_[15] = {};
    int array_ = 0;  // the one being filled, of the record's up to array_end_
    int array_end_ = 0;
    std::uint64_t array_have_ = 0;
    std::uint64_t corners_ = 0;   // of the mesh's faces: what bounds the extras
    bool have_geometry_ = false;  // the mesh record's arrays are in, checked
    // Bytes of the arrays of the mesh record [0] and the extras record [1],
    // and of them arrived.
    std::uint64_t record_bytes_[2] = {};
    std::uint64_t arrays_have_[2] = {};
};

// The array ids of a mesh record, in the order they are sent.
enum WireArray : std::uint32_t {
    wire_positions = 1,
    wire_normals = 2,
    wire_triangles = 3,
    wire_quads = 4,
    wire_polygons = 5,
    wire_polygon_sizes = 6,
    wire_colours = 7,
    wire_uvs = 8,
    wire_parts = 9,
    wire_materials = 10,
    wire_textures = 11,
    wire_texels = 12,
    wire_edges = 13,
    wire_lighter_triangles = 14,
    wire_lighter_edges = 15,
};

// The most parts and materials a reply may hold.
constexpr std::uint64_t max_wire_parts = std::uint64_t(1) << 20;
constexpr std::uint64_t max_wire_materials = std::uint64_t(1) << 16;
