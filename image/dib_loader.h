// Windows DIB (BMP) files read into tightly packed 24-bit RGB.
#pragma once

#include <cstddef>
#include <cstdint>

// Rows in the order the file stores them (bottom-up files: bottom row first),
// each width pixels of red, green, blue with no padding. The record and the
// pixel block are two blocks of the C heap (malloc); the caller frees the
// pixels first, then the record (free_rgb_image does both).
struct RgbImage {
    std::int32_t width;
    std::int32_t height;
    unsigned char* pixels;
};

void free_rgb_image(RgbImage* image);

// While non-zero, every failure of the loader is shown in a message box.
extern unsigned char show_errors;

// Why a decode failed; each maps to the box text the loader shows.
enum class DibError {
    none,
    out_of_memory,     // "Out of memory."
    unknown_format,    // "Unknown DIB file format."
    conversion_error,  // "Image file conversion error."
};

// The colour count of a bitmap header. Reads its size field, then bcBitCount
// (size 12: 12 readable bytes) or biBitCount and biClrUsed (other sizes: 36).
std::uint16_t count_dib_colors(const unsigned char* header);

// Pure decode of a whole file's bytes; never reads outside [bytes, bytes + size).
// Returns the image, or null with *error set. Shows nothing.
RgbImage* decode_dib_image(const unsigned char* bytes, std::size_t size, DibError* error);

// Reads and decodes a file; each failure gets its box (owned by the focus
// window, caption "Error") while show_errors is set, and a null result.
RgbImage* load_dib_image(const char* path);
