// Looking a model over through the scripted system: the turntable answers
// drags and wheel turns on the next frame and leaves the pointer alone, T
// goes back to the flying camera where it was, the wheel flies too, and the
// separation fitted with G follows the camera until X, Z or E.
#include <gtest/gtest.h>

#include <cmath>

#include "app/frame.h"
#include "app/inspect.h"
#include "model/model.h"
#include "platform/win32_emulation.h"
#include "support/model_files.h"
#include "support/pixels.h"
#include "support/viewer_fixture.h"

namespace {

void press_at(unsigned message, unsigned flags, int x, int y) {
    script::post(message, flags, emulated::word_pair(x, y));
}

TEST_F(ViewerTest, TheTurntableFollowsDragsAndTheWheelOnTheNextFrameAndNeverParksThePointer) {
    Turntable seen[5];
    int shown_count = 0;
    std::size_t parks_before = 0, parks_after = 0;
    Vec3 flying_before{}, flying_after{};
    int hidden_count = 0;
    run({IDNO}, {{2,
                  [&] {
                      camera.position.x = 1.25f;  // somewhere the flying camera was
                      flying_before = camera.position;
                      script::key_press('T');
                  }},
                 {3,
                  [&] {
                      script::key_release('T');
                      shown_count = script::cursor_display_count();
                      parks_before = script::calls_starting("SetCursorPos").size();
                      script::set_cursor(700, 50);  // wherever the user leaves it
                      press_at(WM_LBUTTONDOWN, MK_LBUTTON, 100, 100);
                      script::pointer_move(131, 90, MK_LBUTTON);
                  }},
                 {4,
                  [&] {
                      seen[0] = turntable;
                      script::wheel(2);
                  }},
                 {5,
                  [&] {
                      seen[1] = turntable;
                      press_at(WM_RBUTTONDOWN, MK_RBUTTON, 200, 200);
                      script::pointer_move(260, 200, MK_RBUTTON);
                      script::pointer_move(300, 300, 0);  // moving without a button does nothing
                  }},
                 {6,
                  [&] {
                      seen[2] = turntable;
                      parks_after = script::calls_starting("SetCursorPos").size();
                      script::key_press('R');
                  }},
                 {7,
                  [&] {
                      seen[3] = turntable;
                      script::key_release('R');
                      script::key_press('T');
                  }},
                 {8, [&] {
                      flying_after = camera.position;
                      hidden_count = script::cursor_display_count();
                      script::key_press(VK_ESCAPE);
                  }}});
    EXPECT_GE(shown_count, 0) << "the pointer shows with the turntable";
    EXPECT_NEAR(seen[0].yaw, -0.31f, 1e-5f) << "a 31-pixel drag right, on the next frame";
    EXPECT_NEAR(seen[0].pitch, -0.10f, 1e-5f) << "10 pixels up";
    EXPECT_NEAR(seen[1].distance, 5.0f * 0.875f * 0.875f, 1e-4f) << "two notches in";
    EXPECT_LT(seen[2].target.x, 0.0f) << "a right drag pans";
    EXPECT_EQ(seen[2].yaw, seen[1].yaw) << "panning does not turn";
    EXPECT_EQ(parks_after, parks_before) << "the turntable never parks the pointer";
    EXPECT_EQ(seen[3].distance, 5.0f) << "R brings the turntable home";
    EXPECT_EQ(seen[3].yaw, 0.0f);
    EXPECT_EQ(flying_after.x, flying_before.x) << "T again: the flying camera where it was";
    EXPECT_EQ(flying_after.z, flying_before.z);
    EXPECT_LT(hidden_count, 0) << "and the pointer hidden again";
}

TEST_F(ViewerTest, TheWheelFliesTheFlyingCameraAlongItsView) {
    float z = 0.0f;
    run({IDNO}, {{2, [] { script::wheel(3); }}, {3, [&] {
                                                     z = camera.position.z;
                                                     script::key_press(VK_ESCAPE);
                                                 }}});
    EXPECT_NEAR(z, 5.0f - 1.5f, 1e-5f) << "three notches forward, half a unit each";
}

TEST_F(ViewerTest, TheFittedSeparationFollowsTheCameraUntilXZOrEChangeIt) {
    float ratio_near = 0.0f, ratio_far = 0.0f, ratio_after_x = 0.0f;
    bool still_fitted = true;
    run({IDNO}, {{2, [] { script::key_press('G'); }},
                 {3,
                  [&] {
                      script::key_release('G');
                      ratio_near = stereo_rig.separation_ratio;
                      camera.position.z = 15.0f;
                  }},
                 {4,
                  [&] {
                      ratio_far = stereo_rig.separation_ratio;
                      script::key_press('X');
                  }},
                 {5, [&] {
                      still_fitted = parallax_fitted;
                      ratio_after_x = stereo_rig.separation_ratio;
                      script::key_release('X');
                      script::key_press(VK_ESCAPE);
                  }}});
    EXPECT_NE(ratio_near, 30.0f) << "G fits at once";
    EXPECT_LT(ratio_far, ratio_near) << "further off, a wider separation fits";
    EXPECT_FALSE(still_fitted) << "X leaves the fitted state";
    EXPECT_GT(ratio_after_x, ratio_far) << "and acts as before";
}

}  // namespace

// B turns the model the GL draws from, not only the one in memory: after a
// frame has put the vertices in the GL's buffers, B gives the picture of the
// model opened the other way up.
TEST_F(ViewerTest, BTurnsTheDrawnModelAfterItsFirstFrame) {
    ASSERT_TRUE(open_gl_window("Duplexa 01", 800, 600, 16, false));
    ScratchFolder folder;
    const float moved[3] = {0.3f, -0.2f, 0.1f};
    const std::string path = folder.write("object.obj", test_object_obj(1.0f, moved));
    ASSERT_TRUE(open_model_now(path));
    render_frame();
    handle_window_message(nullptr, WM_KEYDOWN, 'B', 0);
    handle_window_message(nullptr, WM_KEYUP, 'B', 0);
    render_frame();
    render_frame();
    std::vector<unsigned char> turned = read_frame();
    turned.resize(800 * 520 * 4);  // the rate and the notice above may differ
    close_model(model_scene);
    Options z_up;
    z_up.up_given = true;
    z_up.up = UpAxis::z;
    apply_inspect_options(z_up);
    ASSERT_TRUE(open_model_now(path));
    render_frame();
    render_frame();
    std::vector<unsigned char> opened = read_frame();
    opened.resize(800 * 520 * 4);
    EXPECT_TRUE(opened == turned);
    reset_inspect();
    close_model(model_scene);
}
