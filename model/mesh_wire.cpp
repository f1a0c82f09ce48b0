#include "model/mesh_wire.h"

#include "model/texture_image.h"
#include "platform/process.h"

#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::size_t head_bytes = 5;  // kind, 32-bit length
constexpr std::size_t max_payload = 4096;
constexpr int array_count = 15;
constexpr std::uint32_t array_order[array_count] = {
    wire_positions, wire_normals,           wire_triangles,    wire_quads,
    wire_polygons,  wire_polygon_sizes,     wire_colours,      wire_uvs,
    wire_parts,     wire_materials,         wire_textures,     wire_texels,
    wire_edges,     wire_lighter_triangles, wire_lighter_edges};
// Where the edges and the lighter surface stand among the arrays: the mesh
// record has those before them, the extras record these.
constexpr int first_extra = 12;
// The look's records, sent as they are: fields of 4 bytes each.
constexpr std::uint64_t part_fields = sizeof(MeshPart) / 4;
constexpr std::uint64_t material_fields = sizeof(MeshMaterial) / 4;
constexpr std::uint64_t texture_fields = sizeof(MeshTexture) / 4;
static_assert(sizeof(MeshPart) == 32 && sizeof(MeshMaterial) == 20 && sizeof(MeshTexture) == 8,
              "the look's records are plain 4-byte fields");

void put_u32(unsigned char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}
void put_u64(unsigned char* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}
std::uint32_t get_u32(const unsigned char* in) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= std::uint32_t(in[i]) << (8 * i);
    return value;
}
std::uint64_t get_u64(const unsigned char* in) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= std::uint64_t(in[i]) << (8 * i);
    return value;
}

void write_record(const WireSink& sink, unsigned char kind, const void* payload, std::size_t size) {
    unsigned char head[head_bytes];
    head[0] = kind;
    put_u32(head + 1, static_cast<std::uint32_t>(size));
    sink.write(sink.context, head, sizeof head);
    if (size) sink.write(sink.context, payload, size);
}

// An array of the reply made ready for its bytes, on large pages where the
// system has them: a big model's arrays then arrive with a fraction of the
// page faults.
void advise(void* start, std::size_t bytes) {
    if (bytes >= (std::size_t(4) << 20)) platform_advise_large_pages(start, bytes);
}
template <class T>
void make_room(std::vector<T>* list, std::size_t count) {
    list->reserve(count);
    advise(list->data(), count * sizeof(T));
    list->resize(count);
}

bool all_finite(const float* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

bool indices_below(const std::vector<std::uint32_t>& indices, std::uint64_t limit) {
    for (std::uint32_t index : indices)
        if (index >= limit) return false;
    return true;
}

}  // namespace

void write_progress_record(const WireSink& sink, int percent) {
    const unsigned char value = static_cast<unsigned char>(percent < 0 ? 0 : percent > 100 ? 100 : percent);
    write_record(sink, 'P', &value, 1);
}

void write_failure_record(const WireSink& sink, const std::string& reason) {
    write_record(sink, 'F', reason.data(), reason.size() < max_payload ? reason.size() : max_payload);
}

void write_out_of_memory_record(const WireSink& sink) { write_record(sink, 'O', nullptr, 0); }

void write_facts_record(const WireSink& sink, const MeshFacts& facts) {
    unsigned char payload[20];
    put_u32(payload, facts.meshes);
    put_u32(payload + 4, facts.textures);
    for (int a = 0; a < 3; ++a) {
        std::uint32_t bits;
        std::memcpy(&bits, &facts.size[a], 4);
        put_u32(payload + 8 + 4 * a, bits);
    }
    write_record(sink, 'I', payload, sizeof payload);
}

namespace {

// The arrays' ids and counts from `first` up to `end`, then their bytes.
void write_arrays_record(const WireSink& sink, unsigned char kind, const void* const* data, const std::uint64_t* counts,
                         int first, int end) {
    unsigned char payload[4 + array_count * 12];
    put_u32(payload, static_cast<std::uint32_t>(end - first));
    for (int i = first; i < end; ++i) {
        put_u32(payload + 4 + 12 * (i - first), array_order[i]);
        put_u64(payload + 8 + 12 * (i - first), counts[i]);
    }
    write_record(sink, kind, payload, 4 + 12 * std::size_t(end - first));
    for (int i = first; i < end; ++i)
        if (counts[i]) sink.write(sink.context, data[i], counts[i] * 4);
}

void write_mesh_arrays(const WireSink& sink, const Mesh& mesh, bool extras) {
    const std::uint64_t floats = 3 * std::uint64_t(mesh.vertex_count());
    const void* data[array_count] = {mesh.positions.get(),     mesh.normals.get(),
                                     mesh.triangles.data(),    mesh.quads.data(),
                                     mesh.polygons.data(),     mesh.polygon_sizes.data(),
                                     mesh.colours.data(),      mesh.uvs.data(),
                                     mesh.parts.data(),        mesh.materials.data(),
                                     mesh.textures.data(),     mesh.texels.get(),
                                     mesh.edges.data(),        mesh.lighter_triangles.data(),
                                     mesh.lighter_edges.data()};
    const std::uint64_t counts[array_count] = {floats,
                                               floats,
                                               mesh.triangles.size(),
                                               mesh.quads.size(),
                                               mesh.polygons.size(),
                                               mesh.polygon_sizes.size(),
                                               mesh.colours.size() / 4,
                                               mesh.uvs.size(),
                                               part_fields * mesh.parts.size(),
                                               material_fields * mesh.materials.size(),
                                               texture_fields * mesh.textures.size(),
                                               mesh.texels ? mesh.texel_count : 0,
                                               mesh.edges.size(),
                                               mesh.lighter_triangles.size(),
                                               mesh.lighter_edges.size()};
    if (extras)
        write_arrays_record(sink, 'E', data, counts, first_extra, array_count);
    else
        write_arrays_record(sink, 'M', data, counts, 0, first_extra);
}

}  // namespace

void write_geometry_record(const WireSink& sink, const Mesh& mesh) { write_mesh_arrays(sink, mesh, false); }
void write_extras_record(const WireSink& sink, const Mesh& mesh) { write_mesh_arrays(sink, mesh, true); }

void write_mesh_record(const WireSink& sink, const Mesh& mesh) {
    write_geometry_record(sink, mesh);
    write_extras_record(sink, mesh);
}

void ReplyReader::reset(const MeshLimits& limits) {
    limits_ = limits;
    state_ = ReplyState::reading;
    stage_ = Stage::head;
    percent_ = 0;
    reason_.clear();
    record_size_ = head_bytes;
    record_have_ = 0;
    kind_ = 0;
    mesh_ = Mesh();
    facts_ = MeshFacts();
    array_ = array_end_ = 0;
    array_have_ = 0;
    corners_ = 0;
    have_geometry_ = false;
    for (int k = 0; k < 2; ++k) record_bytes_[k] = arrays_have_[k] = 0;
}

ReplyState ReplyReader::refuse(const char* why) {
    mesh_ = Mesh();
    reason_ = why;
    stage_ = Stage::done;
    return state_ = ReplyState::malformed;
}

unsigned char* ReplyReader::next_space(std::size_t* room) {
    *room = 0;
    if (state_ != ReplyState::reading) return nullptr;
    if (stage_ == Stage::arrays) {
        const std::uint64_t left = array_bytes_[array_] - array_have_;
        *room = left > (std::uint64_t(1) << 30) ? std::size_t(1) << 30 : static_cast<std::size_t>(left);
        return array_data_[array_] + array_have_;
    }
    *room = record_size_ - record_have_;
    return record_ + record_have_;
}

ReplyState ReplyReader::advance(std::size_t size) {
    if (state_ != ReplyState::reading || size == 0) return state_;
    if (stage_ == Stage::done) return refuse("The importer's answer is malformed (bytes after the mesh).");
    if (stage_ == Stage::arrays) {
        array_have_ += size;
        arrays_have_[array_end_ == array_count] += size;
        return array_have_ == array_bytes_[array_] ? next_array() : state_;
    }
    record_have_ += size;
    if (record_have_ < record_size_) return state_;
    if (stage_ == Stage::head) {
        kind_ = record_[0];
        const std::uint32_t length = get_u32(record_ + 1);
        if (length > max_payload) return refuse("The importer's answer is malformed (a record too long).");
        stage_ = Stage::payload;
        record_size_ = length;
        record_have_ = 0;
        if (length > 0) return state_;
    }
    return take_record();
}

ReplyState ReplyReader::take_record() {
    const std::size_t length = record_size_;
    stage_ = Stage::head;
    record_size_ = head_bytes;
    record_have_ = 0;
    switch (kind_) {
    case 'P':
        if (length != 1 || record_[0] > 100) return refuse("The importer's answer is malformed (bad progress).");
        // Never falls: a worker cannot make the figure jump back.
        if (record_[0] > percent_) percent_ = record_[0];
        return state_;
    case 'F':
        reason_.assign(reinterpret_cast<const char*>(record_), length);
        stage_ = Stage::done;
        return state_ = ReplyState::failed;
    case 'O':
        if (length != 0) return refuse("The importer's answer is malformed (bad record).");
        stage_ = Stage::done;
        return state_ = ReplyState::out_of_memory;
    case 'I': {
        if (length != 20) return refuse("The importer's answer is malformed (bad facts record).");
        MeshFacts facts;
        facts.meshes = get_u32(record_);
        facts.textures = get_u32(record_ + 4);
        for (int a = 0; a < 3; ++a) {
            const std::uint32_t bits = get_u32(record_ + 8 + 4 * a);
            std::memcpy(&facts.size[a], &bits, 4);
            // Only shown, never computed with: a size that is no number shows as 0.
            if (!std::isfinite(facts.size[a]) || facts.size[a] < 0.0f) facts.size[a] = 0.0f;
        }
        facts_ = facts;
        return state_;
    }
    case 'M': return take_mesh_record(length);
    case 'E': return take_extras_record(length);
    default: return refuse("The importer's answer is malformed (unknown record).");
    }
}

// The ids and counts of arrays [first, end) from a mesh or extras record.
bool ReplyReader::read_counts(std::size_t length, int first, int end, std::uint64_t* counts) {
    const int n = end - first;
    if (length != 4 + std::size_t(n) * 12 || get_u32(record_) != std::uint32_t(n)) return false;
    for (int i = first; i < end; ++i) {
        if (get_u32(record_ + 4 + 12 * (i - first)) != array_order[i]) return false;
        counts[i] = get_u64(record_ + 8 + 12 * (i - first));
    }
    return true;
}

ReplyState ReplyReader::start_arrays(int first, int end) {
    const int k = end == array_count;
    record_bytes_[k] = arrays_have_[k] = 0;
    for (int i = first; i < end; ++i) record_bytes_[k] += array_bytes_[i];
    stage_ = Stage::arrays;
    array_ = first - 1;
    array_end_ = end;
    return next_array();
}

ReplyState ReplyReader::take_mesh_record(std::size_t length) {
    std::uint64_t counts[array_count] = {};
    if (have_geometry_ || !read_counts(length, 0, first_extra, counts))
        return refuse("The importer's answer is malformed (bad mesh record).");
    const std::uint64_t floats = counts[0];
    const std::uint64_t vertices = floats / 3;
    if (floats % 3 != 0 || counts[1] != floats || counts[2] % 3 != 0 || counts[3] % 4 != 0)
        return refuse("The importer's answer is malformed (inconsistent counts).");
    if (vertices > limits_.max_vertices || vertices > 0xFFFFFFFFull)
        return refuse("The model has more vertices than this viewer opens.");
    const std::uint64_t faces = counts[2] / 3 + counts[3] / 4 + counts[5];
    if (faces > limits_.max_faces) return refuse("The model has more faces than this viewer opens.");
    // The corners of the larger faces are not bounded by the face count;
    // those of a real model are a few per face.
    if (counts[4] > 64 * limits_.max_faces || counts[4] < 3 * counts[5])
        return refuse("The importer's answer is malformed (inconsistent counts).");
    corners_ = counts[2] + counts[3] + counts[4];
    if (vertices == 0) return refuse("The importer's answer is malformed (no vertices).");
    // The look: colours and coordinates for every vertex or none, whole
    // records, within the limits.
    if ((counts[6] != 0 && counts[6] != vertices) || (counts[7] != 0 && counts[7] != 2 * vertices) ||
        counts[8] % part_fields != 0 || counts[9] % material_fields != 0 || counts[10] % texture_fields != 0)
        return refuse("The importer's answer is malformed (inconsistent counts).");
    if (counts[8] / part_fields > max_wire_parts || counts[8] / part_fields > faces + 1 ||
        counts[9] / material_fields > max_wire_materials || counts[10] / texture_fields > texture_limits.max_textures ||
        counts[11] > texture_limits.max_total_pixels)
        return refuse("The importer's answer is malformed (a look beyond the limits).");

    // The arrays are made without filling them: the pages are the system's
    // until the worker's bytes arrive, so a count that is a lie costs little.
    try {
        mesh_.positions = make_float_array(floats);
        mesh_.normals = make_float_array(floats);
        advise(mesh_.positions.get(), 4 * floats);
        advise(mesh_.normals.get(), 4 * floats);
        mesh_.vertices = static_cast<std::size_t>(vertices);
        std::vector<std::uint32_t>* lists[4] = {&mesh_.triangles, &mesh_.quads, &mesh_.polygons, &mesh_.polygon_sizes};
        for (int i = 0; i < 4; ++i) make_room(lists[i], static_cast<std::size_t>(counts[2 + i]));
        array_data_[0] = reinterpret_cast<unsigned char*>(mesh_.positions.get());
        array_data_[1] = reinterpret_cast<unsigned char*>(mesh_.normals.get());
        for (int i = 0; i < 4; ++i) array_data_[2 + i] = reinterpret_cast<unsigned char*>(lists[i]->data());
        mesh_.colours.resize(static_cast<std::size_t>(4 * counts[6]));
        mesh_.uvs.resize(static_cast<std::size_t>(counts[7]));
        mesh_.parts.resize(static_cast<std::size_t>(counts[8] / part_fields));
        mesh_.materials.resize(static_cast<std::size_t>(counts[9] / material_fields));
        mesh_.textures.resize(static_cast<std::size_t>(counts[10] / texture_fields));
        mesh_.texel_count = static_cast<std::size_t>(counts[11]);
        if (mesh_.texel_count) mesh_.texels.reset(new std::uint32_t[mesh_.texel_count]);
        array_data_[6] = mesh_.colours.data();
        array_data_[7] = reinterpret_cast<unsigned char*>(mesh_.uvs.data());
        array_data_[8] = reinterpret_cast<unsigned char*>(mesh_.parts.data());
        array_data_[9] = reinterpret_cast<unsigned char*>(mesh_.materials.data());
        array_data_[10] = reinterpret_cast<unsigned char*>(mesh_.textures.data());
        array_data_[11] = reinterpret_cast<unsigned char*>(mesh_.texels.get());
    } catch (const std::bad_alloc&) {
        return refuse("Not enough memory for the model.");
    } catch (const std::length_error&) {
        return refuse("Not enough memory for the model.");
    }
    for (int i = 0; i < first_extra; ++i) array_bytes_[i] = 4 * counts[i];
    return start_arrays(0, first_extra);
}

ReplyState ReplyReader::take_extras_record(std::size_t length) {
    std::uint64_t counts[array_count] = {};
    if (!have_geometry_ || !read_counts(length, first_extra, array_count, counts))
        return refuse("The importer's answer is malformed (bad extras record).");
    // Each face adds at most as many edges as it has corners; the lighter
    // surface has at most as many triangles as the model has faces' fans.
    const std::uint64_t* extra = counts + first_extra;
    if (extra[0] % 2 != 0 || extra[0] > 2 * corners_ || extra[1] % 3 != 0 || extra[1] > 3 * corners_ ||
        extra[2] % 2 != 0 || extra[2] > 2 * extra[1])
        return refuse("The importer's answer is malformed (inconsistent counts).");
    try {
        std::vector<std::uint32_t>* extras[3] = {&mesh_.edges, &mesh_.lighter_triangles, &mesh_.lighter_edges};
        for (int i = 0; i < 3; ++i) {
            make_room(extras[i], static_cast<std::size_t>(extra[i]));
            array_data_[first_extra + i] = reinterpret_cast<unsigned char*>(extras[i]->data());
        }
    } catch (const std::bad_alloc&) {
        return refuse("Not enough memory for the model.");
    } catch (const std::length_error&) {
        return refuse("Not enough memory for the model.");
    }
    for (int i = first_extra; i < array_count; ++i) array_bytes_[i] = 4 * counts[i];
    return start_arrays(first_extra, array_count);
}

// Each array is checked once it is whole (or, empty, once it is passed):
// the checks of a big mesh go on while the next arrays arrive.
ReplyState ReplyReader::next_array() {
    if (array_ >= 0 && !check_array(array_)) return state_;
    array_have_ = 0;
    while (++array_ < array_end_) {
        if (array_bytes_[array_] > 0) return state_;
        if (!check_array(array_)) return state_;
    }
    stage_ = Stage::head;
    record_size_ = head_bytes;
    record_have_ = 0;
    if (array_end_ == first_extra) {
        // The geometry and the look: the extras record is still to come.
        if (check_look()) have_geometry_ = true;
        return state_;
    }
    // Complete: only the end of the output may follow.
    stage_ = Stage::done;
    record_size_ = 1;
    return state_;
}

bool ReplyReader::check_array(int index) {
    const std::uint64_t vertices = mesh_.vertex_count();
    const std::vector<std::uint32_t>* indices = nullptr;
    switch (array_order[index]) {
    case wire_positions:
    case wire_normals: {
        const float* values = array_order[index] == wire_positions ? mesh_.positions.get() : mesh_.normals.get();
        if (all_finite(values, 3 * mesh_.vertex_count())) return true;
        refuse("The importer's answer is malformed (coordinates that are not numbers).");
        return false;
    }
    case wire_polygon_sizes: {
        std::uint64_t corners = 0;
        for (std::uint32_t size : mesh_.polygon_sizes) {
            if (size < 3) {
                refuse("The importer's answer is malformed (a face of fewer than three corners).");
                return false;
            }
            corners += size;
        }
        if (corners == mesh_.polygons.size()) return true;
        refuse("The importer's answer is malformed (inconsistent counts).");
        return false;
    }
    case wire_triangles: indices = &mesh_.triangles; break;
    case wire_quads: indices = &mesh_.quads; break;
    case wire_polygons: indices = &mesh_.polygons; break;
    case wire_edges: indices = &mesh_.edges; break;
    case wire_lighter_triangles: indices = &mesh_.lighter_triangles; break;
    case wire_lighter_edges: indices = &mesh_.lighter_edges; break;
    default: return true;  // the look's, checked together once the mesh record is whole
    }
    if (indices_below(*indices, vertices)) return true;
    refuse("The importer's answer is malformed (a corner outside the model).");
    return false;
}

// Parts inside the face lists, materials of finite colours naming textures
// that exist, texture sizes that add up to the texels sent.
bool ReplyReader::check_look() {
    const char* bad = "The importer's answer is malformed (a look that does not fit the model).";
    if (!all_finite(mesh_.uvs.data(), mesh_.uvs.size()) ||
        ((!mesh_.parts.empty() || !mesh_.colours.empty() || !mesh_.textures.empty()) && mesh_.materials.empty())) {
        refuse(bad);
        return false;
    }
    const std::uint64_t triangles = mesh_.triangles.size() / 3, quads = mesh_.quads.size() / 4,
                        polygons = mesh_.polygon_sizes.size();
    // The corners before each polygon, for the parts' first corners.
    std::vector<std::uint64_t> corners_before;
    if (!mesh_.parts.empty()) {
        corners_before.resize(static_cast<std::size_t>(polygons) + 1);
        for (std::size_t i = 0; i < polygons; ++i) corners_before[i + 1] = corners_before[i] + mesh_.polygon_sizes[i];
    }
    for (const MeshPart& p : mesh_.parts) {
        const std::uint64_t corners = p.polygon_begin <= polygons ? corners_before[p.polygon_begin] : 0;
        if (p.material >= mesh_.materials.size() || std::uint64_t(p.triangle_begin) + p.triangle_count > triangles ||
            std::uint64_t(p.quad_begin) + p.quad_count > quads ||
            std::uint64_t(p.polygon_begin) + p.polygon_count > polygons || p.corner_begin != corners) {
            refuse(bad);
            return false;
        }
    }
    for (const MeshMaterial& m : mesh_.materials) {
        for (float c : m.colour)
            if (!(c >= 0.0f && c <= 1.0f)) {
                refuse(bad);
                return false;
            }
        if (m.texture != no_texture && m.texture >= mesh_.textures.size()) {
            refuse(bad);
            return false;
        }
    }
    std::uint64_t texels = 0;
    for (const MeshTexture& t : mesh_.textures) {
        const bool empty = t.width == 0 && t.height == 0;
        if (!empty && (t.width == 0 || t.height == 0 || t.width > texture_limits.max_side ||
                       t.height > texture_limits.max_side)) {
            refuse(bad);
            return false;
        }
        texels += std::uint64_t(t.width) * t.height;
    }
    if (texels != mesh_.texel_count) {
        refuse(bad);
        return false;
    }
    return true;
}

int ReplyReader::arrived_percent() const {
    if (stage_ == Stage::done && state_ != ReplyState::malformed) return 100;
    const int k = have_geometry_ ? 1 : 0;
    int percent = 50 * k;
    if (stage_ == Stage::arrays && record_bytes_[k] > 0)
        percent += static_cast<int>(50 * arrays_have_[k] / record_bytes_[k]);
    return percent;
}

ReplyState ReplyReader::end_of_input() {
    if (state_ != ReplyState::reading) return state_;
    if (stage_ == Stage::done) return state_ = ReplyState::mesh;
    return refuse("The importer ended without an answer.");
}

Mesh ReplyReader::take_mesh() {
    Mesh mesh = std::move(mesh_);
    if (mesh.vertex_count() > 0) mesh.facts = facts_;
    mesh_ = Mesh();
    return mesh;
}
