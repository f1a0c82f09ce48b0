#include "model/mesh_edges.h"

#include <cstring>

namespace {

constexpr std::uint32_t reversed = 0x80000000u;

// Faces as runs of corners: fixed-size runs, or runs of the given sizes.
struct FaceRuns {
    const std::uint32_t* corners;
    std::size_t corner_count;
    std::uint32_t size;  // corners per face, or 0: sizes below
    const std::vector<std::uint32_t>* sizes;
};

template <typename Visit>
void for_each_edge(const FaceRuns& runs, Visit visit) {
    const std::uint32_t* face = runs.corners;
    const std::uint32_t* end = runs.corners + runs.corner_count;
    std::size_t next_size = 0;
    while (face < end) {
        const std::uint32_t n = runs.size ? runs.size : (*runs.sizes)[next_size++];
        for (std::uint32_t i = 0; i + 1 < n; ++i) visit(face[i], face[i + 1]);
        visit(face[n - 1], face[0]);
        face += n;
    }
}

// Edges bucketed by their lower end (a counting sort), then each bucket
// kept once per upper end: linear in the corners, no hashing of pairs.
// Dense numbers keep the order of the representatives, so the edges come
// out as they would over the representatives themselves.
void unique_edges(const FaceRuns* runs, int run_count, const DenseVertices& dense, std::vector<std::uint32_t>* edges) {
    edges->clear();
    const std::vector<std::uint32_t>& number = dense.number;
    const std::size_t vertices = dense.vertex.size();
    std::vector<std::uint32_t> start(vertices + 1, 0);
    std::size_t total = 0;
    for (int r = 0; r < run_count; ++r)
        for_each_edge(runs[r], [&](std::uint32_t a, std::uint32_t b) {
            a = number[a];
            b = number[b];
            if (a == b) return;
            ++start[(a < b ? a : b) + 1];
            ++total;
        });
    for (std::size_t v = 0; v < vertices; ++v) start[v + 1] += start[v];
    std::vector<std::uint32_t> upper(total);
    std::vector<std::uint32_t> filled(start.begin(), start.end() - 1);
    for (int r = 0; r < run_count; ++r)
        for_each_edge(runs[r], [&](std::uint32_t a, std::uint32_t b) {
            a = number[a];
            b = number[b];
            if (a == b) return;
            // The top bit keeps the direction the edge was first drawn in.
            if (a < b)
                upper[filled[a]++] = b;
            else
                upper[filled[b]++] = a | reversed;
        });
    filled.clear();
    filled.shrink_to_fit();
    // seen[u] == low + 1: the edge (low, u) is already out.
    std::vector<std::uint32_t> seen(vertices, 0);
    edges->reserve(total);  // at most half the corners' edges are new on a closed surface; grows past it if not
    for (std::size_t low = 0; low < vertices; ++low)
        for (std::uint32_t i = start[low]; i < start[low + 1]; ++i) {
            const std::uint32_t u = upper[i] & ~reversed;
            if (seen[u] == low + 1) continue;
            seen[u] = static_cast<std::uint32_t>(low + 1);
            const bool back = (upper[i] & reversed) != 0;
            const std::uint32_t from = dense.vertex[low], to = dense.vertex[u];
            edges->push_back(back ? to : from);
            edges->push_back(back ? from : to);
        }
}

// Open addressing, each slot with the position's bits beside its first
// vertex, so that a probe reads no vertex array; the table is sized for
// the distinct positions found so far (a fraction of the vertices in a
// file of separate corners) and doubles when half full.
class PositionTable {
public:
    explicit PositionTable(std::size_t vertices) {
        std::size_t capacity = 1024;
        while (capacity < vertices / 4) capacity *= 2;
        slots_.assign(capacity, Slot());
        recent_.assign(recent_size, Slot());
    }
    // Asks the caches for the slot of a position looked up soon: the probes
    // are independent, and the table's misses are most of the time.
    void prefetch(const float* position) const {
#if defined(__GNUC__)
        Slot key;
        std::memcpy(key.bits, position, sizeof key.bits);
        __builtin_prefetch(&slots_[hash(key) & (slots_.size() - 1)]);
#else
        (void)position;
#endif
    }
    // The first vertex put in at v's position, or v itself, now put in.
    std::uint32_t first_at(const float* position, std::uint32_t v) {
        Slot key;
        std::memcpy(key.bits, position, sizeof key.bits);
        key.vertex = v;
        const std::size_t h = hash(key);
        // A face's corners mostly recur in the faces drawn soon after it: a
        // small table of recent positions, held in the caches, answers most.
        Slot& recent = recent_[h & (recent_size - 1)];
        if (recent.vertex != empty && same(recent, key)) return recent.vertex;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.vertex == empty) {
                slot = key;
                recent = key;
                if (2 * ++used_ > slots_.size()) grow();
                return v;
            }
            if (same(slot, key)) {
                recent = slot;
                return slot.vertex;
            }
        }
    }

private:
    static constexpr std::uint32_t empty = ~0u;
    static constexpr std::size_t recent_size = 16384;
    struct Slot {
        std::uint32_t bits[3] = {0, 0, 0};
        std::uint32_t vertex = empty;
    };
    static bool same(const Slot& a, const Slot& b) {
        return a.bits[0] == b.bits[0] && a.bits[1] == b.bits[1] && a.bits[2] == b.bits[2];
    }
    // Equal positions are equal bits (as the importer's vertices are
    // compared), so no tolerance is needed.
    static std::size_t hash(const Slot& slot) {
        std::uint64_t h = slot.bits[0] * 0x9E3779B97F4A7C15ull;
        h ^= slot.bits[1] * 0xC2B2AE3D27D4EB4Full;
        h ^= slot.bits[2] * 0x165667B19E3779F9ull;
        h = (h ^ (h >> 32)) * 0xD6E8FEB86659FD93ull;
        return static_cast<std::size_t>(h ^ (h >> 32));
    }
    void grow() {
        std::vector<Slot> old(2 * slots_.size());
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.vertex == empty) continue;
            std::size_t i = hash(slot) & mask;
            while (slots_[i].vertex != empty) i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }
    std::vector<Slot> slots_, recent_;
    std::size_t used_ = 0;
};

// v's dense number: a new one where v is the first vertex at its position,
// else that first vertex's.
void number_vertex(DenseVertices* dense, std::size_t v, std::uint32_t first) {
    if (first == v) {
        dense->number[v] = static_cast<std::uint32_t>(dense->vertex.size());
        dense->vertex.push_back(first);
    } else {
        dense->number[v] = dense->number[first];
    }
}

}  // namespace

DenseVertices dense_vertices(const std::vector<std::uint32_t>& representatives) {
    DenseVertices dense;
    dense.number.resize(representatives.size());
    // A representative comes first among the vertices at its position.
    for (std::size_t v = 0; v < representatives.size(); ++v) number_vertex(&dense, v, representatives[v]);
    return dense;
}

DenseVertices weld_positions(const float* positions, std::size_t vertices) {
    constexpr std::size_t prefetch_distance = 48;
    DenseVertices dense;
    dense.number.resize(vertices);
    if (vertices == 0) return dense;
    PositionTable table(vertices);
    for (std::size_t v = 0; v < vertices; ++v) {
        // The table holds vertices, not their numbers: each probe is then
        // independent of the one before, and the processor overlaps them.
        if (v + prefetch_distance < vertices) table.prefetch(positions + 3 * (v + prefetch_distance));
        number_vertex(&dense, v, table.first_at(positions + 3 * v, static_cast<std::uint32_t>(v)));
    }
    return dense;
}

std::vector<std::uint32_t> position_representatives(const float* positions, std::size_t vertices) {
    const DenseVertices dense = weld_positions(positions, vertices);
    std::vector<std::uint32_t> representatives(vertices);
    for (std::size_t v = 0; v < vertices; ++v) representatives[v] = dense.vertex[dense.number[v]];
    return representatives;
}

void build_mesh_edges(const Mesh& mesh, const DenseVertices& dense, std::vector<std::uint32_t>* edges) {
    const FaceRuns runs[3] = {{mesh.triangles.data(), mesh.triangles.size(), 3, nullptr},
                              {mesh.quads.data(), mesh.quads.size(), 4, nullptr},
                              {mesh.polygons.data(), mesh.polygons.size(), 0, &mesh.polygon_sizes}};
    unique_edges(runs, 3, dense, edges);
}

void build_mesh_edges(const Mesh& mesh, const std::vector<std::uint32_t>& representatives,
                      std::vector<std::uint32_t>* edges) {
    build_mesh_edges(mesh, dense_vertices(representatives), edges);
}

void build_triangle_edges(const std::vector<std::uint32_t>& triangles, const DenseVertices& dense,
                          std::vector<std::uint32_t>* edges) {
    const FaceRuns runs[1] = {{triangles.data(), triangles.size(), 3, nullptr}};
    unique_edges(runs, 1, dense, edges);
}
