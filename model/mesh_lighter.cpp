#include "model/mesh_lighter.h"

#include <meshoptimizer.h>

#include <cfloat>

#include "model/mesh_edges.h"

std::size_t triangle_count_of(const Mesh& mesh) {
    std::size_t count = mesh.triangles.size() / 3 + 2 * (mesh.quads.size() / 4);
    for (std::uint32_t size : mesh.polygon_sizes) count += size - 2;
    return count;
}

void build_lighter_triangles(const Mesh& mesh, const std::vector<std::uint32_t>& representatives, std::size_t budget,
                             std::size_t threshold, std::vector<std::uint32_t>* triangles) {
    triangles->clear();
    const std::size_t count = triangle_count_of(mesh);
    if (count <= threshold || budget == 0) return;
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
    triangles->resize(all.size());
    const std::size_t kept =
        meshopt_simplifySloppy(triangles->data(), all.data(), all.size(), mesh.positions.get(), mesh.vertex_count(),
                               3 * sizeof(float), 3 * budget, FLT_MAX, nullptr);
    triangles->resize(kept);
    triangles->shrink_to_fit();
}

void build_mesh_extras(Mesh* mesh) {
    mesh->edges.clear();
    mesh->lighter_triangles.clear();
    mesh->lighter_edges.clear();
    if (mesh->face_count() == 0) return;
    const std::vector<std::uint32_t> representatives =
        position_representatives(mesh->positions.get(), mesh->vertex_count());
    build_mesh_edges(*mesh, representatives, &mesh->edges);
    build_lighter_triangles(*mesh, representatives, lighter_triangle_budget, lighter_threshold,
                            &mesh->lighter_triangles);
    if (!mesh->lighter_triangles.empty())
        build_triangle_edges(mesh->lighter_triangles, representatives, &mesh->lighter_edges);
}
