// The output modes without a GL: their names for the command line, D's way
// back, and the parallax comfort figures against a case worked out by hand.
#include <gtest/gtest.h>

#include <cstring>

#include "app/app.h"
#include "app/gl_window.h"
#include "stereo/output_mode.h"
#include "stereo/parallax.h"
#include "stereo/stereo_rig.h"
#include "stereo/test_object.h"
#include "support/rig_frame.h"

namespace {

class OutputModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        clear_input();
        view_width = 800;
        view_height = 600;
    }
    void TearDown() override { clear_input(); }
};

// The names the command line takes, in enumeration and table order.
TEST(OutputModeNames, EveryModeAndColourPairRoundTripsAndStrangersAreRefused) {
    const char* modes[] = {"anaglyph", "free-view", "side-by-side", "side-by-side-half", "top-bottom",
                           "rows",     "columns",   "checkerboard", "page-flip"};
    const char* pairs[] = {"red-blue",  "red-green", "red-cyan",      "blue-red",
                           "green-red", "cyan-red",  "green-magenta", "amber-blue"};
    OutputMode mode = OutputMode::anaglyph;
    int row = -1;
    for (int i = 0; i < output_mode_count; ++i) {
        ASSERT_TRUE(output_mode_from_name(modes[i], &mode)) << modes[i];
        EXPECT_EQ(static_cast<int>(mode), i) << modes[i];
        EXPECT_STREQ(output_mode_name(mode), modes[i]);
    }
    for (int i = 0; i < colour_pair_count; ++i) {
        ASSERT_TRUE(colour_pair_from_name(pairs[i], &row)) << pairs[i];
        EXPECT_EQ(row, i);
        EXPECT_STREQ(colour_pair_name(i), pairs[i]);
    }
    for (const char* stranger : {"", "Anaglyph", "side-by-side ", "cyan", static_cast<const char*>(nullptr)}) {
        EXPECT_FALSE(output_mode_from_name(stranger, &mode));
        EXPECT_FALSE(colour_pair_from_name(stranger, &row));
    }
    EXPECT_EQ(mode, OutputMode::page_flip) << "a refused name leaves the value alone";
    EXPECT_EQ(row, colour_pair_count - 1);
}

TEST_F(OutputModeTest, GlassesModeFollowsTheModeAndDReturnsToTheAnaglyph) {
    StereoRig rig(true);
    rig.set_mode(OutputMode::top_bottom);
    EXPECT_EQ(rig.mode(), OutputMode::top_bottom);
    EXPECT_FALSE(rig.glasses_mode);
    key_down['D'] = 1;
    update(rig, 5.0f);
    EXPECT_EQ(rig.mode(), OutputMode::anaglyph);
    EXPECT_TRUE(rig.glasses_mode);
    EXPECT_EQ(key_down['D'], 0);
    key_down['D'] = 1;
    update(rig, 5.0f);
    EXPECT_EQ(rig.mode(), OutputMode::free_view) << "and then between the two as ever";
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
        measure_parallax(rig, camera, view_size(), test_object_vertices, test_object_vertex_count);
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
    const ParallaxReading zero = measure_parallax(rig, camera, view_size(), origin, 1);
    EXPECT_NEAR(zero.nearest, 0.0f, 1e-3f);
    EXPECT_NEAR(zero.farthest, 0.0f, 1e-3f);
    EXPECT_FALSE(zero.uncomfortable);
}

TEST_F(OutputModeTest, ParallaxIsAShareOfOneEyesImageAndOnlyOfWhatIsInView) {
    StereoRig rig(true);
    Camera camera;
    const float near_edge[1][3] = {{0.0f, -1.0f, 3.0f}};
    // Side by side: the same pixels in a half as wide an image; a swap
    // trades the places, not the eyes' images.
    rig.set_mode(OutputMode::side_by_side);
    rig.swap_eyes = true;
    const ParallaxReading halves = measure_parallax(rig, camera, view_size(), near_edge, 1);
    EXPECT_NEAR(halves.nearest, -36.213f, 0.01f);
    EXPECT_EQ(halves.image_width, 400);

    camera.position = Vec3{0.0f, 0.0f, -10.0f};  // the vertex behind the camera
    char text[72];
    format_parallax(measure_parallax(rig, camera, view_size(), near_edge, 1), text, sizeof text);
    EXPECT_STREQ(text, "parallax: nothing in view");
}

}  // namespace
