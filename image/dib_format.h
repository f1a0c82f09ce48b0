// The layout of a DIB file as the decoder sees it: where the bitmap header,
// the colour table and the pixel data stand, and the header normalised to
// the 40-byte info form. Internal to image/ and its tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/dib_loader.h"

constexpr std::uint32_t bi_rgb = 0;
constexpr std::uint32_t bi_rle8 = 1;
constexpr std::uint32_t bi_rle4 = 2;
constexpr std::uint32_t bi_bitfields = 3;

constexpr std::uint16_t dib_file_magic = 19778;  // "BM"
constexpr std::size_t dib_file_header_size = 14;
constexpr std::size_t dib_core_header_size = 12;
constexpr std::size_t dib_info_header_size = 40;

// Largest pixel block the decoder will allocate (3 x width x height). Files
// that ask for more are refused before any allocation; the fuzzer lowers it.
#ifndef DUPLEXA_DIB_MAX_OUTPUT_BYTES
#define DUPLEXA_DIB_MAX_OUTPUT_BYTES (std::uint64_t(1) << 28)
#endif

// The 40-byte info header, field for field.
struct DibInfoHeader {
    std::uint32_t size;
    std::int32_t width;
    std::int32_t height;
    std::uint16_t planes;
    std::uint16_t bit_count;
    std::uint32_t compression;
    std::uint32_t size_image;
    std::int32_t x_pels_per_meter;
    std::int32_t y_pels_per_meter;
    std::uint32_t clr_used;
    std::uint32_t clr_important;
};

struct DibLayout {
    DibInfoHeader info;  // normalised, fix-ups applied
    bool has_file_header;
    std::size_t header_offset;  // 14 with the file header, else 0
    std::size_t header_size;    // 12 or 40, as stored
    std::uint16_t color_count;  // count_dib_colors of the stored header
    std::size_t table_offset;
    std::size_t table_entry_size;  // 3 (core) or 4 (info)
    std::size_t pixel_offset;      // may lie beyond the file; the decoder checks
    std::uint32_t masks[3];        // red, green, blue; only for BI_BITFIELDS
};

// Locates and normalises the headers. Never reads outside the bytes; fails
// with unknown_format for a header size other than 12 or 40 and with
// conversion_error when the headers, masks or colour table run past the end.
DibError parse_dib_layout(const unsigned char* bytes, std::size_t size, DibLayout* layout);
