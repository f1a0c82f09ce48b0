// The font texture, the 256 glyph display lists and the 800 x 600 text overlay.
#include "text/glyph_font.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/file.h"
#include "platform/platform.h"

GLuint font_texture = 0;

namespace {

constexpr GLsizei glyph_count = 256;
constexpr float cell_span = 0.0625f;  // one of 16 cells, in texture coordinates
constexpr int cell_units = 16;
constexpr int pen_advance = 11;
constexpr int top_line_y = 584;  // overlay y of row 0's glyph bottoms

bool is_power_of_two(std::int32_t value) { return value > 0 && (value & (value - 1)) == 0; }

// The font in the working directory comes first (a checkout, an unpacked
// zip); without it, the one installed with the program, found from the
// program's own folder: <prefix>/bin/../share/duplexa/ on Linux, data/ beside
// the .exe on Windows.
// A build tree holds the font where an installation would (data/ beside
// the program). `tried` gets the places looked in, for the message when
// none has it.
const char* font_path(char* buffer, std::size_t size, std::string* tried) {
    const char* const local = "data/font.bmp";
    *tried = "data/font.bmp in the working folder";
    if (file_exists(local)) return local;
    char folder[1024];
    if (!platform_get_program_folder(folder, sizeof folder)) return local;
    const char* const installed[] = {"../share/duplexa/font.bmp", "data/font.bmp"};
    for (const char* relative : installed) {
        int length = std::snprintf(buffer, size, "%s%s", folder, relative);
        if (length > 0 && static_cast<std::size_t>(length) < size) {
            *tried += std::string(", ") + buffer;
            if (file_exists(buffer)) return buffer;
        }
    }
    return local;
}

}  // namespace

RgbImage* load_bitmap_file(const char* path) {
    if (!path) return nullptr;
    // Opened only to tell a missing file from a broken one: a missing file
    // gets no loader box, just the caller's.
    std::FILE* file = open_file(path, "rb");
    if (!file) return nullptr;
    std::fclose(file);
    return load_dib_image(path);
}

bool load_font_texture() {
    char installed[1100];
    std::string tried;
    const char* path = font_path(installed, sizeof installed, &tried);
    const bool found = file_exists(path);
    RgbImage* image = load_bitmap_file(path);
    // The rows are handed to GL tightly packed under its default 4-byte row
    // alignment, so a width that is not a power of two of at least 4 would
    // make GL read past the pixel block (Mesa takes any size): such a
    // picture is refused like an unreadable one.
    if (image &&
        (!image->pixels || image->width < 4 || !is_power_of_two(image->width) || !is_power_of_two(image->height))) {
        free_rgb_image(image);
        image = nullptr;
    }
    if (!image) {
        // The box names the file in the words every build has used; standard
        // error says where it was looked for.
        if (found)
            std::fprintf(stderr, "duplexa: the font image %s cannot be read\n", path);
        else
            std::fprintf(stderr, "duplexa: the font image was not found; looked for %s\n", tried.c_str());
        std::fflush(stderr);
        show_message_box(nullptr, "Chyba načítania obrázka.", "data/font.bmp", MB_ICONERROR);
        return false;
    }

    glGenTextures(1, &font_texture);
    glBindTexture(GL_TEXTURE_2D, font_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // The first stored row, the bottom of the picture, becomes t = 0.
    glTexImage2D(GL_TEXTURE_2D, 0, 3, image->width, image->height, 0, GL_RGB, GL_UNSIGNED_BYTE, image->pixels);
    free_rgb_image(image);
    return true;
}

GlyphFont::GlyphFont(GLuint font_texture_name) : list_base(0), texture(font_texture_name) {
    list_base = glGenLists(glyph_count);
    glBindTexture(GL_TEXTURE_2D, texture);
    // 0 means no names were reserved; compiling into 0..255 anyway would
    // overwrite lists that belong to someone else.
    if (list_base == 0) return;
    for (int g = 0; g < glyph_count; ++g) {
        const float s0 = static_cast<float>(g % 16) * cell_span;
        const float s1 = s0 + cell_span;
        const float t_top = 1.0f - static_cast<float>(g / 16) * cell_span;
        const float t_bottom = t_top - cell_span;
        glNewList(list_base + static_cast<GLuint>(g), GL_COMPILE);
        glBegin(GL_QUADS);
        glTexCoord2f(s0, t_bottom);
        glVertex2i(0, 0);
        glTexCoord2f(s1, t_bottom);
        glVertex2i(cell_units, 0);
        glTexCoord2f(s1, t_top);
        glVertex2i(cell_units, cell_units);
        glTexCoord2f(s0, t_top);
        glVertex2i(0, cell_units);
        glEnd();
        glTranslatef(static_cast<float>(pen_advance), 0.0f, 0.0f);
        glEndList();
    }
}

GlyphFont::~GlyphFont() {
    if (list_base != 0) glDeleteLists(list_base, glyph_count);
}

void GlyphFont::begin_overlay() const {
    glBlendFunc(overlay_blend_source, overlay_blend_destination);
    glEnable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, texture);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, 800.0, 0.0, 600.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
}

void GlyphFont::end_overlay() const {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
}

void GlyphFont::print(int column, int row, const char* text, int set) const {
    // A negative set has no glyphs; returning here also keeps 128 * set from
    // overflowing and the list base from reaching other lists' names.
    if (!text || set < 0 || list_base == 0) return;
    const int s = set <= 1 ? set : 1;
    glLoadIdentity();
    // Cell products in 64 bits: far-off cells must not overflow an int.
    const std::int64_t x = static_cast<std::int64_t>(pen_advance) * column;
    const std::int64_t y = top_line_y - static_cast<std::int64_t>(cell_units) * row;
    glTranslatef(static_cast<float>(x), static_cast<float>(y), 0.0f);
    // Byte b calls list list_base - 32 + 128 s + b, i.e. glyph b - 32 + 128 s;
    // names outside the 256 glyph lists hold no list and draw nothing.
    glListBase(list_base - 32u + 128u * static_cast<GLuint>(s));
    glCallLists(static_cast<GLsizei>(std::strlen(text)), GL_BYTE, text);
}

void GlyphFont::print_batched(int column, int row, const char* text, int set) const {
    if (!text || set < 0) return;
    const int s = set <= 1 ? set : 1;
    glLoadIdentity();
    const std::int64_t x0 = static_cast<std::int64_t>(pen_advance) * column;
    const std::int64_t y = top_line_y - static_cast<std::int64_t>(cell_units) * row;
    glTranslatef(static_cast<float>(x0), static_cast<float>(y), 0.0f);
    glBegin(GL_QUADS);
    int pen = 0;
    for (const char* c = text; *c; ++c) {
        // As with the lists: a byte outside the set's glyphs draws nothing
        // and leaves the pen where it is.
        const int g = static_cast<signed char>(*c) - 32 + 128 * s;
        if (g < 0 || g >= glyph_count) continue;
        const float s0 = static_cast<float>(g % 16) * cell_span;
        const float s1 = s0 + cell_span;
        const float t_top = 1.0f - static_cast<float>(g / 16) * cell_span;
        const float t_bottom = t_top - cell_span;
        glTexCoord2f(s0, t_bottom);
        glVertex2i(pen, 0);
        glTexCoord2f(s1, t_bottom);
        glVertex2i(pen + cell_units, 0);
        glTexCoord2f(s1, t_top);
        glVertex2i(pen + cell_units, cell_units);
        glTexCoord2f(s0, t_top);
        glVertex2i(pen, cell_units);
        pen += pen_advance;
    }
    glEnd();
}
