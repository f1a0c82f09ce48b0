// Model files through the importer: what each format gives, and the
// refusals made from the file's size and header before the importer runs.
#include <gtest/gtest.h>

#include <string>

#include "model/model_file.h"
#include "support/model_files.h"

namespace {

class ModelFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.path().empty()); }
    void TearDown() override { model_limits = saved_limits; }

    // Reads a file written into the scratch folder; the reason when refused.
    std::string read(const std::string& name, const std::string& bytes, Mesh* mesh) {
        std::string reason;
        if (read_model_file(folder.write(name, bytes).c_str(), mesh, &reason)) return "";
        return reason.empty() ? "(refused without a reason)" : reason;
    }

    ScratchFolder folder;
    ModelLimits saved_limits = model_limits;
};

const std::vector<float> two_triangles = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1};

}  // namespace

TEST_F(ModelFileTest, EachFormatGivesItsFacesAsTheFileHasThem) {
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t triangles, quads, polygons;
    } cases[] = {
        {"mixed.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv -1 0.5 0\nf 1 2 3 4\nf 1 2 3\nf 1 2 3 4 5\n", 1, 1, 1},
        {"binary.stl", binary_stl(two_triangles), 2, 0, 0},
        {"ascii.stl",
         "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n"
         "endsolid t\n",
         1, 0, 0},
        {"square.ply",
         "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
         "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n"
         "4 0 1 2 3\n",
         0, 1, 0},
        {"triangle.gltf",
         // One triangle, its three positions in an embedded buffer.
         R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
         R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)"
         R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",)"
         R"("min":[0,0,0],"max":[1,1,0]}],"bufferViews":[{"buffer":0,"byteLength":36}],)"
         R"("buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,)"
         R"(AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"}]})",
         1, 0, 0},
    };
    for (const Case& c : cases) {
        Mesh mesh;
        EXPECT_EQ(read(c.name, c.bytes, &mesh), "") << c.name;
        EXPECT_EQ(mesh.triangles.size() / 3, c.triangles) << c.name;
        EXPECT_EQ(mesh.quads.size() / 4, c.quads) << c.name;
        EXPECT_EQ(mesh.polygon_sizes.size(), c.polygons) << c.name;
        EXPECT_TRUE(mesh.vertex_count() > 0 && mesh.normals) << c.name;
    }
}

TEST_F(ModelFileTest, TheImportersReasonComesBackInWords) {
    Mesh mesh;
    std::string missing;
    EXPECT_FALSE(read_model_file((folder.path() + "/missing.obj").c_str(), &mesh, &missing));
    EXPECT_NE(missing.find("No such file"), std::string::npos) << missing;
    EXPECT_NE(read("notes.xyz", "nothing a model importer reads\n", &mesh), "");
    EXPECT_NE(read("empty.stl", "", &mesh), "");
    EXPECT_NE(read("lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2 3\n", &mesh), "");
    EXPECT_EQ(mesh.vertex_count(), 0u);
}

TEST_F(ModelFileTest, DeclaredCountsAreRefusedBeforeTheImporterRuns) {
    Mesh mesh;
    model_limits.mesh.max_faces = 1;
    EXPECT_EQ(read("two.stl", binary_stl(two_triangles), &mesh),
              "The file declares 2 faces; this viewer opens at most 1.");
    model_limits = saved_limits;
    // A tiny PLY whose header asks for four billion vertices: the importer
    // would size its arrays from it.
    EXPECT_NE(
        read("huge.ply", "ply\nformat ascii 1.0\nelement vertex 4000000000\nproperty float x\nend_header\n0\n", &mesh)
            .find("declares 4000000000 vertices"),
        std::string::npos);
    model_limits.max_file_bytes = 10;
    EXPECT_NE(read("long.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", &mesh).find("bytes"), std::string::npos);
}

TEST(DeclaredCounts, BinarySTLByItsExactSizeAndPLYByItsHeader) {
    std::string stl = binary_stl(two_triangles);
    const auto* bytes = reinterpret_cast<const unsigned char*>(stl.data());
    DeclaredCounts counts;
    ASSERT_TRUE(declared_counts(bytes, stl.size(), stl.size(), &counts));
    EXPECT_EQ(counts.faces, 2u);
    EXPECT_EQ(counts.vertices, 6u);
    EXPECT_FALSE(declared_counts(bytes, stl.size(), stl.size() + 1, &counts)) << "not binary: read as text";

    std::string ply =
        "ply\r\nformat binary_little_endian 1.0\r\nelement vertex 12\r\nelement face 7\r\n"
        "end_header\r\nelement face 99999\n";
    ASSERT_TRUE(declared_counts(reinterpret_cast<const unsigned char*>(ply.data()), ply.size(), 1000, &counts));
    EXPECT_EQ(counts.vertices, 12u);
    EXPECT_EQ(counts.faces, 7u) << "nothing after end_header counts";

    std::string obj = "v 0 0 0\n";
    EXPECT_FALSE(declared_counts(reinterpret_cast<const unsigned char*>(obj.data()), obj.size(), obj.size(), &counts));
}
