// One frame, composed in full and read back from the GL: the anaglyph, the
// two shifted viewports, the controls of the frame, the overlay, the rate
// text, and no heap allocation once the window is open.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

#include "app/controls.h"
#include "app/frame.h"
#include "model/model.h"
#include "platform/gl.h"
#include "stereo/test_object.h"
#include "support/gl_checks.h"
#include "support/model_files.h"
#include "support/pixels.h"
#include "support/viewer_fixture.h"
#include "text/glyph_font.h"
#include "text/notice.h"

// Every form of the global allocator counts, and all of them pair with free,
// so that libraries mixing the forms (Mesa's LLVM does) stay consistent.
namespace {
std::atomic<long> allocations{0};
void* counted_allocation(std::size_t size) {
    ++allocations;
    return std::malloc(size ? size : 1);
}
}  // namespace
void* operator new(std::size_t size) {
    if (void* p = counted_allocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = counted_allocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted_allocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted_allocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

class FrameTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        ASSERT_TRUE(open_gl_window("Duplexa 01", 800, 600, 16, false));
        frame_rate = 50.0f;
    }
    // Draws n frames with the current input, as the loop would between swaps.
    static void frames(int n) {
        for (int i = 0; i < n; ++i) render_frame();
    }
    // The scene after n frames with `vk` held (J: the right eye only, K: the left).
    static PixelCounts scene_while_held(int vk, int n = 1) {
        key_down[vk] = 1;
        frames(n);
        key_down[vk] = 0;
        return scene_pixels();
    }
};

TEST_F(FrameTest, GlassesModeDrawsRedAndCyanThatAddUpToWhiteFromTheSecondFrame) {
    frames(1);
    PixelCounts first = scene_pixels();
    EXPECT_GT(first.red, 100);
    EXPECT_GT(first.cyan, 100);
    EXPECT_EQ(first.white, 0) << "the first frame of a context overwrites: no overlay has set the blend function yet";
    frames(1);
    PixelCounts second = scene_pixels();
    EXPECT_GT(second.red, 100);
    EXPECT_GT(second.cyan, 100);
    EXPECT_GT(second.white, 20) << "where the red and cyan lines cross or coincide";
}

TEST_F(FrameTest, WhereTheRedAndCyanLinesCrossThePixelIsWhite) {
    // Each eye alone first: the crossings are the scene pixels lit in both.
    key_down['J'] = 1;  // right eye only
    frames(1);
    const std::vector<unsigned char> right = read_frame();
    key_down['J'] = 0;
    key_down['K'] = 1;  // left eye only
    frames(1);
    const std::vector<unsigned char> left = read_frame();
    key_down['K'] = 0;
    frames(1);  // both eyes, blended with the function the overlay has set
    const std::vector<unsigned char> both = read_frame();

    int crossings = 0, not_white = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < std::size_t(800) * 580 * 4; i += 4) {  // rows below the rate text
        if (left[i] == 0 || (right[i + 1] == 0 && right[i + 2] == 0)) continue;
        ++crossings;
        if (both[i] != 255 || both[i + 1] != 255 || both[i + 2] != 255) {
            if (not_white++ == 0) first = i / 4;
        }
    }
    EXPECT_GT(crossings, 100);
    EXPECT_EQ(not_white, 0) << "of " << crossings << " crossings; the first at (" << first % 800 << ", " << first / 800
                            << ") is " << int(both[first * 4]) << " " << int(both[first * 4 + 1]) << " "
                            << int(both[first * 4 + 2]);
}

TEST_F(FrameTest, WithoutGlassesTwoWhiteImagesStandTheShiftApart) {
    stereo_rig.glasses_mode = false;
    // Eyes (almost) together: both images equal, so only the shift parts them.
    stereo_rig.separation_ratio = 1e9f;
    PixelCounts right = scene_while_held('J', 2);
    PixelCounts left = scene_while_held('K');
    EXPECT_EQ(right.red + right.cyan, 0);
    EXPECT_EQ(left.red + left.cyan, 0);
    EXPECT_GT(right.white, 100);
    EXPECT_NEAR(right.min_x - left.min_x, 200, 2);
    EXPECT_NEAR(right.max_x - left.max_x, 200, 2);

    frames(1);
    PixelCounts both = scene_pixels();
    EXPECT_EQ(both.min_x, left.min_x);
    EXPECT_EQ(both.max_x, right.max_x);
}

TEST_F(FrameTest, MonoDrawsOneCentredWhiteImage) {
    frames(2);  // a stereo frame leaves the mono projection and white behind
    key_down['S'] = 1;
    frames(1);
    PixelCounts mono = scene_pixels();
    EXPECT_EQ(mono.red + mono.cyan, 0);
    EXPECT_GT(mono.white, 100);
    EXPECT_NEAR((mono.min_x + mono.max_x) / 2.0, 400.0, 3.0);
}

TEST_F(FrameTest, JAndKHideOneEyeEachAndTogetherLeaveOnlyTheOverlay) {
    frames(1);
    PixelCounts only_right = scene_while_held('J');
    EXPECT_EQ(only_right.red, 0);
    EXPECT_GT(only_right.cyan, 100);
    PixelCounts only_left = scene_while_held('K');
    EXPECT_GT(only_left.red, 100);
    EXPECT_EQ(only_left.cyan, 0);
    key_down['J'] = key_down['K'] = 1;
    frames(1);
    EXPECT_EQ(scene_pixels().lit, 0);
    EXPECT_GT(rate_cells().lit, 0) << "the frame rate still shows";
}

TEST_F(FrameTest, TheRateStandsInTheTopLeftCellsAndTheHelpPageOnlyWhileHIsHeld) {
    key_down['J'] = key_down['K'] = 1;  // no object in the way of the text
    frames(2);
    EXPECT_GT(count_pixels(0, 584, 44, 600).lit, 10);
    EXPECT_EQ(count_pixels(165, 472, 374, 488).lit, 0);
    key_down['H'] = 1;
    frames(1);
    EXPECT_GT(count_pixels(165, 472, 374, 488).lit, 50) << "Program: Duplexa 01 at column 15, row 7";
    EXPECT_GT(count_pixels(165, 248, 253, 264).lit, 20) << "H - help at column 15, row 21";
    EXPECT_GT(count_pixels(165, 168, 495, 184).lit, 50) << "L - model: wireframe or shaded at column 15, row 26";
    key_down['H'] = 0;
    frames(1);
    EXPECT_EQ(count_pixels(165, 472, 374, 488).lit, 0);
}

TEST_F(FrameTest, EveryFrameEndsInTheStateTheNextOneRelies) {
    frames(1);
    expect_state_between_frames();
}

TEST_F(FrameTest, FocusNowAndResetStereoActWhileHeldAfterTheRigsOwnControls) {
    stereo_rig.auto_focus = false;
    camera.position = Vec3{0, 0, 8};
    key_down['Y'] = 1;
    frames(1);
    key_down['Y'] = 0;
    EXPECT_FLOAT_EQ(stereo_rig.focal_length, 8.0f);
    EXPECT_FLOAT_EQ(stereo_rig.near_plane, 1.6f);

    stereo_rig.image_shift = 300;
    stereo_rig.separation_ratio = 12;
    key_down['E'] = 1;
    key_down['O'] = 1;
    key_down['X'] = 1;
    frames(3);
    EXPECT_EQ(stereo_rig.image_shift, 0.0f);
    EXPECT_EQ(stereo_rig.separation_ratio, 30.0f);
    EXPECT_FLOAT_EQ(stereo_rig.eye_separation, 8.0f / 30.0f);
    EXPECT_FALSE(stereo_rig.auto_focus) << "E leaves automatic focus alone";
}

TEST_F(FrameTest, TheFrameRateIsMeasuredEveryFrameAndPrinted) {
    frame_timer.restart();
    script::advance_counter(20000);  // 20 ms at the scripted 1 MHz counter
    frames(1);
    EXPECT_NEAR(frame_rate, 50.0f, 0.01f);
    EXPECT_STREQ(rate_text, "50.");
    frames(1);  // no time passed: an infinite rate, printed short and harmless
    EXPECT_TRUE(std::isinf(frame_rate));
    EXPECT_STREQ(rate_text, "inf");
    key_down[VK_UP] = 1;
    frames(1);
    EXPECT_FLOAT_EQ(camera.position.z, 5.0f) << "no step is taken on an infinite rate";
}

TEST_F(FrameTest, WithoutAFontTheSceneIsDrawnAndTheRateStillMeasured) {
    delete glyph_font;
    glyph_font = nullptr;
    frame_timer.restart();
    script::advance_counter(40000);
    frames(2);
    EXPECT_GT(scene_pixels().red, 100);
    EXPECT_EQ(rate_cells().lit, 0);
    EXPECT_TRUE(std::isinf(frame_rate) || frame_rate > 0.0f);
    EXPECT_EQ(gl_int(GL_MATRIX_MODE), GL_MODELVIEW);
}

TEST_F(FrameTest, NothingIsAllocatedPerFrame) {
    frames(2);
    key_down['H'] = 1;
    key_down[VK_UP] = 1;
    long before = allocations.load();
    for (int i = 0; i < 300; ++i) {
        key_down['D'] = i % 50 == 0;
        key_down['S'] = i % 7 == 0;
        script::advance_counter(16000);
        render_frame();
    }
    EXPECT_EQ(allocations.load() - before, 0);
}

TEST_F(FrameTest, NothingIsAllocatedPerFrameWithAModelOpenWireframeOrShaded) {
    ScratchFolder folder;
    const float offset[3] = {1, 2, 3};
    ASSERT_TRUE(open_model_now(folder.write("object.obj", test_object_obj(3.0f, offset))));
    // Mesa compiles each new combination of state once (LLVM allocates with
    // new): every one the loop below meets is drawn first.
    for (int i = 0; i < 16; ++i) {
        key_down['L'] = i % 2 == 0;
        key_down['D'] = i % 4 == 1;
        key_down['S'] = i % 8 >= 4;
        frames(1);
    }
    key_down['H'] = 1;
    long before = allocations.load();
    for (int i = 0; i < 300; ++i) {
        key_down['L'] = i % 40 == 0;
        key_down['D'] = i % 50 == 0;
        key_down['S'] = i % 7 == 0;
        script::advance_counter(16000);
        render_frame();
    }
    long allocated = allocations.load() - before;  // L switched 8 times: both views drawn
    close_model(model_scene);
    model_scene = ModelScene();
    EXPECT_EQ(allocated, 0);
}

TEST(RateText, FourSignificantDigitsInTheRightNotation) {
    const struct {
        float rate;
        const char* text;
    } cases[] = {
        {100.0f, "100."},         {59.94f, "59.94"},     {60.0f, "60."},       {1234.5f, "1234"},  {1000.0f, "1000"},
        {9999.0f, "9999"},        {0.5f, "0.5"},         {0.12345f, "0.1235"}, {0.1f, "0.1"},      {1.5f, "1.5"},
        {12346.0f, "1.235e+004"}, {10000.0f, "1.e+004"}, {0.05f, "5.e-002"},   {0.0f, "0.e+000"},  {3.0e38f, "3.e+038"},
        {9999.7f, "1.e+004"},     {999.96f, "1000."},    {999.95f, "1000."},   {999.99f, "1000."}, {9.9996f, "10."},
        {99.996f, "100."},        {999.94f, "999.9"},
    };
    for (const auto& c : cases) {
        char text[20];
        format_frame_rate(c.rate, text, sizeof text);
        EXPECT_STREQ(text, c.text) << "rate " << c.rate;
    }
}

TEST(RateText, NonFiniteRatesAndTinyBuffersNeverOverflow) {
    char text[20];
    format_frame_rate(std::numeric_limits<float>::infinity(), text, sizeof text);
    EXPECT_STREQ(text, "inf");
    format_frame_rate(std::numeric_limits<float>::quiet_NaN(), text, sizeof text);
    EXPECT_STREQ(text, "nan");
    char small[4] = {'x', 'x', 'x', 'x'};
    format_frame_rate(12345.0f, small, 3);
    EXPECT_EQ(small[2], '\0');
    EXPECT_EQ(small[3], 'x');
}

namespace {

// The lit pixels of the scene area (below the overlay's top three rows), as
// (x, y) with y counted from the top, like the modes count.
std::vector<std::pair<int, int>> lit_scene_pixels() {
    std::vector<std::pair<int, int>> out;
    for_each_pixel(read_frame(), 0, 0, 800, 552, [&out](int x, int y, const unsigned char* p) {
        if (lit(p)) out.emplace_back(x, 599 - y);
    });
    return out;
}

class OutputFrameTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        // Reopened with the stencil buffer the interleaved modes need.
        close_gl_window();
        format_wanted = BufferNeeds{true, false};
        ASSERT_TRUE(open_gl_window("Duplexa 01", 800, 600, 16, false));
    }
};

}  // namespace

TEST_F(OutputFrameTest, TheInterleavedMaskIsDrawnOncePerSizeNotPerFrame) {
    stereo_rig.set_mode(OutputMode::rows);
    key_down['K'] = 1;  // the left eye alone: the even rows from the top
    frames(2);
    const auto left = lit_scene_pixels();
    ASSERT_GT(left.size(), 200u);
    for (const auto& p : left) ASSERT_EQ(p.second % 2, 0) << "left eye lit at x " << p.first << ", y " << p.second;

    // Were the mask drawn every frame, this clear would not show.
    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
    frames(1);
    EXPECT_EQ(lit_scene_pixels().size(), 0u) << "the mask was drawn again without a new size";

    resize_view(800, 600);
    frames(1);
    EXPECT_EQ(lit_scene_pixels().size(), left.size()) << "a new size draws the mask again";
}

TEST_F(OutputFrameTest, EveryModeEndsItsFrameWithTheWholeBufferDrawableAndAllocatesNothing) {
    GLint draw_buffer = 0;
    glGetIntegerv(GL_DRAW_BUFFER, &draw_buffer);
    key_down['H'] = 1;
    stereo_rig.parallax_readout = true;
    // The first round lets Mesa build its code for each new state once; the
    // second must allocate nothing.
    long before = 0;
    for (int round = 0; round < 2; ++round) {
        if (round == 1) before = allocations.load();
        for (int i = 0; i < output_mode_count; ++i) {
            const OutputMode mode = static_cast<OutputMode>(i);
            stereo_rig.set_mode(mode);
            for (int frame = 0; frame < 4; ++frame) {
                key_down['V'] = frame == 2;
                key_down['S'] = frame == 3;
                script::advance_counter(16000);
                render_frame();
            }
            GLint now = 0;
            glGetIntegerv(GL_DRAW_BUFFER, &now);
            GLint viewport[4] = {};
            glGetIntegerv(GL_VIEWPORT, viewport);
            EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST)) << output_mode_name(mode);
            // Page-flip ends on GL_BACK, both back buffers; the offscreen GL
            // starts on its one front buffer.
            EXPECT_TRUE(now == draw_buffer || now == GL_BACK) << output_mode_name(mode) << ": " << now;
            EXPECT_EQ(viewport[2], 800) << output_mode_name(mode);
            EXPECT_EQ(viewport[3], 600) << output_mode_name(mode);
        }
    }
    EXPECT_EQ(allocations.load() - before, 0);
}

TEST_F(FrameTest, PresentationKeysActOncePerPressAndShowOnTheOverlay) {
    key_down['J'] = key_down['K'] = 1;  // nothing but text on the screen
    stereo_rig.colour_pair = 5;
    key_down['C'] = key_down['V'] = key_down['P'] = 1;
    frames(1);
    EXPECT_EQ(stereo_rig.colour_pair, 0) << "the last row steps round to the first";
    EXPECT_TRUE(stereo_rig.swap_eyes && stereo_rig.parallax_readout);
    EXPECT_EQ(key_down['C'] + key_down['V'] + key_down['P'], 0);
    EXPECT_STREQ(current_notice(), "colours red-blue") << "the last notice stands";
    EXPECT_GT(count_pixels(0, 568, 200, 584).lit, 50) << "the notice, row 1";
    EXPECT_GT(count_pixels(0, 552, 400, 568).lit, 50) << "the parallax line, row 2";

    key_down['H'] = 1;
    frames(1);
    // The lines of the keys added since follow the original page's, one a row.
    int help_lines = 0;
    for (int i = 0; i < control_count; ++i) help_lines += controls[i].help != nullptr;
    const int last_row = help_first_row + help_lines - 1;
    EXPECT_GE(last_row, 27);
    for (int row = 22; row <= last_row; ++row)
        EXPECT_GT(count_pixels(165, 584 - 16 * row, 300, 600 - 16 * row).lit, 20) << "help row " << row;
    EXPECT_EQ(count_pixels(0, 584 - 16 * (last_row + 1), 800, 600 - 16 * (last_row + 1)).lit, 0)
        << "the row after the last line is left free";
}

// The scene of the current frame, RGB by RGB, below the overlay's top rows.
std::vector<unsigned char> scene_frame() {
    std::vector<unsigned char> frame = read_frame();
    frame.resize(static_cast<std::size_t>(frame_width) * 560 * 4);
    return frame;
}

int differing_pixels(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    int n = 0;
    for (std::size_t i = 0; i + 3 < a.size(); i += 4)
        for (int c = 0; c < 3; ++c)
            if (std::abs(a[i + c] - b[i + c]) > 2) {
                ++n;
                break;
            }
    return n;
}

// White lines mix to the same picture in every method (white's luminance is
// white; the optimised matrices keep white within a hair), so a mixed frame
// matches the channels one pixel for pixel: each eye's image lands in its
// own place, unshifted, also swapped.
TEST_F(FrameTest, MixedAnaglyphsOfTheTestObjectMatchChannelsAndAllocateNothing) {
    for (bool swapped : {false, true}) {
        stereo_rig.swap_eyes = swapped;
        stereo_rig.anaglyph_method = AnaglyphMethod::channels;
        frames(2);
        const std::vector<unsigned char> channels = scene_frame();
        ASSERT_GT(drawn_pixels(channels), 1000);
        for (AnaglyphMethod method : {AnaglyphMethod::grey, AnaglyphMethod::half_colour, AnaglyphMethod::optimised}) {
            stereo_rig.anaglyph_method = method;
            frames(1);
            const long before = allocations.load();
            frames(3);
            EXPECT_EQ(allocations.load() - before, 0) << anaglyph_method_name(method);
            EXPECT_EQ(differing_pixels(scene_frame(), channels), 0) << anaglyph_method_name(method) << swapped;
            EXPECT_EQ(stereo_rig.anaglyph_method, method);
        }
    }
    expect_state_between_frames();
}

TEST_F(FrameTest, ACyclesTheMethodsAndTheNoticeNamesEach) {
    const char* notices[] = {"anaglyph grey", "anaglyph half-colour", "anaglyph optimised", "anaglyph channels"};
    for (const char* notice : notices) {
        key_down['A'] = 1;
        frames(1);
        EXPECT_EQ(key_down['A'], 0);
        EXPECT_STREQ(current_notice(), notice);
    }
    stereo_rig.colour_pair = 0;
    stereo_rig.anaglyph_method = AnaglyphMethod::half_colour;
    key_down['A'] = 1;
    frames(1);
    EXPECT_STREQ(current_notice(), "anaglyph optimised (as grey: no matrices for red-blue)");
}

TEST_F(FrameTest, AGlWithoutShaderEntryPointsStaysOnChannelsAndSaysSoOnce) {
    frames(2);
    const std::vector<unsigned char> channels = scene_frame();
    EXPECT_TRUE(script::calls_starting("wglGetProcAddress").empty()) << "channels needs nothing beyond GL 1.1";

    script::hide_gl_procedures(true);
    key_down['A'] = 1;
    frames(1);
    EXPECT_EQ(stereo_rig.anaglyph_method, AnaglyphMethod::channels);
    EXPECT_STREQ(current_notice(), "grey: not available (no GLSL shader entry points)");
    EXPECT_EQ(differing_pixels(scene_frame(), channels), 0);

    clear_notice();
    const std::size_t lookups = script::calls_starting("wglGetProcAddress").size();
    key_down['A'] = 1;
    frames(1);
    EXPECT_EQ(stereo_rig.anaglyph_method, AnaglyphMethod::channels);
    EXPECT_EQ(current_notice(), nullptr) << "said once";
    EXPECT_EQ(script::calls_starting("wglGetProcAddress").size(), lookups) << "not asked again";

    // A method given at start-up falls back in its first frame.
    stereo_rig.anaglyph_method = AnaglyphMethod::optimised;
    close_gl_window();
    ASSERT_TRUE(open_gl_window("Duplexa 01", 800, 600, 16, false));
    frames(2);
    EXPECT_EQ(stereo_rig.anaglyph_method, AnaglyphMethod::channels);
    EXPECT_STREQ(current_notice(), "optimised: not available (no GLSL shader entry points)");
    EXPECT_EQ(differing_pixels(scene_frame(), channels), 0);
}
