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

// A position's bits mixed into a table slot: equal positions are equal bits
// (as the importer's vertices are compared), so no tolerance is needed.
std::size_t position_hash(const float* position) {
    std::uint32_t bits[3];
    std::memcpy(bits, position, sizeof bits);
    std::uint64_t h = bits[0] * 0x9E3779B97F4A7C15ull;
    h ^= bits[1] * 0xC2B2AE3D27D4EB4Full;
    h ^= bits[2] * 0x165667B19E3779F9ull;
    return static_cast<std::size_t>(h ^ (h >> 31));
}

// Open addressing over vertex numbers; the table is sized for the distinct
// positions found so far (a fraction of the vertices in a file of separate
// corners), so that it stays in the caches, and doubles when half full.
class PositionTable {
public:
    PositionTable(const float* positions, std::size_t vertices) : positions_(positions) {
        std::size_t capacity = 1024;
        while (capacity < vertices / 4) capacity *= 2;
        slots_.assign(capacity, empty);
    }
    // The first vertex put in at v's position, or v itself, now put in.
    std::uint32_t first_at(std::uint32_t v) {
        const float* p = positions_ + 3 * std::size_t(v);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = position_hash(p) & mask;; i = (i + 1) & mask) {
            const std::uint32_t slot = slots_[i];
            if (slot == empty) {
                slots_[i] = v;
                if (2 * ++used_ > slots_.size()) grow();
                return v;
            }
            if (std::memcmp(positions_ + 3 * std::size_t(slot), p, 3 * sizeof(float)) == 0) return slot;
        }
    }

private:
    static constexpr std::uint32_t empty = ~0u;
    void grow() {
        std::vector<std::uint32_t> old(2 * slots_.size(), empty);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (std::uint32_t v : old) {
            if (v == empty) continue;
            std::size_t i = position_hash(positions_ + 3 * std::size_t(v)) & mask;
            while (slots_[i] != empty) i = (i + 1) & mask;
            slots_[i] = v;
        }
    }
    const float* positions_;
    std::vector<std::uint32_t> slots_;
    std::size_t used_ = 0;
};

}  // namespace

DenseVertices dense_vertices(const std::vector<std::uint32_t>& representatives) {
    DenseVertices dense;
    dense.number.resize(representatives.size());
    for (std::size_t v = 0; v < representatives.size(); ++v) {
        const std::uint32_t r = representatives[v];
        // A representative comes first among the vertices at its position.
        if (r == v) {
            dense.number[v] = static_cast<std::uint32_t>(dense.vertex.size());
            dense.vertex.push_back(r);
        } else {
            dense.number[v] = dense.number[r];
        }
    }
    return dense;
}

std::vector<std::uint32_t> position_representatives(const float* positions, std::size_t vertices) {
    std::vector<std::uint32_t> representatives(vertices);
    if (vertices == 0) return representatives;
    PositionTable table(positions, vertices);
    for (std::size_t v = 0; v < vertices; ++v) representatives[v] = table.first_at(static_cast<std::uint32_t>(v));
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
