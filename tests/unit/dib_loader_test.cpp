// The DIB loader against hand-made files: layouts, every pixel format,
// hardening against files that lie, and the boxes of load_dib_image.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/dib_format.h"
#include "image/dib_loader.h"
#include "platform/script/script_platform.h"
#include "support/dib_decode.h"
#include "tests/unit/dib_builder.h"

namespace {

typedef std::vector<std::uint8_t> Bytes;

DibError decode_error(const Bytes& file) {
    Decoded d = decode(file);
    EXPECT_FALSE(d.ok) << "expected a refusal";
    return d.error;
}

// Decodes and compares the output from byte `from` on; returns what came.
Decoded expect_rgb(const Bytes& file, const Bytes& expected, std::size_t from = 0) {
    Decoded d = decode(file);
    EXPECT_TRUE(d.ok) << "expected a decoded image";
    if (d.ok) {
        EXPECT_EQ(Bytes(d.rgb.begin() + static_cast<std::ptrdiff_t>(std::min(from, d.rgb.size())), d.rgb.end()),
                  expected);
    }
    return d;
}

Bytes rgb(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

// Pixels given as 0xRRGGBB, as the decoder puts them out.
Bytes colours(std::initializer_list<std::uint32_t> values) {
    Bytes out;
    for (std::uint32_t v : values)
        out.insert(out.end(), {std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
    return out;
}

// Pixel words as a file stores them: little-endian.
Bytes le16(std::initializer_list<std::uint16_t> words) {
    Bytes out;
    for (std::uint16_t w : words) {
        out.push_back(static_cast<std::uint8_t>(w));
        out.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return out;
}
Bytes le32(std::initializer_list<std::uint32_t> words) {
    Bytes out;
    for (std::uint32_t w : words) {
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(w >> shift));
    }
    return out;
}

BmpBuilder bmp(std::int32_t width, std::int32_t height, std::uint16_t bits, std::uint32_t compression = bi_rgb) {
    BmpBuilder b;
    b.width = width;
    b.height = height;
    b.bit_count = bits;
    b.compression = compression;
    return b;
}

// count entries of i * step: a ramp whose every entry is told apart.
std::vector<std::uint32_t> ramp(std::uint32_t count, std::uint32_t step) {
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < count; ++i) out.push_back(i * step);
    return out;
}

// The 3 x 2 picture used by several layout tests, bottom row stored first.
BmpBuilder three_by_two_24() {
    BmpBuilder b = bmp(3, 2, 24);
    b.pixels = padded_rows({
        {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09},  // bottom: BGR triples
        {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19},  // top
    });
    return b;
}
const Bytes three_by_two_rgb =
    rgb({0x03, 0x02, 0x01, 0x06, 0x05, 0x04, 0x09, 0x08, 0x07, 0x13, 0x12, 0x11, 0x16, 0x15, 0x14, 0x19, 0x18, 0x17});

// A builder change that must make the decoder refuse the file, and the error expected.
struct Refusal {
    const char* name;
    void (*change)(BmpBuilder&);
    DibError error;
};

void expect_refusals(const BmpBuilder& base, std::initializer_list<Refusal> cases) {
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        BmpBuilder b = base;
        c.change(b);
        EXPECT_EQ(decode_error(b.build()), c.error);
    }
}

}  // namespace

// --- layouts -------------------------------------------------------------

TEST(DibLayout, ThreeByTwo24BitFileGivesEighteenBytesBottomRowFirst) {
    Decoded d = expect_rgb(three_by_two_24().build(), three_by_two_rgb);
    EXPECT_EQ(d.width, 3);
    EXPECT_EQ(d.height, 2);
}

TEST(DibLayout, PackedInfoHeaderPixelsFollowHeaderOrTable) {
    BmpBuilder b = three_by_two_24();
    b.file_header = false;
    Bytes file = b.build();
    ASSERT_EQ(file.size(), 40u + 24u);
    expect_rgb(file, three_by_two_rgb);

    // A 24-bit file may still carry a table: 256 entries, pixels after them.
    b.clr_used = 256;
    for (std::uint32_t i = 0; i < 256; ++i) b.palette.push_back(0x00FF00FF ^ i);
    file = b.build();
    ASSERT_EQ(file.size(), 40u + 1024u + 24u);
    DibLayout layout;
    ASSERT_EQ(parse_dib_layout(file.data(), file.size(), &layout), DibError::none);
    EXPECT_EQ(layout.pixel_offset, 40u + 1024u);
    EXPECT_EQ(layout.color_count, 256);
    expect_rgb(file, three_by_two_rgb);
}

TEST(DibLayout, CoreHeaderFileWithAndWithoutFileHeader) {
    BmpBuilder b = bmp(2, 2, 8);
    b.header_size = 12;
    for (std::uint32_t i = 0; i < 256; ++i) b.palette.push_back(i * 0x010203u & 0xFFFFFF);
    b.palette[7] = 0xA1B2C3;
    b.palette[200] = 0x102030;
    b.pixels = padded_rows({{7, 200}, {200, 7}});
    for (bool file_header : {true, false}) {
        SCOPED_TRACE(file_header ? "with file header" : "packed");
        b.file_header = file_header;
        Bytes file = b.build();
        EXPECT_EQ(file.size(), (file_header ? 14u : 0u) + 12u + 768u + 8u);
        expect_rgb(file, colours({0xA1B2C3, 0x102030, 0x102030, 0xA1B2C3}));
    }
}

TEST(DibLayout, BfOffBitsPlacesThePixelsWhereverItPoints) {
    BmpBuilder b = three_by_two_24();
    b.pixels.insert(b.pixels.begin(), 100, 0x77);
    b.off_bits = 14 + 40 + 100;
    expect_rgb(b.build(), three_by_two_rgb);
}

TEST(DibLayout, CoreHeaderIsNormalisedWithFixUps) {
    BmpBuilder b = three_by_two_24();
    b.header_size = 12;
    Bytes file = b.build();
    DibLayout layout;
    ASSERT_EQ(parse_dib_layout(file.data(), file.size(), &layout), DibError::none);
    EXPECT_EQ(layout.info.size, 40u);
    EXPECT_EQ(layout.info.compression, bi_rgb);
    EXPECT_EQ(layout.info.size_image, 18u) << "unpadded rows: (24 x 3 + 7) / 8 x 2";
    EXPECT_EQ(layout.info.clr_used, 0u);
    EXPECT_EQ(layout.info.x_pels_per_meter, 0);
    EXPECT_EQ(decode(file).rgb, three_by_two_rgb);

    b.bit_count = 1;
    b.width = 40000;  // beyond a signed 16-bit width
    b.palette = {0, 0xFFFFFF};
    file = b.build();
    ASSERT_EQ(parse_dib_layout(file.data(), file.size(), &layout), DibError::none);
    EXPECT_EQ(layout.info.width, 40000) << "core widths widen without sign";
    EXPECT_EQ(layout.info.clr_used, 2u);
    EXPECT_EQ(layout.info.clr_important, 2u);
    EXPECT_EQ(layout.table_entry_size, 3u);
}

TEST(DibLayout, ColourCounts) {
    const struct {
        std::uint32_t size;
        std::uint16_t bits;
        std::uint32_t clr_used;
        int expected;
        const char* name;
    } cases[] = {
        {12, 1, 0, 2, "core 1 bit"},
        {12, 4, 0, 16, "core 4 bits"},
        {12, 8, 0, 256, "core 8 bits"},
        {12, 24, 0, 0, "core 24 bits"},
        {40, 1, 0, 2, "info 1 bit"},
        {40, 8, 0, 256, "info 8 bits"},
        {40, 16, 0, 0, "info 16 bits"},
        {40, 32, 0, 0, "info 32 bits"},
        {40, 8, 12, 12, "biClrUsed 12"},
        {40, 24, 256, 256, "24 bits with a table"},
        {40, 8, 0x10005, 5, "low 16 bits of biClrUsed"},
        {108, 4, 0, 16, "any other size reads like an info header"},
    };
    for (const auto& c : cases) {
        BmpBuilder b = bmp(1, 1, c.bits);
        b.file_header = false;
        b.header_size = c.size;
        b.clr_used = c.clr_used;
        EXPECT_EQ(count_dib_colors(b.build().data()), c.expected) << c.name;
    }
}

// --- pixel formats -------------------------------------------------------

TEST(DibFormats, OneBitMostSignificantBitFirst) {
    BmpBuilder b = bmp(10, 1, 1);
    b.palette = {0x102030, 0xF0E0D0};
    b.pixels = padded_rows({{0xA5, 0x40}});
    const std::uint32_t o = 0x102030, i = 0xF0E0D0;
    expect_rgb(b.build(), colours({i, o, i, o, o, i, o, i, o, i}));
}

TEST(DibFormats, FourBitHighNibbleFirst) {
    BmpBuilder b = bmp(3, 1, 4);
    b.palette = ramp(16, 0x111111);
    b.pixels = padded_rows({{0x2F, 0x70}});
    expect_rgb(b.build(), rgb({0x22, 0x22, 0x22, 0xFF, 0xFF, 0xFF, 0x77, 0x77, 0x77}));
}

TEST(DibFormats, EightBitUsesTheTableAndGivesBlackBeyondIt) {
    BmpBuilder b = bmp(4, 1, 8);
    b.clr_used = 2;
    b.palette = {0x123456, 0x654321};
    b.pixels = padded_rows({{1, 0, 2, 255}});
    expect_rgb(b.build(), rgb({0x65, 0x43, 0x21, 0x12, 0x34, 0x56, 0, 0, 0, 0, 0, 0}));

    SCOPED_TRACE("biClrUsed 0: all 256 entries are read");
    b.clr_used = 0;
    b.palette.assign(256, 0);
    b.palette[255] = 0xABCDEF;
    expect_rgb(b.build(), rgb({0xAB, 0xCD, 0xEF}), 9);
}

TEST(DibFormats, ATableOfMoreThan256EntriesGivesTheFirst256AndThePixelsFollowItAll) {
    // An index byte reaches entries 0-255 only; the rest are held in the file
    // but unused, and the pixels still start after the whole table.
    for (std::uint32_t count : {300u, 0xFFFFu}) {
        for (bool file_header : {true, false}) {
            SCOPED_TRACE(std::to_string(count) + (file_header ? " entries" : " entries, packed"));
            BmpBuilder b = bmp(4, 1, 8);
            b.file_header = file_header;
            b.clr_used = count;
            b.palette = ramp(256, 0x010101);
            b.palette.resize(count, 0xFF00FF);
            b.pixels = padded_rows({{0, 1, 128, 255}});
            expect_rgb(b.build(), colours({0x000000, 0x010101, 0x808080, 0xFFFFFF}));
        }
    }
}

TEST(DibFormats, SixteenBit555WidensByBitReplication) {
    BmpBuilder b = bmp(3, 1, 16);
    // White; 16/1/0 with the top bit set, which is ignored; blue.
    b.pixels = padded_rows({le16({0x7FFF, 0x8000 | (16 << 10) | (1 << 5), 0x001F})});
    expect_rgb(b.build(), rgb({255, 255, 255, 132, 8, 0, 0, 0, 255}));
}

TEST(DibFormats, ThirtyTwoBitIgnoresTheFourthByte) {
    BmpBuilder b = bmp(2, 1, 32);
    b.pixels = {0x01, 0x02, 0x03, 0xFF, 0x04, 0x05, 0x06, 0x00};
    expect_rgb(b.build(), rgb({3, 2, 1, 6, 5, 4}));
}

TEST(DibFormats, BitfieldsAtSixteenAndThirtyTwoBits) {
    const struct {
        const char* name;
        std::uint16_t bits;
        std::vector<std::uint32_t> masks;
        Bytes pixels;
        std::size_t from;
        Bytes expected;
        // clang-format off
    } cases[] = {
        {"16-bit 5-6-5", 16, {0xF800, 0x07E0, 0x001F},
         padded_rows({le16({0xFFFF, (1 << 11) | (32 << 5) | 2})}), 0, rgb({255, 255, 255, 8, 130, 16})},
        {"masks in any order: blue high, red low", 16, {0x001F, 0x07E0, 0xF800},
         padded_rows({le16({0xFFFF, (1 << 11) | (32 << 5) | 2})}), 3, rgb({16, 130, 8})},
        {"32-bit 8-bit fields as stored", 32, {0x00FF0000, 0x0000FF00, 0x000000FF},
         {0x11, 0x22, 0x33, 0x44, 0xFF, 0x00, 0x80, 0x00}, 0, rgb({0x33, 0x22, 0x11, 0x80, 0x00, 0xFF})},
        {"32-bit 10-bit fields keep their top 8 bits", 32, {0x3FF00000, 0x000FFC00, 0x000003FF},
         le32({(1023u << 20) | (512u << 10) | 3u, 0}), 0, rgb({255, 128, 0, 0, 0, 0})},
        {"a mask with a hole (red: bits 8 and 10) still spans full scale; (4 x 255 + 2) / 5", 32,
         {0x00000500, 0x000000F0, 0x0000000F}, {0x00, 0x05, 0, 0, 0x00, 0x04, 0, 0}, 0,
         rgb({255, 0, 0, 204, 0, 0})},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BmpBuilder b = bmp(2, 1, c.bits, bi_bitfields);
        b.masks = c.masks;
        b.pixels = c.pixels;
        expect_rgb(b.build(), c.expected, c.from);
    }
}

TEST(DibFormats, BitfieldsWithTableAfterTheMasks) {
    BmpBuilder b = bmp(1, 1, 16, bi_bitfields);
    b.file_header = false;
    b.masks = {0x7C00, 0x03E0, 0x001F};
    b.clr_used = 3;
    b.palette = {1, 2, 3};
    b.pixels = {0x00, 0x7C, 0, 0};
    Bytes file = b.build();
    DibLayout layout;
    ASSERT_EQ(parse_dib_layout(file.data(), file.size(), &layout), DibError::none);
    EXPECT_EQ(layout.table_offset, 52u);
    EXPECT_EQ(layout.pixel_offset, 64u);
    expect_rgb(file, rgb({255, 0, 0}));
}

TEST(DibFormats, BadBitfieldsAreRefused) {
    BmpBuilder b = bmp(1, 1, 16, bi_bitfields);
    b.pixels = {0, 0, 0, 0};
    const DibError refused = DibError::conversion_error;
    // clang-format off
    expect_refusals(b, {
        {"a zero mask", [](BmpBuilder& f) { f.masks = {0xF800, 0x07E0, 0}; }, refused},
        {"red and green overlap", [](BmpBuilder& f) { f.masks = {0xFC00, 0x07E0, 0x001F}; }, refused},
        {"beyond 16 bits", [](BmpBuilder& f) { f.masks = {0xF8000, 0x07E0, 0x001F}; }, refused},
        {"bitfields at 24 bits", [](BmpBuilder& f) { f.masks = {0xF800, 0x07E0, 0x001F}; f.bit_count = 24; }, refused},
        {"masks missing at the end of the file", [](BmpBuilder& f) { f.pixels.clear(); }, refused},
    });
    // clang-format on
}

TEST(DibFormats, TopDownFilesComeOutBottomUpWithPositiveHeight) {
    BmpBuilder b = three_by_two_24();
    b.height = -2;
    std::swap_ranges(b.pixels.begin(), b.pixels.begin() + 12, b.pixels.begin() + 12);  // top row stored first
    EXPECT_EQ(expect_rgb(b.build(), three_by_two_rgb).height, 2);
}

TEST(DibFormats, Rle8RunsLiteralsDeltasAndSkippedPixels) {
    BmpBuilder b = bmp(5, 3, 8, bi_rle8);
    b.clr_used = 4;
    b.palette = {0x000001, 0x0000AA, 0x00BB00, 0xCC0000};
    b.pixels = {
        3, 1, 0, 3, 2, 3, 1, 0,  // row 0: run of three 1s, literal (2 3 1) padded; past the end: clipped
        0, 0,                    // end of line
        0, 2, 1, 1,              // delta: right 1, up 1 -> row 2, x 1
        2, 3,                    // row 2: x 1..2 = colour 3
        0, 1,                    // end of bitmap
    };
    const std::uint32_t c1 = 0x0000AA, c2 = 0x00BB00, c3 = 0xCC0000;
    expect_rgb(b.build(), colours({c1, c1, c1, c2, c3,  // row 0
                                   0, 0, 0, 0, 0,       // row 1: skipped
                                   0, c3, c3, 0, 0}));  // row 2
}

TEST(DibFormats, Rle4AlternatesNibbles) {
    BmpBuilder b = bmp(7, 1, 4, bi_rle4);
    b.palette = ramp(16, 0x010101);
    b.pixels = {3, 0x12, 0, 3, 0x45, 0x60, 0, 1};  // run 1 2 1, literal 4 5 6 (2 bytes, even already)
    expect_rgb(b.build(), rgb({1, 1, 1, 2, 2, 2, 1, 1, 1, 4, 4, 4, 5, 5, 5, 6, 6, 6, 0, 0, 0}));

    SCOPED_TRACE("an odd literal byte count is padded to a word: 0 5 (a b c d e) 0 -> next command at +6");
    b.width = 6;
    b.pixels = {0, 5, 0xAB, 0xCD, 0xE0, 0x00, 1, 0xFF, 0, 1};
    expect_rgb(b.build(), rgb({14, 14, 14, 15, 15, 15}), 12);
}

TEST(DibFormats, RleRunsAndLiteralsPastTheRowEndAreClipped) {
    // Whatever passes the row's end is dropped, never carried into the next
    // row or past the picture; the next row starts at the stream's end of line.
    const std::uint32_t g = 0x111111;  // colour entry i is i x g
    BmpBuilder b = bmp(4, 3, 8, bi_rle8);
    b.clr_used = 16;
    b.palette = ramp(16, g);
    b.pixels = {
        6, 1, 2, 3, 0, 0,                          // row 0: six 1s kept to four, then two 3s all past the end
        0, 2, 2, 0, 0, 5, 4, 5, 6, 7, 8, 0, 0, 0,  // row 1: to x 2, literal 4 5 | 6 7 8 (padded)
        0, 2, 3, 0, 5, 9, 0, 1,                    // row 2, the last: to x 3, five 9s kept to one
    };
    expect_rgb(b.build(), colours({g, g, g, g,          // row 0
                                   0, 0, 4 * g, 5 * g,  // row 1
                                   0, 0, 0, 9 * g}));   // row 2

    SCOPED_TRACE("RLE4");
    b = bmp(5, 3, 4, bi_rle4);
    b.palette = ramp(16, g);
    // clang-format off
    b.pixels = {
        7, 0x12, 0, 0,                                 // row 0: 1 2 1 2 1 | 2 1
        0, 2, 1, 0, 0, 6, 0x34, 0x56, 0x78, 0, 0, 0,   // row 1: to x 1, literal 3 4 5 6 | 7 8 (three bytes, padded)
        0, 2, 2, 0, 5, 0xAB, 0, 1,                     // row 2, the last: to x 2, A B A | B A
    };
    // clang-format on
    expect_rgb(b.build(), colours({g, 2 * g, g, 2 * g, g,            // row 0
                                   0, 3 * g, 4 * g, 5 * g, 6 * g,    // row 1
                                   0, 0, 10 * g, 11 * g, 10 * g}));  // row 2
}

TEST(DibFormats, RleThatLiesIsRefused) {
    BmpBuilder b = bmp(4, 2, 8, bi_rle8);
    b.palette.assign(256, 0x808080);
    const struct {
        const char* name;
        Bytes stream;
        std::int32_t height;
        std::uint16_t bits;
        bool ok;
    } cases[] = {
        {"no end-of-bitmap: the end of the last row ends the picture", {4, 1, 0, 0, 4, 1, 0, 0}, 2, 8, true},
        {"the data stops inside the picture", {4, 1, 0, 0, 4, 1}, 2, 8, false},
        {"cut inside a command", {4, 1, 0, 0, 4}, 2, 8, false},
        {"literal longer than the data", {0, 6, 1, 2, 3}, 2, 8, false},
        {"delta cut short", {0, 2, 1}, 2, 8, false},
        {"delta out of the picture ends it", {0, 2, 255, 255, 9, 9}, 2, 8, true},
        {"top-down RLE", {0, 1}, -2, 8, false},
        {"RLE8 at 4 bits", {0, 1}, 2, 4, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        b.pixels = c.stream;
        b.height = c.height;
        b.bit_count = c.bits;
        if (c.ok) {
            EXPECT_TRUE(decode(b.build()).ok);
        } else {
            EXPECT_EQ(decode_error(b.build()), DibError::conversion_error);
        }
    }
}

TEST(DibFormats, UnsupportedFormatsAreConversionErrors) {
    const DibError refused = DibError::conversion_error;
    // clang-format off
    expect_refusals(three_by_two_24(), {
        {"BI_JPEG", [](BmpBuilder& f) { f.compression = 4; }, refused},
        {"compression 6", [](BmpBuilder& f) { f.compression = 6; }, refused},
        {"two planes", [](BmpBuilder& f) { f.planes = 2; }, refused},
    });
    // clang-format on
    for (std::uint16_t bits : {0, 2, 15, 48, 64}) {
        BmpBuilder b = three_by_two_24();
        b.bit_count = bits;
        b.pixels.assign(1024, 0);
        EXPECT_EQ(decode_error(b.build()), refused) << bits << " bits";
    }
}

TEST(DibFormats, LaterHeaderVersionsAreUnknown) {
    for (std::uint32_t size : {16u, 64u, 108u, 124u, 0u, 0xFFFFFFFFu}) {
        for (bool file_header : {true, false}) {
            BmpBuilder b = three_by_two_24();
            b.header_size = size == 0xFFFFFFFFu ? 40 : size;
            b.file_header = file_header;
            Bytes file = b.build();
            if (size == 0xFFFFFFFFu) std::memset(file.data() + (file_header ? 14 : 0), 0xFF, 4);
            EXPECT_EQ(decode_error(file), DibError::unknown_format)
                << (file_header ? "" : "packed, ") << "header size " << size;
        }
    }
}

// --- files that lie ------------------------------------------------------

TEST(DibHardening, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
    std::vector<Bytes> files;
    files.push_back(three_by_two_24().build());
    BmpBuilder pal = three_by_two_24();
    pal.bit_count = 8;
    pal.palette.assign(256, 0x112233);
    pal.pixels = padded_rows({{1, 2, 3}, {4, 5, 6}});
    files.push_back(pal.build());
    pal.header_size = 12;
    pal.file_header = false;
    files.push_back(pal.build());
    BmpBuilder bf = bmp(3, 2, 32, bi_bitfields);
    bf.masks = {0xFF0000, 0xFF00, 0xFF};
    bf.pixels.assign(24, 9);
    files.push_back(bf.build());
    for (std::size_t f = 0; f < files.size(); ++f) {
        ASSERT_TRUE(decode(files[f]).ok) << "file " << f << " whole";
        for (std::size_t cut = 0; cut < files[f].size(); ++cut) {
            Decoded d = decode(Bytes(files[f].begin(), files[f].begin() + static_cast<std::ptrdiff_t>(cut)));
            EXPECT_FALSE(d.ok) << "file " << f << " cut to " << cut << " bytes";
            EXPECT_NE(d.error, DibError::none);
        }
    }
}

TEST(DibHardening, DeclaredSizesBeyondTheFileAreRefused) {
    const DibError refused = DibError::conversion_error;
    // clang-format off
    expect_refusals(three_by_two_24(), {
        {"bfOffBits past the end", [](BmpBuilder& f) { f.off_bits = 0xFFFFFFFF; }, refused},
        {"bfOffBits one byte short of the rows", [](BmpBuilder& f) { f.off_bits = 14 + 40 + 1; }, refused},
        {"a table far longer than the file",
         [](BmpBuilder& f) { f.bit_count = 8; f.clr_used = 0xFFFF; f.palette.assign(4, 0); }, refused},
        {"one row more than stored", [](BmpBuilder& f) { f.height = 3; }, refused},
    });
    // clang-format on
}

TEST(DibHardening, AbsurdOrEmptyDimensionsAreRefused) {
    const struct {
        std::int32_t width, height;
        std::uint16_t bits;
        std::uint32_t compression;
    } cases[] = {
        {0, 2, 24, bi_rgb},
        {3, 0, 24, bi_rgb},
        {-3, 2, 24, bi_rgb},
        {3, INT32_MIN, 24, bi_rgb},
        {INT32_MAX, INT32_MAX, 24, bi_rgb},  // 3 x w x h wraps 32 and nearly 64 bits
        {INT32_MAX, 1, 32, bi_rgb},          // stride overflows 32 bits
        {65536, 65536, 1, bi_rgb},           // w x h wraps 32 bits
        {30000, 30000, 8, bi_rle8},          // tiny stream, 2.7 GB picture
        {3000000, -2000000, 24, bi_rgb},
    };
    for (const auto& c : cases) {
        BmpBuilder b = bmp(c.width, c.height, c.bits, c.compression);
        if (c.bits <= 8) b.palette.assign(c.bits == 1 ? 2 : 256, 0);
        b.pixels = {0, 1, 0, 0, 0, 0, 0, 0};
        auto start = std::chrono::steady_clock::now();
        // No surface of that size can be made: "Out of memory.", as on Windows.
        EXPECT_EQ(decode_error(b.build()), DibError::out_of_memory) << c.width << " x " << c.height;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100))
            << "refused before any large allocation";
    }
}

TEST(DibHardening, HeadersThatRunPastTheEnd) {
    Bytes file = three_by_two_24().build();
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"one byte", {'B'}},
        {"signature only", {'B', 'M', 0, 0}},
        {"info header one byte short", Bytes(file.begin(), file.begin() + 14 + 39)},
        {"packed info header cut at 20 bytes", Bytes(file.begin() + 14, file.begin() + 14 + 20)},
    };
    for (const auto& c : cases) EXPECT_EQ(decode_error(c.bytes), DibError::conversion_error) << c.name;
    EXPECT_EQ(decode_dib_image(nullptr, 100, nullptr), nullptr) << "no bytes, no error slot";
}

TEST(DibHardening, RandomMutationsNeverCrash) {
    // A quick in-suite stand-in for the fuzzer: flips bytes of valid files.
    BmpBuilder rle = bmp(8, 4, 8, bi_rle8);
    rle.palette.assign(256, 0x445566);
    rle.pixels = {4, 1, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 8, 7, 0, 1};
    std::vector<Bytes> seeds = {three_by_two_24().build(), rle.build()};
    std::mt19937 random(1234);
    for (int i = 0; i < 4000; ++i) {
        Bytes file = seeds[i % seeds.size()];
        int flips = 1 + static_cast<int>(random() % 4);
        for (int k = 0; k < flips; ++k) file[random() % file.size()] = static_cast<std::uint8_t>(random());
        Decoded d = decode(file);
        if (d.ok) {
            EXPECT_GT(d.width, 0);
            EXPECT_GT(d.height, 0);
        } else {
            EXPECT_NE(d.error, DibError::none);
        }
    }
}

TEST(DibPerformance, Large24BitFileDecodesWellUnderASecond) {
    BmpBuilder b = bmp(4096, 4096, 24);
    b.pixels.assign(4096u * 4096u * 3u, 0x5A);
    Bytes file = b.build();
    // Best of three, so that a busy machine does not decide the result.
    auto best = std::chrono::steady_clock::duration::max();
    for (int run = 0; run < 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        DibError error;
        RgbImage* image = decode_dib_image(file.data(), file.size(), &error);
        auto elapsed = std::chrono::steady_clock::now() - start;
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->pixels[3 * 4096 * 4096 - 1], 0x5A);
        free_rgb_image(image);
        if (elapsed < best) best = elapsed;
    }
    EXPECT_LT(best, std::chrono::seconds(1));
}

// --- the file layer and its boxes -----------------------------------------

namespace {

class DibLoad : public ::testing::Test {
protected:
    void SetUp() override {
        script::reset();
        show_errors = 1;
        directory_ = std::filesystem::temp_directory_path() / ("duplexa_dib_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override {
        show_errors = 1;
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    std::string write(const std::string& name, const Bytes& bytes) {
        std::string path = (directory_ / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    // Loads path expecting a refusal with exactly one box of this text; clears the boxes after.
    void expect_refused_with_box(const std::string& path, const std::string& text) {
        SCOPED_TRACE(path);
        EXPECT_EQ(load_dib_image(path.c_str()), nullptr);
        ASSERT_EQ(script::boxes().size(), 1u) << "one box per failing call";
        EXPECT_EQ(script::boxes()[0].text, text);
        EXPECT_EQ(script::boxes()[0].caption, "Error");
        EXPECT_EQ(script::boxes()[0].style, static_cast<unsigned>(MB_OK));
        script::reset();
    }
    std::filesystem::path directory_;
};

}  // namespace

TEST_F(DibLoad, ReadsAFile) {
    RgbImage* image = load_dib_image(write("ok.bmp", three_by_two_24().build()).c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 3);
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(Bytes(image->pixels, image->pixels + 18), three_by_two_rgb);
    free_rgb_image(image);
    EXPECT_TRUE(script::boxes().empty());
}

TEST_F(DibLoad, MissingEmptyOrDirectoryGivesTheOpenFailureBox) {
    for (const std::string& path :
         {(directory_ / "no such file.bmp").string(), write("empty.bmp", {}), directory_.string()})
        expect_refused_with_box(path, "Failed to open DIB file " + path + ".\n");
}

TEST_F(DibLoad, LongPathIsShortenedToFitTheBuffer) {
    std::string path = "/nonexistent/" + std::string(300, 'x') + ".bmp";
    EXPECT_EQ(load_dib_image(path.c_str()), nullptr);
    ASSERT_EQ(script::boxes().size(), 1u);
    const std::string& text = script::boxes()[0].text;
    EXPECT_LE(text.size(), 255u);
    EXPECT_EQ(text.rfind("Failed to open DIB file /nonexistent/xxx", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 3), "x.\n") << "cut inside the path, the ending kept";

    // A cut never splits a UTF-8 character.
    script::reset();
    std::string wide = "/nonexistent/x";           // puts the cut inside a character
    while (wide.size() < 400) wide += "\xC5\xBE";  // ž
    EXPECT_EQ(load_dib_image(wide.c_str()), nullptr);
    ASSERT_EQ(script::boxes().size(), 1u);
    const std::string& cut = script::boxes()[0].text;
    EXPECT_EQ(cut.substr(cut.size() - 4), "\xC5\xBE.\n");
}

TEST_F(DibLoad, EachDecodeFailureGivesItsBox) {
    BmpBuilder unknown = three_by_two_24();
    unknown.header_size = 108;
    expect_refused_with_box(write("v4.bmp", unknown.build()), "Unknown DIB file format.");
    BmpBuilder png = three_by_two_24();
    png.compression = 5;
    expect_refused_with_box(write("png.bmp", png.build()), "Image file conversion error.");
    Bytes cut = three_by_two_24().build();
    cut.pop_back();
    expect_refused_with_box(write("cut.bmp", cut), "Image file conversion error.");
}

TEST_F(DibLoad, ShowErrorsOffKeepsResultsAndShowsNothing) {
    show_errors = 0;
    BmpBuilder unknown = three_by_two_24();
    unknown.header_size = 124;
    Bytes cut = three_by_two_24().build();
    cut.resize(30);
    EXPECT_EQ(load_dib_image((directory_ / "missing.bmp").string().c_str()), nullptr);
    EXPECT_EQ(load_dib_image(write("v5.bmp", unknown.build()).c_str()), nullptr);
    EXPECT_EQ(load_dib_image(write("cut.bmp", cut).c_str()), nullptr);
    RgbImage* image = load_dib_image(write("ok.bmp", three_by_two_24().build()).c_str());
    EXPECT_NE(image, nullptr);
    free_rgb_image(image);
    EXPECT_TRUE(script::boxes().empty());
}
