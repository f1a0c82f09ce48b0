// Texture images decoded in the import worker (stb_image: PNG, JPEG, BMP,
// TGA, GIF's first frame, ...), checked against the limits before a pixel
// is decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TextureLimits {
    std::uint32_t max_side;          // pixels along either side
    std::uint64_t max_pixels;        // of one texture
    std::uint64_t max_total_pixels;  // of all a model's textures together
    std::uint32_t max_textures;      // textures of one model
    std::uint64_t max_file_bytes;    // of one texture file
};
extern const TextureLimits texture_limits;

// RGBA bytes, the bottom row first: as the GL takes them, for coordinates
// with v = 0 at the image's bottom (the importer's convention).
struct TextureImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> texels;
};

// False for bytes that are no image it decodes, or one beyond max_side or
// max_pixels (*out then empty).
bool decode_texture(const unsigned char* bytes, std::size_t size, const TextureLimits& limits, TextureImage* out);

// The importer's own texels (an embedded, uncompressed texture): b, g, r, a
// per pixel, the top row first.
bool texture_from_bgra(const unsigned char* bgra, std::uint32_t width, std::uint32_t height,
                       const TextureLimits& limits, TextureImage* out);
