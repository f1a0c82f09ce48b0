// Reading a DIB file: the thin layer around decode_dib_image that touches
// the file system and tells the user about failures.

#include "image/dib_loader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/file.h"
#include "platform/platform.h"

unsigned char show_errors = 1;

namespace {

constexpr std::size_t message_buffer_size = 256;
const char open_failure_prefix[] = "Failed to open DIB file ";
const char open_failure_suffix[] = ".\n";

void show_error(const char* text) {
    if (show_errors) show_message_box(platform_get_focus(), text, "Error", MB_OK);
}

const char* error_text(DibError error) {
    switch (error) {
    case DibError::out_of_memory: return "Out of memory.";
    case DibError::unknown_format: return "Unknown DIB file format.";
    default: return "Image file conversion error.";
    }
}

// Reads the whole file into one malloc block. Reading in growing chunks
// rather than asking for the size first also refuses directories and pipes
// cleanly. An empty file counts as a failure: there is nothing to map.
bool read_whole_file(const char* path, unsigned char** bytes, std::size_t* size) {
    *bytes = nullptr;
    *size = 0;
    std::FILE* file = open_file(path, "rb");
    if (!file) return false;
    std::size_t capacity = 0, used = 0;
    unsigned char* buffer = nullptr;
    bool ok = true;
    for (;;) {
        if (used == capacity) {
            std::size_t grown = capacity ? capacity * 2 : 64 * 1024;
            if (grown < capacity) {
                ok = false;
                break;
            }
            unsigned char* larger = static_cast<unsigned char*>(std::realloc(buffer, grown));
            if (!larger) {
                ok = false;
                break;
            }
            buffer = larger;
            capacity = grown;
        }
        std::size_t got = std::fread(buffer + used, 1, capacity - used, file);
        used += got;
        if (got == 0) {
            ok = !std::ferror(file);
            break;
        }
    }
    std::fclose(file);
    if (!ok || used == 0) {
        std::free(buffer);
        return false;
    }
    *bytes = buffer;
    *size = used;
    return true;
}

// The path is cut to fit the buffer, at a UTF-8 character boundary, so the
// text always ends with its full stop and line feed.
void format_open_failure(const char* path, char* buffer, std::size_t buffer_size) {
    if (!path) path = "";
    std::size_t room = buffer_size - (sizeof(open_failure_prefix) - 1) - (sizeof(open_failure_suffix) - 1) - 1;
    std::size_t length = std::strlen(path);
    if (length > room) {
        length = room;
        while (length > 0 && (static_cast<unsigned char>(path[length]) & 0xC0) == 0x80) --length;
    }
    std::snprintf(buffer, buffer_size, "%s%.*s%s", open_failure_prefix, static_cast<int>(length), path,
                  open_failure_suffix);
}

}  // namespace

RgbImage* load_dib_image(const char* path) {
    unsigned char* bytes = nullptr;
    std::size_t size = 0;
    if (!path || !read_whole_file(path, &bytes, &size)) {
        char message[message_buffer_size];
        format_open_failure(path, message, sizeof(message));
        show_error(message);
        return nullptr;
    }
    DibError error = DibError::none;
    RgbImage* image = decode_dib_image(bytes, size, &error);
    // As with the mapped view, the box comes before the file's bytes go.
    if (!image) show_error(error_text(error));
    std::free(bytes);
    return image;
}
