// libFuzzer target for the DIB decoder: any bytes must give either a sound
// picture or a refusal with a reason, and never touch memory outside them.
// Built by scripts/fuzz.sh with address and undefined-behaviour sanitizers.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/dib_loader.h"

namespace {
volatile unsigned pixel_sum;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DibError error = DibError::none;
    RgbImage* image = decode_dib_image(data, size, &error);
    if (!image) {
        if (error == DibError::none) std::abort();  // a refusal must say why
        return 0;
    }
    if (image->width <= 0 || image->height <= 0 || !image->pixels) std::abort();
    // Reading the whole block lets the sanitizer check its size, and the
    // memory sanitizer (where used) that every byte was written.
    std::size_t bytes = 3 * static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height);
    unsigned sum = 0;
    for (std::size_t i = 0; i < bytes; ++i) sum += image->pixels[i];
    pixel_sum = sum;
    free_rgb_image(image);
    return 0;
}
