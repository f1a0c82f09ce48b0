// The shipped font image data/font.bmp: its file format, its glyph grid, and
// how its glyphs come out on screen through the overlay.
//
// With DUPLEXA_FONT_SAMPLE=path set, the on-screen test also writes its
// frame there as a binary PPM, to look at the text with one's own eyes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/script/script_platform.h"
#include "text/glyph_font.h"

namespace {

const std::string font_path = std::string(DUPLEXA_SOURCE_DIR) + "/data/font.bmp";

std::vector<unsigned char> read_file(const std::string& path) {
    std::vector<unsigned char> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    unsigned char chunk[4096];
    std::size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + count);
    std::fclose(file);
    return bytes;
}

std::uint32_t u32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The font picture read straight from the file, independent of the loader.
class FontImage : public ::testing::Test {
protected:
    void SetUp() override {
        bytes = read_file(font_path);
        ASSERT_EQ(bytes.size(), 54u + 256u * 256u * 3u) << font_path;
    }

    // Grey level of texel (x, y), y counted from the top of the picture.
    int texel(int x, int y) const {
        const std::size_t at = 54 + (static_cast<std::size_t>(255 - y) * 256 + x) * 3;
        return bytes[at + 1];
    }

    // Brightest texel of glyph g's cell within columns [x0, x1).
    int cell_max(int g, int x0 = 0, int x1 = 16) const {
        int brightest = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = x0; x < x1; ++x) brightest = std::max(brightest, texel((g % 16) * 16 + x, (g / 16) * 16 + y));
        return brightest;
    }

    std::vector<unsigned char> bytes;
};

TEST_F(FontImage, IsA256By256BottomUp24BitDib) {
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(u32(bytes, 2), bytes.size());
    EXPECT_EQ(u32(bytes, 10), 54u);
    EXPECT_EQ(u32(bytes, 14), 40u);
    EXPECT_EQ(u32(bytes, 18), 256u);
    EXPECT_EQ(u32(bytes, 22), 256u) << "positive height: bottom-up";
    EXPECT_EQ(bytes[28] | bytes[29] << 8, 24);
    EXPECT_EQ(u32(bytes, 30), 0u) << "BI_RGB";
}

TEST_F(FontImage, CharactersFillRowsZeroToFiveAndEightToThirteen) {
    for (int set = 0; set <= 1; ++set) {
        EXPECT_EQ(cell_max(128 * set), 0) << "space, set " << set;
        for (int code = 33; code <= 126; ++code)
            EXPECT_GE(cell_max(code - 32 + 128 * set), 200) << "'" << static_cast<char>(code) << "', set " << set;
    }
    for (int g : {96, 224}) EXPECT_EQ(cell_max(g), 0) << "the unprintable 127";
    for (int g = 96; g < 128; ++g) EXPECT_EQ(cell_max(g), 0) << "grid rows 6-7, glyph " << g;
    for (int g = 224; g < 256; ++g) EXPECT_EQ(cell_max(g), 0) << "grid rows 14-15, glyph " << g;
}

TEST_F(FontImage, InkStaysWithinThePenAdvance) {
    // Quads are 16 wide but the pen moves 11: ink beyond column 10 would
    // run into the next character.
    for (int g = 0; g < 256; ++g) EXPECT_EQ(cell_max(g, 11, 16), 0) << "glyph " << g;
}

TEST_F(FontImage, SetOneIsAVisiblyDifferentStyle) {
    int differing = 0;
    long ink[2] = {0, 0};
    for (int code = 33; code <= 126; ++code) {
        const int g = code - 32;
        bool differs = false;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int a = texel((g % 16) * 16 + x, (g / 16) * 16 + y);
                const int b = texel((g % 16) * 16 + x, (g / 16 + 8) * 16 + y);
                ink[0] += a;
                ink[1] += b;
                if (std::abs(a - b) > 64) differs = true;
            }
        }
        if (differs) ++differing;
    }
    EXPECT_GE(differing, 80) << "of 94 printable characters";
    EXPECT_GT(ink[1], ink[0] + ink[0] / 5) << "set 1 is the bold one";
}

void write_ppm(const char* path, const std::vector<unsigned char>& rgba, int width, int height) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return;
    std::fprintf(file, "P6\n%d %d\n255\n", width, height);
    for (int y = height - 1; y >= 0; --y)  // GL rows are bottom-up, PPM rows top-down
        for (int x = 0; x < width; ++x) std::fwrite(&rgba[(static_cast<std::size_t>(y) * width + x) * 4], 1, 3, file);
    std::fclose(file);
}

TEST(FontOnScreen, GlyphsShowTheirCellsUprightAndOneToOne) {
    script::reset();
    script::OffscreenContext context;
    ASSERT_TRUE(context.ok());
    const std::vector<unsigned char> bytes = read_file(font_path);
    ASSERT_EQ(bytes.size(), 54u + 256u * 256u * 3u);
    std::string previous(4096, '\0');
    ASSERT_NE(getcwd(&previous[0], previous.size()), nullptr);
    ASSERT_EQ(chdir(DUPLEXA_SOURCE_DIR), 0);
    const bool loaded = load_font_texture();
    ASSERT_EQ(chdir(previous.c_str()), 0);
    ASSERT_TRUE(loaded);

    GlyphFont font(font_texture);
    glViewport(0, 0, 800, 600);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    font.begin_overlay();
    font.print(0, 0, "Duplexa 01", 0);
    font.print(0, 1, "Duplexa 01", 1);
    font.print(2, 3, "The quick brown fox jumps over the lazy dog.", 0);
    font.print(2, 4, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG!", 0);
    font.print(2, 5, "0123456789 !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", 0);
    font.print(2, 7, "The quick brown fox jumps over the lazy dog.", 1);
    font.print(2, 8, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG!", 1);
    font.print(2, 9, "0123456789 !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", 1);
    glColor3f(1.0f, 0.2f, 0.2f);
    font.print(2, 11, "Focal length: 10.00  Ratio: 30.0  Shift: 0 px", 0);
    glColor3f(0.2f, 1.0f, 1.0f);
    font.print(2, 12, "Automatic focus: ON (Y, E, H for help)", 1);
    font.end_overlay();

    const std::vector<unsigned char> frame = script::read_frame(800, 600);
    if (const char* sample = std::getenv("DUPLEXA_FONT_SAMPLE")) write_ppm(sample, frame, 800, 600);

    // 'D' of each set, drawn white at one unit per texel, is its cell copied:
    // row 0 of the cell (top of the picture) at the top of the line.
    for (int set = 0; set <= 1; ++set) {
        const int g = 'D' - 32 + 128 * set;
        int worst = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 11; ++x) {
                const int picture_row = (g / 16) * 16 + y;  // from the top
                const std::size_t file_at =
                    54 + (static_cast<std::size_t>(255 - picture_row) * 256 + (g % 16) * 16 + x) * 3;
                const int screen_y = 584 - 16 * set + 15 - y;
                const int on_screen = frame[(static_cast<std::size_t>(screen_y) * 800 + x) * 4 + 1];
                worst = std::max(worst, std::abs(on_screen - bytes[file_at]));
            }
        }
        EXPECT_LE(worst, 2) << "set " << set;
    }
}

}  // namespace
