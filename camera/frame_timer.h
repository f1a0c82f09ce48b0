// Wall-clock time of one frame, from the performance counter where the system
// has one and from the millisecond clock otherwise.
#pragma once

#include <cstdint>

class FrameTimer {
public:
    std::int64_t frequency;     // ticks per second
    float resolution;           // seconds per tick
    std::uint32_t start_ms;     // millisecond path: reading at the last restart
    bool uses_counter;          // chosen once, at construction
    std::int64_t counter_start; // counter path: reading at the last restart

    FrameTimer();
    float elapsed_seconds() const;
    void restart();
};

// Frames per second measured in the last frame; 0 before the first measurement.
extern float frame_rate;

// A per-second rate of a control turned into this frame's step: rate / frame_rate,
// or 0 while frame_rate is 0 or not finite (before the first measurement, or
// after a frame that took no measurable time).
float per_frame_step(float per_second);
