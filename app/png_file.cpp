#include "app/png_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/platform.h"

#include <zlib.h>

namespace {

// stb's own deflate is slow; zlib's fastest level compresses these
// pictures (lines on black) as well in a fraction of the time.
unsigned char* zlib_compress(unsigned char* data, int length, int* out_length, int) {
    uLongf size = compressBound(static_cast<uLong>(length));
    auto* out = static_cast<unsigned char*>(std::malloc(size));
    if (out && compress2(out, &size, data, static_cast<uLong>(length), Z_BEST_SPEED) == Z_OK) {
        *out_length = static_cast<int>(size);
        return out;
    }
    std::free(out);
    return nullptr;
}

}  // namespace

// stb_image_write, from Debian's libstb-dev: one implementation here.
#define STBIW_ZLIB_COMPRESS zlib_compress
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

void append(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(context);
    const auto* begin = static_cast<const unsigned char*>(data);
    bytes->insert(bytes->end(), begin, begin + size);
}

void say(char* reason, std::size_t size, const char* what, const std::string& path) {
    if (reason && size) std::snprintf(reason, size, "%s %s", what, path.c_str());
}

}  // namespace

bool write_png_file(const char* path, int width, int height, const unsigned char* rgb_bottom_up, bool replace,
                    char* reason, std::size_t reason_size) {
    if (!path || !*path || width <= 0 || height <= 0 || !rgb_bottom_up) {
        say(reason, reason_size, "nothing to write to", path ? path : "");
        return false;
    }
    std::vector<unsigned char> png;
    // Rows unfiltered: the pictures are mostly black, which deflate takes as
    // well without filters, and choosing a filter per row is the slow part.
    stbi_write_force_png_filter = 0;
    const int stride = width * 3;
    // The last row read is the top one: a negative stride writes it first.
    if (!stbi_write_png_to_func(append, &png, width, height, 3,
                                rgb_bottom_up + static_cast<std::size_t>(height - 1) * stride, -stride)) {
        say(reason, reason_size, "cannot encode the picture for", path);
        return false;
    }

    const std::string temporary = std::string(path) + ".part";
    std::FILE* file = open_file(temporary.c_str(), "wb");
    if (!file) {
        if (reason && reason_size)
            std::snprintf(reason, reason_size, "cannot write %s: %s", path, std::strerror(errno));
        return false;
    }
    errno = 0;
    bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    int write_error = errno;
    written = std::fflush(file) == 0 && written;
    written = std::fclose(file) == 0 && written;
    if (!written) {
        remove_file(temporary.c_str());
        if (reason && reason_size)
            std::snprintf(reason, reason_size, "cannot write %s: %s", path,
                          std::strerror(write_error ? write_error : EIO));
        return false;
    }
    if (!platform_move_file(temporary.c_str(), path, replace)) {
        remove_file(temporary.c_str());
        say(reason, reason_size, !replace && file_exists(path) ? "will not overwrite" : "cannot write", path);
        return false;
    }
    return true;
}
