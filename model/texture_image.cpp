#include "model/texture_image.h"

#include <cstring>
#include <new>

// The decoder's functions stay inside this file: a benchmark links its own.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_FAILURE_USERMSG
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// 16384 on a side and 64 million pixels (256 MiB of RGBA), 128 million for
// a whole model: more than any GL of the machines the viewer runs on takes
// at once; larger ones are scaled down before the upload anyway.
const TextureLimits texture_limits = {16384, std::uint64_t(1) << 26, std::uint64_t(1) << 27, 256,
                                      std::uint64_t(256) << 20};

namespace {

bool size_allowed(std::uint64_t width, std::uint64_t height, const TextureLimits& limits) {
    return width > 0 && height > 0 && width <= limits.max_side && height <= limits.max_side &&
           width * height <= limits.max_pixels;
}

// Rows reversed into out, from RGBA bytes with the top row first.
bool take_rows(const unsigned char* rgba, std::uint32_t width, std::uint32_t height, TextureImage* out) {
    try {
        out->texels.resize(std::size_t(width) * height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::size_t row = std::size_t(width) * 4;
    unsigned char* to = reinterpret_cast<unsigned char*>(out->texels.data());
    for (std::uint32_t y = 0; y < height; ++y) std::memcpy(to + row * (height - 1 - y), rgba + row * y, row);
    out->width = width;
    out->height = height;
    return true;
}

}  // namespace

bool decode_texture(const unsigned char* bytes, std::size_t size, const TextureLimits& limits, TextureImage* out) {
    *out = TextureImage();
    if (!bytes || size == 0 || size > 0x7FFFFFFF) return false;
    int width = 0, height = 0, channels = 0;
    const int length = static_cast<int>(size);
    if (!stbi_info_from_memory(bytes, length, &width, &height, &channels) || !size_allowed(width, height, limits))
        return false;
    unsigned char* rgba = stbi_load_from_memory(bytes, length, &width, &height, &channels, 4);
    if (!rgba) return false;
    const bool taken = size_allowed(width, height, limits) &&
                       take_rows(rgba, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), out);
    stbi_image_free(rgba);
    if (!taken) *out = TextureImage();
    return taken;
}

bool texture_from_bgra(const unsigned char* bgra, std::uint32_t width, std::uint32_t height,
                       const TextureLimits& limits, TextureImage* out) {
    *out = TextureImage();
    if (!bgra || !size_allowed(width, height, limits)) return false;
    std::vector<unsigned char> rgba;
    try {
        rgba.resize(std::size_t(width) * height * 4);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = bgra[i + 2];
        rgba[i + 1] = bgra[i + 1];
        rgba[i + 2] = bgra[i];
        rgba[i + 3] = bgra[i + 3];
    }
    return take_rows(rgba.data(), width, height, out);
}
