// libFuzzer target for the scene-to-mesh conversion: scenes of any shape
// built from the bytes (indices outside their mesh, faces of 0 to 7
// corners, missing arrays, non-finite and singular transforms, NaN and
// infinite coordinates, tiny limits) must give either a sound mesh or a
// refusal with a reason. Built by scripts/fuzz.sh with address and
// undefined-behaviour sanitizers.
#include <assimp/scene.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "model/scene_mesh.h"

namespace {

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t u8() { return used_ < size_ ? data_[used_++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | u8() << 8); }
    // Half the time a small whole number, else any 32-bit pattern (NaN and
    // infinity included).
    float number() {
        if (u8() & 1) return static_cast<float>(static_cast<std::int8_t>(u8()));
        std::uint32_t bits = static_cast<std::uint32_t>(u16()) | static_cast<std::uint32_t>(u16()) << 16;
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

aiMesh* make_mesh(Bytes& in) {
    aiMesh* mesh = new aiMesh();
    std::uint8_t flags = in.u8();
    mesh->mNumVertices = in.u8() % 48;
    if (!(flags & 1)) {
        mesh->mVertices = new aiVector3D[mesh->mNumVertices];
        for (unsigned i = 0; i < mesh->mNumVertices; ++i)
            mesh->mVertices[i] = aiVector3D(in.number(), in.number(), in.number());
    }
    if (flags & 2) {
        mesh->mNormals = new aiVector3D[mesh->mNumVertices];
        for (unsigned i = 0; i < mesh->mNumVertices; ++i)
            mesh->mNormals[i] = aiVector3D(in.number(), in.number(), in.number());
    }
    mesh->mNumFaces = in.u8() % 32;
    if (!(flags & 4)) {
        mesh->mFaces = new aiFace[mesh->mNumFaces];
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            aiFace& face = mesh->mFaces[f];
            face.mNumIndices = in.u8() % 8;
            if (face.mNumIndices == 0 && (flags & 8)) continue;  // no index array at all
            face.mIndices = new unsigned[face.mNumIndices];
            for (unsigned i = 0; i < face.mNumIndices; ++i) face.mIndices[i] = in.u8() % (mesh->mNumVertices + 3);
        }
    }
    return mesh;
}

aiNode* make_node(Bytes& in, unsigned mesh_count, int depth) {
    aiNode* node = new aiNode();
    if (in.u8() & 1)
        for (int i = 0; i < 16; ++i) node->mTransformation[i / 4][i % 4] = in.number();
    node->mNumMeshes = in.u8() % 4;
    node->mMeshes = new unsigned[node->mNumMeshes];
    for (unsigned i = 0; i < node->mNumMeshes; ++i) node->mMeshes[i] = in.u8() % (mesh_count + 2);
    if (depth < 4) {
        node->mNumChildren = in.u8() % 3;
        node->mChildren = new aiNode*[node->mNumChildren];
        for (unsigned i = 0; i < node->mNumChildren; ++i) {
            node->mChildren[i] = make_node(in, mesh_count, depth + 1);
            node->mChildren[i]->mParent = node;
        }
    }
    return node;
}

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    aiScene scene;
    scene.mNumMeshes = in.u8() % 5;
    scene.mMeshes = new aiMesh*[scene.mNumMeshes];
    for (unsigned i = 0; i < scene.mNumMeshes; ++i) scene.mMeshes[i] = (in.u8() & 7) ? make_mesh(in) : nullptr;
    if (in.u8() & 3) scene.mRootNode = make_node(in, scene.mNumMeshes, 0);
    MeshLimits limits = {in.u16(), in.u16()};

    Mesh mesh;
    MeshError error = MeshError::none;
    if (!mesh_from_scene(&scene, limits, &mesh, &error)) {
        check(error != MeshError::none);
        check(!mesh.positions && mesh.vertex_count() == 0 && mesh.face_count() == 0);
        return 0;
    }
    const std::size_t vertices = mesh.vertex_count();
    check(mesh.positions && mesh.normals);
    // Faces, or else a point cloud: vertices alone.
    check(vertices > 0 && mesh.face_count() <= limits.max_faces && vertices <= limits.max_vertices);
    check(mesh.triangles.size() % 3 == 0 && mesh.quads.size() % 4 == 0);
    std::size_t corners = 0;
    for (std::uint32_t n : mesh.polygon_sizes) {
        check(n >= 5);
        corners += n;
    }
    check(corners == mesh.polygons.size());
    for (const auto* list : {&mesh.triangles, &mesh.quads, &mesh.polygons})
        for (std::uint32_t index : *list) check(index < vertices);
    // Fitted: finite, centred, the diagonal sqrt(24) (or a single point).
    double low[3] = {1e300, 1e300, 1e300}, high[3] = {-1e300, -1e300, -1e300};
    for (std::size_t i = 0; i < 3 * vertices; ++i) {
        check(std::isfinite(mesh.positions[i]) && std::isfinite(mesh.normals[i]));
        low[i % 3] = std::fmin(low[i % 3], mesh.positions[i]);
        high[i % 3] = std::fmax(high[i % 3], mesh.positions[i]);
    }
    double diagonal = 0;
    for (int a = 0; a < 3; ++a) {
        check(std::fabs(low[a] + high[a]) <= 1e-4 * (high[a] - low[a]) + 1e-30);
        diagonal += (high[a] - low[a]) * (high[a] - low[a]);
    }
    check(diagonal == 0 || std::fabs(std::sqrt(diagonal) - fitted_diagonal) < 1e-4);
    return 0;
}
