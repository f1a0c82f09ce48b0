// What a model looks like, read in the worker: materials, colours per
// vertex and textures from each kind of file, texture names found as a
// file written elsewhere names them, and textures that cannot be read
// leaving the model open with its colours.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "model/model_file.h"
#include "model/scene_look.h"
#include "platform/file.h"
#include "support/model_files.h"

namespace {

const std::string look_dir = DUPLEXA_SOURCE_DIR "/tests/data/look/";

struct LookCase {
    const char* file;
    std::size_t materials;   // materials sent
    std::size_t textures;    // textures named
    std::size_t unreadable;  // of those, not read
    bool several_colours;    // vertices not all of one colour
    bool coordinates;        // texture coordinates sent
};

TEST(ModelLook, EachKindOfFileBringsItsMaterialsColoursAndTextures) {
    const LookCase cases[] = {
        {"checker-cube.gltf", 2, 1, 0, false, true},  // buffer and image as data URIs; the importer adds a default
        {"checker-cube.glb", 2, 1, 0, false, true},   // the image in the binary chunk
        {"coloured-pyramid.ply", 1, 0, 0, true, false},
        {"two-materials.obj", 3, 1, 0, true, true},  // the importer's default material first
        {"missing-texture.obj", 3, 1, 1, true, true},
    };
    for (const LookCase& c : cases) {
        Mesh mesh;
        std::string reason;
        ASSERT_TRUE(read_model_file((look_dir + c.file).c_str(), &mesh, &reason)) << c.file << ": " << reason;
        EXPECT_TRUE(mesh.has_look()) << c.file;
        EXPECT_EQ(mesh.materials.size(), c.materials) << c.file;
        ASSERT_EQ(mesh.textures.size(), c.textures) << c.file;
        EXPECT_EQ(mesh.unreadable_textures(), c.unreadable) << c.file;
        EXPECT_EQ(mesh.colours.size(), 4 * mesh.vertex_count()) << c.file;
        EXPECT_EQ(mesh.uvs.size(), c.coordinates ? 2 * mesh.vertex_count() : 0u) << c.file;
        std::size_t faces = 0;
        for (const MeshPart& p : mesh.parts) faces += p.triangle_count + p.quad_count + p.polygon_count;
        EXPECT_EQ(faces, mesh.face_count()) << c.file << ": every face in a part";
        if (c.textures && !c.unreadable) {
            EXPECT_EQ(mesh.textures[0].width, 64u) << c.file;
            // The checker's top left cell is red: the last row sent, as
            // the GL's rows go from the bottom.
            const std::uint32_t top_left = mesh.texels[63 * 64];
            EXPECT_EQ(top_left & 0xFFu, 230u) << c.file;
            EXPECT_EQ((top_left >> 8) & 0xFFu, 30u) << c.file;
        }
        bool differ = false;
        for (std::size_t i = 4; i < mesh.colours.size(); ++i) differ |= mesh.colours[i] != mesh.colours[i % 4];
        EXPECT_EQ(differ, c.several_colours) << c.file;
    }
}

TEST(ModelLook, AModelWithoutColoursOrTexturesHasNoLook) {
    Mesh mesh;
    std::string reason;
    ASSERT_TRUE(read_model_file(DUPLEXA_SOURCE_DIR "/data/models/torus_knot.obj", &mesh, &reason)) << reason;
    EXPECT_FALSE(mesh.has_look());
    EXPECT_TRUE(mesh.colours.empty() && mesh.uvs.empty() && mesh.parts.empty() && mesh.textures.empty());
}

// Where the system matches names without regard to case, the name found
// keeps the case it was given in.
std::string same_file(std::string path) {
#ifdef _WIN32
    for (char& c : path) c = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
    return path;
}

TEST(ModelLook, TextureNamesAreFoundAsAFileWrittenElsewhereNamesThem) {
    ScratchFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const std::string model = folder.write("m.obj", "");
    ASSERT_TRUE(std::filesystem::create_directories(folder.path() + "/Maps/Wood"));
    const std::string wood = folder.write("Maps/Wood/oak.jpg", "x");
    const std::string beside = folder.write("beside.png", "x");
    struct {
        const char* name;
        std::string found;
    } cases[] = {
        {"Maps/Wood/oak.jpg", wood},
        {"maps\\WOOD\\Oak.JPG", wood},
        {"./Maps/Wood/oak.jpg", wood},
        {"C:\\Users\\someone\\Desktop\\beside.png", beside},
        {"textures/beside.png", beside},
        {"Maps/oak.jpg", ""},
        {"nothing.png", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(same_file(texture_file_path(model, c.name)), same_file(c.found)) << c.name;
    }
}

TEST(ModelLook, TexturesBeyondTheLimitsOrNoImagesAreRefusedBeforeDecoding) {
    std::vector<unsigned char> png;
    ASSERT_TRUE(read_regular_file((look_dir + "textures/checker.png").c_str(), 1 << 20, &png));
    TextureImage image;
    EXPECT_TRUE(decode_texture(png.data(), png.size(), texture_limits, &image));
    EXPECT_EQ(image.texels.size(), 64u * 64u);
    const TextureLimits narrow = {32, 1 << 20, 1 << 20, 4, 1 << 20};
    const TextureLimits few_pixels = {1024, 64 * 63, 1 << 20, 4, 1 << 20};
    EXPECT_FALSE(decode_texture(png.data(), png.size(), narrow, &image));
    EXPECT_FALSE(decode_texture(png.data(), png.size(), few_pixels, &image));
    EXPECT_TRUE(image.texels.empty() && image.width == 0);
    EXPECT_FALSE(decode_texture(png.data(), png.size() / 2, texture_limits, &image)) << "cut short";
    const unsigned char text[] = "not an image at all";
    EXPECT_FALSE(decode_texture(text, sizeof text, texture_limits, &image));
}

}  // namespace
