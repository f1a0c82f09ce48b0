// The importer's scene to our Mesh: faces kept as given, node placement,
// normals, the fit, and every refusal leaving the mesh empty.
#include <gtest/gtest.h>

#include <assimp/scene.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "model/scene_mesh.h"

namespace {

const MeshLimits no_limits = {1u << 30, 1u << 30};

// Scenes made by hand, owned by aiScene's own destructor (new[] throughout).
struct SceneBuilder {
    std::unique_ptr<aiScene> scene{new aiScene()};
    std::vector<aiMesh*> meshes;

    // Faces as lists of indices; normals optional (one per vertex).
    unsigned add_mesh(const std::vector<aiVector3D>& vertices, const std::vector<std::vector<unsigned>>& faces,
                      const std::vector<aiVector3D>& normals = {}) {
        aiMesh* mesh = new aiMesh();
        mesh->mNumVertices = static_cast<unsigned>(vertices.size());
        mesh->mVertices = new aiVector3D[vertices.size()];
        for (std::size_t i = 0; i < vertices.size(); ++i) mesh->mVertices[i] = vertices[i];
        if (!normals.empty()) {
            mesh->mNormals = new aiVector3D[normals.size()];
            for (std::size_t i = 0; i < normals.size(); ++i) mesh->mNormals[i] = normals[i];
        }
        mesh->mNumFaces = static_cast<unsigned>(faces.size());
        mesh->mFaces = new aiFace[faces.size()];
        for (std::size_t f = 0; f < faces.size(); ++f) {
            mesh->mFaces[f].mNumIndices = static_cast<unsigned>(faces[f].size());
            mesh->mFaces[f].mIndices = new unsigned[faces[f].size()];
            for (std::size_t i = 0; i < faces[f].size(); ++i) mesh->mFaces[f].mIndices[i] = faces[f][i];
        }
        meshes.push_back(mesh);
        return static_cast<unsigned>(meshes.size() - 1);
    }

    // The meshes into the scene; a root node placing the given meshes with
    // one child node per extra placement.
    aiScene* finish(const std::vector<unsigned>& root_meshes,
                    const std::vector<std::pair<unsigned, aiMatrix4x4>>& children = {}) {
        scene->mNumMeshes = static_cast<unsigned>(meshes.size());
        scene->mMeshes = new aiMesh*[meshes.size()];
        for (std::size_t i = 0; i < meshes.size(); ++i) scene->mMeshes[i] = meshes[i];
        aiNode* root = new aiNode("root");
        root->mNumMeshes = static_cast<unsigned>(root_meshes.size());
        root->mMeshes = new unsigned[root_meshes.size()];
        for (std::size_t i = 0; i < root_meshes.size(); ++i) root->mMeshes[i] = root_meshes[i];
        if (!children.empty()) {
            root->mNumChildren = static_cast<unsigned>(children.size());
            root->mChildren = new aiNode*[children.size()];
            for (std::size_t i = 0; i < children.size(); ++i) {
                aiNode* child = new aiNode("child");
                child->mParent = root;
                child->mTransformation = children[i].second;
                child->mNumMeshes = 1;
                child->mMeshes = new unsigned[1]{children[i].first};
                root->mChildren[i] = child;
            }
        }
        scene->mRootNode = root;
        return scene.get();
    }
};

const std::vector<aiVector3D> unit_square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

struct Box {
    float low[3], high[3];
};
Box bounds(const Mesh& mesh) {
    Box b{{1e30f, 1e30f, 1e30f}, {-1e30f, -1e30f, -1e30f}};
    for (std::size_t i = 0; i < 3 * mesh.vertex_count(); ++i) {
        b.low[i % 3] = std::min(b.low[i % 3], mesh.positions[i]);
        b.high[i % 3] = std::max(b.high[i % 3], mesh.positions[i]);
    }
    return b;
}

Mesh convert(aiScene* scene, MeshLimits limits = no_limits) {
    Mesh mesh;
    MeshError error = MeshError::none;
    EXPECT_TRUE(mesh_from_scene(scene, limits, &mesh, &error)) << mesh_error_text(error);
    return mesh;
}

MeshError refusal(aiScene* scene, MeshLimits limits = no_limits) {
    Mesh mesh;
    mesh.positions = make_float_array(3);  // whatever was there goes
    mesh.vertices = 1;
    MeshError error = MeshError::none;
    EXPECT_FALSE(mesh_from_scene(scene, limits, &mesh, &error));
    EXPECT_EQ(mesh.vertex_count(), 0u);
    EXPECT_EQ(mesh.face_count(), 0u);
    return error;
}

// The unit square where it is and once more in a node moved along x.
Mesh square_and_copy_moved(float x) {
    SceneBuilder b;
    b.add_mesh(unit_square, {{0, 1, 2, 3}});
    aiMatrix4x4 moved;
    aiMatrix4x4::Translation(aiVector3D(x, 0, 0), moved);
    return convert(b.finish({0}, {{0, moved}}));
}

}  // namespace

TEST(SceneToMesh, FacesKeepTheirCornersInOrderAndPointsAndLinesAreLeftOut) {
    SceneBuilder b;
    b.add_mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 0.5f, 0}, {0.5f, 2, 0}},
               {{0, 1, 2}, {3, 2, 1, 0}, {0, 1, 2, 3, 4}, {5}, {4, 5}, {0, 1, 2, 3, 4, 5}});
    Mesh mesh = convert(b.finish({0}));
    EXPECT_EQ(mesh.triangles, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(mesh.quads, (std::vector<std::uint32_t>{3, 2, 1, 0})) << "a quad stays a quad";
    EXPECT_EQ(mesh.polygon_sizes, (std::vector<std::uint32_t>{5, 6}));
    EXPECT_EQ(mesh.polygons, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(mesh.face_count(), 4u);
    EXPECT_EQ(mesh.vertex_count(), 6u);
    EXPECT_TRUE(mesh.normals);
}

TEST(SceneToMesh, TheBoxCentreGoesToTheOriginAndItsDiagonalToThatOfTheTestObject) {
    SceneBuilder b;
    b.add_mesh({{10, 20, 30}, {14, 20, 30}, {14, 28, 46}}, {{0, 1, 2}});
    Mesh mesh = convert(b.finish({0}));
    Box box = bounds(mesh);
    double diagonal = 0;
    for (int a = 0; a < 3; ++a) {
        EXPECT_FLOAT_EQ(box.low[a], -box.high[a]) << "axis " << a;
        diagonal += double(box.high[a] - box.low[a]) * (box.high[a] - box.low[a]);
    }
    EXPECT_NEAR(std::sqrt(diagonal), std::sqrt(24.0), 1e-5);
    // Uniform scale: the box keeps its proportions (4 : 8 : 16), no rotation.
    EXPECT_FLOAT_EQ((box.high[1] - box.low[1]) / (box.high[0] - box.low[0]), 2.0f);
    EXPECT_FLOAT_EQ((box.high[2] - box.low[2]) / (box.high[0] - box.low[0]), 4.0f);
    EXPECT_LT(mesh.positions[0], mesh.positions[3]) << "x keeps its direction";
}

TEST(SceneToMesh, AModelWithoutExtentIsOnlyMoved) {
    SceneBuilder b;
    b.add_mesh({{5, 5, 5}, {5, 5, 5}, {5, 5, 5}}, {{0, 1, 2}});
    Mesh mesh = convert(b.finish({0}));
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(mesh.positions[i], 0.0f);
    for (std::size_t i = 0; i < 9; i += 3) EXPECT_EQ(mesh.normals[i + 2], 1.0f);
}

TEST(SceneToMesh, NodesPlaceTheirMeshesWithTheirTransformsInOneVertexArray) {
    Mesh mesh = square_and_copy_moved(3);
    ASSERT_EQ(mesh.vertex_count(), 8u);
    EXPECT_EQ(mesh.quads, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    // Box x from 0 to 4 fitted: the copy's first corner is 3/4 of the way.
    Box box = bounds(mesh);
    EXPECT_FLOAT_EQ(mesh.positions[12], box.low[0] + 0.75f * (box.high[0] - box.low[0]));
}

TEST(SceneToMesh, OneMeshPlacedAsItIsGivesUpItsArraysWithItsNormalsMadeUnitLength) {
    SceneBuilder b;
    b.add_mesh(unit_square, {{0, 1, 2, 3}}, std::vector<aiVector3D>(4, aiVector3D(0, 2, 0)));
    Mesh mesh = convert(b.finish({0}));
    EXPECT_EQ(b.meshes[0]->mVertices, nullptr) << "taken over, not copied";
    EXPECT_EQ(b.meshes[0]->mNormals, nullptr);
    ASSERT_EQ(mesh.vertex_count(), 4u);
    for (int v = 0; v < 4; ++v) EXPECT_EQ(mesh.normals[3 * v + 1], 1.0f) << v;
    EXPECT_FLOAT_EQ(mesh.positions[3] - mesh.positions[0], std::sqrt(12.0f))
        << "fitted in place: unit edge times sqrt(24 / 2)";
}

TEST(SceneToMesh, ASmallNodeOffsetIsNotTakenForNoOffset) {
    Mesh mesh = square_and_copy_moved(0.004f);
    ASSERT_EQ(mesh.vertex_count(), 8u);
    EXPECT_GT(mesh.positions[12], mesh.positions[0]);
}

TEST(SceneToMesh, FileNormalsAreTurnedWithTheNodeAndMissingOnesComputedFromTheFaces) {
    SceneBuilder b;
    const std::vector<aiVector3D> up(4, aiVector3D(0, 1, 0));
    b.add_mesh(unit_square, {{0, 1, 2, 3}}, up);
    b.add_mesh(unit_square, {{0, 1, 2, 3}});  // counter-clockwise seen from +z
    aiMatrix4x4 turned;
    aiMatrix4x4::RotationZ(1.57079633f, turned);  // y turns to -x
    Mesh mesh = convert(b.finish({1}, {{0, turned}}));
    ASSERT_EQ(mesh.vertex_count(), 8u);
    for (int v = 0; v < 4; ++v) {
        EXPECT_NEAR(mesh.normals[3 * v + 2], 1.0f, 1e-6) << "computed, vertex " << v;
        EXPECT_NEAR(mesh.normals[3 * (v + 4)], -1.0f, 1e-6) << "the file's, turned, vertex " << v;
    }
}

TEST(SceneToMesh, FacesReachingOutsideTheirMeshAreSkippedAndBrokenScenesRefused) {
    SceneBuilder b;
    b.add_mesh(unit_square, {{0, 1, 4}, {0, 1, 2}});
    Mesh mesh = convert(b.finish({0, 7}));  // node index 7: no such mesh
    EXPECT_EQ(mesh.triangles, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(refusal(nullptr), MeshError::no_faces);
    aiScene empty;
    EXPECT_EQ(refusal(&empty), MeshError::no_faces);
}

TEST(SceneToMesh, RefusalsSayWhyAndLeaveNoMesh) {
    {
        SceneBuilder b;
        b.add_mesh(unit_square, {{0}, {1, 2}});
        EXPECT_EQ(refusal(b.finish({0})), MeshError::no_faces) << "points and lines only";
    }
    {
        SceneBuilder b;
        b.add_mesh(unit_square, {{0, 1, 2}, {0, 2, 3}});
        EXPECT_EQ(refusal(b.finish({0}), MeshLimits{1, 100}), MeshError::too_many_faces);
    }
    {
        SceneBuilder b;
        b.add_mesh(unit_square, {{0, 1, 2}});
        b.add_mesh(unit_square, {{0, 1, 2}});
        EXPECT_EQ(refusal(b.finish({0, 1}), MeshLimits{100, 7}), MeshError::too_many_vertices);
    }
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        SceneBuilder b;
        b.add_mesh({{0, 0, 0}, {1, 0, 0}, {0, bad, 0}}, {{0, 1, 2}});
        EXPECT_EQ(refusal(b.finish({0})), MeshError::not_finite);
    }
    EXPECT_STRNE(mesh_error_text(MeshError::no_faces), mesh_error_text(MeshError::not_finite));
}

TEST(SceneToMesh, WithoutFacesThePointCloudsPlacedAreItsVerticesAndLinesStillNothing) {
    SceneBuilder b;
    b.add_mesh({{0, 0, 0}, {2, 0, 0}}, {});           // no faces at all
    b.add_mesh({{0, 0, 0}, {0, 2, 0}}, {{0}, {1}});   // point faces
    b.add_mesh({{9, 9, 9}, {-9, -9, -9}}, {{0, 1}});  // a line: not drawn
    aiMatrix4x4 moved;
    aiMatrix4x4::Translation(aiVector3D(0, 0, 2), moved);
    Mesh mesh = convert(b.finish({0, 2}, {{1, moved}}));
    ASSERT_EQ(mesh.vertex_count(), 4u);
    EXPECT_EQ(mesh.face_count(), 0u);
    Box box = bounds(mesh);
    EXPECT_FLOAT_EQ(box.high[2] - box.low[2], box.high[0] - box.low[0]) << "the moved cloud is 2 above, as wide";
    for (int v = 0; v < 4; ++v) EXPECT_EQ(mesh.normals[3 * v + 2], 1.0f) << v;

    SceneBuilder lines;
    lines.add_mesh(unit_square, {{0, 1}, {1, 2}});
    EXPECT_EQ(refusal(lines.finish({0})), MeshError::no_faces);
}
