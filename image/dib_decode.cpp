// DIB (BMP) decoding: a pure function of the file's bytes into tightly
// packed RGB. No platform calls and no boxes, so the fuzzer links this file
// alone.
//
// Takes: core (12-byte) and info (40-byte) headers, with or without the
// 14-byte file header; BI_RGB at 1, 4, 8, 16 (5-5-5), 24 and 32 bits;
// BI_RLE8, BI_RLE4; BI_BITFIELDS at 16 and 32 bits; top-down files, which
// come out bottom-up with a positive height.
// Refuses: every other compression or bit count, planes other than 1, zero
// or negative widths and zero heights (as out of memory, like pictures over
// the size cap), top-down RLE, zero, overlapping or oversized masks, and any
// file that declares more than it holds.

#include <cstdlib>
#include <cstring>

#include "image/dib_format.h"
#include "image/dib_loader.h"

namespace {

std::uint16_t read_u16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t read_u32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t read_s32(const unsigned char* p) { return static_cast<std::int32_t>(read_u32(p)); }

std::uint16_t colors_for_bit_count(std::uint16_t bit_count) {
    switch (bit_count) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

// Colours of the table as (red, green, blue); indexes the table does not
// reach stay black.
struct Palette {
    unsigned char rgb[256][3];
};

void build_palette(const unsigned char* bytes, const DibLayout& layout, Palette* palette) {
    std::memset(palette, 0, sizeof(Palette));
    std::size_t entries = layout.color_count < 256 ? layout.color_count : 256;
    for (std::size_t i = 0; i < entries; ++i) {
        const unsigned char* entry = bytes + layout.table_offset + i * layout.table_entry_size;
        palette->rgb[i][0] = entry[2];
        palette->rgb[i][1] = entry[1];
        palette->rgb[i][2] = entry[0];
    }
}

// One colour mask of BI_BITFIELDS, widened to 8 bits.
struct Channel {
    std::uint32_t mask;
    unsigned shift;
    unsigned bits;  // contiguous masks: width of the field
    bool contiguous;
    std::uint32_t max;  // (mask >> shift): the largest field value
};

bool make_channel(std::uint32_t mask, Channel* channel) {
    if (mask == 0) return false;
    unsigned shift = 0;
    while (((mask >> shift) & 1u) == 0) ++shift;
    std::uint32_t max = mask >> shift;
    unsigned bits = 0;
    while (bits < 32 && ((max >> bits) & 1u)) ++bits;
    channel->mask = mask;
    channel->shift = shift;
    channel->max = max;
    channel->bits = bits;
    channel->contiguous = bits == 32 || (max >> bits) == 0;
    return true;
}

// Bit replication for fields up to 8 bits: (v << 3) | (v >> 2) for 5 bits,
// so full scale stays full scale. Wider fields keep their top 8 bits; masks
// with holes are scaled.
inline unsigned char widen(std::uint32_t pixel, const Channel& c) {
    std::uint32_t v = (pixel & c.mask) >> c.shift;
    if (!c.contiguous) return static_cast<unsigned char>((static_cast<std::uint64_t>(v) * 255 + c.max / 2) / c.max);
    if (c.bits >= 8) return static_cast<unsigned char>(v >> (c.bits - 8));
    std::uint32_t x = v << (8 - c.bits);
    for (unsigned filled = c.bits; filled < 8; filled += c.bits) x |= x >> c.bits;
    return static_cast<unsigned char>(x);
}

inline unsigned char widen5(unsigned v) { return static_cast<unsigned char>((v << 3) | (v >> 2)); }

struct Format {
    std::uint16_t bit_count;
    bool bitfields;
    Channel red, green, blue;
    Palette palette;
};

// One stored row into width RGB pixels. The switch runs once per row; each
// inner loop is the plain copy for its format.
void convert_row(const unsigned char* src, unsigned char* dst, std::int32_t width, const Format& f) {
    const std::size_t n = static_cast<std::size_t>(width);
    if (f.bitfields) {
        for (std::size_t x = 0; x < n; ++x, dst += 3) {
            std::uint32_t pixel = f.bit_count == 16 ? read_u16(src + 2 * x) : read_u32(src + 4 * x);
            dst[0] = widen(pixel, f.red);
            dst[1] = widen(pixel, f.green);
            dst[2] = widen(pixel, f.blue);
        }
        return;
    }
    switch (f.bit_count) {
    case 1:
        for (std::size_t x = 0; x < n; ++x, dst += 3) {
            unsigned index = (src[x >> 3] >> (7 - (x & 7))) & 1u;
            std::memcpy(dst, f.palette.rgb[index], 3);
        }
        break;
    case 4:
        for (std::size_t x = 0; x < n; ++x, dst += 3) {
            unsigned byte = src[x >> 1];
            unsigned index = (x & 1) ? (byte & 15u) : (byte >> 4);
            std::memcpy(dst, f.palette.rgb[index], 3);
        }
        break;
    case 8:
        for (std::size_t x = 0; x < n; ++x, dst += 3) std::memcpy(dst, f.palette.rgb[src[x]], 3);
        break;
    case 16:
        for (std::size_t x = 0; x < n; ++x, dst += 3) {
            unsigned pixel = read_u16(src + 2 * x);
            dst[0] = widen5((pixel >> 10) & 31u);
            dst[1] = widen5((pixel >> 5) & 31u);
            dst[2] = widen5(pixel & 31u);
        }
        break;
    case 24:
    case 32: {
        // Blue, green, red (and an unused byte at 32 bits).
        const std::size_t step = f.bit_count / 8u;
        for (std::size_t x = 0; x < n; ++x, src += step, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        break;
    }
    }
}

// Run-length data, always bottom-up. Runs and literal groups that pass the
// row's end are clipped there; a delta or end of line that leaves the picture
// ends the decode. Pixels the stream never sets stay black (the output is
// zero-filled), as they do on the zeroed surface GDI converts into.
// False when the data ends before the end-of-bitmap mark or the last row.
bool decode_rle(const unsigned char* data, std::size_t length, bool four_bit, const Palette& palette,
                std::int32_t width, std::int32_t height, unsigned char* out) {
    const std::uint64_t w = static_cast<std::uint64_t>(width);
    const std::uint64_t h = static_cast<std::uint64_t>(height);
    std::uint64_t x = 0, y = 0;
    std::size_t pos = 0;
    while (y < h) {
        if (length - pos < 2) return false;
        unsigned count = data[pos];
        unsigned code = data[pos + 1];
        pos += 2;
        if (count > 0) {
            unsigned char* row = out + y * w * 3;
            for (unsigned i = 0; i < count && x < w; ++i, ++x) {
                unsigned index = four_bit ? ((i & 1) ? (code & 15u) : (code >> 4)) : code;
                std::memcpy(row + x * 3, palette.rgb[index], 3);
            }
            continue;
        }
        if (code == 0) {  // end of line
            x = 0;
            ++y;
        } else if (code == 1) {  // end of bitmap
            return true;
        } else if (code == 2) {  // delta: right, up
            if (length - pos < 2) return false;
            x += data[pos];
            y += data[pos + 1];
            pos += 2;
        } else {  // literal group, padded to a 16-bit boundary
            std::size_t bytes = four_bit ? (code + 1) / 2 : code;
            if (length - pos < bytes) return false;
            unsigned char* row = out + y * w * 3;
            for (unsigned i = 0; i < code && x < w; ++i, ++x) {
                unsigned index =
                    four_bit ? ((i & 1) ? (data[pos + i / 2] & 15u) : (data[pos + i / 2] >> 4)) : data[pos + i];
                std::memcpy(row + x * 3, palette.rgb[index], 3);
            }
            pos += bytes;
            // The pad byte after the final group may be missing; nothing follows it anyway.
            if ((bytes & 1) && pos < length) ++pos;
        }
    }
    return true;
}

bool valid_masks(const std::uint32_t masks[3], std::uint16_t bit_count, Format* f) {
    std::uint32_t outside = bit_count == 16 ? 0xFFFF0000u : 0u;
    for (int i = 0; i < 3; ++i)
        if (masks[i] == 0 || (masks[i] & outside)) return false;
    if ((masks[0] & masks[1]) || (masks[0] & masks[2]) || (masks[1] & masks[2])) return false;
    return make_channel(masks[0], &f->red) && make_channel(masks[1], &f->green) && make_channel(masks[2], &f->blue);
}

// Checks the format and the sizes; fills f. Everything that can refuse a
// file does so here, before anything is allocated.
DibError check_format(const DibLayout& layout, std::size_t size, Format* f) {
    const DibInfoHeader& info = layout.info;
    // A 24-bit surface of this size cannot be made (no width, no rows, or
    // more than the cap): as on Windows, where making it comes before the
    // conversion, that is "out of memory" whatever else is wrong.
    if (info.width <= 0 || info.height == 0 || info.height == INT32_MIN) return DibError::out_of_memory;
    const std::uint64_t width = static_cast<std::uint64_t>(info.width);
    const std::uint64_t rows = info.height < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(info.height))
                                               : static_cast<std::uint64_t>(info.height);
    // Both factors are below 2^31, so the products cannot wrap 64 bits.
    if (width * rows * 3 > DUPLEXA_DIB_MAX_OUTPUT_BYTES) return DibError::out_of_memory;
    // The surface always has one plane; the conversion refuses the file's other count.
    if (info.planes != 1) return DibError::conversion_error;

    f->bit_count = info.bit_count;
    f->bitfields = false;
    bool rle = false;
    switch (info.compression) {
    case bi_rgb:
        if (colors_for_bit_count(info.bit_count) == 0 && info.bit_count != 16 && info.bit_count != 24 &&
            info.bit_count != 32)
            return DibError::conversion_error;
        break;
    case bi_rle8:
    case bi_rle4:
        if (info.bit_count != (info.compression == bi_rle8 ? 8 : 4)) return DibError::conversion_error;
        if (info.height < 0) return DibError::conversion_error;  // RLE is bottom-up only
        rle = true;
        break;
    case bi_bitfields:
        if (info.bit_count != 16 && info.bit_count != 32) return DibError::conversion_error;
        if (!valid_masks(layout.masks, info.bit_count, f)) return DibError::conversion_error;
        f->bitfields = true;
        break;
    default: return DibError::conversion_error;
    }

    if (layout.pixel_offset > size) return DibError::conversion_error;
    const std::uint64_t available = size - layout.pixel_offset;
    if (rle) return available >= 2 ? DibError::none : DibError::conversion_error;
    const std::uint64_t stride = (info.bit_count * width + 31) / 32 * 4;
    if (stride * rows > available) return DibError::conversion_error;
    return DibError::none;
}

}  // namespace

std::uint16_t count_dib_colors(const unsigned char* header) {
    if (read_u32(header) == dib_core_header_size) return colors_for_bit_count(read_u16(header + 10));
    std::uint32_t clr_used = read_u32(header + 32);
    if (clr_used != 0) return static_cast<std::uint16_t>(clr_used & 0xFFFF);
    return colors_for_bit_count(read_u16(header + 14));
}

DibError parse_dib_layout(const unsigned char* bytes, std::size_t size, DibLayout* layout) {
    std::memset(layout, 0, sizeof(DibLayout));
    if (size >= 2 && read_u16(bytes) == dib_file_magic) {
        if (size < dib_file_header_size) return DibError::conversion_error;
        layout->has_file_header = true;
        layout->header_offset = dib_file_header_size;
        layout->pixel_offset = read_u32(bytes + 10);
    }
    if (size - layout->header_offset < 4) return DibError::conversion_error;
    const unsigned char* header = bytes + layout->header_offset;
    std::uint32_t header_size = read_u32(header);
    if (header_size != dib_core_header_size && header_size != dib_info_header_size) return DibError::unknown_format;
    if (size - layout->header_offset < header_size) return DibError::conversion_error;
    layout->header_size = header_size;

    std::uint16_t count = count_dib_colors(header);
    layout->color_count = count;
    DibInfoHeader& info = layout->info;
    info.size = dib_info_header_size;
    std::size_t table_offset = layout->header_offset + header_size;
    if (header_size == dib_core_header_size) {
        info.width = read_u16(header + 4);
        info.height = read_u16(header + 6);
        info.planes = read_u16(header + 8);
        info.bit_count = read_u16(header + 10);
        info.compression = bi_rgb;
        info.clr_used = count;
        info.clr_important = count;
        layout->table_entry_size = 3;
    } else {
        info.width = read_s32(header + 4);
        info.height = read_s32(header + 8);
        info.planes = read_u16(header + 12);
        info.bit_count = read_u16(header + 14);
        info.compression = read_u32(header + 16);
        info.size_image = read_u32(header + 20);
        info.x_pels_per_meter = read_s32(header + 24);
        info.y_pels_per_meter = read_s32(header + 28);
        info.clr_used = read_u32(header + 32);
        info.clr_important = read_u32(header + 36);
        layout->table_entry_size = 4;
        // The three masks follow the info header, ahead of any colour table.
        if (info.compression == bi_bitfields) {
            if (size - table_offset < 12) return DibError::conversion_error;
            for (int i = 0; i < 3; ++i) layout->masks[i] = read_u32(bytes + table_offset + 4 * i);
            table_offset += 12;
        }
    }
    // Rows unpadded, in 32-bit arithmetic like the header field itself; only
    // descriptive, the decoder sizes rows on its own.
    if (info.size_image == 0)
        info.size_image = (static_cast<std::uint32_t>(info.bit_count) * static_cast<std::uint32_t>(info.width) + 7) /
                          8 * static_cast<std::uint32_t>(info.height);
    if (info.clr_used == 0) info.clr_used = count;

    layout->table_offset = table_offset;
    std::size_t table_bytes = layout->table_entry_size * count;
    if (size - table_offset < table_bytes) return DibError::conversion_error;
    if (!layout->has_file_header) layout->pixel_offset = table_offset + table_bytes;
    return DibError::none;
}

void free_rgb_image(RgbImage* image) {
    if (!image) return;
    std::free(image->pixels);
    std::free(image);
}

RgbImage* decode_dib_image(const unsigned char* bytes, std::size_t size, DibError* error) {
    DibError ignored;
    if (!error) error = &ignored;
    *error = DibError::none;
    if (!bytes) size = 0;

    DibLayout layout;
    *error = parse_dib_layout(bytes, size, &layout);
    if (*error != DibError::none) return nullptr;
    static_assert(sizeof(Format) < 1024, "Format lives on the stack");
    Format format;
    build_palette(bytes, layout, &format.palette);
    *error = check_format(layout, size, &format);
    if (*error != DibError::none) return nullptr;

    const DibInfoHeader& info = layout.info;
    const std::int32_t width = info.width;
    const bool top_down = info.height < 0;
    const std::int32_t height = top_down ? -info.height : info.height;
    const std::size_t out_row = static_cast<std::size_t>(width) * 3;
    const std::size_t out_bytes = out_row * static_cast<std::size_t>(height);
    const bool rle = info.compression == bi_rle8 || info.compression == bi_rle4;

    unsigned char* pixels = static_cast<unsigned char*>(rle ? std::calloc(out_bytes, 1) : std::malloc(out_bytes));
    if (!pixels) {
        *error = DibError::out_of_memory;
        return nullptr;
    }
    const unsigned char* data = bytes + layout.pixel_offset;
    if (rle) {
        if (!decode_rle(data, size - layout.pixel_offset, info.compression == bi_rle4, format.palette, width, height,
                        pixels)) {
            std::free(pixels);
            *error = DibError::conversion_error;
            return nullptr;
        }
    } else {
        const std::size_t stride = (static_cast<std::size_t>(info.bit_count) * width + 31) / 32 * 4;
        for (std::int32_t row = 0; row < height; ++row) {
            // Top-down files are turned over so the bottom row comes first.
            std::int32_t stored = top_down ? height - 1 - row : row;
            convert_row(data + static_cast<std::size_t>(stored) * stride,
                        pixels + static_cast<std::size_t>(row) * out_row, width, format);
        }
    }

    RgbImage* image = static_cast<RgbImage*>(std::malloc(sizeof(RgbImage)));
    if (!image) {
        std::free(pixels);
        *error = DibError::out_of_memory;
        return nullptr;
    }
    image->width = width;
    image->height = height;
    image->pixels = pixels;
    return image;
}
