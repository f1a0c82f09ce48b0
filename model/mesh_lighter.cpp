#include "model/mesh_lighter.h"

#include <meshoptimizer.h>

#include <cfloat>
#include <cstring>

#include "model/mesh_edges.h"

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
    const std::vector<std::uint32_t>& representatives = dense.number;
    std::vector<std::uint32_t> all;
    all.reserve(3 * count);
    const auto triangle = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        all.push_back(representatives[a]);
        all.push_back(representatives[b]);
        all.push_back(representatives[c]);
    };
    for (std::size_t t = 0; t < mesh.triangles.size(); t += 3)
        triangle(mesh.triangles[t], mesh.triangles[t + 1], mesh.triangles[t + 2]);
    for (std::size_t q = 0; q < mesh.quads.size(); q += 4) {
        const std::uint32_t* c = &mesh.quads[q];
        triangle(c[0], c[1], c[2]);
        triangle(c[0], c[2], c[3]);
    }
    const std::uint32_t* face = mesh.polygons.data();
    for (std::uint32_t size : mesh.polygon_sizes) {
        for (std::uint32_t i = 1; i + 1 < size; ++i) triangle(face[0], face[i], face[i + 1]);
        face += size;
    }
    // The sloppy simplifier reaches a fixed budget on any surface (scans
    // with holes, CAD soups) in a fraction of the import's time; the shape
    // while moving matters more than its topology.
    // Over the distinct positions only: the simplifier's work goes with the
    // vertices it is given as much as with the triangles.
    std::vector<float> positions(3 * dense.vertex.size());
    for (std::size_t d = 0; d < dense.vertex.size(); ++d)
        std::memcpy(&positions[3 * d], mesh.positions.get() + 3 * std::size_t(dense.vertex[d]), 3 * sizeof(float));
    triangles->resize(all.size());
    const std::size_t kept =
        meshopt_simplifySloppy(triangles->data(), all.data(), all.size(), positions.data(), dense.vertex.size(),
                               3 * sizeof(float), 3 * budget, FLT_MAX, nullptr);
    triangles->resize(kept);
    triangles->shrink_to_fit();
    for (std::uint32_t& v : *triangles) v = dense.vertex[v];
}

void build_mesh_extras(Mesh* mesh) {
    mesh->edges.clear();
    mesh->lighter_triangles.clear();
    mesh->lighter_edges.clear();
    if (mesh->face_count() == 0) return;
    const DenseVertices dense = weld_positions(mesh->positions.get(), mesh->vertex_count());
    build_mesh_edges(*mesh, dense, &mesh->edges);
    build_lighter_triangles(*mesh, dense, lighter_triangle_budget, lighter_threshold, &mesh->lighter_triangles);
    if (!mesh->lighter_triangles.empty()) build_triangle_edges(mesh->lighter_triangles, dense, &mesh->lighter_edges);
}
