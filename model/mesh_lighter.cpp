#include "model/mesh_lighter.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "model/beside_thread.h"
#include "model/mesh_edges.h"

namespace {

// A first, cheap clustering for a mesh many times over the budget: the
// vertices snapped to a grid whose cells are somewhat larger than the mesh's
// own edges, and each triangle over three cells kept, over the cells. The
// simplifier then works on a few times the budget instead of the whole mesh
// (its passes go over every vertex and triangle it is given).
struct Clustered {
    std::vector<float> positions;          // of each cell: its first vertex's
    std::vector<std::uint32_t> first;      // of each cell: that vertex's number
    std::vector<std::uint32_t> triangles;  // over the cells
};

// Open addressing from a cell's grid coordinates to its number; doubles
// when half full.
class CellTable {
public:
    explicit CellTable(std::size_t cells) {
        std::size_t capacity = 1024;
        while (capacity < 2 * cells) capacity *= 2;
        slots_.assign(capacity, Slot());
    }
    static std::size_t hash(std::uint64_t key) {
        const std::uint64_t h = key * 0x9E3779B97F4A7C15ull;
        return static_cast<std::size_t>(h ^ (h >> 32));
    }
    void prefetch(std::uint64_t key) const {
#if defined(__GNUC__)
        __builtin_prefetch(&slots_[hash(key) & (slots_.size() - 1)]);
#else
        (void)key;
#endif
    }
    // The cell's number, or `next` when it is new (then given it).
    std::uint32_t number(std::uint64_t key, std::uint32_t next) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash(key) & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.key == key) return slot.number;
            if (slot.key == empty) {
                slot = Slot{key, next};
                if (2 * ++used_ > slots_.size()) grow();
                return next;
            }
        }
    }

private:
    static constexpr std::uint64_t empty = ~0ull;
    struct Slot {
        std::uint64_t key = empty;
        std::uint32_t number = 0;
    };
    void grow() {
        std::vector<Slot> old(2 * slots_.size());
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.key == empty) continue;
            std::size_t i = hash(slot.key) & mask;
            while (slots_[i].key != empty) i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }
    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

float distance(const float* a, const float* b) {
    const float x = a[0] - b[0], y = a[1] - b[1], z = a[2] - b[2];
    return std::sqrt(x * x + y * y + z * z);
}

// False where the mesh gives no grid to cluster on (no length, too few
// triangles over the budget).
// Each face as triangles, quads and larger faces as fans, over dense numbers.
template <typename Visit>
void for_each_triangle(const Mesh& mesh, const std::vector<std::uint32_t>& number, Visit visit) {
    for (std::size_t t = 0; t < mesh.triangles.size(); t += 3)
        visit(number[mesh.triangles[t]], number[mesh.triangles[t + 1]], number[mesh.triangles[t + 2]]);
    for (std::size_t q = 0; q < mesh.quads.size(); q += 4) {
        const std::uint32_t* c = &mesh.quads[q];
        visit(number[c[0]], number[c[1]], number[c[2]]);
        visit(number[c[0]], number[c[2]], number[c[3]]);
    }
    const std::uint32_t* face = mesh.polygons.data();
    for (std::uint32_t size : mesh.polygon_sizes) {
        for (std::uint32_t i = 1; i + 1 < size; ++i) visit(number[face[0]], number[face[i]], number[face[i + 1]]);
        face += size;
    }
}

// False where the mesh gives no grid to cluster on (no length, too few
// triangles over the budget).
bool cluster(const Mesh& mesh, const DenseVertices& dense, std::size_t count, std::size_t budget, Clustered* out) {
    const std::size_t vertices = dense.vertex.size();
    const auto position = [&](std::uint32_t d) { return mesh.positions.get() + 3 * std::size_t(dense.vertex[d]); };
    // About 2.5 times the budget wanted from this step: a ratio r of the
    // triangles needs cells about sqrt(r) times the edges' length.
    const double ratio = double(count) / (2.5 * double(budget));
    if (ratio < 4.0 || vertices < 2) return false;
    double length = 0;
    std::size_t seen = 0, sampled = 0;
    const std::size_t step = count / 4096 + 1;
    for_each_triangle(mesh, dense.number, [&](std::uint32_t a, std::uint32_t b, std::uint32_t) {
        if (seen++ % step != 0) return;
        length += distance(position(a), position(b));
        ++sampled;
    });
    length /= double(sampled);
    float low[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    for (std::uint32_t d = 0; d < vertices; ++d)
        for (int k = 0; k < 3; ++k) low[k] = std::min(low[k], position(d)[k]);
    const double cell = length * std::sqrt(ratio);
    if (!(cell > 0) || !std::isfinite(cell)) return false;
    const double per_cell = 1.0 / cell;
    const auto key_of = [&](std::uint32_t d) {
        std::uint64_t key = 0;
        for (int k = 0; k < 3; ++k) {
            const double at = (double(position(d)[k]) - double(low[k])) * per_cell;
            key = (key << 21) | (std::uint64_t(std::min(at, 2097151.0)) & 0x1FFFFF);
        }
        return key;
    };
    CellTable table(static_cast<std::size_t>(double(vertices) / ratio));
    std::vector<std::uint32_t> cell_of(vertices);
    constexpr std::uint32_t ahead = 32;
    for (std::uint32_t d = 0; d < vertices; ++d) {
        if (d + ahead < vertices) table.prefetch(key_of(d + ahead));
        const std::uint32_t next = static_cast<std::uint32_t>(out->first.size());
        const std::uint32_t c = table.number(key_of(d), next);
        if (c == next) {
            out->first.push_back(d);
            out->positions.insert(out->positions.end(), position(d), position(d) + 3);
        }
        cell_of[d] = c;
    }
    for_each_triangle(mesh, dense.number, [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        a = cell_of[a];
        b = cell_of[b];
        c = cell_of[c];
        if (a == b || b == c || a == c) return;
        out->triangles.push_back(a);
        out->triangles.push_back(b);
        out->triangles.push_back(c);
    });
    return true;
}

}  // namespace

std::size_t triangle_count_of(const Mesh& mesh) {
    std::size_t count = mesh.triangles.size() / 3 + 2 * (mesh.quads.size() / 4);
    for (std::uint32_t size : mesh.polygon_sizes) count += size - 2;
    return count;
}

void build_lighter_triangles(const Mesh& mesh, const std::vector<std::uint32_t>& representatives, std::size_t budget,
                             std::size_t threshold, std::vector<std::uint32_t>* triangles) {
    triangles->clear();
    if (triangle_count_of(mesh) <= threshold || budget == 0) return;
    build_lighter_triangles(mesh, dense_vertices(representatives), budget, threshold, triangles);
}

void build_lighter_triangles(const Mesh& mesh, const DenseVertices& dense, std::size_t budget, std::size_t threshold,
                             std::vector<std::uint32_t>* triangles) {
    triangles->clear();
    const std::size_t count = triangle_count_of(mesh);
    if (count <= threshold || budget == 0) return;
    // The sloppy simplifier reaches a fixed budget on any surface (scans
    // with holes, CAD soups) in a fraction of the import's time; the shape
    // while moving matters more than its topology.
    Clustered clustered;
    if (cluster(mesh, dense, count, budget, &clustered)) {
        triangles->resize(clustered.triangles.size());
        const std::size_t kept = meshopt_simplifySloppy(
            triangles->data(), clustered.triangles.data(), clustered.triangles.size(), clustered.positions.data(),
            clustered.first.size(), 3 * sizeof(float), 3 * budget, FLT_MAX, nullptr);
        triangles->resize(kept);
        for (std::uint32_t& v : *triangles) v = dense.vertex[clustered.first[v]];
    } else {
        // Over the distinct positions only: the simplifier's work goes with
        // the vertices it is given as much as with the triangles.
        std::vector<std::uint32_t> all;
        all.reserve(3 * count);
        for_each_triangle(mesh, dense.number, [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
            all.push_back(a);
            all.push_back(b);
            all.push_back(c);
        });
        std::vector<float> positions(3 * dense.vertex.size());
        for (std::size_t d = 0; d < dense.vertex.size(); ++d)
            std::memcpy(&positions[3 * d], mesh.positions.get() + 3 * std::size_t(dense.vertex[d]), 3 * sizeof(float));
        triangles->resize(all.size());
        const std::size_t kept =
            meshopt_simplifySloppy(triangles->data(), all.data(), all.size(), positions.data(), dense.vertex.size(),
                                   3 * sizeof(float), 3 * budget, FLT_MAX, nullptr);
        triangles->resize(kept);
        for (std::uint32_t& v : *triangles) v = dense.vertex[v];
    }
    triangles->shrink_to_fit();
}

void build_mesh_extras(Mesh* mesh, void (*done)(void* context, int steps), void* context) {
    auto step = [&](int steps) {
        if (done) done(context, steps);
    };
    mesh->edges.clear();
    mesh->lighter_triangles.clear();
    mesh->lighter_edges.clear();
    if (mesh->face_count() == 0) return step(extras_steps);
    const DenseVertices dense = weld_positions(mesh->positions.get(), mesh->vertex_count());
    step(1);
    if (triangle_count_of(*mesh) <= lighter_threshold) {
        build_mesh_edges(*mesh, dense, &mesh->edges);
        return step(extras_steps);
    }
    // A big mesh's edges on a second thread beside its lighter mesh: both
    // only read the mesh and the weld, and each fills lists of its own. (In
    // the worker, memory running out ends the process in its new handler,
    // on whichever thread.)
    const auto build_edges = [&] { build_mesh_edges(*mesh, dense, &mesh->edges); };
    {
        BesideThread beside(build_edges);
        build_lighter_triangles(*mesh, dense, lighter_triangle_budget, lighter_threshold, &mesh->lighter_triangles);
        step(2);
        if (!mesh->lighter_triangles.empty())
            build_triangle_edges(mesh->lighter_triangles, dense, &mesh->lighter_edges);
        step(3);
    }
    step(extras_steps);
}
