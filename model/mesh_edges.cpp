#include "model/mesh_edges.h"

#include <meshoptimizer.h>

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
void unique_edges(const FaceRuns* runs, int run_count, const std::vector<std::uint32_t>& representative,
                  std::vector<std::uint32_t>* edges) {
    edges->clear();
    const std::size_t vertices = representative.size();
    std::vector<std::uint32_t> start(vertices + 1, 0);
    std::size_t total = 0;
    for (int r = 0; r < run_count; ++r)
        for_each_edge(runs[r], [&](std::uint32_t a, std::uint32_t b) {
            a = representative[a];
            b = representative[b];
            if (a == b) return;
            ++start[(a < b ? a : b) + 1];
            ++total;
        });
    for (std::size_t v = 0; v < vertices; ++v) start[v + 1] += start[v];
    std::vector<std::uint32_t> upper(total);
    std::vector<std::uint32_t> filled(start.begin(), start.end() - 1);
    for (int r = 0; r < run_count; ++r)
        for_each_edge(runs[r], [&](std::uint32_t a, std::uint32_t b) {
            a = representative[a];
            b = representative[b];
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
            edges->push_back(back ? u : static_cast<std::uint32_t>(low));
            edges->push_back(back ? static_cast<std::uint32_t>(low) : u);
        }
}

}  // namespace

std::vector<std::uint32_t> position_representatives(const float* positions, std::size_t vertices) {
    std::vector<std::uint32_t> remap(vertices);
    if (vertices == 0) return remap;
    const std::size_t unique =
        meshopt_generateVertexRemap(remap.data(), nullptr, vertices, positions, vertices, 3 * sizeof(float));
    std::vector<std::uint32_t> first(unique, ~0u);
    for (std::size_t v = 0; v < vertices; ++v) {
        std::uint32_t& f = first[remap[v]];
        if (f == ~0u) f = static_cast<std::uint32_t>(v);
        remap[v] = f;
    }
    return remap;
}

void build_mesh_edges(const Mesh& mesh, const std::vector<std::uint32_t>& representatives,
                      std::vector<std::uint32_t>* edges) {
    const FaceRuns runs[3] = {{mesh.triangles.data(), mesh.triangles.size(), 3, nullptr},
                              {mesh.quads.data(), mesh.quads.size(), 4, nullptr},
                              {mesh.polygons.data(), mesh.polygons.size(), 0, &mesh.polygon_sizes}};
    unique_edges(runs, 3, representatives, edges);
}

void build_triangle_edges(const std::vector<std::uint32_t>& triangles,
                          const std::vector<std::uint32_t>& representatives, std::vector<std::uint32_t>* edges) {
    const FaceRuns runs[1] = {{triangles.data(), triangles.size(), 3, nullptr}};
    unique_edges(runs, 1, representatives, edges);
}
