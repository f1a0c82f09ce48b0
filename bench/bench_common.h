// Small helpers shared by the benchmark programs: a monotonic clock that a
// parent process can share through the environment, and the resident size.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

inline double monotonic_seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The launcher's CLOCK_MONOTONIC reading just before it started this process
// (nanoseconds in DUPLEXA_BENCH_T0); now if it gave none.
inline double launch_time_seconds() {
    const char* t0 = std::getenv("DUPLEXA_BENCH_T0");
    return t0 ? std::strtod(t0, nullptr) * 1e-9 : monotonic_seconds();
}

// A field of /proc/self/status in kB (VmRSS, VmHWM), or -1.
inline long status_kb(const char* field) {
    std::FILE* file = std::fopen("/proc/self/status", "r");
    if (!file) return -1;
    char line[256];
    long value = -1;
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            value = std::strtol(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(file);
    return value;
}

inline long resident_kb() { return status_kb("VmRSS"); }

// Runs pass() for `seconds` after a warm-up (the software rasteriser's
// shaders, first touch of buffers) and prints frames per second and the
// resident size; pass() returns whether it showed a frame (a pass may only
// handle a message), finish() waits for the GL to complete.
template <class Pass, class Finish>
void print_loop_rate(Pass pass, Finish finish, double seconds) {
    for (int shown = 0; shown < 20;) shown += pass() ? 1 : 0;
    finish();
    const double start = monotonic_seconds();
    long frames = 0;
    while (monotonic_seconds() - start < seconds) {
        if (pass()) ++frames;
    }
    finish();
    const double elapsed = monotonic_seconds() - start;
    std::printf("fps %.2f frames %ld rss_kb %ld\n", frames / elapsed, frames, resident_kb());
}
