// The DIB loader against the third-party BMP suite beside the repository:
// the good files must match their reference pictures, the questionable and
// bad ones must be decoded or refused with one box, never crash.

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/dib_loader.h"
#include "platform/script/script_platform.h"
#include "support/dib_decode.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
// Static, so that another test file may embed its own copy.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

const std::string suite_dir = DUPLEXA_SOURCE_DIR "/../shared/bmpsuite";

struct Entry {
    std::string file;       // e.g. "g/pal8.bmp"
    std::string reference;  // e.g. "ref/pal8.png", or "-"
};

std::vector<unsigned char> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<Entry> read_expected() {
    std::vector<Entry> entries;
    std::ifstream in(suite_dir + "/expected.tsv");
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Entry e;
        if (std::getline(fields, e.file, '\t') && std::getline(fields, e.reference)) entries.push_back(e);
    }
    return entries;
}

bool suite_present() { return std::ifstream(suite_dir + "/expected.tsv").good(); }

std::string compare_with_reference(const Decoded& p, const std::string& reference) {
    int w = 0, h = 0, channels = 0;
    unsigned char* ref = stbi_load((suite_dir + "/" + reference).c_str(), &w, &h, &channels, 3);
    if (!ref) return "reference " + reference + " unreadable";
    std::string result;
    if (w != p.width || h != p.height) {
        result = "size " + std::to_string(p.width) + "x" + std::to_string(p.height) + ", reference " +
                 std::to_string(w) + "x" + std::to_string(h);
    } else {
        for (int y = 0; y < h && result.empty(); ++y) {
            const unsigned char* ours = p.rgb.data() + 3 * static_cast<std::size_t>(w) * (h - 1 - y);
            const unsigned char* theirs = ref + 3 * static_cast<std::size_t>(w) * y;
            for (int i = 0; i < 3 * w; ++i) {
                if (std::abs(ours[i] - theirs[i]) > 1) {
                    result = "pixel (" + std::to_string(i / 3) + ", " + std::to_string(y) + ") channel " +
                             std::to_string(i % 3) + ": " + std::to_string(ours[i]) + ", reference " +
                             std::to_string(theirs[i]);
                    break;
                }
            }
        }
    }
    stbi_image_free(ref);
    return result;
}

std::uint32_t header_size_of(const std::string& path) {
    std::vector<unsigned char> bytes = read_file(path);
    if (bytes.size() < 18) return 0;
    return bytes[14] | (bytes[15] << 8) | (bytes[16] << 16) | (static_cast<std::uint32_t>(bytes[17]) << 24);
}

}  // namespace

TEST(DibSuite, GoodFilesMatchTheirReferences) {
    if (!suite_present()) GTEST_SKIP() << "BMP suite not found at " << suite_dir;
    int decoded = 0, refused = 0;
    for (const Entry& e : read_expected()) {
        if (e.file.rfind("g/", 0) != 0) continue;
        std::string path = suite_dir + "/" + e.file;
        std::uint32_t header_size = header_size_of(path);
        Decoded p = decode(read_file(path));
        if (header_size != 12 && header_size != 40) {
            EXPECT_FALSE(p.ok) << e.file;
            EXPECT_EQ(p.error, DibError::unknown_format) << e.file;
            ++refused;
            continue;
        }
        ASSERT_TRUE(p.ok) << e.file << " refused, error " << static_cast<int>(p.error);
        // The listed picture of the non-square file is stretched for display;
        // the loader gives the stored grid, which the "-e" picture shows.
        std::string reference = e.reference == "ref/pal8nonsquare-v.png" ? "ref/pal8nonsquare-e.png" : e.reference;
        EXPECT_EQ(compare_with_reference(p, reference), "") << e.file;
        ++decoded;
    }
    EXPECT_EQ(decoded, 25);
    EXPECT_EQ(refused, 2) << "pal8v4 and pal8v5";
}

TEST(DibSuite, LaterHeaderVersionsGiveTheUnknownFormatBox) {
    if (!suite_present()) GTEST_SKIP() << "BMP suite not found at " << suite_dir;
    for (const char* file : {"g/pal8v4.bmp", "g/pal8v5.bmp"}) {
        script::reset();
        EXPECT_EQ(load_dib_image((suite_dir + "/" + file).c_str()), nullptr) << file;
        ASSERT_EQ(script::boxes().size(), 1u) << file;
        EXPECT_EQ(script::boxes()[0].text, "Unknown DIB file format.");
        EXPECT_EQ(script::boxes()[0].caption, "Error");
    }
}

// Questionable and bad files: a picture and no box, or null and one box.
TEST(DibSuite, QuestionableAndBadFilesAreDecodedOrRefusedCleanly) {
    if (!suite_present()) GTEST_SKIP() << "BMP suite not found at " << suite_dir;
    const std::set<std::string> texts = {"Out of memory.", "Unknown DIB file format.", "Image file conversion error."};
    int files = 0;
    for (const Entry& e : read_expected()) {
        if (e.file.rfind("q/", 0) != 0 && e.file.rfind("b/", 0) != 0) continue;
        ++files;
        std::string path = suite_dir + "/" + e.file;
        decode(read_file(path));  // the exact-size read, for the sanitizers
        script::reset();
        RgbImage* image = load_dib_image(path.c_str());
        if (image) {
            EXPECT_TRUE(script::boxes().empty()) << e.file;
            EXPECT_GT(image->width, 0) << e.file;
            EXPECT_GT(image->height, 0) << e.file;
            free_rgb_image(image);
        } else {
            ASSERT_EQ(script::boxes().size(), 1u) << e.file;
            EXPECT_EQ(texts.count(script::boxes()[0].text), 1u) << e.file << ": " << script::boxes()[0].text;
        }
    }
    EXPECT_GT(files, 50);
}

// Of those, the ones this loader takes must still show the right picture.
// Skipped RLE pixels are black here, as in the "-b" references. (The
// reference of rgb16faketrns reads bit 15 as transparency; here it is unused.)
TEST(DibSuite, QuestionableFilesWeDecodeMatchTheirReferences) {
    if (!suite_present()) GTEST_SKIP() << "BMP suite not found at " << suite_dir;
    const struct {
        const char* file;
        const char* reference;
    } cases[] = {
        {"q/pal1p1.bmp", "ref/pal1p1.png"},
        {"q/pal4rlecut.bmp", "ref/pal4rlecut-b.png"},
        {"q/pal4rletrns.bmp", "ref/pal4rletrns-b.png"},
        {"q/pal8rlecut.bmp", "ref/pal8rlecut-b.png"},
        {"q/pal8rletrns.bmp", "ref/pal8rletrns-b.png"},
        {"q/pal8offs.bmp", "ref/pal8.png"},
        {"q/pal8oversizepal.bmp", "ref/pal8.png"},
        {"q/pal8os2-sz.bmp", "ref/pal8.png"},
        {"q/pal8os2-hs.bmp", "ref/pal8.png"},
        {"q/pal8os2sp.bmp", "ref/pal8.png"},
        {"q/pal8os2v2-40sz.bmp", "ref/pal8.png"},
        {"q/rgb16-231.bmp", "ref/rgb16-231.png"},
        {"q/rgb16-3103.bmp", "ref/rgb16-3103.png"},
        {"q/rgb24largepal.bmp", "ref/rgb24.png"},
        {"q/rgb32-111110.bmp", "ref/rgb24.png"},
        {"q/rgb32-7187.bmp", "ref/rgb32-7187.png"},
        {"q/rgb32fakealpha.bmp", "ref/rgb24.png"},
        {"b/pal8badindex.bmp", "-"},
    };
    for (const auto& c : cases) {
        Decoded p = decode(read_file(suite_dir + "/" + c.file));
        ASSERT_TRUE(p.ok) << c.file << " refused, error " << static_cast<int>(p.error);
        if (std::string(c.reference) != "-") {
            EXPECT_EQ(compare_with_reference(p, c.reference), "") << c.file;
        }
    }
}
