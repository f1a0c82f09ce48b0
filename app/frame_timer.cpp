#include "app/frame_timer.h"

#include <cmath>

#include "platform/platform.h"

float frame_rate = 0.0f;

float per_frame_step(float per_second) { return frame_step(per_second, frame_rate); }

FrameTimer::FrameTimer() : frequency(0), resolution(0.0f), start_ms(0), uses_counter(false), counter_start(0) {
    // A counter that answers yes but with no usable frequency would give an
    // infinite resolution; the millisecond clock serves better then.
    if (platform_query_performance_frequency(&frequency) && frequency > 0) {
        platform_query_performance_counter(&counter_start);
        uses_counter = true;
        resolution = static_cast<float>(1.0 / static_cast<double>(frequency));
    } else {
        uses_counter = false;
        start_ms = platform_time_get_time();
        frequency = 1000;
        resolution = 0.001f;
    }
}

float FrameTimer::elapsed_seconds() const {
    if (uses_counter) {
        std::int64_t now = 0;
        platform_query_performance_counter(&now);
        const std::int64_t ticks = now - counter_start;
        return static_cast<float>(static_cast<double>(ticks) * resolution);
    }
    // Unsigned 32-bit difference: a period spanning the clock's wrap (about
    // 49.7 days after system start) still comes out right.
    const std::uint32_t ticks = platform_time_get_time() - start_ms;
    return static_cast<float>(static_cast<double>(static_cast<std::uint64_t>(ticks)) * resolution);
}

void FrameTimer::restart() {
    if (uses_counter) {
        platform_query_performance_counter(&counter_start);
    } else {
        start_ms = platform_time_get_time();
    }
}
