// Wall-clock time of one frame, from the performance counter where the system
// has one and from the millisecond clock otherwise.
#pragma once

#include <cstdint>

class FrameTimer {
public:
    std::int64_t frequency;      // ticks per second
    float resolution;            // seconds per tick
    std::uint32_t start_ms;      // millisecond path: reading at the last restart
    bool uses_counter;           // chosen once, at construction
    std::int64_t counter_start;  // counter path: reading at the last restart

    FrameTimer();
    float elapsed_seconds() const;
    void restart();
};

// frame_rate and per_frame_step, which the controls read, are in app/input.h.
#include "app/input.h"
