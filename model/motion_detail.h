// Which of a big model's meshes a frame draws: the lighter one while the
// view moves and frames take longer than the budget, the full one again a
// short time after the motion stops.
#pragma once

#include <cstdint>

class MotionDetail {
public:
    // Frames longer than this while moving bring in the lighter mesh.
    static constexpr float frame_budget_seconds = 1.0f / 30.0f;
    // The full mesh returns this long after the last motion.
    static constexpr std::uint32_t settle_ms = 300;

    // --full-detail and F: the full mesh always.
    bool full_detail = false;

    // Once a frame, before drawing: whether the view moved since the last
    // frame, how long the last frame took and a millisecond clock. True:
    // draw the lighter mesh.
    bool update(bool moving, float frame_seconds, std::uint32_t now_ms);
    bool lighter() const { return lighter_; }

private:
    bool lighter_ = false;
    std::uint32_t last_motion_ms_ = 0;
};
