// The glyph font and its overlay, drawn in real offscreen GL: where print
// puts each glyph, which glyph a byte selects, the GL state the overlay
// leaves, and loading the font texture from data/font.bmp.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/script/script_platform.h"
#include "support/gl_checks.h"
#include "support/pixels.h"
#include "text/glyph_font.h"

namespace {

// A fresh scripted system first: reset() releases any current context, so it
// must run before the test's own context is made.
struct FreshSystem {
    FreshSystem() { script::reset(); }
};

// Glyph g's cell filled solid with (g, 255, 64): green marks a drawn glyph
// and red tells which one, so placement and selection read straight off the
// frame. Drawn 1:1 over a black frame, a glyph shows its texels unchanged.
GLuint make_probe_texture() {
    std::vector<unsigned char> texels(256 * 256 * 3);
    for (int y = 0; y < 256; ++y) {  // y = 0 is the bottom of the picture
        for (int x = 0; x < 256; ++x) {
            const int glyph = (15 - y / 16) * 16 + x / 16;
            unsigned char* texel = &texels[(y * 256 + x) * 3];
            texel[0] = static_cast<unsigned char>(glyph);
            texel[1] = 255;
            texel[2] = 64;
        }
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 256, 256, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    return name;
}

// The glyph number drawn at overlay pixel (x, y), or -1 where none is.
int glyph_at(int x, int y) {
    const script::Rgba pixel = script::read_pixel(x, y);
    if (pixel.g < 250) return -1;
    return pixel.r;
}

// What should stand at one overlay pixel: a glyph number or -1 for nothing.
struct Probe {
    int x, y, glyph;
    const char* what;
};

void expect_glyphs(std::initializer_list<Probe> probes) {
    for (const Probe& p : probes)
        EXPECT_EQ(glyph_at(p.x, p.y), p.glyph) << p.what << " at (" << p.x << ", " << p.y << ")";
}

class OverlayTest : public ::testing::Test {
protected:
    OverlayTest() : probe_texture(make_probe_texture()), font(probe_texture) {}

    void SetUp() override {
        ASSERT_TRUE(context.ok());
        glViewport(0, 0, 800, 600);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // The caller's part of a frame around one print, in a colour of its own.
    void draw(int column, int row, const char* text, int set, float green = 1) {
        glDisable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
        glColor3f(1, green, 1);
        font.begin_overlay();
        font.print(column, row, text, set);
        font.end_overlay();
    }

    FreshSystem fresh;
    script::OffscreenContext context;
    GLuint probe_texture;
    GlyphFont font;
};

TEST_F(OverlayTest, PrintPutsGlyphsOnCharacterCells) {
    draw(0, 0, "AB", 0);
    expect_glyphs({{0, 584, 33, "A's lower left corner"},
                   {10, 599, 33, "A's upper right corner"},
                   {16, 584, 34, "B's lower left part"},
                   {26, 599, 34, "B's upper right corner"},
                   {27, 590, -1, "nothing after B"},
                   {5, 583, -1, "nothing below the top line"}});
    // B's quad starts 11 units on and lightens A's right edge: 34 + 33 (1 - 34/255).
    EXPECT_NEAR(script::read_pixel(11, 584).r, 63, 2);
    EXPECT_EQ(script::read_pixel(10, 584).r, 33);
}

TEST_F(OverlayTest, ColumnsAndRowsCountFromTheTopLeft) {
    draw(15, 7, "A", 0);
    draw(15, 21, "A", 1);
    expect_glyphs({{165, 472, 33, "column 15 row 7, lower left"},
                   {164, 472, -1, "left of column 15"},
                   {165, 471, -1, "below row 7"},
                   {180, 487, 33, "column 15 row 7, upper right"},
                   {165, 248, 161, "column 15 row 21, set 1"},
                   {165, 247, -1, "below row 21"}});
}

TEST_F(OverlayTest, EveryCharacterSelectsItsOwnCell) {
    // Characters 32-127 in both sets: 2 x 96 glyphs, 48 to a line.
    char line[49] = {};
    for (int set = 0; set <= 1; ++set) {
        for (int half = 0; half < 2; ++half) {
            for (int i = 0; i < 48; ++i) line[i] = static_cast<char>(32 + half * 48 + i);
            draw(0, set * 2 + half, line, set);
        }
    }
    for (int set = 0; set <= 1; ++set) {
        for (int code = 32; code < 128; ++code) {
            const int line_index = set * 2 + (code - 32) / 48;
            const int x = 11 * ((code - 32) % 48) + 5;
            const int y = 584 - 16 * line_index + 8;
            EXPECT_EQ(glyph_at(x, y), code - 32 + 128 * set) << "code " << code << ", set " << set;
        }
    }
}

TEST_F(OverlayTest, SetsAboveOnePrintAsSetOne) {
    draw(0, 0, "A", 2);
    draw(0, 1, "A", 2147483647);
    expect_glyphs({{5, 590, 161, "set 2"}, {5, 574, 161, "set 2147483647"}});
}

TEST_F(OverlayTest, NegativeSetsAndEmptyTextsDrawNothing) {
    draw(0, 0, "AB", -1);
    draw(3, 3, "Hello", -2147483647 - 1);
    draw(0, 0, "", 0);
    draw(5, 5, nullptr, 0);
    EXPECT_EQ(drawn_pixels(read_frame()), 0);
}

TEST_F(OverlayTest, BytesOutsideTheSetNeitherDrawNorMoveThePen) {
    // clang-format off
    draw(0, 0, "\x01\x1f\x80\xff" "A", 0);
    // clang-format on
    draw(0, 2,
         "\x80\x9f"
         "A",
         1);
    // Set 1 reaches the rest of the grid with high and control bytes.
    draw(0, 4, "\xa0\xff\x01\x1f", 1);
    expect_glyphs({{5, 590, 33, "set 0: A after four skipped bytes"},
                   {16, 590, -1, "set 0: nothing after A"},
                   {5, 558, 161, "set 1: A after two skipped bytes"},
                   {16, 558, -1, "set 1: nothing after A"},
                   {5, 526, 0, "set 1: byte 0xa0"},
                   {16, 526, 95, "set 1: byte 0xff"},
                   {27, 526, 97, "set 1: byte 0x01"},
                   {38, 526, 127, "set 1: byte 0x1f"}});
}

// The batched form is a cheaper path to the very same pixels, whatever the bytes.
TEST_F(OverlayTest, BatchedPrintDrawsExactlyWhatPrintDraws) {
    // clang-format off
    const char* text = "parallax -36.2px" "\x01\x80\xff" "A~";
    // clang-format on
    for (int set : {0, 1, 5}) {
        glClear(GL_COLOR_BUFFER_BIT);
        draw(3, 2, text, set);
        const std::vector<unsigned char> listed = read_frame();
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
        font.begin_overlay();
        font.print_batched(3, 2, text, set);
        font.end_overlay();
        EXPECT_TRUE(read_frame() == listed) << "set " << set;
    }
}

TEST_F(OverlayTest, GlyphsTakeTheCurrentColourAndBlackKeepsTheScene) {
    // Texel (g, 255, 64) times colour (1, 0, 1) over a (0, 0, 128) scene:
    // result = source + scene x (1 - source), per channel.
    glClearColor(0, 0, 128 / 255.0f, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    draw(0, 0, "\x7f", 1, 0);  // glyph 223: red 223
    const script::Rgba lit = script::read_pixel(5, 590);
    EXPECT_NEAR(lit.r, 223, 2);
    EXPECT_NEAR(lit.g, 0, 2);
    EXPECT_NEAR(lit.b, 64 + 128 * (255 - 64) / 255, 2);
    const script::Rgba scene = script::read_pixel(5, 570);
    EXPECT_EQ(scene.r, 0);
    EXPECT_EQ(scene.b, 128);
}

TEST_F(OverlayTest, EndOverlayRestoresMatricesAndSetsDepthAndBlend) {
    GLdouble projection_before[16], modelview_before[16];
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 800.0 / 600.0, 0.1, 100.0);
    glGetDoublev(GL_PROJECTION_MATRIX, projection_before);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, -3);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview_before);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, 0);

    font.begin_overlay();
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(static_cast<GLuint>(gl_int(GL_TEXTURE_BINDING_2D)), probe_texture);
    EXPECT_EQ(gl_int(GL_MATRIX_MODE), GL_MODELVIEW);
    GLdouble ortho[16];
    glGetDoublev(GL_PROJECTION_MATRIX, ortho);
    EXPECT_FLOAT_EQ(static_cast<float>(ortho[0]), 2.0f / 800.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(ortho[5]), 2.0f / 600.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(ortho[12]), -1.0f);
    font.print(3, 3, "xyz", 0);
    font.end_overlay();

    GLdouble projection_after[16], modelview_after[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection_after);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview_after);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(projection_after[i], projection_before[i]) << "projection element " << i;
        EXPECT_EQ(modelview_after[i], modelview_before[i]) << "modelview element " << i;
    }
    EXPECT_EQ(gl_int(GL_MODELVIEW_STACK_DEPTH), 1);
    EXPECT_EQ(gl_int(GL_PROJECTION_STACK_DEPTH), 1);
    EXPECT_EQ(gl_int(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(gl_int(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(gl_int(GL_BLEND_DST), GL_ONE_MINUS_SRC_COLOR);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(GlyphFontLists, BuiltWithTheFontAndDeletedWithIt) {
    script::reset();
    script::OffscreenContext context;
    ASSERT_TRUE(context.ok());
    const GLuint texture = make_probe_texture();
    GLuint base = 0;
    {
        GlyphFont font(texture);
        base = font.list_base;
        EXPECT_EQ(font.texture, texture);
        ASSERT_NE(base, 0u);
        for (GLuint g = 0; g < 256; ++g) ASSERT_TRUE(glIsList(base + g)) << "glyph " << g;
    }
    for (GLuint g = 0; g < 256; ++g) EXPECT_FALSE(glIsList(base + g)) << "glyph " << g;
    EXPECT_TRUE(glIsTexture(texture)) << "the texture stays with the context";
}

// Runs a test body with another working directory, then returns.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& path) {
        if (!getcwd(previous_, sizeof previous_)) previous_[0] = 0;
        entered_ = chdir(path.c_str()) == 0;
    }
    ~WorkingDirectory() {
        if (previous_[0] && chdir(previous_) != 0) std::perror("chdir back");
    }
    bool entered() const { return entered_; }

private:
    char previous_[4096];
    bool entered_;
};

// A 24-bit bottom-up BI_RGB file of width x height black pixels.
std::vector<unsigned char> black_bmp(int width, int height) {
    const int row = (width * 3 + 3) & ~3;
    const int size = 54 + row * height;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size), 0);
    auto put32 = [&](int at, int value) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    bytes[26] = 1;
    bytes[28] = 24;
    return bytes;
}

// Loading the font texture with a context, from a scratch directory that
// the test may give a data/font.bmp; the directory goes again afterwards.
class FontTexture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(context.ok());
        char pattern[] = "/tmp/duplexa-font-XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        dir = made;
        font_texture = 0;
    }
    void TearDown() override {
        show_errors = saved_show_errors;
        if (dir.empty()) return;
        std::remove((dir + "/data/font.bmp").c_str());
        rmdir((dir + "/data").c_str());
        rmdir(dir.c_str());
    }

    void write_font(const std::vector<unsigned char>& bytes) {
        ASSERT_EQ(mkdir((dir + "/data").c_str(), 0700), 0);
        const std::string path = dir + "/data/font.bmp";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr) << path;
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }

    // A failed load: false, no texture, and the font's own box last of `boxes`.
    void expect_refused(std::size_t boxes) {
        EXPECT_FALSE(load_font_texture());
        EXPECT_EQ(font_texture, 0u) << "no texture is made for a refused file";
        ASSERT_EQ(script::boxes().size(), boxes);
        const script::Box& box = script::boxes().back();
        EXPECT_EQ(box.text, "Chyba načítania obrázka.");
        EXPECT_EQ(box.caption, "data/font.bmp");
        EXPECT_EQ(box.style, static_cast<unsigned>(MB_ICONERROR));
        EXPECT_FALSE(box.has_owner);
    }

    FreshSystem fresh;
    script::OffscreenContext context;
    std::string dir;
    const unsigned char saved_show_errors = show_errors;
};

TEST_F(FontTexture, LoadsDataFontBmp) {
    WorkingDirectory root(DUPLEXA_SOURCE_DIR);
    ASSERT_TRUE(root.entered());
    ASSERT_TRUE(load_font_texture());
    EXPECT_TRUE(script::boxes().empty());
    EXPECT_NE(font_texture, 0u);
    EXPECT_EQ(static_cast<GLuint>(gl_int(GL_TEXTURE_BINDING_2D)), font_texture);
    GLint width = 0, height = 0, min_filter = 0, mag_filter = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min_filter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag_filter);
    EXPECT_EQ(width, 256);
    EXPECT_EQ(height, 256);
    EXPECT_EQ(min_filter, GL_LINEAR);
    EXPECT_EQ(mag_filter, GL_LINEAR);
}

TEST_F(FontTexture, MissingFileGivesOneBoxAndFalse) {
    WorkingDirectory inside(dir);
    ASSERT_TRUE(inside.entered());
    expect_refused(1);
    EXPECT_EQ(load_bitmap_file(nullptr), nullptr);
    EXPECT_EQ(load_bitmap_file("data/font.bmp"), nullptr);
    EXPECT_EQ(script::boxes().size(), 1u) << "load_bitmap_file shows nothing itself";
}

// Installed as <prefix>/bin/duplexa with <prefix>/share/duplexa/font.bmp and
// started from a folder without data/: the installed font is read.
TEST_F(FontTexture, WithoutDataFontBmpTheInstalledFontIsFoundFromTheProgramsFolder) {
    for (const char* sub : {"/bin", "/share", "/share/duplexa"}) ASSERT_EQ(mkdir((dir + sub).c_str(), 0700), 0);
    const std::string installed = dir + "/share/duplexa/font.bmp";
    const std::vector<unsigned char> bytes = black_bmp(16, 16);
    std::FILE* file = std::fopen(installed.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    script::set_program_folder(dir + "/bin/");
    {
        WorkingDirectory inside(dir);
        ASSERT_TRUE(inside.entered());
        EXPECT_TRUE(load_font_texture());
        EXPECT_TRUE(script::boxes().empty());
        GLint width = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        EXPECT_EQ(width, 16) << "the installed font, not the checkout's";
    }
    std::remove(installed.c_str());
    for (const char* sub : {"/share/duplexa", "/share", "/bin"}) rmdir((dir + sub).c_str());
}

TEST_F(FontTexture, RefusesPicturesGlCannotTakeTightlyPacked) {
    // 6 x 4: three bytes a pixel give 18-byte rows, which GL would read as
    // 20-byte rows, past the end of the pixel block.
    write_font(black_bmp(6, 4));
    WorkingDirectory inside(dir);
    ASSERT_TRUE(inside.entered());
    RgbImage* image = load_bitmap_file("data/font.bmp");
    ASSERT_NE(image, nullptr) << "the file itself is a sound BMP";
    free_rgb_image(image);
    expect_refused(1);
}

TEST_F(FontTexture, UnreadableFileGivesTheLoaderBoxThenItsOwn) {
    write_font({'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p', '!', 0, 0, 0, 0, 0, 0, 0, 0});
    show_errors = 1;
    WorkingDirectory inside(dir);
    ASSERT_TRUE(inside.entered());
    ASSERT_NO_FATAL_FAILURE(expect_refused(2));
    EXPECT_EQ(script::boxes()[0].caption, "Error");
}

}  // namespace
