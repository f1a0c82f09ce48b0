// The output modes without a GL: their names for the command line, where each
// eye's image goes, D's way back, and the parallax comfort figures against a
// case worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/gl_window.h"
#include "stereo/output_mode.h"
#include "stereo/parallax.h"
#include "stereo/stereo_rig.h"
#include "stereo/test_object.h"

namespace {

class OutputModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(key_down, 0, sizeof key_down);
        view_width = 800;
        view_height = 600;
    }
    void TearDown() override { std::memset(key_down, 0, sizeof key_down); }
};

TEST(OutputModeNames, EveryModeAndColourPairRoundTripsAndStrangersAreRefused) {
    const char* modes[] = {"anaglyph", "free-view", "side-by-side", "side-by-side-half", "top-bottom",
                           "rows",     "columns",   "checkerboard", "page-flip"};
    for (int i = 0; i < output_mode_count; ++i) {
        OutputMode mode = OutputMode::page_flip;
        ASSERT_TRUE(output_mode_from_name(modes[i], &mode)) << modes[i];
        EXPECT_EQ(static_cast<int>(mode), i) << modes[i];
        EXPECT_STREQ(output_mode_name(mode), modes[i]);
    }
    const char* pairs[] = {"red-blue", "red-green", "red-cyan", "blue-red", "green-red", "cyan-red"};
    for (int row = 0; row < colour_pair_count; ++row) {
        int found = -1;
        ASSERT_TRUE(colour_pair_from_name(pairs[row], &found)) << pairs[row];
        EXPECT_EQ(found, row);
        EXPECT_STREQ(colour_pair_name(row), pairs[row]);
    }

    OutputMode mode = OutputMode::rows;
    int row = 4;
    for (const char* stranger : {"", "Anaglyph", "side-by-side ", "stereo", "cyan"}) {
        EXPECT_FALSE(output_mode_from_name(stranger, &mode)) << "'" << stranger << "'";
        EXPECT_FALSE(colour_pair_from_name(stranger, &row)) << "'" << stranger << "'";
    }
    EXPECT_FALSE(output_mode_from_name(nullptr, &mode));
    EXPECT_FALSE(colour_pair_from_name(nullptr, &row));
    EXPECT_EQ(mode, OutputMode::rows) << "a refused name leaves the value alone";
    EXPECT_EQ(row, 4);
    EXPECT_EQ(output_mode_name(static_cast<OutputMode>(output_mode_count)), nullptr);
    EXPECT_EQ(colour_pair_name(-1), nullptr);
    EXPECT_EQ(colour_pair_name(6), nullptr);
}

TEST(OutputModeNames, MVisitsEveryModeOnceAndOnlyTheRightOnesNeedMoreBuffers) {
    OutputMode mode = OutputMode::anaglyph;
    std::string seen;
    for (int i = 0; i < output_mode_count; ++i) {
        seen += std::string(output_mode_name(mode)) + " ";
        EXPECT_EQ(mode_needs_stencil(mode),
                  mode == OutputMode::rows || mode == OutputMode::columns || mode == OutputMode::checkerboard);
        EXPECT_EQ(mode_needs_stereo(mode), mode == OutputMode::page_flip);
        mode = next_output_mode(mode);
    }
    EXPECT_EQ(mode, OutputMode::anaglyph);
    EXPECT_EQ(seen,
              "anaglyph free-view side-by-side side-by-side-half top-bottom rows columns checkerboard page-flip ");
}

TEST_F(OutputModeTest, GlassesModeFollowsTheModeAndDReturnsToTheAnaglyph) {
    StereoRig rig(true);
    EXPECT_EQ(rig.mode(), OutputMode::anaglyph);
    rig.glasses_mode = false;  // as D and the older callers do it
    EXPECT_EQ(rig.mode(), OutputMode::free_view);

    rig.set_mode(OutputMode::top_bottom);
    EXPECT_EQ(rig.mode(), OutputMode::top_bottom);
    EXPECT_FALSE(rig.glasses_mode);
    key_down['D'] = 1;
    rig.update_from_input(5.0f);
    EXPECT_EQ(rig.mode(), OutputMode::anaglyph);
    EXPECT_TRUE(rig.glasses_mode);
    EXPECT_EQ(key_down['D'], 0);
    key_down['D'] = 1;
    rig.update_from_input(5.0f);
    EXPECT_EQ(rig.mode(), OutputMode::free_view);
    key_down['D'] = 1;
    rig.update_from_input(5.0f);
    EXPECT_EQ(rig.mode(), OutputMode::anaglyph);
}

// Viewport of each eye in an 800 x 600 area and the aspect of its frustum
// (half width / half height), plain and with the eyes swapped.
TEST_F(OutputModeTest, EachModePlacesTheEyesAndSwapTradesOnlyThePlaces) {
    struct Case {
        OutputMode mode;
        bool sets_viewport;
        int left[4], right[4];  // x, y, width, height
        float aspect;
    };
    const Case cases[] = {
        {OutputMode::anaglyph, false, {0, 0, 800, 600}, {0, 0, 800, 600}, 4.0f / 3.0f},
        {OutputMode::free_view, true, {0, 0, 600, 600}, {200, 0, 600, 600}, 1.0f},
        {OutputMode::side_by_side, true, {0, 0, 400, 600}, {400, 0, 400, 600}, 400.0f / 600.0f},
        {OutputMode::side_by_side_half, true, {0, 0, 400, 600}, {400, 0, 400, 600}, 800.0f / 600.0f},
        {OutputMode::top_bottom, true, {0, 300, 800, 300}, {0, 0, 800, 300}, 800.0f / 600.0f},
        {OutputMode::rows, true, {0, 0, 800, 600}, {0, 0, 800, 600}, 800.0f / 600.0f},
        {OutputMode::page_flip, true, {0, 0, 800, 600}, {0, 0, 800, 600}, 800.0f / 600.0f},
    };
    for (const Case& c : cases) {
        for (bool swapped : {false, true}) {
            StereoRig rig(true);
            rig.set_mode(c.mode);
            rig.swap_eyes = swapped;
            const EyeProjection left = rig.eye_projection(Eye::left);
            const EyeProjection right = rig.eye_projection(Eye::right);
            const int* want_left = swapped ? c.right : c.left;
            const int* want_right = swapped ? c.left : c.right;
            const std::string what = std::string(output_mode_name(c.mode)) + (swapped ? ", swapped" : "");
            EXPECT_EQ(left.sets_viewport, c.sets_viewport) << what;
            EXPECT_EQ((std::vector<int>{left.x, left.y, left.width, left.height}),
                      (std::vector<int>(want_left, want_left + 4)))
                << what;
            EXPECT_EQ((std::vector<int>{right.x, right.y, right.width, right.height}),
                      (std::vector<int>(want_right, want_right + 4)))
                << what;
            // The frustum belongs to the eye, not to its place.
            EXPECT_NEAR((left.right - left.left) / (left.top - left.bottom), c.aspect, 1e-5) << what;
            EXPECT_GT(left.left + left.right, 0.0f) << what << ": the left frustum leans right";
            EXPECT_LT(right.left + right.right, 0.0f) << what;
            EXPECT_GT(left.eye_offset, 0.0f) << what;
        }
    }
}

// Home camera (0, 0, 5) looking at the origin, defaults: focal length 5,
// separation 1/6, anaglyph over 800 pixels at 4:3. A point at depth d lies
// apart by separation * (1 - focal / d) world units in the focal plane,
// which is 2 * 5 * tan(22.5 deg) * 4/3 = 5.52285 units wide. The slanted
// quad's front edge (z = 3, d = 2): -0.25 units = -36.213 px. The cube's
// back (z = -1, d = 6): +1/36 units = +4.024 px.
TEST_F(OutputModeTest, ParallaxOfTheTestObjectAtHomeMatchesTheHandWorkedFigures) {
    StereoRig rig(true);
    Camera camera;
    const ParallaxReading reading =
        measure_parallax(rig, camera, test_object_vertices, test_object_vertex_count);
    ASSERT_TRUE(reading.in_view);
    EXPECT_NEAR(reading.nearest, -36.213f, 0.01f);
    EXPECT_NEAR(reading.farthest, 4.024f, 0.01f);
    EXPECT_EQ(reading.image_width, 800);
    EXPECT_TRUE(reading.uncomfortable) << "36.2 px is beyond 800 / 30 = 26.7 px";

    char text[72];
    format_parallax(reading, text, sizeof text);
    EXPECT_STREQ(text, "parallax -36.2px -4.5% .. +4.0px +0.5%  over 1/30");

    // A point on the focal plane has none, whatever the mode.
    const float origin[1][3] = {{0.0f, 0.0f, 0.0f}};
    const ParallaxReading zero = measure_parallax(rig, camera, origin, 1);
    EXPECT_NEAR(zero.nearest, 0.0f, 1e-3f);
    EXPECT_NEAR(zero.farthest, 0.0f, 1e-3f);
    EXPECT_FALSE(zero.uncomfortable);
}

TEST_F(OutputModeTest, ParallaxFollowsTheSettingsTheModeAndTheCamera) {
    StereoRig rig(true);
    Camera camera;
    const float near_edge[1][3] = {{0.0f, -1.0f, 3.0f}};

    rig.separation_ratio = 60.0f;  // half the separation: half the parallax
    rig.set_focus(5.0f);
    EXPECT_NEAR(measure_parallax(rig, camera, near_edge, 1).nearest, -18.107f, 0.01f);

    // Side by side: the same pixels in a half as wide an image, so twice the share.
    rig.separation_ratio = 30.0f;
    rig.set_focus(5.0f);
    rig.set_mode(OutputMode::side_by_side);
    const ParallaxReading halves = measure_parallax(rig, camera, near_edge, 1);
    EXPECT_NEAR(halves.nearest, -36.213f, 0.01f);
    EXPECT_EQ(halves.image_width, 400);
    rig.swap_eyes = true;  // the places trade, the eyes' images do not
    EXPECT_NEAR(measure_parallax(rig, camera, near_edge, 1).nearest, -36.213f, 0.01f);

    // Focus on the edge itself (d = 2): it comes to the screen plane.
    rig.set_mode(OutputMode::anaglyph);
    rig.set_focus(2.0f);
    const ParallaxReading focused = measure_parallax(rig, camera, near_edge, 1);
    EXPECT_NEAR(focused.nearest, 0.0f, 1e-3f);
    EXPECT_FALSE(focused.uncomfortable);

    // Behind the camera nothing is drawn, so nothing is measured.
    rig.set_focus(5.0f);
    camera.position = Vec3{0.0f, 0.0f, -10.0f};
    char text[72];
    format_parallax(measure_parallax(rig, camera, near_edge, 1), text, sizeof text);
    EXPECT_STREQ(text, "parallax: nothing in view");
}

}  // namespace
