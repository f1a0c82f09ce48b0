// The DIB loader against hand-made files: layouts, every pixel format,
// hardening against files that lie, and the boxes of load_dib_image.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/dib_format.h"
#include "image/dib_loader.h"
#include "platform/script/script_platform.h"
#include "tests/unit/dib_builder.h"

namespace {

typedef std::vector<std::uint8_t> Bytes;

struct Decoded {
    bool ok = false;
    DibError error = DibError::none;
    std::int32_t width = 0, height = 0;
    Bytes rgb;
};

// Decodes from a heap block of exactly the file's size, so that a sanitizer
// build catches any read past the end.
Decoded decode(const Bytes& file) {
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

DibError decode_error(const Bytes& file) {
    Decoded d = decode(file);
    EXPECT_FALSE(d.ok) << "expected a refusal";
    return d.error;
}

Bytes rgb(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

// The 3 x 2 picture used by several layout tests, bottom row stored first.
BmpBuilder three_by_two_24() {
    BmpBuilder b;
    b.width = 3;
    b.height = 2;
    b.bit_count = 24;
    b.pixels = padded_rows({
        {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09},  // bottom: BGR triples
        {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19},  // top
    });
    return b;
}
const Bytes three_by_two_rgb = rgb({0x03, 0x02, 0x01, 0x06, 0x05, 0x04, 0x09, 0x08, 0x07,
                                    0x13, 0x12, 0x11, 0x16, 0x15, 0x14, 0x19, 0x18, 0x17});

}  // namespace

// --- layouts -------------------------------------------------------------

TEST(DibLayout, ThreeByTwo24BitFileGivesEighteenBytesBottomRowFirst) {
    Decoded d = decode(three_by_two_24().build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, 3);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.rgb, three_by_two_rgb);
}

TEST(DibLayout, PackedInfoHeaderPixelsFollowHeaderOrTable) {
    BmpBuilder b = three_by_two_24();
    b.file_header = false;
    Bytes file = b.build();
    ASSERT_EQ(file.size(), 40u + 24u);
    Decoded d = decode(file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, three_by_two_rgb);

    // A 24-bit file may still carry a table: 256 entries, pixels after them.
    b.clr_used = 256;
    for (std::uint32_t i = 0; i < 256; ++i) b.palette.push_back(0x00FF00FF ^ i);
    file = b.build();
    ASSERT_EQ(file.size(), 40u + 1024u + 24u);
    DibLayout layout;
    ASSERT_EQ(parse_dib_layout(file.data(), file.size(), &layout), DibError::none);
    EXPECT_EQ(layout.pixel_offset, 40u + 1024u);
    EXPECT_EQ(layout.color_count, 256);
    d = decode(file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, three_by_two_rgb);
}

TEST(DibLayout, CoreHeaderFileWithAndWithoutFileHeader) {
    BmpBuilder b;
    b.header_size = 12;
    b.width = 2;
    b.height = 2;
    b.bit_count = 8;
    for (std::uint32_t i = 0; i < 256; ++i) b.palette.push_back(i * 0x010203u & 0xFFFFFF);
    b.palette[7] = 0xA1B2C3;
    b.palette[200] = 0x102030;
    b.pixels = padded_rows({{7, 200}, {200, 7}});
    for (bool file_header : {true, false}) {
        b.file_header = file_header;
        Bytes file = b.build();
        EXPECT_EQ(file.size(), (file_header ? 14u : 0u) + 12u + 768u + 8u);
        Decoded d = decode(file);
        ASSERT_TRUE(d.ok) << "file header " << file_header;
        EXPECT_EQ(d.rgb, rgb({0xA1, 0xB2, 0xC3, 0x10, 0x20, 0x30, 0x10, 0x20, 0x30, 0xA1, 0xB2, 0xC3}));
    }
}

TEST(DibLayout, BfOffBitsPlacesThePixelsWhereverItPoints) {
    BmpBuilder b = three_by_two_24();
    Bytes gap(100, 0x77);
    b.pixels.insert(b.pixels.begin(), gap.begin(), gap.end());
    b.off_bits = 14 + 40 + 100;
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, three_by_two_rgb);
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
    auto header = [](std::uint32_t size, std::uint16_t bits, std::uint32_t clr_used) {
        BmpBuilder b;
        b.file_header = false;
        b.header_size = size;
        b.bit_count = bits;
        b.clr_used = clr_used;
        return b.build();
    };
    EXPECT_EQ(count_dib_colors(header(12, 1, 0).data()), 2);
    EXPECT_EQ(count_dib_colors(header(12, 4, 0).data()), 16);
    EXPECT_EQ(count_dib_colors(header(12, 8, 0).data()), 256);
    EXPECT_EQ(count_dib_colors(header(12, 24, 0).data()), 0);
    EXPECT_EQ(count_dib_colors(header(40, 1, 0).data()), 2);
    EXPECT_EQ(count_dib_colors(header(40, 8, 0).data()), 256);
    EXPECT_EQ(count_dib_colors(header(40, 16, 0).data()), 0);
    EXPECT_EQ(count_dib_colors(header(40, 32, 0).data()), 0);
    EXPECT_EQ(count_dib_colors(header(40, 8, 12).data()), 12);
    EXPECT_EQ(count_dib_colors(header(40, 24, 256).data()), 256);
    EXPECT_EQ(count_dib_colors(header(40, 8, 0x10005).data()), 5) << "low 16 bits of biClrUsed";
    EXPECT_EQ(count_dib_colors(header(108, 4, 0).data()), 16) << "any other size reads like an info header";
}

// --- pixel formats -------------------------------------------------------

TEST(DibFormats, OneBitMostSignificantBitFirst) {
    BmpBuilder b;
    b.width = 10;
    b.height = 1;
    b.bit_count = 1;
    b.palette = {0x102030, 0xF0E0D0};
    b.pixels = padded_rows({{0xA5, 0x40}});  // 1010 0101 01
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok);
    const int bits[10] = {1, 0, 1, 0, 0, 1, 0, 1, 0, 1};
    for (int x = 0; x < 10; ++x) {
        Bytes expected = bits[x] ? rgb({0xF0, 0xE0, 0xD0}) : rgb({0x10, 0x20, 0x30});
        EXPECT_EQ(Bytes(d.rgb.begin() + 3 * x, d.rgb.begin() + 3 * x + 3), expected) << "pixel " << x;
    }
}

TEST(DibFormats, FourBitHighNibbleFirst) {
    BmpBuilder b;
    b.width = 3;
    b.height = 1;
    b.bit_count = 4;
    for (std::uint32_t i = 0; i < 16; ++i) b.palette.push_back(i * 0x111111);
    b.pixels = padded_rows({{0x2F, 0x70}});
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, rgb({0x22, 0x22, 0x22, 0xFF, 0xFF, 0xFF, 0x77, 0x77, 0x77}));
}

TEST(DibFormats, EightBitUsesTheTableAndGivesBlackBeyondIt) {
    BmpBuilder b;
    b.width = 4;
    b.height = 1;
    b.bit_count = 8;
    b.clr_used = 2;
    b.palette = {0x123456, 0x654321};
    b.pixels = padded_rows({{1, 0, 2, 255}});
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, rgb({0x65, 0x43, 0x21, 0x12, 0x34, 0x56, 0, 0, 0, 0, 0, 0}));

    // biClrUsed 0: all 256 entries are read.
    b.clr_used = 0;
    b.palette.assign(256, 0);
    b.palette[255] = 0xABCDEF;
    d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(Bytes(d.rgb.begin() + 9, d.rgb.end()), rgb({0xAB, 0xCD, 0xEF}));
}

TEST(DibFormats, SixteenBit555WidensByBitReplication) {
    BmpBuilder b;
    b.width = 3;
    b.height = 1;
    b.bit_count = 16;
    // 0x7FFF white; 0x8000|(16<<10)|(1<<5)|0: the top bit is ignored; 0x001F blue.
    std::uint16_t p[3] = {0x7FFF, static_cast<std::uint16_t>(0x8000 | (16 << 10) | (1 << 5)), 0x001F};
    b.pixels = padded_rows({{static_cast<std::uint8_t>(p[0]), static_cast<std::uint8_t>(p[0] >> 8),
                             static_cast<std::uint8_t>(p[1]), static_cast<std::uint8_t>(p[1] >> 8),
                             static_cast<std::uint8_t>(p[2]), static_cast<std::uint8_t>(p[2] >> 8)}});
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, rgb({255, 255, 255, 132, 8, 0, 0, 0, 255}));
}

TEST(DibFormats, ThirtyTwoBitIgnoresTheFourthByte) {
    BmpBuilder b;
    b.width = 2;
    b.height = 1;
    b.bit_count = 32;
    b.pixels = {0x01, 0x02, 0x03, 0xFF, 0x04, 0x05, 0x06, 0x00};
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, rgb({3, 2, 1, 6, 5, 4}));
}

TEST(DibFormats, BitfieldsAtSixteenAndThirtyTwoBits) {
    BmpBuilder b;
    b.width = 2;
    b.height = 1;
    b.bit_count = 16;
    b.compression = bi_bitfields;
    b.masks = {0xF800, 0x07E0, 0x001F};  // 5-6-5
    std::uint16_t p0 = 0xFFFF, p1 = (1 << 11) | (32 << 5) | 2;
    b.pixels = padded_rows({{static_cast<std::uint8_t>(p0), static_cast<std::uint8_t>(p0 >> 8),
                             static_cast<std::uint8_t>(p1), static_cast<std::uint8_t>(p1 >> 8)}});
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, rgb({255, 255, 255, 8, 130, 16}));

    // The masks can come in any order: here blue high, red low.
    b.masks = {0x001F, 0x07E0, 0xF800};
    d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(Bytes(d.rgb.begin() + 3, d.rgb.end()), rgb({16, 130, 8}));

    // 32 bits: 8-bit fields as stored, 10-bit fields keep their top 8 bits.
    b.bit_count = 32;
    b.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    b.pixels = {0x11, 0x22, 0x33, 0x44, 0xFF, 0x00, 0x80, 0x00};
    d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, rgb({0x33, 0x22, 0x11, 0x80, 0x00, 0xFF}));
    b.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    std::uint32_t q = (1023u << 20) | (512u << 10) | 3u;
    b.pixels = {static_cast<std::uint8_t>(q), static_cast<std::uint8_t>(q >> 8), static_cast<std::uint8_t>(q >> 16),
                static_cast<std::uint8_t>(q >> 24), 0, 0, 0, 0};
    d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, rgb({255, 128, 0, 0, 0, 0}));

    // A mask with a hole still spans full scale.
    b.masks = {0x00000500, 0x000000F0, 0x0000000F};  // red: bits 8 and 10
    b.pixels = {0x00, 0x05, 0, 0, 0x00, 0x04, 0, 0};
    d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb[0], 255);
    EXPECT_EQ(d.rgb[3], 204) << "(4 x 255 + 2) / 5";
}

TEST(DibFormats, BitfieldsWithTableAfterTheMasks) {
    BmpBuilder b;
    b.file_header = false;
    b.width = 1;
    b.height = 1;
    b.bit_count = 16;
    b.compression = bi_bitfields;
    b.masks = {0x7C00, 0x03E0, 0x001F};
    b.clr_used = 3;
    b.palette = {1, 2, 3};
    b.pixels = {0x00, 0x7C, 0, 0};
    Bytes file = b.build();
    DibLayout layout;
    ASSERT_EQ(parse_dib_layout(file.data(), file.size(), &layout), DibError::none);
    EXPECT_EQ(layout.table_offset, 52u);
    EXPECT_EQ(layout.pixel_offset, 64u);
    Decoded d = decode(file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, rgb({255, 0, 0}));
}

TEST(DibFormats, BadBitfieldsAreRefused) {
    BmpBuilder b;
    b.width = 1;
    b.height = 1;
    b.bit_count = 16;
    b.compression = bi_bitfields;
    b.pixels = {0, 0, 0, 0};
    const std::vector<std::uint32_t> bad[] = {
        {0xF800, 0x07E0, 0},           // a zero mask
        {0xFC00, 0x07E0, 0x001F},      // red and green overlap
        {0xF8000, 0x07E0, 0x001F},     // beyond 16 bits
    };
    for (const auto& masks : bad) {
        b.masks = masks;
        EXPECT_EQ(decode_error(b.build()), DibError::conversion_error) << std::hex << masks[0] << " " << masks[1];
    }
    b.masks = {0xF800, 0x07E0, 0x001F};
    b.bit_count = 24;
    b.pixels.assign(4, 0);
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error) << "bitfields at 24 bits";
    b.bit_count = 16;
    b.masks.clear();
    b.pixels.clear();
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error) << "masks missing at the end of the file";
}

TEST(DibFormats, TopDownFilesComeOutBottomUpWithPositiveHeight) {
    BmpBuilder b = three_by_two_24();
    b.height = -2;
    std::swap_ranges(b.pixels.begin(), b.pixels.begin() + 12, b.pixels.begin() + 12);  // top row stored first
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.rgb, three_by_two_rgb);
}

TEST(DibFormats, Rle8RunsLiteralsDeltasAndSkippedPixels) {
    BmpBuilder b;
    b.width = 5;
    b.height = 3;
    b.bit_count = 8;
    b.compression = bi_rle8;
    b.clr_used = 4;
    b.palette = {0x000001, 0x0000AA, 0x00BB00, 0xCC0000};
    b.pixels = {
        3, 1, 0, 3, 2, 3, 1, 0,  // row 0: run of three 1s, literal (2 3 1) padded; past the end: clipped
        0, 0,                    // end of line
        0, 2, 1, 1,              // delta: right 1, up 1 -> row 2, x 1
        2, 3,                    // row 2: x 1..2 = colour 3
        0, 1,                    // end of bitmap
    };
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok);
    const Bytes c1 = rgb({0, 0, 0xAA}), c2 = rgb({0, 0xBB, 0}), c3 = rgb({0xCC, 0, 0}), black = rgb({0, 0, 0});
    Bytes expected;
    for (const Bytes* p : {&c1, &c1, &c1, &c2, &c3,                  // row 0
                           &black, &black, &black, &black, &black,   // row 1: skipped
                           &black, &c3, &c3, &black, &black})        // row 2
        expected.insert(expected.end(), p->begin(), p->end());
    EXPECT_EQ(d.rgb, expected);
}

TEST(DibFormats, Rle4AlternatesNibbles) {
    BmpBuilder b;
    b.width = 7;
    b.height = 1;
    b.bit_count = 4;
    b.compression = bi_rle4;
    for (std::uint32_t i = 0; i < 16; ++i) b.palette.push_back(i * 0x010101);
    b.pixels = {3, 0x12, 0, 3, 0x45, 0x60, 0, 1};  // run 1 2 1, literal 4 5 6 (2 bytes, even already)
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rgb, rgb({1, 1, 1, 2, 2, 2, 1, 1, 1, 4, 4, 4, 5, 5, 5, 6, 6, 6, 0, 0, 0}));

    // An odd literal byte count is padded to a word: 0 5 (a b c d e) 0 -> next command at +6.
    b.width = 6;
    b.pixels = {0, 5, 0xAB, 0xCD, 0xE0, 0x00, 1, 0xFF, 0, 1};
    d = decode(b.build());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(Bytes(d.rgb.begin() + 12, d.rgb.end()), rgb({14, 14, 14, 15, 15, 15}));
}

TEST(DibFormats, RleThatLiesIsRefused) {
    BmpBuilder b;
    b.width = 4;
    b.height = 2;
    b.bit_count = 8;
    b.compression = bi_rle8;
    b.palette.assign(256, 0x808080);
    b.pixels = {4, 1, 0, 0, 4, 1, 0, 0};  // no end-of-bitmap: the end of the last row ends the picture
    EXPECT_TRUE(decode(b.build()).ok);
    b.pixels = {4, 1, 0, 0, 4, 1};  // the data stops inside the picture
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error);
    b.pixels = {4, 1, 0, 0, 4};  // cut inside a command
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error);
    b.pixels = {0, 6, 1, 2, 3};  // literal longer than the data
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error);
    b.pixels = {0, 2, 1};  // delta cut short
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error);
    b.pixels = {0, 2, 255, 255, 9, 9};  // delta out of the picture ends it
    EXPECT_TRUE(decode(b.build()).ok);
    b.pixels = {0, 1};
    b.height = -2;
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error) << "top-down RLE";
    b.height = 2;
    b.bit_count = 4;
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error) << "RLE8 at 4 bits";
}

TEST(DibFormats, UnsupportedFormatsAreConversionErrors) {
    BmpBuilder b = three_by_two_24();
    b.compression = 4;  // BI_JPEG
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error);
    b.compression = 6;
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error);
    b.compression = bi_rgb;
    for (std::uint16_t bits : {0, 2, 15, 48, 64}) {
        b.bit_count = bits;
        b.pixels.assign(1024, 0);
        EXPECT_EQ(decode_error(b.build()), DibError::conversion_error) << bits << " bits";
    }
    b = three_by_two_24();
    b.planes = 2;
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error) << "two planes";
}

TEST(DibFormats, LaterHeaderVersionsAreUnknown) {
    for (std::uint32_t size : {16u, 64u, 108u, 124u, 0u, 0xFFFFFFFFu}) {
        BmpBuilder b = three_by_two_24();
        b.header_size = size == 0xFFFFFFFFu ? 40 : size;
        Bytes file = b.build();
        if (size == 0xFFFFFFFFu) std::memset(file.data() + 14, 0xFF, 4);
        EXPECT_EQ(decode_error(file), DibError::unknown_format) << "header size " << size;
        b.file_header = false;
        file = b.build();
        if (size == 0xFFFFFFFFu) std::memset(file.data(), 0xFF, 4);
        EXPECT_EQ(decode_error(file), DibError::unknown_format) << "packed, header size " << size;
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
    BmpBuilder bf = three_by_two_24();
    bf.bit_count = 32;
    bf.compression = bi_bitfields;
    bf.masks = {0xFF0000, 0xFF00, 0xFF};
    bf.pixels.assign(24, 9);
    files.push_back(bf.build());
    for (std::size_t f = 0; f < files.size(); ++f) {
        ASSERT_TRUE(decode(files[f]).ok) << "file " << f << " whole";
        for (std::size_t cut = 0; cut < files[f].size(); ++cut) {
            Bytes part(files[f].begin(), files[f].begin() + cut);
            Decoded d = decode(part);
            EXPECT_FALSE(d.ok) << "file " << f << " cut to " << cut << " bytes";
            EXPECT_NE(d.error, DibError::none);
        }
    }
}

TEST(DibHardening, DeclaredSizesBeyondTheFileAreRefused) {
    BmpBuilder b = three_by_two_24();
    b.off_bits = 0xFFFFFFFF;
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error) << "bfOffBits past the end";
    b.off_bits = 14 + 40 + 1;  // one byte short of the rows
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error);

    b = three_by_two_24();
    b.bit_count = 8;
    b.clr_used = 0xFFFF;  // a table far longer than the file
    b.palette.assign(4, 0);
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error);

    b = three_by_two_24();
    b.height = 3;  // one row more than stored
    EXPECT_EQ(decode_error(b.build()), DibError::conversion_error);
}

TEST(DibHardening, AbsurdOrEmptyDimensionsAreRefused) {
    struct Case {
        std::int32_t width, height;
        std::uint16_t bits;
        std::uint32_t compression;
    };
    const Case cases[] = {
        {0, 2, 24, bi_rgb},
        {3, 0, 24, bi_rgb},
        {-3, 2, 24, bi_rgb},
        {3, INT32_MIN, 24, bi_rgb},
        {INT32_MAX, INT32_MAX, 24, bi_rgb},   // 3 x w x h wraps 32 and nearly 64 bits
        {INT32_MAX, 1, 32, bi_rgb},           // stride overflows 32 bits
        {65536, 65536, 1, bi_rgb},            // w x h wraps 32 bits
        {30000, 30000, 8, bi_rle8},           // tiny stream, 2.7 GB picture
        {3000000, -2000000, 24, bi_rgb},
    };
    for (const Case& c : cases) {
        BmpBuilder b;
        b.width = c.width;
        b.height = c.height;
        b.bit_count = c.bits;
        b.compression = c.compression;
        if (c.bits <= 8) b.palette.assign(c.bits == 1 ? 2 : 256, 0);
        b.pixels = {0, 1, 0, 0, 0, 0, 0, 0};
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(decode_error(b.build()), DibError::conversion_error) << c.width << " x " << c.height;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100))
            << "refused before any large allocation";
    }
}

TEST(DibHardening, HeadersThatRunPastTheEnd) {
    EXPECT_EQ(decode_error(Bytes{}), DibError::conversion_error);
    EXPECT_EQ(decode_error(Bytes{'B'}), DibError::conversion_error);
    EXPECT_EQ(decode_error(Bytes{'B', 'M', 0, 0}), DibError::conversion_error);
    Bytes file = three_by_two_24().build();
    EXPECT_EQ(decode_error(Bytes(file.begin(), file.begin() + 14 + 39)), DibError::conversion_error);
    EXPECT_EQ(decode_error(Bytes(file.begin() + 14, file.begin() + 14 + 20)), DibError::conversion_error);
    EXPECT_EQ(decode_dib_image(nullptr, 100, nullptr), nullptr) << "no bytes, no error slot";
}

TEST(DibHardening, RandomMutationsNeverCrash) {
    // A quick in-suite stand-in for the fuzzer: flips bytes of valid files.
    BmpBuilder rle;
    rle.width = 8;
    rle.height = 4;
    rle.bit_count = 8;
    rle.compression = bi_rle8;
    rle.palette.assign(256, 0x445566);
    rle.pixels = {4, 1, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 8, 7, 0, 1};
    std::vector<Bytes> seeds = {three_by_two_24().build(), rle.build()};
    std::mt19937 random(1234);
    for (int i = 0; i < 4000; ++i) {
        Bytes file = seeds[i % seeds.size()];
        int flips = 1 + static_cast<int>(random() % 4);
        for (int k = 0; k < flips; ++k) file[random() % file.size()] = static_cast<std::uint8_t>(random());
        std::unique_ptr<unsigned char[]> exact(new unsigned char[file.size()]);
        std::memcpy(exact.get(), file.data(), file.size());
        DibError error = DibError::none;
        RgbImage* image = decode_dib_image(exact.get(), file.size(), &error);
        if (image) {
            EXPECT_GT(image->width, 0);
            EXPECT_GT(image->height, 0);
            free_rgb_image(image);
        } else {
            EXPECT_NE(error, DibError::none);
        }
    }
}

TEST(DibPerformance, Large24BitFileDecodesWellUnderASecond) {
    BmpBuilder b;
    b.width = 4096;
    b.height = 4096;
    b.bit_count = 24;
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
        directory_ = std::filesystem::temp_directory_path() /
                     ("duplexa_dib_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override {
        show_errors = 1;
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    std::string write(const std::string& name, const Bytes& bytes) {
        std::string path = (directory_ / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    void expect_one_box(const std::string& text) {
        ASSERT_EQ(script::boxes().size(), 1u) << "one box per failing call";
        EXPECT_EQ(script::boxes()[0].text, text);
        EXPECT_EQ(script::boxes()[0].caption, "Error");
        EXPECT_EQ(script::boxes()[0].style, static_cast<unsigned>(MB_OK));
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

TEST_F(DibLoad, MissingFileGivesTheOpenFailureBox) {
    std::string path = (directory_ / "no such file.bmp").string();
    EXPECT_EQ(load_dib_image(path.c_str()), nullptr);
    expect_one_box("Failed to open DIB file " + path + ".\n");
}

TEST_F(DibLoad, EmptyFileAndDirectoryAreOpenFailures) {
    std::string empty = write("empty.bmp", {});
    EXPECT_EQ(load_dib_image(empty.c_str()), nullptr);
    expect_one_box("Failed to open DIB file " + empty + ".\n");
    script::reset();
    EXPECT_EQ(load_dib_image(directory_.string().c_str()), nullptr);
    expect_one_box("Failed to open DIB file " + directory_.string() + ".\n");
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
    std::string wide = "/nonexistent/x";  // puts the cut inside a character
    while (wide.size() < 400) wide += "\xC5\xBE";  // ž
    EXPECT_EQ(load_dib_image(wide.c_str()), nullptr);
    ASSERT_EQ(script::boxes().size(), 1u);
    const std::string& cut = script::boxes()[0].text;
    EXPECT_EQ(cut.substr(cut.size() - 4), "\xC5\xBE.\n");
}

TEST_F(DibLoad, EachDecodeFailureGivesItsBox) {
    BmpBuilder unknown = three_by_two_24();
    unknown.header_size = 108;
    EXPECT_EQ(load_dib_image(write("v4.bmp", unknown.build()).c_str()), nullptr);
    expect_one_box("Unknown DIB file format.");

    script::reset();
    BmpBuilder rle = three_by_two_24();
    rle.compression = 5;
    EXPECT_EQ(load_dib_image(write("png.bmp", rle.build()).c_str()), nullptr);
    expect_one_box("Image file conversion error.");

    script::reset();
    Bytes cut = three_by_two_24().build();
    cut.pop_back();
    EXPECT_EQ(load_dib_image(write("cut.bmp", cut).c_str()), nullptr);
    expect_one_box("Image file conversion error.");
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
