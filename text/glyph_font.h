// The font texture, the 256 glyph display lists and the 800 x 600 text overlay.
#pragma once

#include "image/dib_loader.h"
#include "platform/gl.h"

// Texture name of the font image; lives as long as its rendering context.
extern GLuint font_texture;

// Null for a null path or a file that does not open (no box); otherwise what
// load_dib_image gives.
RgbImage* load_bitmap_file(const char* path);

// Loads "data/font.bmp" into font_texture; false after its box.
bool load_font_texture();

// The overlay's blend function: source + destination x (1 - source) per
// channel, so black glyph texels leave the scene as it is.
const unsigned overlay_blend_source = 0x0302;       // GL_SRC_ALPHA
const unsigned overlay_blend_destination = 0x0301;  // GL_ONE_MINUS_SRC_COLOR

class GlyphFont {
public:
    GLuint list_base;  // glyph g is list list_base + g
    GLuint texture;

    explicit GlyphFont(GLuint font_texture_name);
    ~GlyphFont();
    GlyphFont(const GlyphFont&) = delete;
    GlyphFont& operator=(const GlyphFont&) = delete;

    // Sets the blend function below, which stays after end_overlay.
    void begin_overlay() const;
    void end_overlay() const;
    // Text at a character cell: column c at x = 11c, row r on y = 584 - 16r.
    // Glyph set 0 or 1 (2 and more print as 1; negative sets draw nothing).
    void print(int column, int row, const char* text, int set) const;
    // The same glyphs in the same places as print, sent as one batch of quads
    // instead of a list call per character: for a line drawn in every frame,
    // where the software rasterisers pay for each draw.
    void print_batched(int column, int row, const char* text, int set) const;
};
