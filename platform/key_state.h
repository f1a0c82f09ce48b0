// The keyboard and mouse buttons as one frame sees them, handed by the shell
// to the controls below it, with the frame rate that turns their per-second
// rates into per-frame steps.
#pragma once

#include <cmath>

// A per-second rate as one frame's step: rate / frame_rate. Before the first
// measurement the rate is 0, and a frame that took no measurable time makes
// it infinite: a step of per_second / 0 would send the camera or the rig to
// infinity for good, so such a frame stands still.
inline float frame_step(float per_second, float frame_rate) {
    if (frame_rate > 0.0f && std::isfinite(frame_rate)) return per_second / frame_rate;
    return 0.0f;
}

struct KeyState {
    const unsigned char* down;  // 256 entries by virtual-key code, 1 while the key or button is held
    float frame_rate;           // frames per second measured in the last frame

    bool held(int key) const { return down[key & 0xFF] != 0; }
    float step(float per_second) const { return frame_step(per_second, frame_rate); }
};
