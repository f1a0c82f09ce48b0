// Throughput of the DIB decoder on large files made in memory, against
// stb_image decoding the same bytes, and the peak memory of one decode
// against the size of its output.
//
//   loader_bench [Google Benchmark flags]   the throughput figures
//   loader_bench memory                     peak memory per decode, one child process each
#include <benchmark/benchmark.h>
#include <stb/stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_common.h"
#include "image/dib_loader.h"
#include "unit/dib_builder.h"

namespace {

const int side = 4096;

// A cheap, deterministic pattern with some structure (so RLE has runs).
std::uint8_t pattern(int x, int y, int channel) {
    return static_cast<std::uint8_t>((x * (channel + 1) + y * 3 + ((x >> 5) ^ (y >> 5)) * 17) & 0xFF);
}

std::vector<std::uint8_t> make_rgb24() {
    BmpBuilder b;
    b.width = side;
    b.height = side;
    b.bit_count = 24;
    b.pixels.resize(static_cast<std::size_t>(side) * side * 3);
    std::size_t i = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            for (int c = 0; c < 3; ++c) b.pixels[i++] = pattern(x, y, c);
    return b.build();
}

std::vector<std::uint32_t> grey_ramp_palette() {
    std::vector<std::uint32_t> palette(256);
    for (std::uint32_t i = 0; i < 256; ++i) palette[i] = (i << 16) | ((255 - i) << 8) | (i ^ 0x5A);
    return palette;
}

// The index of pixel (x, y) in the paletted pictures: runs of 1 to 64 pixels.
std::uint8_t index_at(int x, int y) { return static_cast<std::uint8_t>(((x / (1 + (y & 63))) * 7 + y) & 0xFF); }

std::vector<std::uint8_t> make_pal8() {
    BmpBuilder b;
    b.width = side;
    b.height = side;
    b.bit_count = 8;
    b.palette = grey_ramp_palette();
    b.pixels.resize(static_cast<std::size_t>(side) * side);
    std::size_t i = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) b.pixels[i++] = index_at(x, y);
    return b.build();
}

std::vector<std::uint8_t> make_rgb16() {
    BmpBuilder b;
    b.width = side;
    b.height = side;
    b.bit_count = 16;  // BI_RGB: 5-5-5
    b.pixels.resize(static_cast<std::size_t>(side) * side * 2);
    std::size_t i = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const std::uint16_t v = static_cast<std::uint16_t>(
                ((pattern(x, y, 0) >> 3) << 10) | ((pattern(x, y, 1) >> 3) << 5) | (pattern(x, y, 2) >> 3));
            b.pixels[i++] = static_cast<std::uint8_t>(v);
            b.pixels[i++] = static_cast<std::uint8_t>(v >> 8);
        }
    return b.build();
}

// The same picture as make_pal8, run-length encoded (encoded mode only).
std::vector<std::uint8_t> make_rle8() {
    BmpBuilder b;
    b.width = side;
    b.height = side;
    b.bit_count = 8;
    b.compression = 1;  // BI_RLE8
    b.palette = grey_ramp_palette();
    for (int y = 0; y < side; ++y) {
        int x = 0;
        while (x < side) {
            const std::uint8_t index = index_at(x, y);
            int run = 1;
            while (x + run < side && run < 255 && index_at(x + run, y) == index) ++run;
            b.pixels.push_back(static_cast<std::uint8_t>(run));
            b.pixels.push_back(index);
            x += run;
        }
        b.pixels.push_back(0);
        b.pixels.push_back(y + 1 < side ? 0 : 1);  // end of line, end of bitmap
    }
    b.size_image = static_cast<std::uint32_t>(b.pixels.size());
    return b.build();
}

struct Format {
    const char* name;
    std::vector<std::uint8_t> (*make)();
    // stb_image reads no RLE: it decodes the same picture stored plainly.
    std::vector<std::uint8_t> (*make_for_stb)();
};
const Format formats[] = {
    {"rgb24", make_rgb24, make_rgb24},
    {"pal8", make_pal8, make_pal8},
    {"rgb16", make_rgb16, make_rgb16},
    {"rle8", make_rle8, make_pal8},
};

bool decode_ours(const std::vector<std::uint8_t>& bytes) {
    DibError error = DibError::none;
    RgbImage* image = decode_dib_image(bytes.data(), bytes.size(), &error);
    if (!image) return false;
    benchmark::DoNotOptimize(image->pixels[0]);
    free_rgb_image(image);
    return true;
}

bool decode_stb(const std::vector<std::uint8_t>& bytes) {
    int w = 0, h = 0, n = 0;
    unsigned char* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &n, 3);
    if (!pixels) return false;
    benchmark::DoNotOptimize(pixels[0]);
    stbi_image_free(pixels);
    return true;
}

void decode_loop(benchmark::State& state, const Format& format, bool stb) {
    const std::vector<std::uint8_t> bytes = stb ? format.make_for_stb() : format.make();
    for (auto _ : state) {
        if (!(stb ? decode_stb(bytes) : decode_ours(bytes))) {
            state.SkipWithError(stb ? "stb_image refused the file" : "the decoder refused the file");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * side * side * 3);
}

// Peak resident growth of one decode, in a child of its own so that no
// earlier decode's freed heap is reused.
long peak_kb_of_one_decode(const Format& format, bool stb) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(pipe_ends[0]);
        const std::vector<std::uint8_t> bytes = stb ? format.make_for_stb() : format.make();
        // Writing 5 resets the high-water mark to the current resident size.
        if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", f);
            std::fclose(f);
        }
        const long before = resident_kb();
        const bool ok = stb ? decode_stb(bytes) : decode_ours(bytes);
        const long peak = ok ? status_kb("VmHWM") - before : -1;
        if (write(pipe_ends[1], &peak, sizeof peak) != sizeof peak) _exit(1);
        _exit(0);
    }
    close(pipe_ends[1]);
    long peak = -1;
    if (read(pipe_ends[0], &peak, sizeof peak) != sizeof peak) peak = -1;
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return peak;
}

int report_memory() {
    const long output_kb = static_cast<long>(side) * side * 3 / 1024;
    for (const Format& format : formats) {
        std::printf("memory %s ours_kb %ld stb_kb %ld output_kb %ld\n", format.name,
                    peak_kb_of_one_decode(format, false), peak_kb_of_one_decode(format, true), output_kb);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "memory") == 0) return report_memory();
    for (const Format& format : formats) {
        const std::string name = format.name;
        benchmark::RegisterBenchmark(("BM_decode_ours/" + name).c_str(),
                                     [&format](benchmark::State& s) { decode_loop(s, format, false); })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        benchmark::RegisterBenchmark(("BM_decode_stb/" + name).c_str(),
                                     [&format](benchmark::State& s) { decode_loop(s, format, true); })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
