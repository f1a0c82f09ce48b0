// The anaglyph methods' arithmetic, and the same arithmetic run by the GL's
// mixing program.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gl.h"
#include "platform/script/script_platform.h"
#include "stereo/anaglyph_method.h"
#include "stereo/anaglyph_mixer.h"
#include "stereo/output_mode.h"

namespace {

const int red_blue = 0, red_cyan = 2, cyan_red = 5, green_magenta = 6, amber_blue = 7;
const AnaglyphMethod mixing[] = {AnaglyphMethod::grey, AnaglyphMethod::half_colour, AnaglyphMethod::optimised};

struct Rgb {
    float c[3];
};

Rgb mix(AnaglyphMethod method, int pair, Rgb left, Rgb right) {
    Rgb out;
    mix_anaglyph_pixel(anaglyph_matrices(method, pair), left.c, right.c, out.c);
    return out;
}

// One case: both eyes' colours, and what comes out, within a tolerance.
struct MixCase {
    const char* what;
    AnaglyphMethod method;
    int pair;
    Rgb left, right, expected;
    float tolerance;
};

TEST(AnaglyphMethod, MixesAsEachMethodPromises) {
    const Rgb red = {{1, 0, 0}}, blue = {{0, 0, 1}}, black = {{0, 0, 0}};
    const Rgb a = {{0.2f, 0.4f, 0.6f}}, b = {{0.8f, 0.1f, 0.3f}};
    const float luma_a = 0.299f * 0.2f + 0.587f * 0.4f + 0.114f * 0.6f;
    const float luma_b = 0.299f * 0.8f + 0.587f * 0.1f + 0.114f * 0.3f;
    const AnaglyphMethod g = AnaglyphMethod::grey, h = AnaglyphMethod::half_colour, o = AnaglyphMethod::optimised;
    const MixCase cases[] = {
        {"channels: each eye's own channels", AnaglyphMethod::channels, red_cyan, a, b, {{0.2f, 0.1f, 0.3f}}, 1e-6f},
        {"grey: luminance into each eye's channels", g, red_cyan, a, b, {{luma_a, luma_b, luma_b}}, 1e-5f},
        {"grey, amber-blue", g, amber_blue, a, b, {{luma_a, luma_a, luma_b}}, 1e-5f},
        {"half-colour: the red eye grey, the cyan eye in colour", h, red_cyan, a, b, {{luma_a, 0.1f, 0.3f}}, 1e-5f},
        {"half-colour, cyan-red", h, cyan_red, a, b, {{luma_b, 0.4f, 0.6f}}, 1e-5f},
        {"half-colour, green-magenta", h, green_magenta, a, b, {{0.8f, luma_a, 0.3f}}, 1e-5f},
        {"half-colour of one-channel glasses is grey", h, red_blue, a, b, {{luma_a, 0, luma_b}}, 1e-5f},
        {"optimised, red-cyan: the published figures", o, red_cyan, red, blue, {{0.430f, 0.0f, 1.0f}}, 1e-3f},
        {"optimised without published figures mixes as grey", o, red_blue, a, b, {{luma_a, 0, luma_b}}, 1e-5f},
        {"nothing in, nothing out", o, amber_blue, black, black, {{0, 0, 0}}, 0.0f},
    };
    for (const MixCase& c : cases) {
        const Rgb out = mix(c.method, c.pair, c.left, c.right);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(out.c[i], c.expected.c[i], c.tolerance) << c.what << ", channel " << i;
    }
}

TEST(AnaglyphMethod, WhiteThroughMatchingGlassesLightsBothEyes) {
    const int complementary[] = {red_cyan, cyan_red, green_magenta, amber_blue};
    const Rgb white = {{1, 1, 1}};
    for (int pair : complementary)
        for (AnaglyphMethod method : mixing) {
            const Rgb out = mix(method, pair, white, white);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(out.c[i], 1.0f, 0.01f) << colour_pair_name(pair) << " " << anaglyph_method_name(method);
        }
}

// Binocular rivalry is what the colour-preserving methods cure: with
// channels a red surface is black to the cyan eye.
TEST(AnaglyphMethod, ARedSurfaceUnderOptimisedIsSeenByBothEyes) {
    const Rgb red = {{1, 0, 0}};
    const Rgb optimised = mix(AnaglyphMethod::optimised, red_cyan, red, red);
    EXPECT_GT(optimised.c[0], 0.3f) << "the red eye";
    EXPECT_GT(optimised.c[1] + optimised.c[2], 0.25f) << "the cyan eye";
    const Rgb channels = mix(AnaglyphMethod::channels, red_cyan, red, red);
    EXPECT_EQ(channels.c[1] + channels.c[2], 0.0f) << "channels: the cyan eye sees nothing";
}

// Cyan-red is red-cyan's glasses worn the other way round.
TEST(AnaglyphMethod, CyanRedIsRedCyanTurnedRound) {
    const Rgb a = {{0.9f, 0.3f, 0.5f}}, b = {{0.1f, 0.7f, 0.2f}};
    const Rgb turned = mix(AnaglyphMethod::optimised, cyan_red, a, b);
    const Rgb plain = mix(AnaglyphMethod::optimised, red_cyan, b, a);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(turned.c[i], plain.c[i]);
    EXPECT_TRUE(has_optimised_matrices(cyan_red) && has_optimised_matrices(amber_blue));
    EXPECT_FALSE(has_optimised_matrices(red_blue));
}

TEST(AnaglyphMethod, NamesAndTheCyclesOfAAndC) {
    AnaglyphMethod method = AnaglyphMethod::channels;
    const char* names[] = {"grey", "half-colour", "optimised", "channels"};
    for (const char* name : names) {
        method = next_anaglyph_method(method);
        EXPECT_STREQ(anaglyph_method_name(method), name);
        AnaglyphMethod read;
        ASSERT_TRUE(anaglyph_method_from_name(name, &read));
        EXPECT_EQ(read, method);
    }

    // C from red-cyan: today's six in their order, then the two new pairs.
    const char* cycle[] = {"blue-red",  "green-red",     "cyan-red",   "red-blue",
                           "red-green", "green-magenta", "amber-blue", "red-cyan"};
    int row = red_cyan;
    for (const char* name : cycle) {
        row = next_colour_pair(row);
        EXPECT_STREQ(colour_pair_name(row), name);
    }
    EXPECT_EQ(next_colour_pair(-1), 0);
    EXPECT_EQ(next_colour_pair(colour_pair_count), 0);
}

// The GL's procedures without its framebuffer objects: the eyes are copied.
void* lookup_without_framebuffers(const char* name) {
    if (std::strstr(name, "Framebuffer") || std::strstr(name, "Renderbuffer")) return nullptr;
    return platform_get_gl_proc_address(name);
}

// The program on the GL: two flat images in, the arithmetic's pixel out,
// with the eyes drawn into the textures and, where the GL cannot, copied.
TEST(AnaglyphMixer, TheGlMixesAsTheArithmetic) {
    for (GlProcLookup lookup : {platform_get_gl_proc_address, lookup_without_framebuffers}) {
        const bool direct = lookup == platform_get_gl_proc_address;
        SCOPED_TRACE(direct ? "drawn into the textures" : "copied");
        script::reset();
        script::OffscreenContext context(64, 32);
        ASSERT_TRUE(context.ok());
        AnaglyphMixer mixer;
        ASSERT_TRUE(mixer.ready_for(64, 32, lookup)) << mixer.why();
        EXPECT_EQ(mixer.draws_into_textures(), direct);
        const Rgb left = {{0.8f, 0.4f, 0.2f}}, right = {{0.2f, 0.6f, 0.9f}};
        // Each eye's image a plain colour over its area; the drawing area is
        // left in the right eye's colour.
        auto capture_eyes = [&](const PixelRect& left_area, const PixelRect& right_area) {
            mixer.begin_eye(Eye::left, left_area);
            glClearColor(left.c[0], left.c[1], left.c[2], 1);
            glClear(GL_COLOR_BUFFER_BIT);
            mixer.capture(Eye::left, left_area);
            mixer.begin_eye(Eye::right, right_area);
            glClearColor(right.c[0], right.c[1], right.c[2], 1);
            glClear(GL_COLOR_BUFFER_BIT);
            mixer.capture(Eye::right, right_area);
            glClear(GL_COLOR_BUFFER_BIT);
        };
        for (int pair : {red_cyan, green_magenta, amber_blue})
            for (AnaglyphMethod method : mixing) {
                capture_eyes(PixelRect{0, 0, 64, 32}, PixelRect{0, 0, 64, 32});
                mixer.combine(anaglyph_matrices(method, pair));
                const Rgb expected = mix(method, pair, left, right);
                for (int x : {0, 63}) {
                    const script::Rgba got = script::read_pixel(x, x / 2);
                    const unsigned char rgb[3] = {got.r, got.g, got.b};
                    for (int i = 0; i < 3; ++i)
                        EXPECT_NEAR(rgb[i], expected.c[i] * 255.0f, 2.0f)
                            << colour_pair_name(pair) << " " << anaglyph_method_name(method) << ", channel " << i;
                }
            }

        // Only the captured parts count: outside its area an eye is black, and
        // outside both areas the mix leaves the drawing area as it is.
        capture_eyes(PixelRect{0, 0, 16, 32}, PixelRect{8, 0, 16, 32});
        mixer.combine(anaglyph_matrices(AnaglyphMethod::grey, red_cyan));
        const Rgb black = {{0, 0, 0}};
        const struct {
            int x;
            Rgb expected;
        } places[] = {{2, mix(AnaglyphMethod::grey, red_cyan, left, black)},
                      {12, mix(AnaglyphMethod::grey, red_cyan, left, right)},
                      {20, mix(AnaglyphMethod::grey, red_cyan, black, right)},
                      {40, right}};
        for (const auto& p : places) {
            const script::Rgba got = script::read_pixel(p.x, 10);
            const unsigned char rgb[3] = {got.r, got.g, got.b};
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(rgb[i], p.expected.c[i] * 255.0f, 2.0f) << "x " << p.x;
        }
        EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
        glClearColor(0, 0, 0, 0.5f);
    }
}

TEST(AnaglyphMixer, TheProjectedAreaBoundsThePointsWithinTheViewport) {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const int viewport[4] = {0, 0, 200, 100};
    const float inside[][3] = {{-0.5f, -0.5f, 0}, {0.5f, 0.25f, 0}};
    const float beyond[][3] = {{-3, 0, 0}, {0.5f, 9, 0}};
    const float behind[][3] = {{0, 0, 0}, {0.1f, 0.1f, 0}};
    float flipped[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    flipped[15] = -1;  // w below 0: behind the eye
    const struct {
        const char* what;
        const float* projection;
        const float (*points)[3];
        int count;
        PixelRect expected;
    } cases[] = {
        {"grown by two pixels", identity, inside, 2, {48, 23, 104, 42}},
        {"kept inside the viewport", identity, beyond, 2, {0, 48, 152, 52}},
        {"behind the eye: everything", flipped, behind, 2, {0, 0, 200, 100}},
        {"no points: nothing", identity, inside, 0, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const PixelRect r = projected_area(c.projection, identity, viewport, c.points, c.count);
        EXPECT_EQ(r.x, c.expected.x) << c.what;
        EXPECT_EQ(r.y, c.expected.y) << c.what;
        EXPECT_EQ(r.width, c.expected.width) << c.what;
        EXPECT_EQ(r.height, c.expected.height) << c.what;
    }
}

TEST(AnaglyphMixer, AGlWithoutTheEntryPointsCannotMix) {
    script::reset();
    script::OffscreenContext context(64, 32);
    ASSERT_TRUE(context.ok());
    script::hide_gl_procedures(true);
    AnaglyphMixer mixer;
    EXPECT_FALSE(mixer.ready_for(64, 32, platform_get_gl_proc_address));
    EXPECT_TRUE(mixer.lacks_shaders());
    EXPECT_STREQ(mixer.why(), "no GLSL shader entry points");
    script::hide_gl_procedures(false);
    EXPECT_FALSE(mixer.ready_for(64, 32, platform_get_gl_proc_address)) << "asked once per context";
    mixer.forget_context();
    EXPECT_TRUE(mixer.ready_for(64, 32, platform_get_gl_proc_address)) << "a new context is asked again";
    EXPECT_FALSE(mixer.ready_for(1 << 20, 32, platform_get_gl_proc_address)) << "wider than any texture";
    EXPECT_FALSE(mixer.lacks_shaders());
    script::reset();
}

}  // namespace
