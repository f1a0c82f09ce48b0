// The viewer under abuse, on the scripted backend with real offscreen GL:
// controls held far past any sensible value, frame rates of zero, infinity
// and extremes, the camera turned straight up, random input for thousands of
// frames, and the window opened and closed hundreds of times (the last runs
// under the leak checker in the sanitizer build).
//
// What must hold throughout: every frame is drawn without a crash, the GL
// reports nothing worse than a rejected value, no NaN or infinity settles in
// the camera, and R, E, Y and U bring the viewer back to a normal picture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/frame.h"
#include "platform/gl.h"
#include "support/pixels.h"
#include "support/viewer_fixture.h"
#include "text/glyph_font.h"

namespace {

const float infinity = std::numeric_limits<float>::infinity();
const float not_a_number = std::numeric_limits<float>::quiet_NaN();
const std::int64_t ticks_at_50_fps = 20000;  // the scripted counter runs at 1 MHz

// Reads every pending GL error, so the next check starts clean.
std::set<GLenum> drain_gl_errors() {
    std::set<GLenum> errors;
    for (int i = 0; i < 16; ++i) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR) break;
        errors.insert(error);
    }
    return errors;
}

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

std::string describe(const Camera& c) {
    std::ostringstream out;
    out << "position (" << c.position.x << ", " << c.position.y << ", " << c.position.z << "), direction ("
        << c.direction.x << ", " << c.direction.y << ", " << c.direction.z << "), up (" << c.up.x << ", " << c.up.y
        << ", " << c.up.z << ")";
    return out.str();
}

std::string describe(const StereoRig& r) {
    std::ostringstream out;
    out << "focal " << r.focal_length << ", separation " << r.eye_separation << ", near " << r.near_plane << ", ratio "
        << r.separation_ratio << ", shift " << r.image_shift;
    return out.str();
}

bool modelview_finite() {
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (float e : m)
        if (!std::isfinite(e)) return false;
    return true;
}

}  // namespace

class StressTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        ASSERT_TRUE(open_gl_window("Duplexa 01", 800, 600, 16, false));
        // The first frames measure 50 frames per second.
        frame_timer.restart();
        frame(ticks_at_50_fps);
        drain_gl_errors();
    }

    // One frame after `ticks` of the scripted clock, as the loop would draw it.
    static void frame(std::int64_t ticks = ticks_at_50_fps) {
        script::advance_counter(ticks);
        render_frame();
    }

    // Frames with the held keys as they are; the only GL complaint allowed on
    // the way is a rejected value, and the camera stays finite all along.
    static void hold_for(int frames, std::int64_t ticks = ticks_at_50_fps) {
        for (int i = 0; i < frames; ++i) {
            frame(ticks);
            for (GLenum error : drain_gl_errors())
                ASSERT_EQ(error, static_cast<GLenum>(GL_INVALID_VALUE))
                    << "frame " << i << ", " << describe(stereo_rig);
            ASSERT_TRUE(finite(camera.position) && finite(camera.direction) && finite(camera.up))
                << "frame " << i << ": " << describe(camera);
        }
    }

    // hold_for with `vk` held, released afterwards.
    static void hold_key(int vk, int frames, std::int64_t ticks = ticks_at_50_fps) {
        key_down[vk] = 1;
        hold_for(frames, ticks);
        key_down[vk] = 0;
    }

    // The picture after recovery: a clean frame of the defaults, both eyes,
    // the rate text, and the GL with nothing to complain about.
    static void expect_normal_picture(const char* after) {
        drain_gl_errors();
        frame();
        frame();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << after;
        const PixelCounts picture = scene_pixels();
        EXPECT_GT(picture.red, 100) << after;
        EXPECT_GT(picture.cyan, 100) << after;
        EXPECT_GT(picture.white, 20) << after << ": the two images add up where they cross";
        EXPECT_GT(rate_cells().lit, 10) << after;
    }

    static void tap_in_frame(int vk) {
        key_down[vk] = 1;
        frame();
        key_down[vk] = 0;
    }
};

// ---- The rig's controls far past sense ------------------------------------

TEST_F(StressTest, HoldingQDrivesTheFocalLengthAndNearPlaneThroughZeroAndYBringsThemBack) {
    tap_in_frame('U');  // automatic focus off: Q accumulates
    ASSERT_FALSE(stereo_rig.auto_focus);
    key_down['Q'] = 1;
    hold_for(100);  // two seconds: 5 - 10 units
    EXPECT_LT(stereo_rig.focal_length, -4.5f);
    EXPECT_LT(stereo_rig.near_plane, 0.0f);
    EXPECT_FLOAT_EQ(stereo_rig.eye_separation, stereo_rig.focal_length / stereo_rig.separation_ratio);
    EXPECT_GT(rate_cells().lit, 10) << "the overlay still shows with a rejected frustum";
    key_down['Q'] = 0;

    tap_in_frame('Y');
    EXPECT_FLOAT_EQ(stereo_rig.focal_length, 5.0f);
    EXPECT_FLOAT_EQ(stereo_rig.near_plane, 1.0f);
    expect_normal_picture("Y after Q");
}

TEST_F(StressTest, AFocalLengthOfExactlyZeroIsRejectedByTheGlAndLeavesNoNanInTheRig) {
    stereo_rig.auto_focus = false;
    // The camera on the origin focuses at 0: near plane 0, and 0 / 0 for the
    // frustum shift.
    camera.position = Vec3{0.0f, 0.0f, 0.0f};
    hold_key('Y', 3);
    EXPECT_EQ(stereo_rig.focal_length, 0.0f);
    EXPECT_EQ(stereo_rig.near_plane, 0.0f);
    EXPECT_EQ(stereo_rig.eye_separation, 0.0f);

    // Back out of the origin: automatic focus alone restores the focal length.
    tap_in_frame('R');
    tap_in_frame('U');
    ASSERT_TRUE(stereo_rig.auto_focus);
    expect_normal_picture("R and U after focusing on the origin");
}

TEST_F(StressTest, QHeldInOneLongFrameWithAutomaticFocusLastsOnlyThatFrame) {
    key_down['Q'] = 1;
    hold_for(1, 10 * 1000000);  // a frame of ten seconds: the next step is 50 units
    hold_for(1);
    EXPECT_FLOAT_EQ(stereo_rig.focal_length, 5.0f - 50.0f);
    EXPECT_LT(stereo_rig.near_plane, 0.0f);
    key_down['Q'] = 0;
    expect_normal_picture("automatic focus after a long Q frame");
}

TEST_F(StressTest, HoldingZDrivesTheRatioThroughZeroAndEBringsItBack) {
    key_down['Z'] = 1;
    hold_for(200);  // four seconds: 30 - 40
    EXPECT_LT(stereo_rig.separation_ratio, -9.0f);
    EXPECT_LT(stereo_rig.eye_separation, 0.0f) << "a negative ratio swaps the eyes";
    key_down['Z'] = 0;

    // Exactly on zero, and just beside it: the separation is unbounded.
    for (float ratio : {0.0f, 1e-30f, -1e-30f, std::numeric_limits<float>::denorm_min()}) {
        stereo_rig.separation_ratio = ratio;
        hold_for(2);
        EXPECT_FALSE(std::isnan(stereo_rig.eye_separation)) << "ratio " << ratio;
    }
    EXPECT_TRUE(std::isinf(stereo_rig.eye_separation));

    hold_key('E', 1);
    EXPECT_EQ(stereo_rig.separation_ratio, 30.0f);
    EXPECT_FLOAT_EQ(stereo_rig.eye_separation, 1.0f / 6.0f);
    stereo_rig.image_shift = 200.0f;  // E clears the shift; glasses mode ignores it anyway
    expect_normal_picture("E after Z");
}

TEST_F(StressTest, ZAndQTogetherReachZeroOverZeroAndEStillRecovers) {
    stereo_rig.auto_focus = false;
    camera.position = Vec3{0.0f, 0.0f, 0.0f};
    stereo_rig.separation_ratio = 0.0f;
    hold_key('Y', 2);  // focal 0 over ratio 0
    EXPECT_TRUE(std::isnan(stereo_rig.eye_separation)) << "0 / 0, as the rig's invariant demands";

    tap_in_frame('R');
    hold_key('E', 1);
    EXPECT_FLOAT_EQ(stereo_rig.focal_length, 5.0f);
    EXPECT_FLOAT_EQ(stereo_rig.eye_separation, 1.0f / 6.0f);
    EXPECT_FLOAT_EQ(stereo_rig.near_plane, 1.0f);
    tap_in_frame('U');
    expect_normal_picture("R, E and U after a NaN separation");
}

TEST_F(StressTest, TheShiftPastTheWindowWidthAndFarBelowZeroKeepsDrawing) {
    tap_in_frame('D');  // without glasses
    ASSERT_FALSE(stereo_rig.glasses_mode);
    hold_key('O', 350);  // seven seconds: 200 + 700 pixels, through the width
    EXPECT_GT(stereo_rig.image_shift, 800.0f);
    EXPECT_GT(rate_cells().lit, 10);

    // Exactly the width (a viewport of no width), then the extremes.
    for (float shift : {800.0f, 799.9f, 1e9f, -1e9f, infinity, -infinity, not_a_number}) {
        stereo_rig.image_shift = shift;
        hold_for(2);
        EXPECT_GT(rate_cells().lit, 10) << "shift " << shift << ": the overlay still shows";
    }

    stereo_rig.image_shift = 200.0f;
    hold_key('I', 600, 2 * ticks_at_50_fps);  // 24 seconds: down to -2200
    EXPECT_LT(stereo_rig.image_shift, -2000.0f);

    hold_key('E', 1);
    EXPECT_EQ(stereo_rig.image_shift, 0.0f);
    drain_gl_errors();
    frame();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_GT(scene_pixels().white, 100) << "both white eyes over the whole window after E";
    tap_in_frame('D');
    expect_normal_picture("E and D after the shift");
}

// ---- Frame rates -------------------------------------------------------------

TEST_F(StressTest, FrameRatesOfZeroInfinityAndNanMoveNothing) {
    const int held[] = {VK_UP, VK_LEFT, VK_PRIOR, 'W', 'X', 'O'};
    for (int vk : held) key_down[vk] = 1;
    stereo_rig.auto_focus = false;
    for (float rate : {0.0f, infinity, -infinity, not_a_number, -50.0f}) {
        const Camera camera_before = camera;
        const StereoRig rig_before = stereo_rig;
        frame_rate = rate;  // what this frame's controls divide by
        script::advance_counter(ticks_at_50_fps);
        render_frame();
        EXPECT_EQ(camera.position.z, camera_before.position.z) << "rate " << rate;
        EXPECT_EQ(camera.direction.x, camera_before.direction.x) << "rate " << rate;
        EXPECT_EQ(stereo_rig.focal_length, rig_before.focal_length) << "rate " << rate;
        EXPECT_EQ(stereo_rig.separation_ratio, rig_before.separation_ratio) << "rate " << rate;
        EXPECT_EQ(stereo_rig.image_shift, rig_before.image_shift) << "rate " << rate;
        EXPECT_NEAR(frame_rate, 50.0f, 0.01f) << "the frame measures its own rate afterwards";
    }
    for (int vk : held) key_down[vk] = 0;
}

TEST_F(StressTest, HugeFrameRatesTakeTinyFiniteSteps) {
    key_down[VK_UP] = key_down[VK_RIGHT] = key_down['X'] = 1;
    for (float rate : {1e6f, 1e30f, std::numeric_limits<float>::max()}) {
        for (int i = 0; i < 50; ++i) {
            frame_rate = rate;
            script::advance_counter(1);
            render_frame();
        }
        EXPECT_TRUE(finite(camera.position) && finite(camera.direction)) << "rate " << rate << ": " << describe(camera);
        EXPECT_NEAR(camera.position.z, 5.0f, 0.01f) << "rate " << rate;
        EXPECT_NEAR(stereo_rig.separation_ratio, 30.0f, 0.01f) << "rate " << rate;
    }
    key_down[VK_UP] = key_down[VK_RIGHT] = key_down['X'] = 0;
    tap_in_frame('R');
    expect_normal_picture("R after huge rates");
}

TEST_F(StressTest, TheClockStandingStillOrRunningBackwardsMovesNothing) {
    key_down[VK_UP] = 1;
    hold_for(1, 0);  // no time: the next rate is infinite
    EXPECT_TRUE(std::isinf(frame_rate));
    const float z = camera.position.z;
    hold_for(1, -ticks_at_50_fps);  // the counter went back: a negative rate
    EXPECT_LT(frame_rate, 0.0f);
    EXPECT_EQ(camera.position.z, z);
    hold_for(1);
    EXPECT_EQ(camera.position.z, z) << "the negative rate of the previous frame gave no step";
    key_down[VK_UP] = 0;
}

TEST_F(StressTest, AFrameOfAMillionSecondsThrowsTheCameraFarButFiniteAndRBringsItHome) {
    key_down[VK_UP] = 1;
    hold_for(1, std::int64_t{1000000} * 1000000);  // the next frame steps 25 million units
    hold_for(10);
    key_down[VK_UP] = 0;
    EXPECT_LT(camera.position.z, -1e7f);
    EXPECT_TRUE(std::isfinite(stereo_rig.focal_length));
    tap_in_frame('R');
    expect_normal_picture("R after a very long frame");
}

// ---- The camera straight up --------------------------------------------------

TEST_F(StressTest, TheCameraTurnedStraightUpStaysFiniteAndRBringsItHome) {
    // Far above the park point: a pitch of 500 in every frame.
    for (int i = 0; i < 40; ++i) {
        script::set_cursor(400, 300 - 100000);
        hold_for(1);
    }
    EXPECT_EQ(camera.direction.x, 0.0f);
    EXPECT_EQ(camera.direction.y, 1.0f) << describe(camera);
    EXPECT_EQ(camera.direction.z, 0.0f) << "the horizontal part underflows to nothing";
    EXPECT_TRUE(modelview_finite()) << "a look-at along the up vector is degenerate, not NaN";

    // Sideways turns have no right vector to follow.
    script::set_cursor(400 + 1000, 300);
    hold_key(VK_RIGHT, 5);
    EXPECT_EQ(camera.direction.y, 1.0f);

    // A tilt down of exactly the length of the direction leaves no direction at all.
    script::set_cursor(400, 300 + 200);
    hold_for(1);
    EXPECT_EQ(camera.direction.x, 0.0f);
    EXPECT_EQ(camera.direction.y, 0.0f);
    EXPECT_EQ(camera.direction.z, 0.0f);
    EXPECT_TRUE(modelview_finite());
    hold_key(VK_UP, 5);
    EXPECT_FLOAT_EQ(camera.position.z, 5.0f) << "no direction, no travel";
    EXPECT_FLOAT_EQ(stereo_rig.focal_length, 5.0f);

    tap_in_frame('R');
    EXPECT_EQ(camera.direction.z, -1.0f);
    expect_normal_picture("R after looking straight up");
}

// ---- Random input for a long time --------------------------------------------

TEST_F(StressTest, ThousandsOfFramesOfRandomInputNeverLeaveANanAndTheResetsRestoreTheDefaults) {
    // The keys the frame reads; Escape and F1 belong to the loop.
    const int keys[] = {VK_LBUTTON, VK_RBUTTON, VK_SHIFT, VK_PRIOR, VK_NEXT, VK_LEFT, VK_UP, VK_RIGHT,
                        VK_DOWN,    'D',        'E',      'H',      'I',     'J',     'K',   'O',
                        'Q',        'R',        'S',      'U',      'W',     'X',     'Y',   'Z'};
    std::mt19937 random(20260101);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof keys / sizeof keys[0]) - 1);
    std::uniform_int_distribution<int> mouse(-300, 300);
    std::uniform_int_distribution<std::int64_t> ticks(0, 200000);  // 0 to 200 ms
    for (int i = 0; i < 4000; ++i) {
        if (i % 5 == 0) key_down[keys[pick(random)]] ^= 1;
        if (i % 3 == 0) script::set_cursor(400 + mouse(random), 300 + mouse(random));
        hold_for(1, i % 97 == 0 ? 0 : ticks(random));
        if (HasFatalFailure()) return;
    }

    for (int key : keys) key_down[key] = 0;
    script::set_cursor(400, 300);
    if (!stereo_rig.auto_focus) tap_in_frame('U');
    if (!stereo_rig.glasses_mode) tap_in_frame('D');
    tap_in_frame('R');
    tap_in_frame('E');
    EXPECT_FLOAT_EQ(stereo_rig.focal_length, 5.0f);
    EXPECT_FLOAT_EQ(stereo_rig.eye_separation, 1.0f / 6.0f);
    EXPECT_FLOAT_EQ(stereo_rig.near_plane, 1.0f);
    expect_normal_picture("R, E, U and D after random input");
}

// ---- Opening and closing, again and again -----------------------------------

TEST_F(ViewerTest, HundredsOfOpeningsAndClosingsLeaveNothingBehind) {
    for (int i = 0; i < 300; ++i) {
        const bool full = i % 2 == 0;
        ASSERT_TRUE(open_gl_window("Duplexa 01", 800, 600, 16, full)) << "opening " << i;
        ASSERT_NE(glyph_font, nullptr);
        ASSERT_EQ(script::live_windows(), 1);
        ASSERT_EQ(script::live_contexts(), 1);
        ASSERT_EQ(script::display_mode_changed(), full);
        if (i % 50 == 0 || i == 299) {
            render_frame();
            render_frame();
            EXPECT_GT(scene_pixels().red, 100) << "opening " << i;
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "opening " << i;
        }
        close_gl_window();
        ASSERT_EQ(glyph_font, nullptr);
        ASSERT_EQ(script::live_windows(), 0) << "closing " << i;
        ASSERT_EQ(script::live_contexts(), 0) << "closing " << i;
        ASSERT_FALSE(script::class_registered()) << "closing " << i;
        ASSERT_FALSE(script::display_mode_changed()) << "closing " << i;
    }
    EXPECT_TRUE(script::boxes().empty());
}

TEST_F(ViewerTest, FOnePressedAfterEveryFrameForHundredsOfFramesEndsCleanly) {
    script::queue_box_answers({IDNO});
    // Each press is dispatched in the next pass and switches at its end.
    script::on_swap([](int swap) { script::key_press(swap < 100 ? VK_F1 : VK_ESCAPE); });
    const int code = run_viewer(nullptr);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(script::calls_starting("CreateWindowEx").size(), 100u);
    EXPECT_EQ(script::calls_starting("wglDeleteContext").size(), 100u);
    EXPECT_EQ(script::live_windows(), 0);
    EXPECT_EQ(script::live_contexts(), 0);
    EXPECT_FALSE(script::display_mode_changed());
    EXPECT_TRUE(fullscreen) << "an odd number of switches from a window";
    EXPECT_TRUE(script::boxes().size() == 1) << "only the start-up question";
}
