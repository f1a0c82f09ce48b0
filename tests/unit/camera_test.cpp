#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "app/app.h"
#include "app/frame_timer.h"
#include "camera/camera.h"
#include "platform/gl.h"
#include "platform/script/script_platform.h"
#include "support/gl_checks.h"

namespace {

void expect_vec(const Vec3& v, float x, float y, float z, float tolerance = 1e-6f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

bool at_home(const Camera& c) {
    return c.position.x == 0 && c.position.y == 0 && c.position.z == 5 && c.direction.x == 0 && c.direction.y == 0 &&
           c.direction.z == -1 && c.up.x == 0 && c.up.y == 1 && c.up.z == 0;
}

void expect_cursor_parked() {
    EXPECT_EQ(script::cursor().x, 400);
    EXPECT_EQ(script::cursor().y, 300);
}

// One yaw or pitch step of 0.05 (10 cursor pixels, or one key turn at 50 fps).
const float turn_sin = 0.0499376f;
const float turn_cos = 0.9987523f;

class CameraTest : public OffscreenGlTest {
protected:
    void SetUp() override {
        OffscreenGlTest::SetUp();
        clear_input();
        frame_rate = 50.0f;
        script::set_cursor(400, 300);
        glMatrixMode(GL_MODELVIEW);
    }
    void TearDown() override {
        clear_input();
        frame_rate = 0.0f;
    }

    // The camera's part of a frame, as the shell runs it: R (once per
    // press) resets, then the held controls move and turn.
    static void update(Camera& c) {
        if (take_press('R')) c.reset();
        c.update_from_input(held_keys());
    }

    // One frame with the cursor moved to (x, y) since the last park.
    void update_with_cursor(Camera& c, long x, long y) {
        script::set_cursor(x, y);
        update(c);
    }
};

TEST_F(CameraTest, ConstructionIsHomeWithTheCursorParked) {
    script::set_cursor(17, 923);
    Camera c;
    EXPECT_TRUE(at_home(c));
    expect_cursor_parked();
    EXPECT_EQ(c.distance_from_origin(), 5.0f);
}

TEST_F(CameraTest, IdleUpdateAtHomeLoadsTheHomeView) {
    Camera c;
    glLoadIdentity();
    glTranslatef(3, 4, 5);  // the update must replace, not multiply
    update(c);
    EXPECT_TRUE(at_home(c));
    EXPECT_EQ(c.distance_from_origin(), 5.0f);
    expect_modelview_looks(0, 0, 5, 0, 0, 4);
}

TEST_F(CameraTest, AppliedViewIsTheLookAtOfTheFields) {
    Camera c;
    c.turn(0.3f, -0.2f, 0.0f);
    c.move(0.0f, 0.0f, 1.5f);
    c.position.x = 2.0f;
    c.apply_view();
    expect_modelview_looks(c.position.x, c.position.y, c.position.z, static_cast<double>(c.position.x) + c.direction.x,
                           static_cast<double>(c.position.y) + c.direction.y,
                           static_cast<double>(c.position.z) + c.direction.z);
}

TEST_F(CameraTest, CursorOffsetsTurnAndTiltAndAreParkedAgain) {
    Camera right;
    update_with_cursor(right, 410, 300);
    expect_vec(right.direction, turn_sin, 0.0f, -turn_cos);
    expect_cursor_parked();
    expect_vec(right.position, 0, 0, 5, 0);

    Camera upward;
    update_with_cursor(upward, 400, 290);
    expect_vec(upward.direction, 0.0f, turn_sin, -turn_cos);

    Camera left_down;
    update_with_cursor(left_down, 390, 310);
    EXPECT_LT(left_down.direction.x, 0.0f);
    EXPECT_LT(left_down.direction.y, 0.0f);
}

TEST_F(CameraTest, FirstUpdateMeasuresFromTheParkAtConstruction) {
    Camera c;
    script::set_cursor(410, 300);  // moved while the start-up question was open
    update(c);
    expect_vec(c.direction, turn_sin, 0.0f, -turn_cos);
    update(c);  // parked since: no further turn
    expect_vec(c.direction, turn_sin, 0.0f, -turn_cos);
}

TEST_F(CameraTest, UnreadableCursorMeansNoTurn) {
    Camera c;
    script::set_cursor(700, 100);
    script::fail_next("GetCursorPos");
    update(c);
    EXPECT_TRUE(at_home(c));
    expect_cursor_parked();
}

TEST_F(CameraTest, HeldKeysMoveAndTurnOneFrameAtFiftyFramesPerSecond) {
    // At 50 fps the travel step is 0.5 and a key turn a tenth of it: 0.05,
    // the same as 10 pixels of cursor.
    struct Row {
        const char* name;
        std::initializer_list<int> keys;
        float z;  // position, exactly
        Vec3 direction;
    };
    const Row rows[] = {
        {"Up", {VK_UP}, 4.5f, {0, 0, -1}},
        {"Up with Shift is slow", {VK_UP, VK_SHIFT}, 4.9f, {0, 0, -1}},
        {"left button", {VK_LBUTTON}, 4.5f, {0, 0, -1}},
        {"Down", {VK_DOWN}, 5.5f, {0, 0, -1}},
        {"right button", {VK_RBUTTON}, 5.5f, {0, 0, -1}},
        {"Right", {VK_RIGHT}, 5.0f, {turn_sin, 0, -turn_cos}},
        {"Right and Left: only Right acts", {VK_RIGHT, VK_LEFT}, 5.0f, {turn_sin, 0, -turn_cos}},
        {"Left", {VK_LEFT}, 5.0f, {-turn_sin, 0, -turn_cos}},
        // Page Up tilts down, like the cursor moving down.
        {"Page Up", {VK_PRIOR}, 5.0f, {0, -turn_sin, -turn_cos}},
        {"Page Up and Page Down: Page Down wins", {VK_PRIOR, VK_NEXT}, 5.0f, {0, turn_sin, -turn_cos}},
        {"Page Down", {VK_NEXT}, 5.0f, {0, turn_sin, -turn_cos}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clear_input();
        for (int key : row.keys) key_down[key] = 1;
        Camera c;
        update(c);
        expect_vec(c.position, 0.0f, 0.0f, row.z, 0.0f);
        expect_vec(c.direction, row.direction.x, row.direction.y, row.direction.z);
    }
}

TEST_F(CameraTest, ForwardAndBackwardTogetherCancel) {
    Camera c;
    key_down[VK_UP] = 1;
    key_down[VK_RBUTTON] = 1;
    for (int i = 0; i < 10; ++i) update(c);
    expect_vec(c.position, 0.0f, 0.0f, 5.0f);
}

TEST_F(CameraTest, ResetActsOnceThenTheSameUpdateGoesOn) {
    Camera c;
    c.turn(0.7f, 0.4f, 0.0f);
    c.move(0.0f, 0.0f, 12.0f);
    key_down['R'] = 1;
    key_down[VK_LBUTTON] = 1;
    update(c);
    EXPECT_EQ(key_down['R'], 0);
    expect_vec(c.position, 0.0f, 0.0f, 4.5f, 0.0f);
    expect_vec(c.direction, 0.0f, 0.0f, -1.0f, 0.0f);
    expect_vec(c.up, 0.0f, 1.0f, 0.0f, 0.0f);
}

TEST_F(CameraTest, NoMeasuredRateMeansNoTravelAndNoKeyTurn) {
    const float rates[] = {0.0f, std::numeric_limits<float>::infinity()};
    for (float rate : rates) {
        frame_rate = rate;
        Camera c;
        key_down[VK_UP] = 1;
        key_down[VK_RIGHT] = 1;
        key_down[VK_NEXT] = 1;
        update(c);
        EXPECT_TRUE(at_home(c)) << "frame_rate " << rate << ": position z " << c.position.z << ", direction x "
                                << c.direction.x;
        // The mouse still turns: it is per pixel, not per second.
        update_with_cursor(c, 410, 300);
        expect_vec(c.direction, turn_sin, 0.0f, -turn_cos);
    }
}

TEST_F(CameraTest, NormalizeGivesUnitLengthOrZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        const char* name;
        Vec3 in, out;
        float tolerance;
    };
    const Row rows[] = {
        {"zero", {0, 0, 0}, {0, 0, 0}, 0.0f},
        {"3-0-4", {3, 0, 4}, {0.6f, 0, 0.8f}, 1e-7f},
        {"small is not zero", {0.001f, 0, 0}, {1, 0, 0}, 0.0f},
        {"NaN", {nan, 1, 0}, {0, 0, 0}, 0.0f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Vec3 v = row.in;
        normalize(v);
        expect_vec(v, row.out.x, row.out.y, row.out.z, row.tolerance);
    }
}

TEST_F(CameraTest, MoveAndTurnUseTheRightVector) {
    Camera c;
    c.move(1.0f, 2.0f, 3.0f);  // right, up, forward from home
    expect_vec(c.position, 1.0f, 2.0f, 2.0f, 0.0f);

    Camera rolled;
    rolled.turn(0.0f, 0.0f, 1.0f);
    expect_vec(rolled.direction, 0.0f, 0.0f, -1.0f, 0.0f);
    expect_vec(rolled.up, 0.70710677f, 0.70710677f, 0.0f);

    Camera large;  // the amounts are not angles: any yaw stays below 90 degrees
    large.turn(1000.0f, 0.0f, 0.0f);
    EXPECT_GT(large.direction.x, 0.999f);
    EXPECT_LT(large.direction.z, 0.0f);
}

TEST_F(CameraTest, TiltingNeverPassesStraightUp) {
    Camera c;
    c.turn(0.4f, 0.0f, 0.0f);  // not straight ahead, so the horizontal part has x and z
    const float hx = c.direction.x, hz = c.direction.z;
    float last_y = c.direction.y;
    for (int i = 0; i < 300; ++i) {
        update_with_cursor(c, 400, 0);  // far above the park point
        ASSERT_TRUE(std::isfinite(c.direction.x) && std::isfinite(c.direction.y) && std::isfinite(c.direction.z));
        // The horizontal part only shrinks: it never points the other way.
        ASSERT_GE(c.direction.x * hx + c.direction.z * hz, 0.0f) << "passed the top at frame " << i;
        ASSERT_GE(c.direction.y, last_y);
        ASSERT_LE(c.direction.y, 1.0f);
        last_y = c.direction.y;
    }
    EXPECT_GT(c.direction.y, 0.999f);
    expect_vec(c.up, 0.0f, 1.0f, 0.0f, 0.0f);
}

TEST_F(CameraTest, StraightUpIgnoresYawUntilReset) {
    Camera c;
    c.direction = Vec3{0.0f, 1.0f, 0.0f};
    update_with_cursor(c, 450, 300);
    expect_vec(c.direction, 0.0f, 1.0f, 0.0f, 0.0f);
    key_down['R'] = 1;
    update(c);
    EXPECT_TRUE(at_home(c));
}

}  // namespace
