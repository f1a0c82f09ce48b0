#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>

#include "app/app.h"
#include "app/frame_timer.h"
#include "stereo/stereo_rig.h"
#include "support/rig_frame.h"

namespace {

class StereoRigTest : public ::testing::Test {
protected:
    void SetUp() override {
        clear_input();
        frame_rate = 50.0f;
    }
    void TearDown() override {
        clear_input();
        frame_rate = 0.0f;
    }
};

// The two relations every control restores, to the bit.
::testing::AssertionResult invariants_hold(const StereoRig& rig) {
    const float separation = rig.focal_length / rig.separation_ratio;
    const float near_plane = rig.focal_length * 0.2f;
    const bool separation_ok =
        rig.eye_separation == separation || (std::isnan(separation) && std::isnan(rig.eye_separation));
    if (!separation_ok || rig.near_plane != near_plane) {
        return ::testing::AssertionFailure() << "focal " << rig.focal_length << ", ratio " << rig.separation_ratio
                                             << ": separation " << rig.eye_separation << " (expected " << separation
                                             << "), near " << rig.near_plane << " (expected " << near_plane << ")";
    }
    return ::testing::AssertionSuccess();
}

// The values the controls move, compared exactly.
struct Settings {
    float focal_length, eye_separation, near_plane, separation_ratio, image_shift;
    bool glasses_mode, auto_focus;
};
const Settings home_settings = {5.0f, 0.16666667f, 1.0f, 30.0f, 200.0f, true, true};

void expect_settings(const StereoRig& rig, const Settings& s) {
    EXPECT_EQ(rig.focal_length, s.focal_length);
    EXPECT_EQ(rig.eye_separation, s.eye_separation);
    EXPECT_EQ(rig.near_plane, s.near_plane);
    EXPECT_EQ(rig.separation_ratio, s.separation_ratio);
    EXPECT_EQ(rig.image_shift, s.image_shift);
    EXPECT_EQ(rig.glasses_mode, s.glasses_mode);
    EXPECT_EQ(rig.auto_focus, s.auto_focus);
}

// Holds exactly the given keys for a number of frames at one camera distance.
void run_frames(StereoRig& rig, std::initializer_list<int> keys, int frames, float distance) {
    clear_input();
    for (int key : keys) key_down[key] = 1;
    for (int i = 0; i < frames; ++i) update(rig, distance);
}

TEST_F(StereoRigTest, Defaults) {
    StereoRig rig(true);
    expect_settings(rig, home_settings);
    EXPECT_EQ(rig.field_of_view, 45.0f);
    EXPECT_EQ(rig.far_plane, 100.0f);
    EXPECT_EQ(rig.colour_pair, 2);
    EXPECT_TRUE(invariants_hold(rig));

    StereoRig without(false);
    EXPECT_FALSE(without.glasses_mode);
}

TEST_F(StereoRigTest, SetFocusCarriesSeparationAndNearPlane) {
    StereoRig rig(true);
    rig.separation_ratio = 20.0f;
    rig.set_focus(8.0f);
    EXPECT_EQ(rig.focal_length, 8.0f);
    EXPECT_EQ(rig.eye_separation, 0.4f);
    EXPECT_FLOAT_EQ(rig.near_plane, 1.6f);
    EXPECT_TRUE(invariants_hold(rig));
}

TEST_F(StereoRigTest, AutoFocusAtHomeDistanceKeepsTheDefaultsExactly) {
    StereoRig rig(true);
    update(rig, 5.0f);
    expect_settings(rig, home_settings);
}

TEST_F(StereoRigTest, AutoFocusFollowsTheDistanceUnlessZeroOrOff) {
    StereoRig rig(true);
    update(rig, 12.5f);
    EXPECT_EQ(rig.focal_length, 12.5f);
    EXPECT_TRUE(invariants_hold(rig));

    update(rig, 0.0f);  // camera on the origin: keep the focal length
    EXPECT_EQ(rig.focal_length, 12.5f);

    rig.auto_focus = false;
    update(rig, 3.0f);
    EXPECT_EQ(rig.focal_length, 12.5f);
}

TEST_F(StereoRigTest, FocalKeysLastOneFrameUnderAutoFocusAndAccumulateWithout) {
    StereoRig rig(true);
    for (int i = 0; i < 3; ++i) {
        run_frames(rig, {'W'}, 1, 5.0f);
        EXPECT_FLOAT_EQ(rig.focal_length, 5.1f) << "frame " << i;
        EXPECT_TRUE(invariants_hold(rig));
    }

    rig.auto_focus = false;
    rig.set_focus(5.0f);
    run_frames(rig, {'W'}, 3, 5.0f);
    EXPECT_FLOAT_EQ(rig.focal_length, 5.3f);
    EXPECT_TRUE(invariants_hold(rig));

    run_frames(rig, {'Q'}, 1, 5.0f);
    EXPECT_FLOAT_EQ(rig.focal_length, 5.2f);
    EXPECT_TRUE(invariants_hold(rig));
}

TEST_F(StereoRigTest, RatioKeysMoveTheSeparationAndPersistUnderAutoFocus) {
    StereoRig rig(true);
    run_frames(rig, {'X'}, 1, 5.0f);
    EXPECT_FLOAT_EQ(rig.separation_ratio, 30.2f);
    EXPECT_LT(rig.eye_separation, 5.0f / 30.0f);  // X narrows
    EXPECT_TRUE(invariants_hold(rig));

    run_frames(rig, {}, 1, 6.0f);
    EXPECT_FLOAT_EQ(rig.separation_ratio, 30.2f);
    EXPECT_EQ(rig.eye_separation, 6.0f / rig.separation_ratio);

    run_frames(rig, {'Z'}, 2, 6.0f);
    EXPECT_FLOAT_EQ(rig.separation_ratio, 29.8f);
    EXPECT_GT(rig.eye_separation, 6.0f / 30.0f);  // Z widens
    EXPECT_TRUE(invariants_hold(rig));
}

TEST_F(StereoRigTest, ShiftKeysMoveOnlyTheShift) {
    StereoRig rig(false);
    run_frames(rig, {'O'}, 1, 5.0f);
    EXPECT_FLOAT_EQ(rig.image_shift, 202.0f);
    run_frames(rig, {'I'}, 3, 5.0f);
    EXPECT_FLOAT_EQ(rig.image_shift, 196.0f);
    EXPECT_EQ(rig.focal_length, 5.0f);
    EXPECT_EQ(rig.separation_ratio, 30.0f);
}

TEST_F(StereoRigTest, WinsOverTheOppositeKey) {
    StereoRig rig(true);
    rig.auto_focus = false;
    run_frames(rig, {'W', 'Q', 'X', 'Z', 'O', 'I'}, 1, 5.0f);
    EXPECT_FLOAT_EQ(rig.focal_length, 5.1f);
    EXPECT_FLOAT_EQ(rig.separation_ratio, 30.2f);
    EXPECT_FLOAT_EQ(rig.image_shift, 202.0f);
    EXPECT_TRUE(invariants_hold(rig));
}

TEST_F(StereoRigTest, NoMeasuredRateMeansNoStep) {
    for (float rate : {0.0f, std::numeric_limits<float>::infinity()}) {
        frame_rate = rate;
        StereoRig rig(true);
        rig.auto_focus = false;
        run_frames(rig, {'W', 'X', 'O'}, 1, 5.0f);
        EXPECT_EQ(rig.focal_length, 5.0f) << "frame_rate " << rate;
        EXPECT_EQ(rig.separation_ratio, 30.0f) << "frame_rate " << rate;
        EXPECT_EQ(rig.image_shift, 200.0f) << "frame_rate " << rate;
        EXPECT_TRUE(invariants_hold(rig));
    }
}

TEST_F(StereoRigTest, TogglesActOncePerKeyDown) {
    StereoRig rig(true);
    key_down['D'] = 1;
    key_down['U'] = 1;
    update(rig, 5.0f);
    EXPECT_FALSE(rig.glasses_mode);
    EXPECT_FALSE(rig.auto_focus);
    EXPECT_EQ(key_down['D'], 0);
    EXPECT_EQ(key_down['U'], 0);

    update(rig, 5.0f);  // still physically held, but no new key-down
    EXPECT_FALSE(rig.glasses_mode);
    EXPECT_FALSE(rig.auto_focus);

    key_down['D'] = 1;  // auto-repeat sets the entry again
    update(rig, 5.0f);
    EXPECT_TRUE(rig.glasses_mode);
    EXPECT_FALSE(rig.auto_focus);
}

TEST_F(StereoRigTest, InvariantsHoldAfterAnyControlSequence) {
    // Random frames of held keys, toggles, rates and distances, with the
    // frame-level focus (Y) and reset (E) in between.
    std::mt19937 random(20240611u);
    const int keys[] = {'W', 'Q', 'X', 'Z', 'O', 'I', 'D', 'U'};
    for (int run = 0; run < 20; ++run) {
        StereoRig rig(run % 2 == 0);
        for (int frame = 0; frame < 500; ++frame) {
            for (int key : keys) key_down[key] = random() % 3 == 0;
            const unsigned pick = random() % 20;
            frame_rate = pick == 0   ? 0.0f
                         : pick == 1 ? std::numeric_limits<float>::infinity()
                                     : 5.0f + static_cast<float>(random() % 2000) / 10.0f;
            const float distance = random() % 10 == 0 ? 0.0f : static_cast<float>(random() % 5000) / 100.0f;
            update(rig, distance);
            if (random() % 15 == 0) rig.set_focus(distance);  // Y
            if (random() % 25 == 0) {                         // E
                rig.image_shift = 0.0f;
                rig.separation_ratio = 30.0f;
                rig.set_focus(distance);
            }
            ASSERT_TRUE(invariants_hold(rig)) << "run " << run << ", frame " << frame;
            ASSERT_EQ(rig.field_of_view, 45.0f);
            ASSERT_EQ(rig.far_plane, 100.0f);
            ASSERT_EQ(rig.colour_pair, 2);
            ASSERT_TRUE(std::isfinite(rig.focal_length) && std::isfinite(rig.image_shift));
        }
    }
}

}  // namespace
