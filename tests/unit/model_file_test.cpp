// Model files through the importer: what each format gives, the refusals
// made from the file's size and header before the importer runs, the files
// a model refers to, the progress and the reasons.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "model/model_file.h"
#include "support/model_files.h"

namespace {

class ModelFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.path().empty()); }

    // Reads a file written into the scratch folder under `limits`; the
    // reason when refused.
    std::string read(const std::string& name, const std::string& bytes, Mesh* mesh) {
        std::string reason;
        if (read_model_file(folder.write(name, bytes).c_str(), mesh, &reason, ReadProgress{}, limits)) return "";
        return reason.empty() ? "(refused without a reason)" : reason;
    }

    ScratchFolder folder;
    ModelLimits limits = model_limits;  // the viewer's, unless a test lowers them
};

const std::vector<float> two_triangles = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1};
const float offset[3] = {1, 2, 3};

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
    limits.mesh.max_faces = 1;
    EXPECT_EQ(read("two.stl", binary_stl(two_triangles), &mesh),
              "The file declares 2 faces; this viewer opens at most 1.");
    limits = model_limits;
    // A tiny PLY whose header asks for four billion vertices: the importer
    // would size its arrays from it.
    EXPECT_NE(
        read("huge.ply", "ply\nformat ascii 1.0\nelement vertex 4000000000\nproperty float x\nend_header\n0\n", &mesh)
            .find("declares 4000000000 vertices"),
        std::string::npos);
    limits.max_file_bytes = 10;
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

TEST_F(ModelFileTest, HeadersAreReadAsTheirFormatsDefineThemAndLiesRefusedBeforeTheImporterRuns) {
    const std::string ply = "ply\nformat ascii 1.0\n";
    const std::string square_data =
        "property float x\nproperty float y\nproperty float z\nelement face 1\n"
        "property list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n";
    std::string padding(309 - 21, '\n');
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason_part;  // "" when it opens
    } cases[] = {
        {"tabs.ply", ply + "element\tvertex\t4000000000\nproperty float x\nend_header\n0\n", "4000000000 vertices"},
        {"spaces.ply", ply + "element  vertex   4000000000 \nend_header\n0\n", "4000000000 vertices"},
        {"comment.ply", ply + "comment " + std::string(5000, 'c') + "\nelement vertex 4000000000\nend_header\n0\n",
         "4000000000 vertices"},
        {"short.ply", ply + "element vertex 1000\nproperty float x\nend_header\n0\n1\n", "its size can hold"},
        {"endless.ply", ply + "element vertex 3\nproperty float x\n0\n1\n2\n", "no end_header"},
        {"long.ply", ply + "comment " + std::string(max_header_bytes, 'c') + "\nend_header\n", "first MiB"},
        {"tidy.ply", ply + "comment made by hand\nelement \t vertex  4\n" + square_data, ""},
        // 309 bytes declaring 353 billion vertices: refused before 15 GB are asked for.
        {"huge.off", "OFF\n353000000000 1 0\n" + padding, "353000000000 vertices"},
        {"colours.off", "# a comment\nCOFF\n# another\n100000 1 0\n0 0 0 1 1 1 1\n", "100000 vertices and 1 faces"},
        {"plain.off", "100000 2 0\n0 0 0\n", "100000 vertices and 2 faces"},
        {"bare.off", "OFF\n3 1", "3 vertices and 1 faces"},
        {"dimension.off", "nOFF 3\n100000 2 0\n0 0 0\n", "100000 vertices and 2 faces"},
    };
    for (const Case& c : cases) {
        Mesh mesh;
        const std::string reason = read(c.name, c.bytes, &mesh);
        if (*c.reason_part)
            EXPECT_NE(reason.find(c.reason_part), std::string::npos) << c.name << ": " << reason;
        else
            EXPECT_EQ(reason, "") << c.name;
    }
}

TEST_F(ModelFileTest, AFileAModelRefersToIsOpenedOnlyWhenOrdinaryAndWithinTheLimit) {
    std::string buffer(2000, '\0');
    const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::memcpy(&buffer[0], corners, sizeof corners);
    folder.write("tri.bin", buffer);
    const std::string gltf =
        R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
        R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)"
        R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}],)"
        R"("bufferViews":[{"buffer":0,"byteLength":36}],"buffers":[{"byteLength":2000,"uri":"tri.bin"}]})";
    Mesh mesh;
    EXPECT_EQ(read("external.gltf", gltf, &mesh), "");
    EXPECT_EQ(mesh.face_count(), 1u);
    limits.max_file_bytes = 1000;
    const std::string reason = read("external.gltf", gltf, &mesh);
    EXPECT_NE(reason.find("\"tri.bin\", which has 2000 bytes"), std::string::npos) << reason;
}

#ifndef _WIN32
TEST_F(ModelFileTest, APipeIsNeverOpenedSoNothingWaitsForIt) {
    const std::string pipe = folder.path() + "/pipe.mtl";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Should a read wait on the pipe after all, a writer lets it go on and
    // the test fails instead of hanging.
    std::atomic<bool> finished{false}, rescued{false};
    std::thread rescuer([&] {
        for (int i = 0; i < 500 && !finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        int fd = finished ? -1 : open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) rescued = true, close(fd);
    });
    Mesh mesh;
    EXPECT_EQ(read("piped.obj", "mtllib pipe.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", &mesh), "");
    std::string reason;
    EXPECT_FALSE(read_model_file(pipe.c_str(), &mesh, &reason));
    finished = true;
    rescuer.join();
    EXPECT_FALSE(rescued);
    EXPECT_NE(reason.find("not an ordinary file"), std::string::npos) << reason;
}
#endif

TEST_F(ModelFileTest, WhatTheViewerNeverDrawsCannotFailAModelAndPointCloudsOpenAsPoints) {
    // A triangle with an animation whose first key lies after the end the
    // importer works out: only validation of the animation would fail it.
    const std::string animated =
        R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
        R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"accessors":[)"
        R"({"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},)"
        R"({"bufferView":1,"componentType":5126,"count":2,"type":"SCALAR","min":[1],"max":[2]},)"
        R"({"bufferView":2,"componentType":5126,"count":2,"type":"VEC3"}],"bufferViews":[)"
        R"({"buffer":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":8},)"
        R"({"buffer":0,"byteOffset":44,"byteLength":24}],)"
        R"("animations":[{"channels":[{"sampler":0,"target":{"node":0,"path":"translation"}}],)"
        R"("samplers":[{"input":1,"output":2}]}],"buffers":[{"byteLength":68,"uri":"data:application/octet-stream;)"
        R"(base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAAAAAAQAAAgD8AAAAAAAAAAAAAAAAAAIA/AACAPwAAgD8="}]})";
    Mesh mesh;
    EXPECT_EQ(read("animated.gltf", animated, &mesh), "");
    EXPECT_EQ(mesh.face_count(), 1u);
    const std::string cloud =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
        "end_header\n0 0 0\n1 0 0\n0 1 0\n";
    EXPECT_EQ(read("cloud.ply", cloud, &mesh), "");
    EXPECT_EQ(mesh.vertex_count(), 3u);
    EXPECT_EQ(mesh.face_count(), 0u);
}

TEST_F(ModelFileTest, ProgressRisesToAHundredOnTheReadingThread) {
    struct Seen {
        std::vector<int> percents;
        std::thread::id reader = std::this_thread::get_id();
        bool elsewhere = false;
    } seen;
    const ReadProgress progress = {[](void* context, int percent) {
                                       Seen* s = static_cast<Seen*>(context);
                                       s->percents.push_back(percent);
                                       s->elsewhere = s->elsewhere || std::this_thread::get_id() != s->reader;
                                   },
                                   &seen};
    Mesh mesh;
    std::string reason;
    ASSERT_TRUE(
        read_model_file(folder.write("object.obj", test_object_obj(1.0f, offset)).c_str(), &mesh, &reason, progress));
    ASSERT_GE(seen.percents.size(), 4u);
    EXPECT_EQ(seen.percents.front(), 0);
    EXPECT_EQ(seen.percents.back(), 100);
    for (std::size_t i = 1; i < seen.percents.size(); ++i) EXPECT_GT(seen.percents[i], seen.percents[i - 1]);
    EXPECT_FALSE(seen.elsewhere);
    seen.percents.clear();
    EXPECT_FALSE(read_model_file(folder.write("bad.obj", "v 0 0 0\nf 1 2 9\n").c_str(), &mesh, &reason, progress));
    EXPECT_LT(seen.percents.back(), 100);
}

// The OBJ reader parses a block at a time and says how far it is once a
// block: its file is read a slice (1 MiB) at a time, so a file of four
// slices moves the figure in steps of about a quarter, not in one leap at
// its end, and lines cut by the slices' ends come through whole.
TEST_F(ModelFileTest, AnObjOfSeveralSlicesIsToldSliceBySliceAndReadWhole) {
    constexpr int side = 290;  // a grid of quads; about 4.4 MiB of text
    std::string obj;
    char line[96];
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j) {
            std::snprintf(line, sizeof line, "v %d.%06d %d.%06d %d.%03d\n", i, j * 37 % 1000000, j, i * 91 % 1000000,
                          (i * j) % 17, (i + j) % 1000);
            obj += line;
        }
    for (int i = 0; i + 1 < side; ++i)
        for (int j = 0; j + 1 < side; ++j) {
            const int a = i * side + j + 1;
            std::snprintf(line, sizeof line, "f %d %d %d %d\n", a, a + side, a + side + 1, a + 1);
            obj += line;
        }
    ASSERT_GT(obj.size(), std::size_t(4) << 20);
    std::vector<int> percents;
    const ReadProgress progress = {
        [](void* context, int percent) { static_cast<std::vector<int>*>(context)->push_back(percent); }, &percents};
    Mesh mesh;
    std::string reason;
    ASSERT_TRUE(read_model_file(folder.write("grid.obj", obj).c_str(), &mesh, &reason, progress)) << reason;
    EXPECT_EQ(mesh.quads.size(), 4u * (side - 1) * (side - 1));
    EXPECT_EQ(mesh.triangles.size() + mesh.polygons.size(), 0u);
    ASSERT_EQ(percents.back(), 100);
    int largest_step = 0;
    for (std::size_t i = 1; i < percents.size(); ++i)
        largest_step = std::max(largest_step, percents[i] - percents[i - 1]);
    EXPECT_LE(largest_step, 30);
}

TEST(ImporterReason, TheImportersWordsBecomeTheUsersWords) {
    const std::string readable = "*.obj;*.stl;*.gltf";
    const std::string pasted = "abc def ghi?facet normal abc def ghi?facet normal " + std::string(500, 'x');
    // Assimp 5.2.5's own messages, from files made to fail.
    struct Case {
        std::string error, extension, expected;
    } cases[] = {
        {"No suitable reader found for the file format of file \"broken.gltf\".", "gltf",
         "The file is not a valid .gltf file"},
        {"No suitable reader found for the file format of file \"notes.xyz\".", "xyz",
         "This viewer does not read .xyz files. It reads .obj, .stl, .gltf."},
        {"No suitable reader found for the file format of file \"README\".", "", "has no extension"},
        {"IFC: Unrecognized file schema: AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }", "step",
         "not in a format this viewer reads"},
        {"std::bad_alloc", "ply", mesh_error_text(MeshError::out_of_memory)},
        {"std::exception: std::bad_alloc", "obj", mesh_error_text(MeshError::out_of_memory)},
        {"Validation failed: aiMesh::mFaces[0]::mIndices[2] is out of range", "x3d", "refers to a vertex"},
        {"OBJ: vertex index out of range", "obj", "OBJ: vertex index out of range"},
        {"Cannot parse string \"" + pasted + "\" as a real number", "stl",
         "Cannot parse string \"abc def ghi?facet normal abc def ghi?fac...\" as a real number"},
        {"STL: unexpected \x01\xff in \"\x80\"", "stl", "STL: unexpected \\x01\\xFF in \"\\x80\""},
        {"", "obj", "could not read"},
    };
    for (const Case& c : cases) {
        const std::string reason = importer_reason(c.error, c.extension, readable);
        EXPECT_NE(reason.find(c.expected), std::string::npos) << c.error << "\n -> " << reason;
        EXPECT_LE(reason.size(), 320u);
        for (char ch : reason) EXPECT_TRUE(ch >= 0x20 && ch < 0x7f) << reason;
    }
}
