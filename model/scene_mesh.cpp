// The importer's scene to our Mesh. Everything read from the scene is
// checked here, even what the importer's validation step already checked:
// the fuzzer hands this function scenes no importer would make.
#include "model/scene_mesh.h"

#include <assimp/scene.h>

#include <cmath>
#include <new>
#include <stdexcept>
#include <utility>

const double fitted_diagonal = std::sqrt(24.0);

namespace {

struct Placement {
    const aiMesh* mesh;
    aiMatrix4x4 transform;
};

// Exactly; aiMatrix4x4::IsIdentity allows 0.01 off, which would drop a
// small but real offset of a node.
bool is_identity(const aiMatrix4x4& m) { return m == aiMatrix4x4(); }

// A face we draw: three corners or more, every index inside its mesh.
bool usable_face(const aiFace& face, unsigned vertex_count) {
    if (face.mNumIndices < 3 || !face.mIndices) return false;
    for (unsigned i = 0; i < face.mNumIndices; ++i)
        if (face.mIndices[i] >= vertex_count) return false;
    return true;
}

bool drawable(const aiMesh* mesh) { return mesh && mesh->mVertices && mesh->mNumVertices > 0 && mesh->mFaces; }

// Every (mesh, transform) the node tree places, walked without recursion so
// that a deep hostile tree cannot exhaust the stack.
void collect_placements(const aiScene& scene, std::vector<Placement>* out) {
    if (!scene.mRootNode) {
        for (unsigned i = 0; i < scene.mNumMeshes; ++i)
            if (scene.mMeshes && drawable(scene.mMeshes[i])) out->push_back(Placement{scene.mMeshes[i], aiMatrix4x4()});
        return;
    }
    std::vector<std::pair<const aiNode*, aiMatrix4x4>> pending;
    pending.emplace_back(scene.mRootNode, scene.mRootNode->mTransformation);
    while (!pending.empty()) {
        const aiNode* node = pending.back().first;
        const aiMatrix4x4 transform = pending.back().second;
        pending.pop_back();
        if (node->mMeshes && scene.mMeshes)
            for (unsigned i = 0; i < node->mNumMeshes; ++i) {
                unsigned index = node->mMeshes[i];
                if (index < scene.mNumMeshes && drawable(scene.mMeshes[index]))
                    out->push_back(Placement{scene.mMeshes[index], transform});
            }
        if (node->mChildren)
            // Reversed, so that the first child is placed first.
            for (unsigned i = node->mNumChildren; i-- > 0;)
                if (const aiNode* child = node->mChildren[i])
                    pending.emplace_back(child, transform * child->mTransformation);
    }
}

struct Counts {
    std::uint64_t vertices = 0, triangles = 0, quads = 0, polygons = 0, polygon_corners = 0;
    std::uint64_t faces() const { return triangles + quads + polygons; }
};

Counts count(const std::vector<Placement>& placements) {
    Counts n;
    for (const Placement& p : placements) {
        std::uint64_t faces_before = n.faces();
        for (unsigned f = 0; f < p.mesh->mNumFaces; ++f) {
            const aiFace& face = p.mesh->mFaces[f];
            if (!usable_face(face, p.mesh->mNumVertices)) continue;
            if (face.mNumIndices == 3) ++n.triangles;
            else if (face.mNumIndices == 4) ++n.quads;
            else {
                ++n.polygons;
                n.polygon_corners += face.mNumIndices;
            }
        }
        // A mesh of points or lines only adds no vertices.
        if (n.faces() != faces_before) n.vertices += p.mesh->mNumVertices;
    }
    return n;
}

void add(float* v, const aiVector3D& a) {
    v[0] += a.x;
    v[1] += a.y;
    v[2] += a.z;
}

// Newell's normal: sound for any planar polygon, quads and larger included.
aiVector3D face_normal(const float* positions, std::uint32_t base, const aiFace& face) {
    aiVector3D n(0, 0, 0);
    for (unsigned i = 0; i < face.mNumIndices; ++i) {
        const float* a = positions + 3 * (base + face.mIndices[i]);
        const float* b = positions + 3 * (base + face.mIndices[(i + 1) % face.mNumIndices]);
        n.x += (a[1] - b[1]) * (a[2] + b[2]);
        n.y += (a[2] - b[2]) * (a[0] + b[0]);
        n.z += (a[0] - b[0]) * (a[1] + b[1]);
    }
    return n;
}

// Unit length, or straight at the viewer's home when there is no direction.
void normalise(float* n) {
    double length = std::sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
    if (!(length > 0.0) || !std::isfinite(length)) {
        n[0] = 0.0f;
        n[1] = 0.0f;
        n[2] = 1.0f;
        return;
    }
    for (int i = 0; i < 3; ++i) n[i] = static_cast<float>(n[i] / length);
}

// Appends one placed mesh: positions, normals and its faces by corner count.
// Returns false when a coordinate is not finite.
bool append(const Placement& p, Mesh* mesh) {
    const aiMesh& source = *p.mesh;
    const std::uint32_t base = static_cast<std::uint32_t>(mesh->vertex_count());
    const bool identity = is_identity(p.transform);

    bool any_face = false;
    for (unsigned f = 0; f < source.mNumFaces && !any_face; ++f)
        any_face = usable_face(source.mFaces[f], source.mNumVertices);
    if (!any_face) return true;

    for (unsigned i = 0; i < source.mNumVertices; ++i) {
        aiVector3D v = identity ? source.mVertices[i] : p.transform * source.mVertices[i];
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return false;
        mesh->positions.push_back(v.x);
        mesh->positions.push_back(v.y);
        mesh->positions.push_back(v.z);
    }

    for (unsigned f = 0; f < source.mNumFaces; ++f) {
        const aiFace& face = source.mFaces[f];
        if (!usable_face(face, source.mNumVertices)) continue;
        std::vector<std::uint32_t>* list = face.mNumIndices == 3   ? &mesh->triangles
                                           : face.mNumIndices == 4 ? &mesh->quads
                                                                   : &mesh->polygons;
        for (unsigned i = 0; i < face.mNumIndices; ++i) list->push_back(base + face.mIndices[i]);
        if (face.mNumIndices > 4) mesh->polygon_sizes.push_back(face.mNumIndices);
    }

    // Normals follow the transform's inverse transpose; a transform that
    // cannot be inverted leaves the file's normals meaningless.
    aiMatrix3x3 normal_matrix(p.transform);
    bool file_normals = source.mNormals != nullptr;
    if (file_normals && !identity) {
        if (normal_matrix.Determinant() == 0.0f) file_normals = false;
        else normal_matrix.Inverse().Transpose();
    }
    const std::size_t first = mesh->normals.size();
    if (file_normals) {
        for (unsigned i = 0; i < source.mNumVertices; ++i) {
            aiVector3D n = identity ? source.mNormals[i] : normal_matrix * source.mNormals[i];
            mesh->normals.push_back(n.x);
            mesh->normals.push_back(n.y);
            mesh->normals.push_back(n.z);
        }
    } else {
        // Each vertex: the sum of its faces' normals, weighted by their area.
        mesh->normals.resize(first + 3 * std::size_t(source.mNumVertices), 0.0f);
        for (unsigned f = 0; f < source.mNumFaces; ++f) {
            const aiFace& face = source.mFaces[f];
            if (!usable_face(face, source.mNumVertices)) continue;
            aiVector3D n = face_normal(mesh->positions.data(), base, face);
            for (unsigned i = 0; i < face.mNumIndices; ++i) add(&mesh->normals[first + 3 * face.mIndices[i]], n);
        }
    }
    for (std::size_t i = first; i < mesh->normals.size(); i += 3) normalise(&mesh->normals[i]);
    return true;
}

// Centre of the axis-aligned box to the origin, box diagonal to
// fitted_diagonal. In double, so that a model that is the test object moved
// and scaled by powers of two comes back exactly.
void fit(Mesh* mesh) {
    if (mesh->positions.empty()) return;
    double low[3], high[3];
    for (int a = 0; a < 3; ++a) low[a] = high[a] = mesh->positions[a];
    for (std::size_t i = 0; i < mesh->positions.size(); i += 3)
        for (int a = 0; a < 3; ++a) {
            double v = mesh->positions[i + a];
            if (v < low[a]) low[a] = v;
            if (v > high[a]) high[a] = v;
        }
    double centre[3], extent[3];
    for (int a = 0; a < 3; ++a) {
        centre[a] = (low[a] + high[a]) / 2.0;
        extent[a] = high[a] - low[a];
    }
    double diagonal = std::sqrt(extent[0] * extent[0] + extent[1] * extent[1] + extent[2] * extent[2]);
    // A model that is a single point is only moved.
    double scale = diagonal > 0.0 && std::isfinite(diagonal) ? fitted_diagonal / diagonal : 1.0;
    for (std::size_t i = 0; i < mesh->positions.size(); i += 3)
        for (int a = 0; a < 3; ++a)
            mesh->positions[i + a] = static_cast<float>((mesh->positions[i + a] - centre[a]) * scale);
}

bool fail(Mesh* mesh, MeshError* error, MeshError why) {
    *mesh = Mesh();
    *error = why;
    return false;
}

}  // namespace

const char* mesh_error_text(MeshError error) {
    switch (error) {
        case MeshError::none: return "No error.";
        case MeshError::no_faces: return "The file holds no faces (only points or lines, or nothing).";
        case MeshError::too_many_faces: return "The model has more faces than this viewer opens.";
        case MeshError::too_many_vertices: return "The model has more vertices than this viewer opens.";
        case MeshError::not_finite: return "The model has coordinates that are not finite numbers.";
        case MeshError::out_of_memory: return "Not enough memory for the model.";
    }
    return "Unknown error.";
}

bool mesh_from_scene(const aiScene* scene, const MeshLimits& limits, Mesh* mesh, MeshError* error) {
    *mesh = Mesh();
    *error = MeshError::none;
    if (!scene || !scene->mMeshes || scene->mNumMeshes == 0) return fail(mesh, error, MeshError::no_faces);
    // The arrays are the standard library's: its allocation failure is
    // caught here, at the edge, and becomes an answer.
    try {
        std::vector<Placement> placements;
        collect_placements(*scene, &placements);
        Counts n = count(placements);
        if (n.faces() == 0) return fail(mesh, error, MeshError::no_faces);
        if (n.faces() > limits.max_faces) return fail(mesh, error, MeshError::too_many_faces);
        // 32-bit indices address at most 2^32 - 1 vertices, whatever the limit.
        if (n.vertices > limits.max_vertices || n.vertices > 0xFFFFFFFFull)
            return fail(mesh, error, MeshError::too_many_vertices);

        mesh->positions.reserve(3 * n.vertices);
        mesh->normals.reserve(3 * n.vertices);
        mesh->triangles.reserve(3 * n.triangles);
        mesh->quads.reserve(4 * n.quads);
        mesh->polygons.reserve(n.polygon_corners);
        mesh->polygon_sizes.reserve(n.polygons);
        for (const Placement& p : placements)
            if (!append(p, mesh)) return fail(mesh, error, MeshError::not_finite);
        fit(mesh);
        return true;
    } catch (const std::bad_alloc&) {
        return fail(mesh, error, MeshError::out_of_memory);
    } catch (const std::length_error&) {
        return fail(mesh, error, MeshError::out_of_memory);
    }
}
