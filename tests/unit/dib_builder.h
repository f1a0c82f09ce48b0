// Builds BMP bytes for the loader's tests: any header field can be set,
// including wrong ones.
#pragma once

#include <cstdint>
#include <vector>

struct BmpBuilder {
    bool file_header = true;
    std::uint32_t header_size = 40;  // 12 writes a core header
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t planes = 1;
    std::uint16_t bit_count = 24;
    std::uint32_t compression = 0;
    std::uint32_t size_image = 0;
    std::uint32_t clr_used = 0;
    std::uint32_t clr_important = 0;
    std::vector<std::uint32_t> masks;    // written right after the header
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB, written as the header kind wants
    std::vector<std::uint8_t> pixels;    // stored pixel bytes, as given
    std::int64_t off_bits = -1;          // -1: right after the table

    std::vector<std::uint8_t> build() const {
        std::vector<std::uint8_t> out;
        auto u16 = [&](std::uint32_t v) {
            out.push_back(static_cast<std::uint8_t>(v));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        };
        auto u32 = [&](std::uint32_t v) {
            u16(v & 0xFFFF);
            u16(v >> 16);
        };
        if (file_header) {
            u16(0x4D42);
            u32(0);  // bfSize, ignored
            u32(0);  // reserved
            u32(0);  // bfOffBits, patched below
        }
        if (header_size == 12) {
            u32(12);
            u16(static_cast<std::uint32_t>(width));
            u16(static_cast<std::uint32_t>(height));
            u16(planes);
            u16(bit_count);
        } else {
            u32(header_size);
            u32(static_cast<std::uint32_t>(width));
            u32(static_cast<std::uint32_t>(height));
            u16(planes);
            u16(bit_count);
            u32(compression);
            u32(size_image);
            u32(2835);
            u32(2835);
            u32(clr_used);
            u32(clr_important);
            while (out.size() < (file_header ? 14u : 0u) + header_size) out.push_back(0);
        }
        for (std::uint32_t m : masks) u32(m);
        for (std::uint32_t c : palette) {
            out.push_back(static_cast<std::uint8_t>(c));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
            out.push_back(static_cast<std::uint8_t>(c >> 16));
            if (header_size != 12) out.push_back(0xEE);  // reserved byte: must be ignored
        }
        std::uint32_t offset =
            off_bits >= 0 ? static_cast<std::uint32_t>(off_bits) : static_cast<std::uint32_t>(out.size());
        if (file_header) {
            out[10] = static_cast<std::uint8_t>(offset);
            out[11] = static_cast<std::uint8_t>(offset >> 8);
            out[12] = static_cast<std::uint8_t>(offset >> 16);
            out[13] = static_cast<std::uint8_t>(offset >> 24);
        }
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
};

// Stored rows padded to 4 bytes, in the order given.
inline std::vector<std::uint8_t> padded_rows(const std::vector<std::vector<std::uint8_t>>& rows) {
    std::vector<std::uint8_t> out;
    for (const auto& row : rows) {
        out.insert(out.end(), row.begin(), row.end());
        for (std::size_t i = row.size(); i % 4 != 0; ++i) out.push_back(0xCD);
    }
    return out;
}
