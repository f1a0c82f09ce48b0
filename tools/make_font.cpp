// Generates data/font.bmp, the glyph grid of the text overlay, from two
// TrueType faces rendered with FreeType (antialiased grey).
//
//   make_font OUTPUT.bmp [SET0_FACE.ttf [SET1_FACE.ttf]]
//
// The picture is 256 x 256 texels: a 16 x 16 grid of 16 x 16 cells, light
// glyphs on black. Characters 32-127 fill grid rows 0-5 in code order with
// the first face (glyph set 0) and again rows 8-13 with the second (set 1);
// rows are counted from the top of the picture. The overlay draws each cell
// as a 16-unit quad and advances the pen 11 units, so the ink of a glyph is
// kept in the left 11 columns of its cell. Written as a 24-bit BI_RGB DIB
// with the 14-byte file header and a 40-byte info header, bottom-up.
//
// Built only with -DDUPLEXA_TOOLS=ON; the generated file is committed, so
// neither the build nor the tests need FreeType.

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr int image_size = 256;
constexpr int cell_size = 16;
constexpr int pen_advance = 11;  // the overlay's advance per character
constexpr int first_char = 32;
constexpr int char_count = 96;  // 32..127
constexpr int set1_first_row = 8;

// Pixel height at which DejaVu Sans Mono's advance (0.602 em) is just under
// the overlay's 11-unit pen step while caps and descenders still fit 16 rows.
constexpr int pixel_size = 16;
// Baseline, in texel rows from the top of a cell: 13 rows for capitals,
// ascenders and accents, 3 for descenders. The few glyphs that reach one row
// lower ('_', '|') are lifted by that row rather than cut.
constexpr int baseline = 13;

const char* const default_faces[2] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
};

// Grey picture, row 0 at the top.
unsigned char picture[image_size][image_size];

// Renders one face's characters 32..127 into the grid from first_row on.
bool render_set(FT_Library library, const char* path, int first_row) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, path, 0, &face) != 0) {
        std::fprintf(stderr, "make_font: cannot open face %s\n", path);
        return false;
    }
    if (FT_Set_Pixel_Sizes(face, 0, pixel_size) != 0) {
        std::fprintf(stderr, "make_font: %s has no %d-pixel size\n", path, pixel_size);
        FT_Done_Face(face);
        return false;
    }
    bool ok = true;
    for (int i = 0; i < char_count && ok; ++i) {
        const int code = first_char + i;
        const int cell_x = (i % 16) * cell_size;
        const int cell_y = (first_row + i / 16) * cell_size;
        // 127 (DEL) has no glyph in the face; its cell stays black.
        const FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(code));
        if (index == 0) continue;
        // The faces' own hinting instructions: light (auto) hinting puts
        // stray rows on the bold i and j at this size.
        if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0 ||
            FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) {
            std::fprintf(stderr, "make_font: cannot render character %d of %s\n", code, path);
            ok = false;
            break;
        }
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        // Centre the advance box (about 10 texels) in the 11-texel pen step.
        const int advance = static_cast<int>((slot->advance.x + 32) >> 6);
        const int origin_x = (pen_advance - advance) / 2;
        const int left = origin_x + slot->bitmap_left;
        int top = baseline - slot->bitmap_top;
        // A glyph that fits the cell but not at the baseline is moved into
        // the cell; only a taller one is cut.
        const int height = static_cast<int>(bitmap.rows);
        if (height <= cell_size) {
            if (top + height > cell_size) top = cell_size - height;
            if (top < 0) top = 0;
        }
        for (unsigned int row = 0; row < bitmap.rows; ++row) {
            const int y = top + static_cast<int>(row);
            if (y < 0 || y >= cell_size) continue;  // clipped to its own cell
            const unsigned char* source = bitmap.buffer + static_cast<long>(row) * bitmap.pitch;
            for (unsigned int column = 0; column < bitmap.width; ++column) {
                const int x = left + static_cast<int>(column);
                if (x < 0 || x >= cell_size) continue;
                picture[cell_y + y][cell_x + x] = source[column];
            }
        }
    }
    FT_Done_Face(face);
    return ok;
}

void put_u16(unsigned char* at, std::uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void put_u32(unsigned char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

bool write_bmp(const char* path) {
    constexpr std::uint32_t row_bytes = image_size * 3;  // a multiple of 4: no padding
    constexpr std::uint32_t pixel_offset = 14 + 40;
    constexpr std::uint32_t pixel_bytes = row_bytes * image_size;
    unsigned char header[pixel_offset] = {};
    header[0] = 'B';
    header[1] = 'M';
    put_u32(header + 2, pixel_offset + pixel_bytes);
    put_u32(header + 10, pixel_offset);
    put_u32(header + 14, 40);          // BITMAPINFOHEADER
    put_u32(header + 18, image_size);  // width
    put_u32(header + 22, image_size);  // height > 0: bottom-up
    put_u16(header + 26, 1);           // planes
    put_u16(header + 28, 24);          // bits per pixel
    put_u32(header + 30, 0);           // BI_RGB
    put_u32(header + 34, pixel_bytes);
    put_u32(header + 38, 2835);  // 72 dpi
    put_u32(header + 42, 2835);

    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::fprintf(stderr, "make_font: cannot write %s\n", path);
        return false;
    }
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    unsigned char row[row_bytes];
    for (int y = image_size - 1; y >= 0 && ok; --y) {  // bottom row first
        for (int x = 0; x < image_size; ++x) {
            std::memset(row + 3 * x, picture[y][x], 3);  // grey: B = G = R
        }
        ok = std::fwrite(row, 1, row_bytes, file) == row_bytes;
    }
    if (std::fclose(file) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "make_font: write to %s failed\n", path);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: make_font OUTPUT.bmp [SET0_FACE.ttf [SET1_FACE.ttf]]\n");
        return 2;
    }
    const char* faces[2] = {default_faces[0], default_faces[1]};
    if (argc > 2) faces[0] = argv[2];
    if (argc > 3) faces[1] = argv[3];

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "make_font: FreeType did not start\n");
        return 1;
    }
    const bool rendered = render_set(library, faces[0], 0) && render_set(library, faces[1], set1_first_row);
    FT_Done_FreeType(library);
    if (!rendered || !write_bmp(argv[1])) return 1;
    return 0;
}
