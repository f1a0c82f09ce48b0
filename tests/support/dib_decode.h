// The DIB decoder's result as the tests look at it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "image/dib_loader.h"

struct Decoded {
    bool ok = false;
    DibError error = DibError::none;
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // rows bottom-up, as the decoder gives them
};

// Decodes from a heap block of exactly the file's size, so that a sanitizer
// build catches any read past the end.
inline Decoded decode(const std::vector<std::uint8_t>& file) {
    std::unique_ptr<unsigned char[]> exact(new unsigned char[file.size() ? file.size() : 1]);
    if (!file.empty()) std::memcpy(exact.get(), file.data(), file.size());
    Decoded d;
    RgbImage* image = decode_dib_image(exact.get(), file.size(), &d.error);
    if (image) {
        d.ok = true;
        d.width = image->width;
        d.height = image->height;
        d.rgb.assign(image->pixels, image->pixels + 3 * static_cast<std::size_t>(image->width) * image->height);
        free_rgb_image(image);
    }
    return d;
}
