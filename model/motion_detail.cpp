#include "model/motion_detail.h"

bool MotionDetail::update(bool moving, float frame_seconds, std::uint32_t now_ms) {
    if (full_detail) return lighter_ = false;
    if (moving) {
        last_motion_ms_ = now_ms;
        // Once lighter, frames are quick: it stays until the motion stops.
        if (!(frame_seconds <= frame_budget_seconds)) lighter_ = true;
    } else if (lighter_ && now_ms - last_motion_ms_ >= settle_ms) {
        lighter_ = false;
    }
    return lighter_;
}
